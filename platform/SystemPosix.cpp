// Linux: the signals, files and folders of POSIX; the program's output stays on the terminal.
#include "platform/System.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

void (*interruptHandler)() = nullptr;
struct sigaction previousInterrupt {};
bool interruptCaught = false;

void onInterrupt(int) {
    if (interruptHandler) interruptHandler();
}

} // namespace

void catchInterrupt(void (*handler)()) {
    interruptHandler = handler;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND; // the handler removes itself: a second Ctrl+C ends the program
    interruptCaught = sigaction(SIGINT, &action, &previousInterrupt) == 0;
}

void releaseInterrupt() {
    if (interruptCaught) sigaction(SIGINT, &previousInterrupt, nullptr);
    interruptCaught = false;
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
