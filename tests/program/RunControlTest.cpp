#include "app/RunControl.h"
#include "engine/base/OfflineClock.h"
#include "tests/support/TestSupport.h"

namespace {

class RunControlTest : public RegistryTest {};

TEST_F(RunControlTest, ShotsAreTakenInTheFirstFrameReachingEachTime) {
    ProgramOptions options;
    options.shotTimes = {0.0, 1.0, 1.05};
    options.shotDirectory = "shots";
    std::vector<std::string> written;
    RunControl control(
        options, nullptr,
        [](std::vector<uint8_t>& rgb, int& w, int& h) {
            w = 2;
            h = 1;
            rgb.assign(6, 255);
            return true;
        },
        [&](const std::string& path, const std::vector<uint8_t>& rgb, int w, int h) {
            EXPECT_EQ(rgb.size(), static_cast<size_t>(w * h * 3));
            written.push_back(path);
            return true;
        });
    for (float t : {0.0f, 0.5f, 0.99f, 1.2f, 2.0f}) {
        registry().musicTime = t;
        control.afterFrame(10);
    }
    EXPECT_EQ(written, (std::vector<std::string>{"shots/shot-00000.000.png", "shots/shot-00001.000.png",
                                                 "shots/shot-00001.050.png"}));
}

TEST_F(RunControlTest, FailedShotIsReported) {
    ProgramOptions options;
    options.shotTimes = {0.0};
    RunControl control(options, nullptr, nullptr, nullptr);
    control.afterFrame(10);
    EXPECT_TRUE(log().contains("shot ./shot-00000.000.png could not be written"));
}

TEST_F(RunControlTest, FrameAndTimeLimitsEndTheShow) {
    ProgramOptions options;
    options.frameLimit = 3;
    RunControl frames(options, nullptr, nullptr, nullptr);
    frames.afterFrame(1);
    frames.afterFrame(1);
    EXPECT_FALSE(registry().quitRequested);
    frames.afterFrame(1);
    EXPECT_TRUE(registry().quitRequested);

    registry().quitRequested = false;
    ProgramOptions until;
    until.untilSeconds = 4.0;
    RunControl timeLimit(until, nullptr, nullptr, nullptr);
    registry().musicTime = 3.9f;
    timeLimit.afterFrame(1);
    EXPECT_FALSE(registry().quitRequested);
    registry().musicTime = 4.0f;
    timeLimit.afterFrame(1);
    EXPECT_TRUE(registry().quitRequested);
}

TEST_F(RunControlTest, StatisticsLine) {
    EXPECT_EQ(RunControl::statisticsLine({4, 1, 3, 2, 100}, 1.0),
              "frames: 5  fps: 5.0  frame ms: min 1.00  median 3.00  p99 100.00  max 100.00");
    EXPECT_EQ(RunControl::statisticsLine({}, 1.0), "frames: 0");
}

TEST_F(RunControlTest, StatisticsCountTheFramesDrawnWhileLoadingApart) {
    ProgramOptions options;
    options.stats = true;
    RunControl control(options, nullptr, nullptr, nullptr);
    registry().loading = true;
    control.afterFrame(1);
    control.afterFrame(1);
    registry().loading = false;
    control.afterFrame(1);
    control.finish();
    EXPECT_EQ(log().count("frames: 3  fps: "), 1);
    EXPECT_EQ(log().count("frames while loading: 2  max "), 1);
}

TEST(OfflineClockTest, EveryFrameAdvancesOneStep) {
    OfflineClock clock(30);
    FrameTimer timer(clock.counter());
    clock.advanceFrame();
    EXPECT_DOUBLE_EQ(timer.tick(), 1000.0 / 30.0);
    clock.advanceFrame();
    EXPECT_DOUBLE_EQ(timer.tick(), 1000.0 / 30.0);
}

TEST(OfflineClockTest, MusicCountsFramesFromPlayAndWrapsAtTheSongLength) {
    ScratchDirectory dir;
    dir.write("song.ogg", std::string("OggS"));
    OfflineClock clock(10);
    OfflineAudioBackend audio(clock, [](const std::string&) { return 2.0; });
    EXPECT_EQ(audio.createStream((dir.path() / "missing.ogg").string(), true), 0u);
    EXPECT_EQ(audio.lastError(), OfflineAudioBackend::ErrorFileOpen);
    const uint32_t stream = audio.createStream((dir.path() / "song.ogg").string(), true);
    ASSERT_NE(stream, 0u);
    clock.advanceFrame();
    EXPECT_EQ(audio.position(stream), 0.0); // not started
    ASSERT_TRUE(audio.play(stream));
    for (int i = 0; i < 5; ++i)
        clock.advanceFrame();
    EXPECT_DOUBLE_EQ(audio.position(stream), 0.5);
    for (int i = 0; i < 20; ++i)
        clock.advanceFrame();
    EXPECT_NEAR(audio.position(stream), 0.5, 1e-9); // 2.5 s wrapped at 2 s
}

} // namespace
