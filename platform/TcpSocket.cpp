#include "platform/TcpSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int SendFlags = MSG_NOSIGNAL; // a closed peer is an error, not a signal that ends the show
#else
constexpr int SendFlags = 0;
#endif

class PosixTcpConnection : public TcpConnection {
public:
    PosixTcpConnection(int fd, bool connected)
        : fd_(fd), state_(connected ? State::Open : State::Connecting) {}
    ~PosixTcpConnection() override { closeSocket(); }

    State state() override {
        if (state_ != State::Connecting) return state_;
        pollfd p{fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, 0);
        if (ready == 0) return state_;
        if (ready < 0) {
            if (errno != EINTR) fail(errno);
            return state_;
        }
        int problem = 0;
        socklen_t length = sizeof problem;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &problem, &length) != 0) problem = errno;
        if (problem != 0)
            fail(problem);
        else
            state_ = State::Open;
        return state_;
    }

    long send(const char* data, size_t size) override {
        if (state_ == State::Closed) return -1;
        if (state_ != State::Open) return 0;
        for (;;) {
            const ssize_t sent = ::send(fd_, data, size, SendFlags);
            if (sent >= 0) return static_cast<long>(sent);
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            fail(errno);
            return -1;
        }
    }

    long receive(uint8_t* buffer, size_t size) override {
        if (state_ == State::Closed) return -1;
        if (state_ != State::Open) return 0;
        for (;;) {
            const ssize_t got = ::recv(fd_, buffer, size, 0);
            if (got > 0) return static_cast<long>(got);
            if (got == 0) {
                error_ = "closed by the editor";
                state_ = State::Closed;
                closeSocket();
                return -1;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            fail(errno);
            return -1;
        }
    }

    std::string error() const override { return error_; }

private:
    void fail(int code) {
        error_ = std::strerror(code);
        state_ = State::Closed;
        closeSocket();
    }
    void closeSocket() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int fd_;
    State state_;
    std::string error_;
};

class PosixTcpConnector : public TcpConnector {
public:
    PosixTcpConnector(const sockaddr_storage& address, socklen_t length, std::string name)
        : address_(address), length_(length), name_(std::move(name)) {}

    std::unique_ptr<TcpConnection> connect(std::string& error) override {
        const int fd = ::socket(address_.ss_family, SOCK_STREAM, 0);
        if (fd < 0) {
            error = std::strerror(errno);
            return nullptr;
        }
        const int flags = ::fcntl(fd, F_GETFL, 0);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 ||
            ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
            error = std::strerror(errno);
            ::close(fd);
            return nullptr;
        }
        // Rows and keys are a few bytes each: they go at once rather than waiting to fill a packet.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
#ifdef SO_NOSIGPIPE
        ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address_), length_) == 0)
            return std::make_unique<PosixTcpConnection>(fd, true);
        if (errno == EINPROGRESS || errno == EINTR) return std::make_unique<PosixTcpConnection>(fd, false);
        error = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }

    std::string address() const override {
        return name_;
    }

private:
    sockaddr_storage address_;
    socklen_t length_;
    std::string name_;
};

} // namespace

std::unique_ptr<TcpConnector> makeTcpConnector(const std::string& host, uint16_t port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (result != 0 || !found) {
        error = "cannot find the host " + host + " (" + ::gai_strerror(result) + ")";
        return nullptr;
    }
    sockaddr_storage address{};
    const socklen_t length = static_cast<socklen_t>(found->ai_addrlen);
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    const bool bracketed = host.find(':') != std::string::npos;
    return std::make_unique<PosixTcpConnector>(address, length,
                                               (bracketed ? "[" + host + "]" : host) + ":" + service);
}

} // namespace platform
