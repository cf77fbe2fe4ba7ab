#include "scene/sync/RocketClient.h"

#include "engine/base/Log.h"

#include <algorithm>
#include <cstring>

RocketClient::RocketClient(TcpConnector& connector, std::function<double()> seconds, Settings settings)
    : connector_(connector), seconds_(std::move(seconds)), settings_(settings) {}

RocketClient::RocketClient(TcpConnector& connector, std::function<double()> seconds)
    : RocketClient(connector, std::move(seconds), Settings{}) {}

size_t RocketClient::addTrack(const std::string& name) {
    const auto known = std::find(tracks_.begin(), tracks_.end(), name);
    if (known != tracks_.end()) return static_cast<size_t>(known - tracks_.begin());
    tracks_.push_back(name);
    if (state_ == State::Open) queue(rocket::encodeGetTrack(name));
    return tracks_.size() - 1;
}

void RocketClient::sendRow(uint32_t row) {
    if (state_ == State::Open) queue(rocket::encodeSetRow(row));
}

void RocketClient::queue(const std::string& bytes) {
    outgoing_ += bytes;
}

void RocketClient::startConnecting(double now) {
    std::string error;
    connection_ = connector_.connect(error);
    if (!connection_) {
        drop("cannot connect to " + connector_.address() + " (" + error + ")", now);
        return;
    }
    state_ = State::Connecting;
    connectDue_ = now + settings_.connectSeconds;
}

// Closes the connection; the line is said once for a stretch without a connection.
void RocketClient::drop(const std::string& line, double now) {
    if (!outageSaid_)
        logStream << "sync: " << line << "; the show plays on and tries again every second" << std::endl;
    outageSaid_ = true;
    connection_.reset();
    outgoing_.clear();
    incoming_.clear();
    state_ = State::Waiting;
    nextTry_ = now + settings_.retrySeconds;
}

bool RocketClient::flush(double now) {
    while (!outgoing_.empty()) {
        const long sent = connection_->send(outgoing_.data(), outgoing_.size());
        if (sent < 0) {
            drop("lost the connection to " + connector_.address() + " (" + connection_->error() + ")", now);
            return false;
        }
        if (sent == 0) break; // the system's buffer is full: the rest goes next frame
        outgoing_.erase(0, static_cast<size_t>(sent));
    }
    return true;
}

void RocketClient::readGreeting(double now) {
    uint8_t buffer[64];
    while (incoming_.size() < rocket::ServerGreetingSize) {
        const long got = connection_->receive(buffer, rocket::ServerGreetingSize - incoming_.size());
        if (got < 0) {
            drop("lost the connection to " + connector_.address() + " before its greeting (" +
                     connection_->error() + ")",
                 now);
            return;
        }
        if (got == 0) break;
        incoming_.insert(incoming_.end(), buffer, buffer + got);
    }
    if (incoming_.size() < rocket::ServerGreetingSize) {
        if (now >= greetingDue_) {
            outageSaid_ = false; // something answers there, but no editor
            drop(connector_.address() + " did not answer the greeting; it is no Rocket editor", now);
        }
        return;
    }
    if (std::memcmp(incoming_.data(), rocket::ServerGreeting, rocket::ServerGreetingSize) != 0) {
        std::string got;
        for (uint8_t c : incoming_)
            got += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
        // Said even within an outage: something other than an editor answers there.
        outageSaid_ = false;
        drop(connector_.address() + " greeted with '" + got + "', not as a Rocket editor; connection closed",
             now);
        return;
    }
    incoming_.clear();
    state_ = State::Open;
    ++connections_;
    outageSaid_ = false;
    logStream << "sync: connected to " << connector_.address() << " (" << tracks_.size() << " tracks)"
              << std::endl;
    for (const std::string& name : tracks_)
        queue(rocket::encodeGetTrack(name));
}

void RocketClient::readMessages(double now, std::vector<rocket::Message>& out) {
    uint8_t buffer[4096];
    size_t read = 0;
    bool closed = false;
    while (read < settings_.readLimit) {
        const long got = connection_->receive(buffer, sizeof buffer);
        if (got < 0) {
            closed = true;
            break;
        }
        if (got == 0) break;
        incoming_.insert(incoming_.end(), buffer, buffer + got);
        read += static_cast<size_t>(got);
    }
    size_t at = 0;
    while (at < incoming_.size()) {
        rocket::Message message;
        size_t used = 0;
        std::string why;
        const rocket::Decoded result =
            rocket::decodeFromEditor(incoming_.data() + at, incoming_.size() - at, message, used, why);
        if (result == rocket::Decoded::NeedMore) break;
        if (result == rocket::Decoded::Refused) {
            outageSaid_ = false;
            drop(connector_.address() + " sent " + why + "; connection closed", now);
            return;
        }
        if ((message.command == rocket::SetKey || message.command == rocket::DeleteKey) &&
            message.track >= tracks_.size()) {
            outageSaid_ = false;
            drop(connector_.address() + " sent " + rocket::commandName(message.command) + " for track " +
                     std::to_string(message.track) + ", but the show asked for " +
                     std::to_string(tracks_.size()) + "; connection closed",
                 now);
            return;
        }
        out.push_back(message);
        at += used;
    }
    incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(at));
    if (closed)
        drop("lost the connection to " + connector_.address() + " (" + connection_->error() + ")", now);
}

std::vector<rocket::Message> RocketClient::poll() {
    std::vector<rocket::Message> messages;
    const double now = seconds_();
    if (state_ == State::Waiting) {
        if (now < nextTry_) return messages;
        startConnecting(now);
        if (state_ != State::Connecting) return messages;
    }
    if (state_ == State::Connecting) {
        switch (connection_->state()) {
        case TcpConnection::State::Connecting:
            if (now >= connectDue_)
                drop("cannot connect to " + connector_.address() + " (no answer in " +
                         std::to_string(static_cast<int>(settings_.connectSeconds)) + " s)",
                     now);
            return messages;
        case TcpConnection::State::Closed:
            drop("cannot connect to " + connector_.address() + " (" + connection_->error() + ")", now);
            return messages;
        case TcpConnection::State::Open:
            state_ = State::Greeting;
            greetingDue_ = now + settings_.greetingSeconds;
            queue(std::string(rocket::ClientGreeting, sizeof(rocket::ClientGreeting) - 1));
            break;
        }
    }
    if (!flush(now)) return messages;
    if (state_ == State::Greeting) {
        readGreeting(now);
        if (state_ != State::Open || !flush(now)) return messages;
    }
    readMessages(now, messages);
    if (state_ == State::Open) flush(now);
    return messages;
}
