#include "tests/sync/StandInEditor.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The protocol's numbers, big-endian, as an editor writes them.
void put32(std::string& out, uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
    out.append(b, 4);
}

uint32_t get32(const std::string& in, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(in[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(in[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(in[at + 2])) << 8 | static_cast<uint8_t>(in[at + 3]);
}

void makeNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
}

const std::string ShowGreeting = "hello, synctracker!";
const std::string EditorGreeting = "hello, demo!";

} // namespace

StandInEditor::StandInEditor(uint16_t port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0)
        throw std::runtime_error(std::string("stand-in editor cannot listen: ") + std::strerror(errno));
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    makeNonBlocking(listener_);
}

StandInEditor::~StandInEditor() {
    quit();
}

void StandInEditor::dropShow() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
}

void StandInEditor::quit() {
    dropShow();
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

void StandInEditor::service() {
    if (client_ < 0 && listener_ >= 0) {
        client_ = ::accept(listener_, nullptr, nullptr);
        if (client_ < 0) return;
        makeNonBlocking(client_);
        ++accepted_;
        greeted_ = false;
        greeting_.clear();
        in_.clear();
        tracks.clear();
        rows.clear();
    }
    if (client_ < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(client_, buffer, sizeof buffer, 0);
        if (got > 0) {
            in_.append(buffer, static_cast<size_t>(got));
            continue;
        }
        if (got == 0) dropShow(); // the show closed it
        break;
    }
    parse();
}

void StandInEditor::parse() {
    if (!greeted_) {
        if (in_.size() < ShowGreeting.size()) return;
        greeting_ = in_.substr(0, ShowGreeting.size());
        in_.erase(0, ShowGreeting.size());
        greeted_ = true;
        if (greeting_ == ShowGreeting) sendBytes(EditorGreeting);
    }
    for (;;) {
        if (in_.empty()) return;
        const auto command = static_cast<uint8_t>(in_[0]);
        if (command == 2) { // GET_TRACK
            if (in_.size() < 5) return;
            const uint32_t length = get32(in_, 1);
            if (in_.size() < 5 + length) return;
            tracks.push_back(in_.substr(5, length));
            in_.erase(0, 5 + length);
        } else if (command == 3) { // SET_ROW
            if (in_.size() < 5) return;
            rows.push_back(get32(in_, 1));
            in_.erase(0, 5);
        } else {
            unexpected += in_;
            in_.clear();
        }
    }
}

void StandInEditor::sendBytes(const std::string& bytes) {
    if (client_ < 0) return;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return;
        done += static_cast<size_t>(sent);
    }
}

void StandInEditor::setKey(uint32_t track, uint32_t row, float value, uint8_t type) {
    std::string m(1, '\0');
    put32(m, track);
    put32(m, row);
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    put32(m, bits);
    m += static_cast<char>(type);
    sendBytes(m);
}

void StandInEditor::deleteKey(uint32_t track, uint32_t row) {
    std::string m(1, '\1');
    put32(m, track);
    put32(m, row);
    sendBytes(m);
}

void StandInEditor::setRow(uint32_t row) {
    std::string m(1, '\3');
    put32(m, row);
    sendBytes(m);
}

void StandInEditor::pause(bool paused) {
    sendBytes(std::string{'\4', static_cast<char>(paused ? 1 : 0)});
}

void StandInEditor::saveTracks() {
    sendBytes(std::string(1, '\5'));
}
