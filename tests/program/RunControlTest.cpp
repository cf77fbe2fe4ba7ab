#include "app/RunControl.h"
#include "engine/base/OfflineClock.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <regex>

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
        registry().showTime = t;
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
    registry().showTime = 3.9f;
    timeLimit.afterFrame(1);
    EXPECT_FALSE(registry().quitRequested);
    registry().showTime = 4.0f;
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

// The "scene load" lines that name the time to the last resource made.
struct SceneLoadLine {
    double made = 0, loader = 0, longestFrame = 0;
};
std::vector<SceneLoadLine> sceneLoadsMade(const LogCapture& log) {
    static const std::regex line(
        R"(scene load: ([0-9.]+) ms from the scene file to the last resource made \(loader ([0-9.]+) ms\); )"
        R"(longest frame meanwhile ([0-9.]+) ms)");
    std::vector<SceneLoadLine> found;
    std::smatch match;
    for (const std::string& text : log.lines())
        if (std::regex_match(text, match, line))
            found.push_back({std::stod(match[1]), std::stod(match[2]), std::stod(match[3])});
    return found;
}

// The scene load's statistics: timed from the loader's call to the end of the first frame that
// began after the loader returned and left nothing waiting for the renderer.
TEST_F(RunControlTest, SceneLoadIsTimedToTheFrameThatMadeTheLastResource) {
    ProgramOptions options;
    options.stats = true;
    RunControl control(options, nullptr, nullptr, nullptr);
    bool pending = true;
    control.setResourcesPending([&] { return pending; });
    std::vector<std::string> loaded;
    const SceneLoadFunction load = control.timeSceneLoads([&](const std::string& file) {
        loaded.push_back(file);
        return 7;
    });

    control.beforeFrame();
    EXPECT_EQ(load("scene.xml"), 7);
    EXPECT_EQ(loaded, std::vector<std::string>{"scene.xml"});
    pending = false;
    control.afterFrame(1); // began before the loader returned: it may not have seen every resource
    pending = true;
    control.beforeFrame();
    control.afterFrame(1);
    control.finish();
    const auto lines = log().lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.starts_with("scene load: loader ") &&
                                       line.ends_with(
                                           " ms; resources were still waiting for the renderer at the end");
                            }),
              1);
    EXPECT_TRUE(sceneLoadsMade(log()).empty());

    pending = false;
    control.beforeFrame();
    control.afterFrame(1);
    control.finish();
    const auto made = sceneLoadsMade(log());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_GE(made[0].made, made[0].loader); // the last resource came after the loader returned
}

TEST_F(RunControlTest, SceneLoadWithoutARendererToAskIsDoneWhenTheLoaderReturns) {
    ProgramOptions options;
    options.stats = true;
    RunControl control(options, nullptr, nullptr, nullptr);
    control.finish();
    EXPECT_EQ(log().count("scene load:"), 0); // nothing was loaded

    const SceneLoadFunction load = control.timeSceneLoads([](const std::string&) { return -1; });
    EXPECT_EQ(load("missing.xml"), -1);
    control.beforeFrame(); // after the load: this frame did not share the machine with it
    control.afterFrame(1);
    control.finish();
    const auto made = sceneLoadsMade(log());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].made, made[0].loader);
    EXPECT_EQ(made[0].longestFrame, 0.0);

    options.stats = false;
    RunControl quiet(options, nullptr, nullptr, nullptr);
    quiet.timeSceneLoads([](const std::string&) { return 0; })("scene.xml");
    quiet.afterFrame(1);
    quiet.finish();
    EXPECT_EQ(log().count("scene load:"), 1);
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
