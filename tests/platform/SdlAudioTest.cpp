// The SDL audio backend on SDL's disk driver, which writes every buffer the callback fills to a
// file as fast as the callback can fill it (SDL_DISKAUDIODELAY=0): the file is exactly what
// the device was given. The music clock is checked against the callback's own frame counts with
// a counter that only the test moves, never against wall-clock time.
#include "platform/SdlAudio.h"

#include "engine/base/MusicPlayer.h"
#include "tests/platform/ToneFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <thread>

namespace {

using namespace platform;

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (previous_)
            setenv(name_, previous_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

// A counter that the audio thread and the test may both read and move.
class SharedCounter : public PerformanceCounter {
public:
    int64_t frequency() const override { return 1000000; }
    int64_t now() const override { return value_.load(); }
    void advanceMicroseconds(int64_t us) { value_ += us; }

private:
    std::atomic<int64_t> value_{1000000};
};

// Waits until `done` holds, at most ten seconds (a bound, not a measurement).
template <typename Predicate>
bool waitUntil(Predicate done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Once the test has what it needs the audio thread is slowed down, so that the disk driver
// does not fill the disk while the test winds down.
void throttle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

class DiskAudio : public ::testing::Test {
protected:
    DiskAudio()
        : driver_("SDL_AUDIODRIVER", "disk"),
          output_("SDL_DISKAUDIOFILE", (dir_.path() / "out.raw").string()),
          delay_("SDL_DISKAUDIODELAY", "0") {}

    std::string tone(const std::string& name, const ToneSpec& spec) {
        const std::string path = (dir_.path() / name).string();
        EXPECT_TRUE(writeToneFile(path, spec));
        return path;
    }

    // What the device was given, as 16-bit samples.
    std::vector<int16_t> deviceOutput() const {
        const std::vector<uint8_t> bytes = readBytes((dir_.path() / "out.raw").string());
        std::vector<int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

    ScratchDirectory dir_;

private:
    ScopedEnvironment driver_, output_, delay_;
};

// Drops the whole buffers of silence the device played before the stream started.
std::vector<int16_t> withoutLeadingSilence(const std::vector<int16_t>& samples, size_t bufferSamples) {
    size_t start = 0;
    while (start + bufferSamples <= samples.size()) {
        bool silent = true;
        for (size_t i = start; i < start + bufferSamples && silent; ++i)
            silent = samples[i] == 0;
        if (!silent) break;
        start += bufferSamples;
    }
    return std::vector<int16_t>(samples.begin() + static_cast<std::ptrdiff_t>(start), samples.end());
}

TEST_F(DiskAudio, DeviceGetsTheDecodedFileLoopedSampleForSample) {
    // 10000 frames: the loop point falls inside a device buffer of 1024 frames.
    const std::string path = tone("tone.ogg", {44100, 2, 10000, 441.0, 1});
    const std::vector<int16_t> reference = decodeReference(path);
    ASSERT_EQ(reference.size(), 20000u);

    std::atomic<uint64_t> handed{0};
    {
        SdlAudioOptions options;
        options.listener = [&](uint32_t, uint64_t before, uint32_t frames) {
            handed = before + frames;
            if (before > 35000) throttle();
        };
        SdlAudio audio(options);
        const uint32_t stream = audio.createStream(path, true);
        ASSERT_NE(stream, 0u) << audioErrorText(audio.lastError());
        EXPECT_EQ(audio.deviceRate(), 44100);
        EXPECT_EQ(audio.deviceChannels(), 2);
        ASSERT_TRUE(audio.play(stream));
        ASSERT_TRUE(waitUntil([&] { return handed.load() > 35000; }));
    } // closing the device flushes the file

    const std::vector<int16_t> output = withoutLeadingSilence(deviceOutput(), 1024 * 2);
    ASSERT_GE(output.size(), 3 * reference.size()) << "fewer than three passes were written";
    size_t mismatches = 0, first = 0;
    for (size_t i = 0; i < output.size(); ++i)
        if (output[i] != reference[i % reference.size()] && mismatches++ == 0) first = i;
    EXPECT_EQ(mismatches, 0u) << "first difference at sample " << first << " of " << output.size();
}

TEST_F(DiskAudio, StreamWithoutLoopEndsInSilenceAndHoldsItsPosition) {
    const std::string path = tone("once.ogg", {22050, 1, 3000, 300.0, 1});
    const std::vector<int16_t> reference = decodeReference(path);
    std::atomic<int> callbacks{0};
    {
        SharedCounter counter;
        SdlAudioOptions options;
        options.clock = &counter;
        options.listener = [&](uint32_t, uint64_t, uint32_t) {
            if (++callbacks > 10) throttle();
        };
        SdlAudio audio(options);
        const uint32_t stream = audio.createStream(path, false);
        ASSERT_NE(stream, 0u);
        ASSERT_TRUE(audio.play(stream));
        ASSERT_TRUE(waitUntil([&] { return callbacks.load() > 10; }));
        counter.advanceMicroseconds(1000000);
        EXPECT_DOUBLE_EQ(audio.position(stream), 3000.0 / 22050.0);
    }
    const std::vector<int16_t> output = withoutLeadingSilence(deviceOutput(), 1024);
    ASSERT_GE(output.size(), reference.size() + 1024);
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), output.begin()));
    EXPECT_TRUE(std::all_of(output.begin() + static_cast<std::ptrdiff_t>(reference.size()), output.end(),
                            [](int16_t s) { return s == 0; }));
}

TEST_F(DiskAudio, PositionFollowsTheCallbackFramesAndWrapsAtTheLoop) {
    constexpr double rate = 44100.0;
    constexpr uint64_t length = 10000;
    constexpr double tolerance = 0.002; // seconds
    const std::string path = tone("tone.ogg", {44100, 2, static_cast<int>(length), 441.0, 1});

    // The circular distance between two positions within one pass of the loop, in seconds.
    const auto distance = [&](double a, double b) {
        const double pass = length / rate;
        const double d = std::fabs(a - b);
        return std::min(d, pass - d);
    };

    SharedCounter counter;
    std::atomic<SdlAudio*> audioPointer{nullptr};
    std::atomic<int> blocks{0};
    std::atomic<int> wraps{0};
    std::atomic<double> worst{0.0};
    std::atomic<bool> outOfRange{false};
    double previous = -1.0;
    const auto note = [&](double position, double expected) {
        const double error = distance(position, expected);
        if (error > worst.load()) worst = error;
        if (position < 0.0 || position >= length / rate) outOfRange = true;
    };

    SdlAudioOptions options;
    options.clock = &counter;
    options.listener = [&](uint32_t stream, uint64_t before, uint32_t frames) {
        if (blocks.load() >= 40) return throttle();
        SdlAudio* audio = audioPointer.load();
        // At the callback: the first frame of the buffer just handed over.
        const double atCallback = audio->position(stream);
        note(atCallback, static_cast<double>(before % length) / rate);
        if (previous >= 0.0 && atCallback < previous) ++wraps;
        previous = atCallback;
        // 5 ms later the clock has moved on by 220.5 frames, without another callback.
        counter.advanceMicroseconds(5000);
        note(audio->position(stream), std::fmod((static_cast<double>(before) + 220.5) / rate, length / rate));
        // A late callback: the position stops at the end of what the device was given.
        counter.advanceMicroseconds(100000);
        note(audio->position(stream), static_cast<double>((before + frames) % length) / rate);
        ++blocks;
    };
    SdlAudio audio(options);
    audioPointer = &audio;
    const uint32_t stream = audio.createStream(path, true);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(audio.play(stream));
    // Meanwhile another thread reads whole, sensible positions without stopping the callback.
    EXPECT_TRUE(waitUntil([&] {
        for (int i = 0; i < 1000; ++i) {
            const double p = audio.position(stream);
            if (p < 0.0 || p >= length / rate) outOfRange = true;
        }
        return blocks.load() >= 40;
    }));
    EXPECT_LE(worst.load(), tolerance);
    EXPECT_FALSE(outOfRange);
    EXPECT_EQ(wraps.load(), static_cast<int>(39 * 1024 / length)) << "one wrap per pass of the loop";
}

TEST_F(DiskAudio, PlayStartsTheStreamOverAndSwitchesStreams) {
    const std::string first = tone("first.ogg", {44100, 2, 5000, 441.0, 1});
    const std::string second = tone("second.ogg", {22050, 1, 5000, 300.0, 2});
    SharedCounter counter;
    std::atomic<uint32_t> lastStream{0};
    std::atomic<uint64_t> lastBefore{0};
    std::atomic<int> callbacks{0};
    SdlAudioOptions options;
    options.clock = &counter;
    std::atomic<int> restarts{0};
    std::atomic<uint64_t> restartedAt{~0ull};
    options.listener = [&](uint32_t stream, uint64_t before, uint32_t) {
        // The count since play only goes back when play starts the stream over.
        if (stream == lastStream.load() && before < lastBefore.load()) {
            restartedAt = before;
            ++restarts;
        }
        lastStream = stream;
        lastBefore = before;
        ++callbacks;
        throttle();
    };
    SdlAudio audio(options);
    const uint32_t a = audio.createStream(first, true);
    const uint32_t b = audio.createStream(second, true);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);

    ASSERT_TRUE(audio.play(a));
    ASSERT_TRUE(waitUntil([&] { return lastBefore.load() >= 3 * 1024; }));
    ASSERT_TRUE(audio.play(a));
    ASSERT_TRUE(waitUntil([&] { return restarts.load() > 0; }));
    EXPECT_EQ(restartedAt.load(), 0u) << "the first buffer after play starts with the first frame";

    ASSERT_TRUE(audio.play(b));
    EXPECT_EQ(audio.position(a), 0.0) << "a stream that is not playing";
    EXPECT_EQ(audio.deviceRate(), 22050);
    EXPECT_EQ(audio.deviceChannels(), 1);
    callbacks = 0;
    ASSERT_TRUE(waitUntil([&] { return callbacks.load() > 0; }));
    EXPECT_EQ(lastStream.load(), b);
}

TEST_F(DiskAudio, BadFilesAndHandlesFailWithTheirCodes) {
    SdlAudio audio;
    EXPECT_EQ(audio.createStream((dir_.path() / "missing.ogg").string(), true), 0u);
    EXPECT_EQ(audio.lastError(), AudioFileOpen);

    dir_.write("text.ogg", std::string("this is not an ogg file"));
    EXPECT_EQ(audio.createStream((dir_.path() / "text.ogg").string(), true), 0u);
    EXPECT_EQ(audio.lastError(), AudioNotVorbis);

    dir_.write("empty.ogg", std::string());
    EXPECT_EQ(audio.createStream((dir_.path() / "empty.ogg").string(), true), 0u);
    EXPECT_EQ(audio.lastError(), AudioNotVorbis);

    const std::string good = tone("good.ogg", {44100, 2, 4000, 441.0, 1});
    std::vector<uint8_t> bytes = readBytes(good);
    bytes.resize(200); // cut inside the headers
    dir_.write("cut.ogg", bytes);
    EXPECT_EQ(audio.createStream((dir_.path() / "cut.ogg").string(), true), 0u);
    EXPECT_EQ(audio.lastError(), AudioNotVorbis);

    EXPECT_EQ(audio.createStream(tone("three.ogg", {44100, 3, 4000, 441.0, 1}), true), 0u);
    EXPECT_EQ(audio.lastError(), AudioUnsupportedFormat);
    EXPECT_EQ(audio.createStream(tone("low.ogg", {6000, 1, 4000, 441.0, 1}), true), 0u);
    EXPECT_EQ(audio.lastError(), AudioUnsupportedFormat);

    // Two links of different rates in one file.
    std::vector<uint8_t> chained = readBytes(good);
    const std::vector<uint8_t> other = readBytes(tone("other.ogg", {22050, 2, 4000, 441.0, 7}));
    chained.insert(chained.end(), other.begin(), other.end());
    dir_.write("chained.ogg", chained);
    EXPECT_EQ(audio.createStream((dir_.path() / "chained.ogg").string(), true), 0u);
    EXPECT_EQ(audio.lastError(), AudioUnsupportedFormat);

    EXPECT_FALSE(audio.play(42));
    EXPECT_EQ(audio.lastError(), AudioBadHandle);
    EXPECT_EQ(audio.position(42), -1.0);
    EXPECT_EQ(audio.lastError(), AudioBadHandle);

    const uint32_t stream = audio.createStream(good, true);
    EXPECT_NE(stream, 0u);
    EXPECT_EQ(audio.lastError(), AudioOk);
    EXPECT_EQ(audio.position(stream), 0.0) << "not played yet";

    // A failure stays with the thread that met it while another thread reads the position.
    EXPECT_FALSE(audio.play(42));
    std::thread([&] {
        EXPECT_EQ(audio.position(stream), 0.0);
        EXPECT_EQ(audio.lastError(), AudioOk);
    }).join();
    EXPECT_EQ(audio.lastError(), AudioBadHandle);
}

TEST_F(DiskAudio, ChainedFileOfOneFormatPlaysAllItsLinksInOrder) {
    const std::string first = tone("a.ogg", {44100, 2, 30000, 441.0, 1});
    const std::string second = tone("b.ogg", {44100, 2, 20000, 882.0, 2});
    std::vector<uint8_t> chained = readBytes(first);
    const std::vector<uint8_t> more = readBytes(second);
    chained.insert(chained.end(), more.begin(), more.end());
    dir_.write("chained.ogg", chained);
    std::vector<int16_t> expected = decodeReference(first);
    const std::vector<int16_t> tail = decodeReference(second);
    expected.insert(expected.end(), tail.begin(), tail.end());

    DecodedAudio decoded;
    ASSERT_EQ(decodeVorbisFile((dir_.path() / "chained.ogg").string(), decoded), AudioOk);
    EXPECT_EQ(decoded.frames(), 50000u);
    EXPECT_TRUE(decoded.samples == expected);
}

TEST(SdlAudioWithoutDevice, StreamsFailAndTheMusicPlayerRunsOnItsSilentClock) {
    ScratchDirectory dir;
    ScopedEnvironment driver("SDL_AUDIODRIVER", "no-such-driver");
    const std::string path = (dir.path() / "tone.ogg").string();
    ASSERT_TRUE(writeToneFile(path, {}));

    auto audio = std::make_shared<SdlAudio>();
    EXPECT_EQ(audio->createStream(path, true), 0u);
    EXPECT_EQ(audio->lastError(), AudioNoDevice);

    ManualCounter clock;
    MusicPlayer player;
    player.setBackend(audio);
    player.setSilentClock(clock);
    EXPECT_EQ(player.load(path), -1);
    EXPECT_EQ(player.errorText(), "1");
    EXPECT_EQ(player.play(), -1);
    clock.advanceMilliseconds(1500.0);
    EXPECT_DOUBLE_EQ(player.position(), 1.5);
}

TEST(SdlAudioWithDummyDevice, PlayWithoutAStreamReportsTheNoHandleCodeToEveryThread) {
    ScratchDirectory dir;
    ScopedEnvironment driver("SDL_AUDIODRIVER", "dummy");
    MusicPlayer player;
    player.setBackend(std::make_shared<SdlAudio>());
    EXPECT_EQ(player.load((dir.path() / "missing.ogg").string()), -1);
    EXPECT_EQ(player.errorText(), std::to_string(AudioFileOpen));

    int played = 0;
    std::thread other([&] { played = player.play(); });
    other.join();
    EXPECT_EQ(played, -1);
    const std::string expected = std::to_string(AudioBadHandle);
    EXPECT_EQ(player.errorText(), expected);
    std::string askedElsewhere;
    std::thread third([&] { askedElsewhere = player.errorText(); });
    third.join();
    EXPECT_EQ(askedElsewhere, expected);
    player.setBackend(nullptr);
}

TEST(SdlAudioWithDummyDevice, MusicPlayerPlaysTheStream) {
    ScratchDirectory dir;
    ScopedEnvironment driver("SDL_AUDIODRIVER", "dummy");
    const std::string path = (dir.path() / "tone.ogg").string();
    ASSERT_TRUE(writeToneFile(path, {}));
    SharedCounter counter;
    std::atomic<int> callbacks{0};
    SdlAudioOptions options;
    options.clock = &counter;
    options.listener = [&](uint32_t, uint64_t, uint32_t) { ++callbacks; };
    MusicPlayer player;
    player.setBackend(std::make_shared<SdlAudio>(options));
    ASSERT_EQ(player.load(path), 0);
    EXPECT_EQ(player.errorText(), "0");
    ASSERT_EQ(player.play(), 0);
    EXPECT_TRUE(player.isPlaying());
    ASSERT_TRUE(waitUntil([&] { return callbacks.load() > 0; }));
    const double position = player.position();
    EXPECT_GE(position, 0.0);
    EXPECT_LT(position, 10000.0 / 44100.0);
    player.setBackend(nullptr);
}

} // namespace
