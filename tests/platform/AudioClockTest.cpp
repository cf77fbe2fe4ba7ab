// The music clock between audio callbacks, on a scripted device: a steady sample clock that
// asks for buffers of 1024 frames, each request a little late by a scheduling delay.
#include "platform/AudioClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

constexpr int64_t microsecond = 1;
constexpr int64_t frequency = 1000000 * microsecond;

AudioBlock block(uint64_t firstFrame, uint32_t frames, int64_t at, bool loop = true,
                 uint64_t loopFrames = 10000) {
    AudioBlock b;
    b.stream = 1;
    b.firstFrame = firstFrame;
    b.frames = frames;
    b.at = at;
    b.rate = 44100;
    b.loopFrames = loopFrames;
    b.loop = loop;
    return b;
}

TEST(AudioClock, MovesOnFromTheLastBlockAndStopsAtItsEnd) {
    const AudioBlock b = block(2048, 1024, 500000);
    EXPECT_DOUBLE_EQ(heardFrame(b, 500000, frequency), 2048.0);
    EXPECT_DOUBLE_EQ(heardFrame(b, 510000, frequency), 2048.0 + 441.0);
    EXPECT_DOUBLE_EQ(heardFrame(b, 900000, frequency), 3072.0) << "a late callback holds the clock";
    EXPECT_DOUBLE_EQ(heardFrame(b, 400000, frequency), 2048.0) << "a reading taken before the block";
    EXPECT_DOUBLE_EQ(heardSeconds(b, 510000, frequency), (2048.0 + 441.0) / 44100.0);
}

TEST(AudioClock, WrapsAtTheLoopAndHoldsAtTheEndWithoutOne) {
    EXPECT_DOUBLE_EQ(heardFrame(block(9900, 1024, 0), 5000, frequency), 120.5);
    EXPECT_DOUBLE_EQ(heardFrame(block(29900, 1024, 0), 5000, frequency), 120.5) << "third pass";
    EXPECT_DOUBLE_EQ(heardFrame(block(9900, 100, 0, false), 1000000, frequency), 10000.0);
    EXPECT_DOUBLE_EQ(heardFrame(block(10000, 0, 0, false), 1000000, frequency), 10000.0);
}

TEST(AudioClock, NothingPlayingReadsZero) {
    AudioClock clock;
    EXPECT_EQ(clock.read().stream, 0u);
    EXPECT_EQ(heardSeconds(clock.read(), 123456, frequency), 0.0);
    AudioBlock started = block(0, 0, 1000); // play was called, no buffer handed over yet
    clock.publish(started);
    EXPECT_EQ(heardSeconds(clock.read(), 50000, frequency), 0.0);
}

// The device plays at exactly 44.1 kHz from time 0; buffer k is asked for when frame k * 1024
// starts to play, up to 1.5 ms late. Read every 0.25 ms for two seconds, the clock is never more
// than 2 ms off the frame being heard, never goes back, and never jumps by a buffer.
TEST(AudioClock, StaysWithinTwoMillisecondsOfTheHeardFrameWithoutSteps) {
    constexpr double rate = 44100.0;
    constexpr uint32_t buffer = 1024;
    uint32_t random = 12345;
    const auto lateness = [&] {
        random = random * 1664525u + 1013904223u;
        return static_cast<int64_t>((random >> 8) % 1500); // microseconds
    };
    std::vector<int64_t> callbackAt;
    for (uint64_t k = 0; k < 100; ++k)
        callbackAt.push_back(static_cast<int64_t>(std::llround(k * buffer / rate * 1e6)) + lateness());

    AudioClock clock;
    size_t next = 0;
    double previous = 0.0;
    double worstError = 0.0, worstStep = 0.0;
    for (int64_t now = callbackAt[0]; now < 2000000; now += 250) {
        while (next < callbackAt.size() && callbackAt[next] <= now) {
            clock.publish(block(next * buffer, buffer, callbackAt[next], true, 1u << 30));
            ++next;
        }
        const double heard = heardFrame(clock.read(), now, frequency);
        const double truth = static_cast<double>(now) / 1e6 * rate;
        worstError = std::max(worstError, std::fabs(heard - truth) / rate);
        EXPECT_GE(heard, previous) << "at " << now << " us";
        worstStep = std::max(worstStep, (heard - previous) / rate);
        previous = heard;
    }
    EXPECT_LE(worstError, 0.002);
    EXPECT_LE(worstStep, 0.00025 + 0.0015) << "a buffer is " << buffer / rate * 1000 << " ms";
}

// A block is read whole while another thread keeps publishing.
TEST(AudioClock, ReadersNeverSeeHalfABlock) {
    AudioClock clock;
    const auto make = [](uint64_t k) {
        AudioBlock b;
        b.stream = static_cast<uint32_t>(k % 5 + 1);
        b.firstFrame = k * 1024;
        b.frames = static_cast<uint32_t>(k % 1024);
        b.at = static_cast<int64_t>(k * 3);
        b.rate = static_cast<uint32_t>(44100 + k % 7);
        b.loopFrames = k * 11 + 1;
        b.loop = (k & 1) != 0;
        return b;
    };
    clock.publish(make(0));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            while (!done.load()) {
                const AudioBlock b = clock.read();
                const AudioBlock expected = make(b.firstFrame / 1024);
                if (b.stream != expected.stream || b.frames != expected.frames || b.at != expected.at ||
                    b.rate != expected.rate || b.loopFrames != expected.loopFrames || b.loop != expected.loop)
                    ++torn;
            }
        });
    for (uint64_t k = 1; k < 200000; ++k)
        clock.publish(make(k));
    done = true;
    for (auto& reader : readers)
        reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(clock.read().firstFrame, 199999u * 1024);
}

} // namespace
