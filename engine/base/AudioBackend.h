// Where the music comes from: a source of looping streams with a position in seconds. The
// platform implements it with its audio device and an Ogg Vorbis decoder; offline runs, scene
// checks and tests implement it without a device. The music player is its only user.
#pragma once

#include <cstdint>
#include <string>

class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    // A stream handle, or 0 when the file cannot be opened or decoded (lastError tells why).
    virtual uint32_t createStream(const std::string& path, bool loop) = 0;
    // Starts the stream from its beginning; false on failure.
    virtual bool play(uint32_t stream) = 0;
    // Starts the stream so that its position reads `seconds` now (wrapped at a looping stream's
    // end). A backend that cannot seek refuses any start but 0.
    virtual bool playFrom(uint32_t stream, double seconds) { return seconds <= 0.0 && play(stream); }
    // Silences the stream; a later play or playFrom starts it again. A backend that cannot stop
    // a stream refuses.
    virtual bool stop(uint32_t stream) {
        (void)stream;
        return false;
    }
    // Seconds of the sample being heard; wraps at the loop point.
    virtual double position(uint32_t stream) = 0;
    // Where a looping stream starts over, in seconds: the song's length. 0 when the stream does
    // not loop or the backend cannot tell; the show's clock then never wraps.
    virtual double length(uint32_t stream) {
        (void)stream;
        return 0.0;
    }
    virtual int lastError() = 0;
};
