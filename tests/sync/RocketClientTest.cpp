// The client of the Rocket protocol on a scripted connection and clock: what it sends and when,
// however the bytes trickle in and out, and how it gives up on a connection that goes nowhere.
#include "scene/sync/RocketClient.h"
#include "engine/base/Log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

namespace {

struct Script {
    TcpConnection::State state = TcpConnection::State::Connecting;
    std::string sent;            // what the client wrote
    std::string incoming;        // what the editor has sent, not read yet
    size_t sendBudget = 1 << 20; // bytes the system takes until the test gives more
    size_t readLimit = 1 << 20;  // bytes a receive gives at most
    int connects = 0;
};

class ScriptedConnection : public TcpConnection {
public:
    explicit ScriptedConnection(Script& script) : script_(script) {}
    State state() override { return script_.state; }
    long send(const char* data, size_t size) override {
        if (script_.state == State::Closed) return -1;
        const size_t n = std::min(size, script_.sendBudget);
        script_.sendBudget -= n;
        script_.sent.append(data, n);
        return static_cast<long>(n);
    }
    long receive(uint8_t* buffer, size_t size) override {
        if (script_.state == State::Closed) return -1;
        const size_t n = std::min({size, script_.readLimit, script_.incoming.size()});
        std::copy_n(script_.incoming.begin(), n, buffer);
        script_.incoming.erase(0, n);
        return static_cast<long>(n);
    }
    std::string error() const override { return "scripted"; }

private:
    Script& script_;
};

class ScriptedConnector : public TcpConnector {
public:
    explicit ScriptedConnector(Script& script) : script_(script) {}
    std::unique_ptr<TcpConnection> connect(std::string&) override {
        ++script_.connects;
        return std::make_unique<ScriptedConnection>(script_);
    }
    std::string address() const override { return "editor:1338"; }

private:
    Script& script_;
};

class RocketClientTest : public ::testing::Test {
protected:
    Script script;
    ScriptedConnector connector{script};
    double clock = 100.0;
    RocketClient client{connector, [this] { return clock; }};
    LogCapture log;
};

TEST_F(RocketClientTest, GreetingAndTracksGoOutHoweverFewBytesTheSystemTakes) {
    client.addTrack("a:P.x");
    client.addTrack("a:P.y");
    client.poll();
    EXPECT_EQ(script.connects, 1);
    EXPECT_TRUE(script.sent.empty()); // still connecting
    script.state = TcpConnection::State::Open;
    script.readLimit = 5;
    script.incoming = "hello, demo!";
    // Three bytes a frame leave the system's buffer: the rest waits for the next frames.
    for (int frame = 0; frame < 20; ++frame) {
        script.sendBudget = 3;
        client.poll();
    }
    EXPECT_TRUE(client.connected());
    const std::string getTrack = std::string("\x02\0\0\0\x05", 5);
    EXPECT_EQ(script.sent, "hello, synctracker!" + getTrack + "a:P.x" + getTrack + "a:P.y");
    // A track added later is asked for at once; one asked for already is not asked again.
    EXPECT_EQ(client.addTrack("a:P.y"), 1u);
    EXPECT_EQ(client.addTrack("b:Q.z"), 2u);
    client.sendRow(7);
    for (int frame = 0; frame < 10; ++frame) {
        script.sendBudget = 3;
        client.poll();
    }
    EXPECT_EQ(script.sent.substr(script.sent.size() - 15),
              getTrack + "b:Q.z" + std::string("\x03\0\0\0\x07", 5));
    EXPECT_EQ(log.count("sync: connected to editor:1338 (2 tracks)"), 1);
}

TEST_F(RocketClientTest, MessagesCutAnywhereAreReadWhole) {
    script.state = TcpConnection::State::Open;
    script.incoming = "hello, demo!" + std::string("\x03\0\0\x01\x02\x04\x01\x05", 8);
    script.readLimit = 1;
    std::vector<rocket::Message> got;
    for (int frame = 0; frame < 30; ++frame)
        for (const rocket::Message& m : client.poll())
            got.push_back(m);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].command, rocket::SetRow);
    EXPECT_EQ(got[0].row, 0x102u);
    EXPECT_TRUE(got[1].pause);
    EXPECT_EQ(got[2].command, rocket::SaveTracks);
}

TEST_F(RocketClientTest, AConnectNobodyAnswersIsGivenUpAndTriedAgain) {
    client.poll();
    clock += 2.9;
    client.poll();
    EXPECT_EQ(log.count("sync: "), 0);
    clock += 0.2;
    client.poll();
    EXPECT_EQ(log.count("sync: cannot connect to editor:1338 (no answer in 3 s)"), 1);
    EXPECT_EQ(script.connects, 1);
    clock += 0.5;
    client.poll();
    EXPECT_EQ(script.connects, 1); // not before a second has passed
    clock += 0.6;
    client.poll();
    EXPECT_EQ(script.connects, 2);
    clock += 3.5;
    client.poll();
    EXPECT_EQ(log.count("sync: "), 1); // the same stretch without an editor: no second line
}

TEST_F(RocketClientTest, AnAnswerThatIsNoEditorsIsNamed) {
    script.state = TcpConnection::State::Open;
    script.incoming = "HTTP/1.1 400";
    client.poll();
    EXPECT_FALSE(client.connected());
    EXPECT_EQ(log.count("sync: editor:1338 greeted with 'HTTP/1.1 400', not as a Rocket editor"), 1);

    // One that never answers the greeting at all.
    clock += 1.5;
    client.poll();
    clock += 5.1;
    client.poll();
    EXPECT_EQ(log.count("sync: editor:1338 did not answer the greeting"), 1);
}

} // namespace
