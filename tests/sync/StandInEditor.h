// A stand-in for a Rocket sync editor, written from the protocol alone: a TCP server on the
// loopback that answers the greeting, notes the tracks and rows the show sends, and sends keys,
// rows, pauses, saves or any bytes the test asks for. Nothing in it waits: the test services it
// between the show's frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class StandInEditor {
public:
    // Listens on 127.0.0.1 at `port` (0: one the system picks).
    explicit StandInEditor(uint16_t port = 0);
    ~StandInEditor();
    StandInEditor(const StandInEditor&) = delete;
    StandInEditor& operator=(const StandInEditor&) = delete;

    uint16_t port() const { return port_; }
    // Accepts the show, answers its greeting and reads what it sent.
    void service();
    // Closes the show's connection (the server keeps listening) or everything (the editor quits).
    void dropShow();
    void quit();

    bool connected() const { return client_ >= 0; }
    int accepted() const { return accepted_; }
    bool greeted() const { return greeted_; }
    std::string greeting() const { return greeting_; }
    // What the show sent since it connected: the tracks in the order asked for, the rows.
    std::vector<std::string> tracks;
    std::vector<uint32_t> rows;
    // Bytes the show sent that are no message of the protocol (none, if the show speaks it).
    std::string unexpected;

    void setKey(uint32_t track, uint32_t row, float value, uint8_t type);
    void deleteKey(uint32_t track, uint32_t row);
    void setRow(uint32_t row);
    void pause(bool paused);
    void saveTracks();
    void sendBytes(const std::string& bytes);

private:
    void parse();

    int listener_ = -1;
    int client_ = -1;
    uint16_t port_ = 0;
    int accepted_ = 0;
    bool greeted_ = false;
    std::string greeting_;
    std::string in_;
};
