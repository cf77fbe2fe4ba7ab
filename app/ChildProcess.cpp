#include "app/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Descriptors handed to the child are first moved up here, so that placing them at 3, 4, ...
// in the child never overwrites another one still to be placed.
constexpr int HighDescriptor = 64;

int moveHigh(int fd) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, HighDescriptor);
    ::close(fd);
    return moved;
}

bool executable(const std::string& path) {
    struct stat info {};
    // access() alone says yes to the superuser for a file nobody may execute.
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0 &&
           ::access(path.c_str(), X_OK) == 0;
}

void closeQuietly(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

std::string findProgram(const std::string& program) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) return executable(program) ? program : std::string();
    const char* path = std::getenv("PATH");
    const std::string directories = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t begin = 0;
    while (begin <= directories.size()) {
        size_t end = directories.find(':', begin);
        if (end == std::string::npos) end = directories.size();
        const std::string directory = end > begin ? directories.substr(begin, end - begin) : ".";
        const std::string candidate = directory + "/" + program;
        if (executable(candidate)) return candidate;
        begin = end + 1;
    }
    return {};
}

ChildProcess::~ChildProcess() {
    if (running()) kill();
    closeQuietly(outputFile_);
}

bool ChildProcess::start(const std::vector<std::string>& arguments, int inputs, std::string& error) {
    if (running() || arguments.empty() || inputs < 0) {
        error = "the process is already running or has nothing to run";
        return false;
    }
    const std::string path = findProgram(arguments[0]);
    if (path.empty()) {
        error = arguments[0] + " was not found on PATH";
        return false;
    }
    // A child that exits early must make our writes fail, not end this process.
    std::signal(SIGPIPE, SIG_IGN);

    int output = memfd_create("child-output", MFD_CLOEXEC);
    if (output < 0) {
        error = std::string("cannot make a file for the child's messages: ") + std::strerror(errno);
        return false;
    }
    output = moveHigh(output);
    std::vector<int> readEnds;
    std::vector<int> writeEnds;
    auto cleanUp = [&] {
        for (int& fd : readEnds)
            closeQuietly(fd);
        for (int& fd : writeEnds)
            closeQuietly(fd);
        closeQuietly(output);
    };
    for (int i = 0; i < inputs; ++i) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            error = std::string("cannot make a pipe: ") + std::strerror(errno);
            cleanUp();
            return false;
        }
        readEnds.push_back(moveHigh(fds[0]));
        writeEnds.push_back(fds[1]);
        (void)fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
        // Room for a whole large frame where the system allows it: fewer waits on the child.
        (void)fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    }
    if (output < 0 || std::any_of(readEnds.begin(), readEnds.end(), [](int fd) { return fd < 0; })) {
        error = "cannot place the child's descriptors";
        cleanUp();
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, 1);
    posix_spawn_file_actions_adddup2(&actions, output, 2);
    for (int i = 0; i < inputs; ++i)
        posix_spawn_file_actions_adddup2(&actions, readEnds[static_cast<size_t>(i)], 3 + i);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP})
        sigaddset(&defaults, s);
    sigset_t noMask;
    sigemptyset(&noMask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &noMask);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    for (int& fd : readEnds)
        closeQuietly(fd);
    if (result != 0) {
        error = "cannot start " + path + ": " + std::strerror(result);
        cleanUp();
        return false;
    }
    pid_ = pid;
    inputs_ = writeEnds;
    queued_.assign(writeEnds.size(), {});
    queuedFrom_.assign(writeEnds.size(), 0);
    closing_.assign(writeEnds.size(), false);
    outputFile_ = output;
    status_ = -1;
    return true;
}

bool ChildProcess::pump(int index, const char*& bytes, size_t& size) {
    std::vector<pollfd> polled;
    std::vector<size_t> which;
    for (size_t i = 0; i < inputs_.size(); ++i) {
        const bool direct = static_cast<int>(i) == index && size > 0;
        if (inputs_[i] >= 0 && (direct || queuedFrom_[i] < queued_[i].size())) {
            polled.push_back({inputs_[i], POLLOUT, 0});
            which.push_back(i);
        }
    }
    if (polled.empty()) return true;
    if (::poll(polled.data(), polled.size(), -1) < 0) return errno == EINTR;
    for (size_t p = 0; p < polled.size(); ++p) {
        if (polled[p].revents == 0) continue;
        const size_t i = which[p];
        const bool direct = static_cast<int>(i) == index && size > 0;
        const char* from = direct ? bytes : queued_[i].data() + queuedFrom_[i];
        const size_t length = direct ? size : queued_[i].size() - queuedFrom_[i];
        const ssize_t n = ::write(inputs_[i], from, length);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            closeNow(i);
            return false;
        }
        if (direct) {
            bytes += n;
            size -= static_cast<size_t>(n);
        } else if ((queuedFrom_[i] += static_cast<size_t>(n)) == queued_[i].size()) {
            queued_[i].clear();
            queuedFrom_[i] = 0;
            if (closing_[i]) closeNow(i);
        }
    }
    return true;
}

bool ChildProcess::write(int index, const void* bytes, size_t size) {
    if (index < 0 || static_cast<size_t>(index) >= inputs_.size() || inputs_[static_cast<size_t>(index)] < 0)
        return false;
    const char* data = static_cast<const char*>(bytes);
    while (size > 0)
        if (!pump(index, data, size) || inputs_[static_cast<size_t>(index)] < 0) return false;
    return true;
}

void ChildProcess::queue(int index, const void* bytes, size_t size) {
    if (index < 0 || static_cast<size_t>(index) >= inputs_.size() || inputs_[static_cast<size_t>(index)] < 0)
        return;
    std::vector<char>& q = queued_[static_cast<size_t>(index)];
    size_t& from = queuedFrom_[static_cast<size_t>(index)];
    if (from > 0 && from >= q.size() / 2) {
        q.erase(q.begin(), q.begin() + static_cast<std::ptrdiff_t>(from));
        from = 0;
    }
    const char* data = static_cast<const char*>(bytes);
    q.insert(q.end(), data, data + size);
}

void ChildProcess::closeNow(size_t index) {
    closeQuietly(inputs_[index]);
    queued_[index].clear();
    queuedFrom_[index] = 0;
}

void ChildProcess::closeInput(int index) {
    if (index < 0 || static_cast<size_t>(index) >= inputs_.size()) return;
    const size_t i = static_cast<size_t>(index);
    if (queuedFrom_[i] < queued_[i].size())
        closing_[i] = true;
    else
        closeNow(i);
}

int ChildProcess::wait() {
    // The inputs the child has all of end first: it may be waiting for their end before it
    // reads the rest of the others.
    for (size_t i = 0; i < inputs_.size(); ++i)
        closeInput(static_cast<int>(i));
    const char* none = nullptr;
    size_t nothing = 0;
    while (std::any_of(inputs_.begin(), inputs_.end(), [](int fd) { return fd >= 0; }))
        if (!pump(-1, none, nothing))
            for (size_t i = 0; i < inputs_.size(); ++i)
                closeNow(i);
    if (pid_ <= 0) return status_;
    int status = 0;
    pid_t got = -1;
    do {
        got = ::waitpid(pid_, &status, 0);
    } while (got < 0 && errno == EINTR);
    pid_ = -1;
    if (got < 0)
        status_ = -1;
    else if (WIFEXITED(status))
        status_ = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        status_ = 128 + WTERMSIG(status);
    return status_;
}

void ChildProcess::kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    for (size_t i = 0; i < inputs_.size(); ++i)
        closeNow(i);
    wait();
}

std::string ChildProcess::output() const {
    if (outputFile_ < 0 || running()) return {};
    const off_t size = ::lseek(outputFile_, 0, SEEK_END);
    if (size <= 0) return {};
    const off_t keep = std::min<off_t>(size, 4000);
    std::string text(static_cast<size_t>(keep), '\0');
    const ssize_t n = ::pread(outputFile_, text.data(), text.size(), size - keep);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}
