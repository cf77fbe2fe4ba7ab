// Windows: the console's control events (Ctrl+C, Ctrl+Break, the console closed), files and
// folders through the Win32 calls, and the program's output without a console window of its own
// (the program is built for the windows subsystem, so that a double-click opens no console).
#include "platform/System.h"

#include "engine/base/Log.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::atomic<void (*)(int)> stopHandler{nullptr};
std::atomic<bool> consoleClosing{false};

fs::path logPath;
std::FILE* logCopy = nullptr; // the log file, when the lines also go to a console or a redirection
bool unseen = false;

BOOL WINAPI onConsoleControl(DWORD event) {
    void (*handler)(int) = stopHandler.load();
    if (!handler) return FALSE; // released meanwhile: the default ends the program
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        handler(StopInterrupt);
        return TRUE;
    }
    if (event == CTRL_CLOSE_EVENT) {
        consoleClosing = true;
        handler(StopHangUp);
        // Windows ends the program as soon as this returns: it waits here while the program
        // finishes what it has (Windows itself ends it after a few seconds).
        for (;;)
            Sleep(INFINITE);
    }
    return FALSE; // logoff and shutdown reach a windowed program through its window
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string systemMessage(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

// A console, a pipe or a file: somewhere the program's messages are read.
bool usable(HANDLE handle) {
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void catchStopRequests(void (*handler)(int), bool) {
    const bool first = stopHandler.exchange(handler) == nullptr;
    if (first) SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void releaseStopRequests() {
    // While the console closes its handler is still running (it never returns), and Windows
    // lets nobody change the handlers until it does: the program ends soon anyway.
    if (stopHandler.exchange(nullptr) != nullptr && !consoleClosing)
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
}

void endByStopRequest(int) {
    // What Windows' own handler ends a program with on Ctrl+C.
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

bool createNewFile(const fs::path& path, std::string& error) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = systemMessage(GetLastError());
        return false;
    }
    CloseHandle(file);
    return true;
}

fs::path programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return fs::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

void startProgramOutput(const std::string& logName) {
    bool seen = usable(GetStdHandle(STD_OUTPUT_HANDLE)) || usable(GetStdHandle(STD_ERROR_HANDLE));
    // Started from a console (cmd, PowerShell): what the program prints goes there.
    if (!seen && AttachConsole(ATTACH_PARENT_PROCESS)) {
        seen = std::freopen("CONOUT$", "w", stdout) != nullptr;
        std::freopen("CONOUT$", "w", stderr);
    }
    std::error_code ec;
    const fs::path places[] = {programFolder() / logName, fs::temp_directory_path(ec) / logName};
    std::FILE* file = nullptr;
    for (const fs::path& place : places) {
        if (place.parent_path().empty()) continue;
        if ((file = _wfopen(place.c_str(), L"w"))) {
            logPath = place;
            break;
        }
    }
    if (!file) return; // nowhere to write: the log goes where it would have gone
    if (!seen) {
        // Nobody reads standard output or standard error: both go to the log file. Wine's C
        // runtime cannot reopen streams that had no file at start (Windows' own can): the log's
        // lines then reach the file through a sink of their own.
        unseen = true;
        std::fclose(file);
        _wfreopen(logPath.c_str(), L"a", stderr);
        if (_wfreopen(logPath.c_str(), L"a", stdout)) return;
        logCopy = _wfopen(logPath.c_str(), L"a");
        if (!logCopy) return;
        setLogSink([](const std::string& line) {
            std::fwrite(line.data(), 1, line.size(), logCopy);
            std::fputc('\n', logCopy);
            std::fflush(logCopy);
        });
        return;
    }
    logCopy = file;
    setLogSink([](const std::string& line) {
        for (std::FILE* out : {stdout, logCopy}) {
            std::fwrite(line.data(), 1, line.size(), out);
            std::fputc('\n', out);
            std::fflush(out);
        }
    });
}

bool messagesUnseen() {
    return unseen;
}

void showFailure(const std::string& headline) {
    if (!unseen) return;
    std::fflush(stdout);
    std::fflush(stderr);
    // The end of what the program wrote says why.
    std::vector<std::string> lines;
    std::ifstream in(logPath);
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    const size_t shown = 12;
    std::string text = headline + "\n\n";
    for (size_t i = lines.size() > shown ? lines.size() - shown : 0; i < lines.size(); ++i)
        text += lines[i] + "\n";
    const std::u8string where = logPath.u8string();
    text += "\nThe whole log is in " + std::string(reinterpret_cast<const char*>(where.data()), where.size());
    MessageBoxW(nullptr, wide(text).c_str(), L"beatshow",
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
}

} // namespace platform
