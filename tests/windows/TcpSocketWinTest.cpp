// The link to a sync tracker on Windows: Winsock connections that never block, against a
// listener on the loopback made here. Connecting, bytes both ways, a refusal and the other side
// closing each end in the state the link reads.
#include "platform/TcpSocket.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

// Waits up to 5 s for `done`, a few milliseconds between looks.
bool within5s(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

class Listener {
public:
    Listener() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(socket_, 1);
        int length = sizeof address;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        if (client_ != INVALID_SOCKET) ::closesocket(client_);
        ::closesocket(socket_);
        WSACleanup();
    }
    uint16_t port() const { return port_; }
    // Blocks until the connection under test arrives.
    SOCKET accept() { return client_ = ::accept(socket_, nullptr, nullptr); }
    void closeClient() {
        ::closesocket(client_);
        client_ = INVALID_SOCKET;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    SOCKET client_ = INVALID_SOCKET;
    uint16_t port_ = 0;
};

TEST(TcpSocketWindows, ConnectsWithoutWaitingAndCarriesBytesBothWays) {
    Listener listener;
    std::string error;
    auto connector = platform::makeTcpConnector("127.0.0.1", listener.port(), error);
    ASSERT_TRUE(connector) << error;
    EXPECT_EQ(connector->address(), "127.0.0.1:" + std::to_string(listener.port()));
    auto connection = connector->connect(error);
    ASSERT_TRUE(connection) << error;
    const SOCKET peer = listener.accept();
    ASSERT_NE(peer, INVALID_SOCKET);
    ASSERT_TRUE(within5s([&] { return connection->state() == TcpConnection::State::Open; }))
        << connection->error();

    // Nothing has come: a receive says 0 at once rather than waiting.
    uint8_t buffer[64];
    EXPECT_EQ(connection->receive(buffer, sizeof buffer), 0);

    EXPECT_EQ(connection->send("hello, synctracker!", 19), 19);
    char got[32] = {};
    EXPECT_EQ(::recv(peer, got, sizeof got, 0), 19);
    EXPECT_STREQ(got, "hello, synctracker!");

    ::send(peer, "hello, demo!", 12, 0);
    long received = 0;
    ASSERT_TRUE(within5s([&] { return (received = connection->receive(buffer, sizeof buffer)) != 0; }));
    EXPECT_EQ(received, 12);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 12), "hello, demo!");

    // The editor quits: the next receive says so, and the connection stays closed.
    listener.closeClient();
    ASSERT_TRUE(within5s([&] { return connection->receive(buffer, sizeof buffer) == -1; }));
    EXPECT_EQ(connection->state(), TcpConnection::State::Closed);
    EXPECT_EQ(connection->error(), "closed by the editor");
    EXPECT_EQ(connection->send("x", 1), -1);
}

TEST(TcpSocketWindows, ANobodyListeningEndsClosedWithTheSystemsReason) {
    uint16_t port = 0;
    {
        Listener gone; // a port that was free a moment ago and has nobody now
        port = gone.port();
    }
    std::string error;
    auto connector = platform::makeTcpConnector("127.0.0.1", port, error);
    ASSERT_TRUE(connector) << error;
    auto connection = connector->connect(error);
    if (!connection) {
        EXPECT_FALSE(error.empty()); // refused at once
        return;
    }
    ASSERT_TRUE(within5s([&] { return connection->state() == TcpConnection::State::Closed; }));
    EXPECT_FALSE(connection->error().empty());
    uint8_t buffer[4];
    EXPECT_EQ(connection->receive(buffer, sizeof buffer), -1);
}

TEST(TcpSocketWindows, AnUnknownHostIsOneLine) {
    std::string error;
    EXPECT_FALSE(platform::makeTcpConnector("no-such-host.invalid", 1338, error));
    EXPECT_EQ(error.rfind("cannot find the host no-such-host.invalid (", 0), 0u) << error;
}

} // namespace
