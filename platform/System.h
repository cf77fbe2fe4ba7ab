// What differs between the systems the program runs on, beyond the window and the sound: Ctrl+C,
// files made exclusively, the program's own folder, and where the program's output goes. One
// implementation a system: SystemPosix.cpp (Linux) and SystemWin.cpp (Windows).
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// Ctrl+C at the terminal (SIGINT; on Windows the console's Ctrl+C and Ctrl+Break): `handler`
// runs once, on whatever thread the system calls it from, so it may only set atomic flags; the
// next Ctrl+C ends the program as it would have. releaseInterrupt puts back what was there before.
void catchInterrupt(void (*handler)());
void releaseInterrupt();

// Makes a new, empty file; false with the system's reason when the file exists or cannot be made.
bool createNewFile(const std::filesystem::path& path, std::string& error);

// The folder the running program's file is in; empty when the system cannot say.
std::filesystem::path programFolder();

// Where the program's messages go. On Linux nothing changes: the log and the messages go to the
// terminal. The Windows program has no console window of its own: its log goes to `logName`
// beside the program (or in the temporary folder when that one cannot be written) and, when
// it was started from a console or with its output redirected, there too; started from the
// desktop, what it prints goes to the log file as well. Call it first thing in main.
void startProgramOutput(const std::string& logName);

// True when a person started the program without a console to read its messages in (a
// double-click on Windows): a failure must then be shown in a box, or nobody learns of it.
bool messagesUnseen();

// Shows `headline` and the last lines the program wrote in a modal box, where messagesUnseen()
// says nobody would read them otherwise; does nothing elsewhere.
void showFailure(const std::string& headline);

} // namespace platform
