// Which sample of the music is being heard, from the blocks the audio callback hands to the device.
//
// The callback publishes one AudioBlock per device buffer: the stream, the stream frame the block
// starts with (counted since play, not wrapped at the loop), how many music frames it holds and
// the counter reading taken when the callback ran. A reader takes the latest block and moves on
// from its first frame at the stream's rate for the time that has passed since, but never past
// the block's end: the position advances smoothly between callbacks instead of in steps of one
// buffer (1024 frames are 23 ms, almost the whole 26.6 ms beat window), and it never runs ahead
// of what the device was given when a callback comes late.
//
// Publishing and reading use a sequence lock: the writer never waits, a reader retries while a
// block is being written. One writer at a time (the audio callback, or the player while the
// device is locked); any number of readers on any threads.
//
// No SDL here: the unit is plain arithmetic and atomics, testable with a scripted counter.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>

struct AudioBlock {
    uint32_t stream = 0;     // 0: nothing playing
    uint64_t firstFrame = 0; // frames handed to the device since play before this block
    uint32_t frames = 0;     // music frames in this block (fewer than the buffer at a stream's end)
    int64_t at = 0;          // counter reading when the block was handed over
    uint32_t rate = 0;       // frames per second of the stream
    uint64_t loopFrames = 0; // frames in one pass of the stream
    bool loop = false;       // whether the stream starts over at its end
};

// The stream frame being heard `now`, wrapped into one pass of a looping stream (or held at the
// end of a stream that does not loop). `frequency` is the counter's ticks per second.
inline double heardFrame(const AudioBlock& block, int64_t now, int64_t frequency) {
    if (block.stream == 0 || block.rate == 0 || frequency <= 0) return 0.0;
    const double elapsed = static_cast<double>(now - block.at) / static_cast<double>(frequency);
    const double advance = std::clamp(elapsed * block.rate, 0.0, static_cast<double>(block.frames));
    const double frame = static_cast<double>(block.firstFrame) + advance;
    const double length = static_cast<double>(block.loopFrames);
    if (length <= 0.0) return 0.0;
    if (block.loop) return std::fmod(frame, length);
    return std::min(frame, length);
}

inline double heardSeconds(const AudioBlock& block, int64_t now, int64_t frequency) {
    if (block.rate == 0) return 0.0;
    return heardFrame(block, now, frequency) / block.rate;
}

class AudioClock {
public:
    // Writer side: one writer at a time. The fields are stored with release order so that a
    // reader who sees any new field also sees the odd sequence number that came before it (no
    // stand-alone fences: ThreadSanitizer cannot follow them).
    void publish(const AudioBlock& block) {
        const uint32_t sequence = sequence_.load(std::memory_order_relaxed);
        sequence_.store(sequence + 1, std::memory_order_relaxed);
        stream_.store(block.stream, std::memory_order_release);
        firstFrame_.store(block.firstFrame, std::memory_order_release);
        frames_.store(block.frames, std::memory_order_release);
        at_.store(block.at, std::memory_order_release);
        rate_.store(block.rate, std::memory_order_release);
        loopFrames_.store(block.loopFrames, std::memory_order_release);
        loop_.store(block.loop, std::memory_order_release);
        sequence_.store(sequence + 2, std::memory_order_release);
    }

    // Reader side: a block exactly as one publish wrote it. Never blocks the writer.
    AudioBlock read() const {
        AudioBlock block;
        for (;;) {
            const uint32_t before = sequence_.load(std::memory_order_acquire);
            if (before & 1u) { // a publish is under way; it takes a few stores
                std::this_thread::yield();
                continue;
            }
            block.stream = stream_.load(std::memory_order_acquire);
            block.firstFrame = firstFrame_.load(std::memory_order_acquire);
            block.frames = frames_.load(std::memory_order_acquire);
            block.at = at_.load(std::memory_order_acquire);
            block.rate = rate_.load(std::memory_order_acquire);
            block.loopFrames = loopFrames_.load(std::memory_order_acquire);
            block.loop = loop_.load(std::memory_order_acquire);
            if (sequence_.load(std::memory_order_relaxed) == before) return block;
        }
    }

private:
    std::atomic<uint32_t> sequence_{0};
    std::atomic<uint32_t> stream_{0};
    std::atomic<uint64_t> firstFrame_{0};
    std::atomic<uint32_t> frames_{0};
    std::atomic<int64_t> at_{0};
    std::atomic<uint32_t> rate_{0};
    std::atomic<uint64_t> loopFrames_{0};
    std::atomic<bool> loop_{false};
};
