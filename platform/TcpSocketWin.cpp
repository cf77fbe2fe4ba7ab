// Windows: the same connections through Winsock, non-blocking as on Linux. A failed connect is
// told by select's exception set (Windows never marks such a socket writable).
#include "platform/TcpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

std::string socketMessage(int code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "socket error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

// Winsock is started once for the program and left to end with it.
bool startWinsock(std::string& error) {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] {
        WSADATA data;
        result = WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (result != 0) error = "cannot start Winsock: " + socketMessage(result);
    return result == 0;
}

class WinsockConnection : public TcpConnection {
public:
    WinsockConnection(SOCKET socket, bool connected)
        : socket_(socket), state_(connected ? State::Open : State::Connecting) {}
    ~WinsockConnection() override { closeSocket(); }

    State state() override {
        if (state_ != State::Connecting) return state_;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket_, &writable);
        FD_SET(socket_, &failed);
        timeval none{0, 0};
        const int ready = ::select(0, nullptr, &writable, &failed, &none);
        if (ready == 0) return state_;
        if (ready == SOCKET_ERROR) {
            fail(WSAGetLastError());
            return state_;
        }
        int problem = 0;
        int length = sizeof problem;
        if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&problem), &length) != 0)
            problem = WSAGetLastError();
        if (problem == 0 && FD_ISSET(socket_, &failed)) problem = WSAECONNREFUSED;
        if (problem != 0)
            fail(problem);
        else
            state_ = State::Open;
        return state_;
    }

    long send(const char* data, size_t size) override {
        if (state_ == State::Closed) return -1;
        if (state_ != State::Open) return 0;
        const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 30));
        const int sent = ::send(socket_, data, chunk, 0);
        if (sent != SOCKET_ERROR) return sent;
        const int code = WSAGetLastError();
        if (code == WSAEWOULDBLOCK) return 0;
        fail(code);
        return -1;
    }

    long receive(uint8_t* buffer, size_t size) override {
        if (state_ == State::Closed) return -1;
        if (state_ != State::Open) return 0;
        const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 30));
        const int got = ::recv(socket_, reinterpret_cast<char*>(buffer), chunk, 0);
        if (got > 0) return got;
        if (got == 0) {
            error_ = "closed by the editor";
            state_ = State::Closed;
            closeSocket();
            return -1;
        }
        const int code = WSAGetLastError();
        if (code == WSAEWOULDBLOCK) return 0;
        fail(code);
        return -1;
    }

    std::string error() const override { return error_; }

private:
    void fail(int code) {
        error_ = socketMessage(code);
        state_ = State::Closed;
        closeSocket();
    }
    void closeSocket() {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

    SOCKET socket_;
    State state_;
    std::string error_;
};

class WinsockConnector : public TcpConnector {
public:
    WinsockConnector(const sockaddr_storage& address, int length, std::string name)
        : address_(address), length_(length), name_(std::move(name)) {}

    std::unique_ptr<TcpConnection> connect(std::string& error) override {
        // Not inherited: a capture's encoder must not hold the link open.
        const SOCKET socket = ::WSASocketW(address_.ss_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                           WSA_FLAG_NO_HANDLE_INHERIT);
        if (socket == INVALID_SOCKET) {
            error = socketMessage(WSAGetLastError());
            return nullptr;
        }
        u_long nonBlocking = 1;
        if (::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
            error = socketMessage(WSAGetLastError());
            ::closesocket(socket);
            return nullptr;
        }
        // Rows and keys are a few bytes each: they go at once rather than waiting to fill a packet.
        const BOOL on = TRUE;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address_), length_) == 0)
            return std::make_unique<WinsockConnection>(socket, true);
        const int code = WSAGetLastError();
        if (code == WSAEWOULDBLOCK || code == WSAEINPROGRESS)
            return std::make_unique<WinsockConnection>(socket, false);
        error = socketMessage(code);
        ::closesocket(socket);
        return nullptr;
    }

    std::string address() const override { return name_; }

private:
    sockaddr_storage address_;
    int length_;
    std::string name_;
};

} // namespace

std::unique_ptr<TcpConnector> makeTcpConnector(const std::string& host, uint16_t port, std::string& error) {
    if (!startWinsock(error)) return nullptr;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (result != 0 || !found) {
        error = "cannot find the host " + host + " (" + socketMessage(result) + ")";
        return nullptr;
    }
    sockaddr_storage address{};
    const int length = static_cast<int>(found->ai_addrlen);
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    const bool bracketed = host.find(':') != std::string::npos;
    return std::make_unique<WinsockConnector>(address, length,
                                              (bracketed ? "[" + host + "]" : host) + ":" + service);
}

} // namespace platform
