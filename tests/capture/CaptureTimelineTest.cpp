// The capture's arithmetic: which drawn frames it keeps, how many it expects, the samples under
// each frame, and the progress line.
#include "app/CaptureTimeline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

namespace {

// Keeps frames until the timeline is finished (or `limit` drawn frames); the kept count.
int64_t run(CaptureTimeline& timeline, int limit, int endAtDrawn = -1) {
    for (int drawn = 0; drawn < limit && !timeline.finished(); ++drawn)
        timeline.keep(drawn == endAtDrawn);
    return timeline.kept();
}

TEST(CaptureTimeline, FromTheStartEveryFrameCountsUntilTheShowEnds) {
    CaptureTimeline timeline(30.0, 0.0, -1.0);
    EXPECT_EQ(timeline.firstIndex(), 0);
    // The show's "exit" at 2 s is seen in the frame that shows 2 s: 60 frames before it.
    EXPECT_EQ(timeline.expectedFrames(2.0), 60);
    EXPECT_EQ(timeline.expectedFrames(-1.0), -1);
    EXPECT_TRUE(timeline.keep(false));
    // The 61st frame drawn is the one in which the show ended.
    EXPECT_EQ(run(timeline, 1000, 59), 60);
    EXPECT_TRUE(timeline.finished());
    EXPECT_FALSE(timeline.keep(false)) << "nothing after the end";
}

TEST(CaptureTimeline, AStartLeavesOutTheFrameThatShowsTheTimeBeforeIt) {
    CaptureTimeline timeline(30.0, 0.5, -1.0);
    EXPECT_EQ(timeline.firstIndex(), 15);
    EXPECT_EQ(timeline.expectedFrames(2.0), 45);
    EXPECT_FALSE(timeline.keep(false)) << "the first drawn frame shows 14/30 s";
    EXPECT_TRUE(timeline.keep(false));
    // A start between two frames begins at the next one.
    EXPECT_EQ(CaptureTimeline(30.0, 0.51, -1.0).firstIndex(), 16);
    EXPECT_EQ(CaptureTimeline(60.0, 0.001, -1.0).firstIndex(), 1);
}

TEST(CaptureTimeline, UntilEndsAfterTheLastFrameBeforeIt) {
    CaptureTimeline timeline(30.0, 1.0, 2.0);
    EXPECT_EQ(timeline.expectedFrames(-1.0), 30);
    EXPECT_EQ(timeline.expectedFrames(1.5), 15) << "an earlier exit wins";
    EXPECT_EQ(timeline.expectedFrames(9.0), 30);
    EXPECT_EQ(run(timeline, 1000), 30);
    EXPECT_TRUE(timeline.finished());

    // The show ending first cuts it short, and its last frame is not kept.
    CaptureTimeline cut(30.0, 0.0, 2.0);
    EXPECT_EQ(run(cut, 1000, 10), 10);
    EXPECT_EQ(CaptureTimeline(30.0, 2.0, 2.0).expectedFrames(-1.0), 0);
}

TEST(CaptureTimeline, AFrameLimitCountsTheFramesKept) {
    // --start 0.5 --frames 10: the frame drawn before the start is not one of the ten.
    CaptureTimeline timeline(30.0, 0.5, -1.0, 10);
    EXPECT_EQ(timeline.expectedFrames(-1.0), 10);
    EXPECT_EQ(timeline.expectedFrames(0.6), 3) << "an earlier exit wins";
    EXPECT_EQ(run(timeline, 1000), 10);
    EXPECT_TRUE(timeline.finished());
    EXPECT_EQ(CaptureTimeline(30.0, 0.0, 1.0, 100).expectedFrames(-1.0), 30) << "an earlier --until wins";
    CaptureTimeline fromZero(30.0, 0.0, -1.0, 10);
    EXPECT_EQ(run(fromZero, 1000), 10);
}

TEST(CaptureTimeline, IndicesFollowTheSinglePrecisionClock) {
    // 1/3 s at 30 steps is index 10 whatever the rounding of 10/30 in doubles or floats.
    EXPECT_EQ(CaptureTimeline::indexReaching(1.0 / 3.0, 30.0), 10);
    EXPECT_EQ(CaptureTimeline::indexReaching(163.404, 60.0), 9805);
    EXPECT_EQ(CaptureTimeline::indexReaching(0.0, 60.0), 0);
    for (int i = 1; i < 2000; i += 7) {
        const double t = i / 60.0;
        const int64_t index = CaptureTimeline::indexReaching(t, 60.0);
        EXPECT_GE(static_cast<float>(static_cast<double>(index) / 60.0), static_cast<float>(t));
        EXPECT_LT(static_cast<float>(static_cast<double>(index - 1) / 60.0), static_cast<float>(t));
    }
}

// A song whose every sample frame holds its own index (both channels), to see which one plays.
std::vector<int16_t> countingSong(int frames, int channels) {
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples.push_back(static_cast<int16_t>(i));
    return samples;
}

TEST(CaptureSound, FramesGetTheSamplesOfTheirTimeWithoutGapsOrDrift) {
    // 1000 Hz at 30 frames a second: 33 or 34 samples a frame, 1000 in every second.
    const CaptureSound sound(1000, 2, countingSong(5000, 2), 30.0, 15);
    std::vector<int16_t> all;
    for (int k = 0; k < 60; ++k) {
        const size_t before = all.size();
        sound.appendFrame(k, all);
        const size_t got = (all.size() - before) / 2;
        EXPECT_TRUE(got == 33 || got == 34) << got;
    }
    ASSERT_EQ(all.size(), 2u * 2000);
    // From 0.5 s (index 15) on, sample after sample.
    for (size_t i = 0; i < all.size(); i += 2) {
        ASSERT_EQ(all[i], static_cast<int16_t>(500 + i / 2)) << i;
        ASSERT_EQ(all[i + 1], all[i]);
    }
}

TEST(CaptureSound, TheSongLoopsAndSilenceFillsAShowWithoutOne) {
    const CaptureSound looped(100, 1, countingSong(150, 1), 10.0, 0);
    std::vector<int16_t> out;
    for (int k = 0; k < 40; ++k) // 4 s of a 1.5 s song
        looped.appendFrame(k, out);
    ASSERT_EQ(out.size(), 400u);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], static_cast<int16_t>(i % 150)) << i;

    const CaptureSound silent(0, 0, {}, 25.0, 50);
    EXPECT_EQ(silent.rate(), 48000);
    EXPECT_EQ(silent.channels(), 2);
    out.clear();
    for (int k = 0; k < 25; ++k)
        silent.appendFrame(k, out);
    EXPECT_EQ(out.size(), 2u * 48000);
    EXPECT_EQ(std::accumulate(out.begin(), out.end(), 0), 0);
}

TEST(CaptureProgress, TheLineSaysDoneTotalRateAndTime) {
    EXPECT_EQ(captureProgressLine(30, 120, 10.0, 8),
              "capture [##------]  30/120 frames  3.0 fps  elapsed 0:10  left 0:30");
    EXPECT_EQ(captureProgressLine(0, 120, 0.0, 4),
              "capture [----]  0/120 frames  0.0 fps  elapsed 0:00  left ?");
    EXPECT_EQ(captureProgressLine(7500, 9000, 3750.0, 4),
              "capture [###-]  7500/9000 frames  2.0 fps  elapsed 1:02:30  left 12:30");
    // A show that runs longer than expected (its clock looped) does not overfill the bar.
    EXPECT_EQ(captureProgressLine(130, 120, 10.0, 4),
              "capture [####]  130/120 frames  13.0 fps  elapsed 0:10  left 0:00");
    EXPECT_EQ(captureProgressLine(42, -1, 2.0),
              "capture 42 frames  21.0 fps  elapsed 0:02  (no end known: Ctrl+C stops)");
}

std::string printed(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

TEST(CaptureProgress, ATerminalGetsTheLineRedrawnOthersALineEverySoOften) {
    std::FILE* terminal = std::tmpfile();
    CaptureProgress onTerminal(terminal, true);
    onTerminal.update(1, 10, 0.01);
    onTerminal.update(2, 10, 0.02); // too soon to redraw
    onTerminal.update(3, 10, 0.5);
    onTerminal.clear();
    onTerminal.finish(10, 10, 1.0);
    const std::string drawn = printed(terminal);
    EXPECT_EQ(drawn.find("2/10"), std::string::npos);
    EXPECT_NE(drawn.find("\r" + captureProgressLine(1, 10, 0.01) + "\033[K"), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("\r" + captureProgressLine(3, 10, 0.5) + "\033[K\r\033[K"), std::string::npos)
        << drawn;
    EXPECT_TRUE(drawn.ends_with(captureProgressLine(10, 10, 1.0) + "\033[K\n")) << drawn;
    std::fclose(terminal);

    std::FILE* log = std::tmpfile();
    CaptureProgress toLog(log, false, 5.0);
    for (int i = 1; i <= 48; ++i)
        toLog.update(i, 48, i * 0.25); // 12 s
    toLog.finish(48, 48, 12.0);
    const std::string lines = printed(log);
    EXPECT_EQ(lines, captureProgressLine(20, 48, 5.0) + "\n" + captureProgressLine(40, 48, 10.0) + "\n" +
                         captureProgressLine(48, 48, 12.0) + "\n");
    std::fclose(log);
}

} // namespace
