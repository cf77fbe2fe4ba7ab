// The child process on Windows: CreateProcess with anonymous pipes the child's C runtime takes
// as its descriptors 3, 4, ... A Windows pipe cannot be asked whether it would take more bytes,
// so each input has a thread that writes its queue as the child reads it; `write` hands its
// bytes to that thread and waits until they are out, while the other inputs' threads go on.
#include "app/ChildProcess.h"

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text ? narrow(text) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

// Paths are UTF-8 in the program and wide in the system.
fs::path pathOf(const std::string& utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// `name` itself, or with ".exe" when it names no extension.
std::vector<std::string> executableNames(const std::string& name) {
    if (fs::path(name).has_extension()) return {name};
    return {name + ".exe", name};
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

// One argument as the C runtime's command-line parser reads it back (the rules of
// CommandLineToArgvW): quoted when it holds blanks or quotes or is empty; backslashes are
// doubled only where a quote follows them.
void appendQuoted(std::wstring& line, const std::wstring& argument) {
    if (!line.empty()) line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') backslashes = backslashes * 2 + 1;
        line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

void closeQuietly(HANDLE& handle) {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = nullptr;
}

// The block the C runtime reads at start-up to open the descriptors a parent hands down
// (STARTUPINFO's cbReserved2 and lpReserved2): a count, a flag byte per descriptor, then a
// handle per descriptor, packed.
std::vector<BYTE> runtimeDescriptors(const std::vector<HANDLE>& handles, const std::vector<BYTE>& flags) {
    const uint32_t count = static_cast<uint32_t>(handles.size());
    std::vector<BYTE> block(sizeof count + count * (1 + sizeof(HANDLE)));
    std::memcpy(block.data(), &count, sizeof count);
    std::memcpy(block.data() + sizeof count, flags.data(), count);
    std::memcpy(block.data() + sizeof count + count, handles.data(), count * sizeof(HANDLE));
    return block;
}

constexpr BYTE RuntimeOpen = 0x01;
constexpr BYTE RuntimePipe = 0x08;
constexpr BYTE RuntimeDevice = 0x40;

} // namespace

// One input: the write end of its pipe and the thread that empties the queue into it.
struct ChildProcess::Feed {
    HANDLE pipe = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> queue; // bytes not yet handed to the pipe, from `from` on
    size_t from = 0;
    const char* direct = nullptr; // a caller's bytes, written after the queue (write waits)
    size_t directSize = 0;
    bool closing = false; // close once everything is out
    bool closed = false;  // the pipe is closed (or failed)
    bool failed = false;  // the child stopped reading
    std::thread thread;

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return from < queue.size() || directSize > 0 || closing; });
            const bool fromQueue = from < queue.size();
            if (!fromQueue && directSize == 0) break; // closing with nothing left
            const char* bytes = fromQueue ? queue.data() + from : direct;
            const size_t size = fromQueue ? queue.size() - from : directSize;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1 << 20));
            DWORD written = 0;
            // The queue may grow meanwhile (and move): write from a copy of this chunk.
            std::vector<char> copy;
            if (fromQueue) copy.assign(bytes, bytes + chunk);
            lock.unlock();
            const BOOL ok = WriteFile(pipe, fromQueue ? copy.data() : bytes, chunk, &written, nullptr);
            lock.lock();
            if (!ok) {
                failed = true;
                break;
            }
            if (fromQueue) {
                from += written;
                if (from == queue.size()) {
                    queue.clear();
                    from = 0;
                }
            } else {
                direct += written;
                directSize -= written;
            }
            changed.notify_all();
        }
        closeQuietly(pipe);
        closed = true;
        queue.clear();
        from = 0;
        directSize = 0;
        changed.notify_all();
    }
};

std::string findProgram(const std::string& program) {
    if (program.empty()) return {};
    if (program.find_first_of("/\\:") != std::string::npos) {
        for (const std::string& name : executableNames(program))
            if (isFile(pathOf(name))) return name;
        return {};
    }
    std::vector<fs::path> folders;
    const fs::path own = programFolder();
    if (!own.empty()) folders.push_back(own);
    if (const char* path = std::getenv("PATH")) {
        const std::string list = path;
        size_t begin = 0;
        while (begin <= list.size()) {
            size_t end = list.find(';', begin);
            if (end == std::string::npos) end = list.size();
            if (end > begin) folders.push_back(pathOf(list.substr(begin, end - begin)));
            begin = end + 1;
        }
    }
    for (const fs::path& folder : folders)
        for (const std::string& name : executableNames(program)) {
            const fs::path candidate = folder / pathOf(name);
            if (isFile(candidate)) return utf8(candidate);
        }
    return {};
}

ChildProcess::~ChildProcess() {
    if (running()) kill();
    HANDLE output = outputFile_;
    closeQuietly(output);
    outputFile_ = nullptr;
}

bool ChildProcess::start(const std::vector<std::string>& arguments, int inputs, std::string& error) {
    if (running() || arguments.empty() || inputs < 0) {
        error = "the process is already running or has nothing to run";
        return false;
    }
    const std::string path = findProgram(arguments[0]);
    if (path.empty()) {
        error = arguments[0] + " was not found beside the program or on PATH";
        return false;
    }

    // The child's ends are made inheritable one by one and handed over in a list, so that it
    // never holds a write end of its own inputs (it would never see their end).
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    HANDLE output = INVALID_HANDLE_VALUE;
    if (GetTempPathW(MAX_PATH, folder) && GetTempFileNameW(folder, L"bso", 0, name))
        output = CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        error = "cannot make a file for the child's messages: " + systemMessage(GetLastError());
        return false;
    }
    HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr);
    std::vector<HANDLE> readEnds;
    std::vector<HANDLE> writeEnds;
    auto cleanUp = [&] {
        for (HANDLE& h : readEnds)
            closeQuietly(h);
        for (HANDLE& h : writeEnds)
            closeQuietly(h);
        closeQuietly(nothing);
        closeQuietly(output);
    };
    if (nothing == INVALID_HANDLE_VALUE) {
        nothing = nullptr;
        error = "cannot open NUL for the child: " + systemMessage(GetLastError());
        cleanUp();
        return false;
    }
    for (int i = 0; i < inputs; ++i) {
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        // Room for a whole large frame: fewer waits on the child.
        if (!CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 20)) {
            error = "cannot make a pipe: " + systemMessage(GetLastError());
            cleanUp();
            return false;
        }
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        readEnds.push_back(readEnd);
        writeEnds.push_back(writeEnd);
    }

    std::vector<HANDLE> descriptors = {nothing, output, output};
    std::vector<BYTE> flags = {RuntimeOpen | RuntimeDevice, RuntimeOpen, RuntimeOpen};
    for (HANDLE h : readEnds) {
        descriptors.push_back(h);
        flags.push_back(RuntimeOpen | RuntimePipe);
    }
    std::vector<BYTE> block = runtimeDescriptors(descriptors, flags);

    std::vector<HANDLE> handed = {nothing, output};
    handed.insert(handed.end(), readEnds.begin(), readEnds.end());
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<BYTE> listMemory(listSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
    const bool listed = listSize > 0 && InitializeProcThreadAttributeList(list, 1, 0, &listSize) &&
                        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handed.data(),
                                                  handed.size() * sizeof(HANDLE), nullptr, nullptr);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nothing;
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = output;
    startup.StartupInfo.cbReserved2 = static_cast<WORD>(block.size());
    startup.StartupInfo.lpReserved2 = block.data();
    if (listed) startup.lpAttributeList = list;

    std::wstring line;
    for (const std::string& a : arguments)
        appendQuoted(line, wide(a));
    // A process group of its own: a Ctrl+C at the console is this program's to handle. No
    // console window pops up for a console program started from a windowed one.
    const DWORD creation = CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT |
                           (listed ? EXTENDED_STARTUPINFO_PRESENT : 0);
    PROCESS_INFORMATION process{};
    const std::wstring application = wide(path);
    const BOOL created = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, creation,
                                        nullptr, nullptr, &startup.StartupInfo, &process);
    const DWORD createError = GetLastError();
    if (listed) DeleteProcThreadAttributeList(list);
    for (HANDLE& h : readEnds)
        closeQuietly(h);
    closeQuietly(nothing);
    if (!created) {
        error = "cannot start " + path + ": " + systemMessage(createError);
        cleanUp();
        return false;
    }
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    pid_ = static_cast<pid_t>(process.dwProcessId);
    outputFile_ = output;
    status_ = -1;
    feeds_.clear();
    for (HANDLE h : writeEnds) {
        auto feed = std::make_shared<Feed>();
        feed->pipe = h;
        Feed* f = feed.get();
        feed->thread = std::thread([f] { f->run(); });
        feeds_.push_back(std::move(feed));
    }
    return true;
}

bool ChildProcess::write(int index, const void* bytes, size_t size) {
    if (index < 0 || static_cast<size_t>(index) >= feeds_.size()) return false;
    Feed& feed = *feeds_[static_cast<size_t>(index)];
    std::unique_lock lock(feed.mutex);
    if (feed.closed || feed.closing) return false;
    if (size == 0) return true;
    feed.direct = static_cast<const char*>(bytes);
    feed.directSize = size;
    feed.changed.notify_all();
    feed.changed.wait(lock, [&] { return feed.directSize == 0 || feed.closed; });
    const bool whole = feed.directSize == 0 && !feed.failed;
    feed.directSize = 0;
    return whole;
}

void ChildProcess::queue(int index, const void* bytes, size_t size) {
    if (index < 0 || static_cast<size_t>(index) >= feeds_.size()) return;
    Feed& feed = *feeds_[static_cast<size_t>(index)];
    std::lock_guard lock(feed.mutex);
    if (feed.closed || feed.closing) return;
    const char* data = static_cast<const char*>(bytes);
    feed.queue.insert(feed.queue.end(), data, data + size);
    feed.changed.notify_all();
}

void ChildProcess::closeInput(int index) {
    if (index < 0 || static_cast<size_t>(index) >= feeds_.size()) return;
    Feed& feed = *feeds_[static_cast<size_t>(index)];
    std::lock_guard lock(feed.mutex);
    feed.closing = true;
    feed.changed.notify_all();
}

int ChildProcess::wait() {
    // The inputs the child has all of end first: it may be waiting for their end before it
    // reads the rest of the others.
    for (size_t i = 0; i < feeds_.size(); ++i)
        closeInput(static_cast<int>(i));
    for (auto& feed : feeds_)
        if (feed->thread.joinable()) feed->thread.join();
    feeds_.clear();
    if (!process_) return status_;
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    status_ = GetExitCodeProcess(process_, &code) ? static_cast<int>(code) : -1;
    HANDLE process = process_;
    closeQuietly(process);
    process_ = nullptr;
    pid_ = -1;
    return status_;
}

void ChildProcess::kill() {
    // The same status a POSIX child ended by SIGKILL reports. The writer threads see their pipes
    // break and stop.
    if (process_) TerminateProcess(process_, 128 + 9);
    wait();
}

std::string ChildProcess::output() const {
    if (!outputFile_ || running()) return {};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(outputFile_, &size) || size.QuadPart <= 0) return {};
    const LONGLONG keep = std::min<LONGLONG>(size.QuadPart, 4000);
    std::string text(static_cast<size_t>(keep), '\0');
    OVERLAPPED at{};
    const ULONGLONG from = static_cast<ULONGLONG>(size.QuadPart - keep);
    at.Offset = static_cast<DWORD>(from & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(from >> 32);
    DWORD n = 0;
    if (!ReadFile(outputFile_, text.data(), static_cast<DWORD>(text.size()), &n, &at)) return {};
    text.resize(n);
    return text;
}
