// What differs between the systems the program runs on, beyond the window and the sound: Ctrl+C
// and the other requests to stop, files made exclusively, the program's own folder, and where
// the program's output goes. One implementation a system: SystemPosix.cpp (Linux) and SystemWin.cpp
// (Windows).
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// The requests from outside that the program stop, by the numbers POSIX gives their signals on
// every system, so that a program they end has the exit status 128 + the number everywhere:
//   StopInterrupt (SIGINT): Ctrl+C at the terminal; on Windows the console's Ctrl+C and
//     Ctrl+Break;
//   StopTerminate (SIGTERM): kill, a shutdown. Windows has no such request for a program to
//     catch: taskkill without /F closes its window instead (the window's own close), with /F
//     it ends the program outright;
//   StopHangUp (SIGHUP): the terminal went away; on Windows the console the program was started
//     from is closed (Windows then ends the program after a few seconds whatever it does).
constexpr int StopInterrupt = 2;
constexpr int StopTerminate = 15;
constexpr int StopHangUp = 1;

// Catches the three until releaseStopRequests, which puts back what was there before: `handler`
// gets the request's number, on whatever thread the system calls it from (a signal handler on
// Linux), so it may only touch atomics. `restartCalls`: on Linux a system call that a request
// interrupts goes on (SA_RESTART) rather than failing. A second call only changes the handler.
void catchStopRequests(void (*handler)(int), bool restartCalls);
void releaseStopRequests();

// Ends the program as the request would have if nobody had caught it (a second Ctrl+C while the
// program cannot take the first).
[[noreturn]] void endByStopRequest(int number);

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
