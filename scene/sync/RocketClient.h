// The show's side of a link to a Rocket sync editor: connects, greets, asks for its tracks, reads
// the editor's messages and sends the row the show is at. Polled once a frame; nothing in it
// waits (the connection is a TcpConnection that never blocks).
//
// A refused or lost connection is one log line; the client tries again every `retrySeconds`
// without another line until it is connected again. A message the protocol does not allow, an
// editor that does not greet as one, or a key for a track that was never asked for closes the
// connection with one line naming it, and the client tries again later. Each new connection asks
// for every track again, in the same order, and the editor sends their keys again.
//
// It knows nothing of scenes or the show: what the messages mean is the caller's (SyncLink).
#pragma once

#include "engine/base/TcpConnection.h"
#include "scene/sync/RocketProtocol.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class RocketClient {
public:
    struct Settings {
        double retrySeconds = 1.0;
        double connectSeconds = 3.0;  // a connect nobody answers (a host that drops it) is given up on
        double greetingSeconds = 5.0; // an editor that accepts but never greets is given up on
        size_t readLimit = 1 << 18;   // bytes read in one poll at most, so a flood cannot stall a frame
    };
    // `seconds` is a steady clock.
    RocketClient(TcpConnector& connector, std::function<double()> seconds, Settings settings);
    RocketClient(TcpConnector& connector, std::function<double()> seconds);

    // A track to ask for: at once when connected, and at every connection from now on. Its index
    // is its place in the order of asking. Names already asked for are not asked again.
    size_t addTrack(const std::string& name);
    const std::vector<std::string>& tracks() const { return tracks_; }

    // Connects or tries again when due, sends what waits, reads what arrived: the editor's messages
    // in the order they came.
    std::vector<rocket::Message> poll();
    // Tells the editor the row the show is at (dropped while not connected).
    void sendRow(uint32_t row);

    bool connected() const { return state_ == State::Open; }
    // Connections made so far (the editor sends every key again on each).
    int connections() const { return connections_; }

private:
    enum class State { Waiting, Connecting, Greeting, Open };
    void startConnecting(double now);
    void drop(const std::string& line, double now);
    void queue(const std::string& bytes);
    bool flush(double now);
    void readGreeting(double now);
    void readMessages(double now, std::vector<rocket::Message>& out);

    TcpConnector& connector_;
    std::function<double()> seconds_;
    Settings settings_;
    std::unique_ptr<TcpConnection> connection_;
    State state_ = State::Waiting;
    double nextTry_ = 0.0;
    double greetingDue_ = 0.0;
    double connectDue_ = 0.0;
    bool outageSaid_ = false; // the current stretch without a connection has had its line
    int connections_ = 0;
    std::vector<std::string> tracks_;
    std::string outgoing_;
    std::vector<uint8_t> incoming_;
};
