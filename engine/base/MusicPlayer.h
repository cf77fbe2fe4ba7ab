// The show's clock: one looping music stream and its position in seconds.
//
// The stream itself comes from an AudioBackend (the platform's audio device with an Ogg Vorbis
// decoder, a decoder that only validates files, or an offline clock). Without a stream, or
// without a backend, the player still keeps time: from the first play() on, position() follows a
// silent wall clock, so events fire and "exit" still ends the show.
#pragma once

#include "engine/base/AudioBackend.h"
#include "engine/base/FrameTimer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class MusicPlayer {
public:
    MusicPlayer();

    // Replaces the backend (null: no audio at all). Streams of the old backend are forgotten.
    void setBackend(std::shared_ptr<AudioBackend> backend);
    // The clock used while there is no stream (defaults to the steady clock).
    void setSilentClock(const PerformanceCounter& counter);

    // Opens a looping stream; 0 when the handle is non-zero, else -1 (the handle is replaced either way).
    int load(const std::string& path);
    // Starts the stream from the beginning. -1 when the backend cannot play it (without a stream
    // the backend is asked all the same and refuses the empty handle); the silent clock then
    // starts instead.
    int play();
    // The same, with the music going on from `seconds` (a show started in its middle); the silent
    // clock starts at `seconds` too when the backend cannot play.
    int playFrom(double seconds);
    // Silences the music (a paused show, or one played at another speed); play or playFrom
    // starts it again. The silent clock stops too.
    void stop();
    // Seconds since the start of the music: the stream's position, the silent clock, or 0 before play.
    double position();
    // The loaded stream's length, where its position wraps (also before it plays); 0 when there
    // is no stream, the backend cannot tell, or the silent clock keeps the time (it never wraps).
    double length();
    // The code of the last load or play in decimal: 0 after a success, the backend's code for a
    // failure, -1 without a backend. It is taken when the call fails, on the thread that made it,
    // so any thread may ask afterwards.
    std::string errorText();

    bool isPlaying() const;
    uint32_t stream() const;
    // The file of the stream loaded last ("" without one), and how many loads there have been
    // (a song opened again is a new load of the same file).
    std::string streamPath(uint64_t* loads = nullptr) const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<AudioBackend> backend_;
    const PerformanceCounter* silentCounter_;
    bool isPlaying_ = false;
    uint32_t stream_ = 0;
    int lastError_ = 0;
    bool silentRunning_ = false;
    int64_t silentStart_ = 0;
    std::string streamPath_;
    uint64_t loads_ = 0;
};
