// Linux: the signals, files and folders of POSIX; the program's output stays on the terminal.
#include "platform/System.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <pthread.h>
#include <unistd.h>

namespace platform {

static_assert(StopInterrupt == SIGINT && StopTerminate == SIGTERM && StopHangUp == SIGHUP);

namespace {

void (*volatile stopHandler)(int) = nullptr;
constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[std::size(StopSignals)];
bool stopSignalsCaught[std::size(StopSignals)] = {};

void onStopSignal(int number) {
    if (void (*handler)(int) = stopHandler) handler(number);
}

} // namespace

void catchStopRequests(void (*handler)(int), bool restartCalls) {
    stopHandler = handler;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restartCalls ? SA_RESTART : 0;
    for (size_t i = 0; i < std::size(StopSignals); ++i) {
        if (stopSignalsCaught[i])
            sigaction(StopSignals[i], &action, nullptr);
        else
            stopSignalsCaught[i] = sigaction(StopSignals[i], &action, &previousActions[i]) == 0;
    }
}

void releaseStopRequests() {
    for (size_t i = 0; i < std::size(StopSignals); ++i)
        if (stopSignalsCaught[i]) sigaction(StopSignals[i], &previousActions[i], nullptr);
    std::fill(std::begin(stopSignalsCaught), std::end(stopSignalsCaught), false);
}

void endByStopRequest(int number) {
    std::signal(number, SIG_DFL);
    // Called from the signal's own handler the signal is blocked until the handler returns.
    sigset_t own;
    sigemptyset(&own);
    sigaddset(&own, number);
    pthread_sigmask(SIG_UNBLOCK, &own, nullptr);
    std::raise(number);
    std::_Exit(128 + number); // not reached: the signal ends the program as it would have
}

bool createNewFile(const std::filesystem::path& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    ::close(fd);
    return true;
}

std::filesystem::path programFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
}

void startProgramOutput(const std::string&) {}

bool messagesUnseen() {
    return false;
}

void showFailure(const std::string&) {}

} // namespace platform
