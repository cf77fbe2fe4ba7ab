// The music player's backend on the SDL2 audio device, with Ogg Vorbis files decoded by
// libvorbisfile.
//
// What it does:
// - createStream decodes the whole file into memory (see VorbisDecoder.h for why) and makes sure
//   an output device is open; without one it fails with AudioNoDevice, so that MusicPlayer runs
//   the show on its silent clock.
// - play restarts a stream from its first frame; one stream is heard at a time, so playing a
//   stream stops the one before it. The device follows the stream's rate and channel count
//   (SDL converts for hardware that differs).
// - The audio callback copies frames and nothing else: no allocation, no lock of ours, no disk.
//   A looping stream starts over inside the same buffer, so the loop point adds no gap.
// - position is the frame being heard, interpolated from the last buffer handed to the device
//   (AudioClock.h) and read without blocking the audio thread.
// What it does not do: mix several streams, resample, free a stream before the backend goes away
// (a show loads one or two pieces of music).
//
// Error codes are platform::AudioError (VorbisDecoder.h). Every call sets the calling thread's
// last error (AudioOk on success); lastError returns the calling thread's, so a failure is
// reported by the thread that met it whatever other threads do meanwhile.
#pragma once

#include "engine/base/AudioBackend.h"
#include "engine/base/FrameTimer.h"
#include "platform/AudioClock.h"
#include "platform/VorbisDecoder.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Called on the audio thread after each device buffer that was filled from a stream: the stream,
// the frames handed to the device since play before this buffer (not wrapped at the loop), and
// the music frames in this buffer. For diagnostics and tests; it must return quickly.
using AudioBlockListener = std::function<void(uint32_t stream, uint64_t framesBefore, uint32_t frames)>;

struct SdlAudioOptions {
    // Device buffer in frames: 1024 at 44.1 kHz is 23 ms between callbacks.
    int bufferFrames = 1024;
    // The steady clock that interpolates between callbacks; null: platform::performanceCounter().
    // It is read on the audio thread and by position(), so it must be safe to read from both.
    const PerformanceCounter* clock = nullptr;
    AudioBlockListener listener;
};

class SdlAudio : public AudioBackend {
public:
    explicit SdlAudio(SdlAudioOptions options = {});
    ~SdlAudio() override;
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    // A handle (1, 2, ...) or 0 with lastError set. The file is decoded on the calling thread.
    uint32_t createStream(const std::string& path, bool loop) override;
    // Restarts the stream from its first frame: position reads 0 until the device takes the
    // first buffer of it. False for an unknown handle or when no device can be opened.
    bool play(uint32_t stream) override;
    // The same from `seconds` into the stream (wrapped at the loop; held at the end otherwise).
    bool playFrom(uint32_t stream, double seconds) override;
    // The device plays silence until the next play or playFrom.
    bool stop(uint32_t stream) override;
    // Seconds of the frame being heard, wrapped at the loop; 0 for a stream that is not playing;
    // -1 for an unknown handle. Never blocks the audio thread.
    double position(uint32_t stream) override;
    // The decoded frames over the stream's rate, for a looping stream (else 0).
    double length(uint32_t stream) override;
    int lastError() override;

    // The device's frames per second and channels; 0 while no device is open.
    int deviceRate() const;
    int deviceChannels() const;

private:
    struct Stream;
    static void audioCallback(void* user, uint8_t* out, int bytes);
    void fill(int16_t* out, int frames);
    // Opens (or reopens) the device for this format; false with lastError set when it cannot.
    bool openDevice(int rate, int channels);
    void closeDevice();
    const Stream* findStream(uint32_t handle);

    SdlAudioOptions options_;
    const PerformanceCounter* clock_;

    std::mutex control_; // createStream and play; the audio callback never takes it
    bool audioInitialised_ = false;
    uint32_t device_ = 0;
    std::atomic<int> deviceRate_{0};
    std::atomic<int> deviceChannels_{0};

    std::mutex streamsMutex_; // the list only; the audio callback never takes it
    std::vector<std::unique_ptr<Stream>> streams_;

    // Audio thread state; play() changes it only while the device is locked.
    const Stream* current_ = nullptr;
    uint64_t handed_ = 0; // frames of the current stream handed to the device since play
    uint64_t cursor_ = 0; // next frame of the current stream

    std::atomic<uint32_t> streamCount_{0}; // handles 1..streamCount_ exist
    AudioClock audioClock_;
};

} // namespace platform
