// Deterministic time for offline rendering: every frame advances the clock by exactly 1/FPS
// seconds, both for the frame timer and for the music position, and nothing is played.
//
// The main loop advances the clock once per frame (before it reads the frame timer); the music
// position counts the frames since play() and wraps at the song's length when it is known.
#pragma once

#include "engine/base/AudioBackend.h"
#include "engine/base/FrameTimer.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class OfflineClock {
public:
    explicit OfflineClock(double framesPerSecond);

    void advanceFrame() { frame_.fetch_add(1, std::memory_order_relaxed); }
    int64_t frame() const { return frame_.load(std::memory_order_relaxed); }
    double framesPerSecond() const { return fps_; }

    // A counter whose reading moves by 1/FPS s per frame.
    const PerformanceCounter& counter() const { return counter_; }

private:
    class Counter : public PerformanceCounter {
    public:
        explicit Counter(const OfflineClock& clock) : clock_(clock) {}
        int64_t frequency() const override;
        int64_t now() const override;

    private:
        const OfflineClock& clock_;
    };

    double fps_;
    int64_t ticksPerFrame_;
    int64_t ticksPerSecond_;
    std::atomic<int64_t> frame_{0};
    Counter counter_{*this};
};

// Streams that play nothing and report the offline clock's position. A stream opens when its
// file exists; `songLength` (seconds; 0 or less when unknown) gives the loop point.
class OfflineAudioBackend : public AudioBackend {
public:
    using LengthProbe = std::function<double(const std::string& path)>;
    OfflineAudioBackend(const OfflineClock& clock, LengthProbe songLength);

    uint32_t createStream(const std::string& path, bool loop) override;
    bool play(uint32_t stream) override;
    // Whole frames of the clock: the position then reads exactly what a run from the start
    // reads at the same frame.
    bool playFrom(uint32_t stream, double seconds) override;
    bool stop(uint32_t stream) override;
    double position(uint32_t stream) override;
    double length(uint32_t stream) override;
    int lastError() override;

    static constexpr int ErrorFileOpen = 2;
    static constexpr int ErrorHandle = 5;

private:
    const OfflineClock& clock_;
    LengthProbe probe_;
    std::atomic<uint32_t> stream_{0};
    std::atomic<double> length_{0.0};
    std::atomic<bool> loop_{true};
    std::atomic<int64_t> playFrame_{0}; // the clock frame at which the position read 0
    std::atomic<bool> playing_{false};
    std::atomic<int> error_{0};
};
