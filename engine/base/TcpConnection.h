// A TCP connection that never blocks the frame that uses it: connecting, sending and receiving
// all return at once with what could be done. The platform implements it (platform/TcpSocket:
// POSIX sockets, Winsock on Windows); tests may hand in their own.
//
// What it does NOT do: frame messages, retry, or resolve names after it was made (the connector
// resolves its address once, when it is made, so that a retry never waits for a name server).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TcpConnection {
public:
    enum class State {
        Connecting, // the connect is under way
        Open,       // bytes may go both ways
        Closed,     // refused, failed or ended: error() says why
    };
    virtual ~TcpConnection() = default;
    // Moves a pending connect on and says where the connection stands.
    virtual State state() = 0;
    // The number of bytes taken (fewer than given, or 0, when the system's buffer is full);
    // -1 once the connection is closed.
    virtual long send(const char* data, size_t size) = 0;
    // The number of bytes read into `buffer` (0 when nothing has arrived); -1 once the connection
    // is closed, by the other side or a failure.
    virtual long receive(uint8_t* buffer, size_t size) = 0;
    virtual std::string error() const = 0;
};

class TcpConnector {
public:
    virtual ~TcpConnector() = default;
    // Starts a connection to the connector's address and returns at once; null with `error` when
    // not even that can be done.
    virtual std::unique_ptr<TcpConnection> connect(std::string& error) = 0;
    // "HOST:PORT", for messages.
    virtual std::string address() const = 0;
};
