// The show's tempo: the default keeps the beats, bars and start times the show has always had to
// the bit; another tempo moves every count of beats and bars with it.
#include "scene/Tempo.h"
#include "app/CommandLine.h"
#include "engine/loop/DebugHud.h"
#include "engine/loop/MainLoop.h"
#include "engine/loop/Transport.h"
#include "scene/loader/SceneLoader.h"
#include "tests/support/TestSupport.h"

#include <cmath>

namespace {

Tempo tempoOf(double bpm, int beatsPerBar = 4, double firstBeat = 0.0) {
    Tempo t;
    t.bpm = bpm;
    t.beatsPerBar = beatsPerBar;
    t.firstBeat = firstBeat;
    return t;
}

TEST(Tempo, TheDefaultBeatTestIsTheFrameLoopsOwnToTheBit) {
    const Tempo fallback;
    // Every position of a long show at a fine step, and the edges of beat windows around them.
    for (int i = 0; i < 400000; ++i) {
        const float position = static_cast<float>(i) * 0.00071f;
        ASSERT_EQ(isBeatFrame(position, fallback), isBeatFrame(position)) << position;
    }
    // A scene that writes the default out, or only changes the bar, keeps the same beats.
    EXPECT_TRUE(tempoOf(141.0, 3).hasDefaultBeats());
    EXPECT_FALSE(tempoOf(141.0, 4, 0.1).hasDefaultBeats());
}

TEST(Tempo, BeatWindowsFollowTheTempoAndTheFirstBeat) {
    const Tempo t = tempoOf(128.0);
    const double beat = 60.0 / 128.0; // 0.46875 s; a sixteenth 29.3 ms
    for (int k = 0; k < 200; ++k) {
        EXPECT_TRUE(isBeatFrame(static_cast<float>(k * beat + 0.001), t)) << k;
        EXPECT_TRUE(isBeatFrame(static_cast<float>(k * beat + 0.028), t)) << k;
        EXPECT_FALSE(isBeatFrame(static_cast<float>(k * beat + 0.031), t)) << k;
        EXPECT_FALSE(isBeatFrame(static_cast<float>(k * beat - 0.001), t)) << k;
    }
    // 141's beat 3 (1.2766 s) is no beat at 128.
    EXPECT_TRUE(isBeatFrame(static_cast<float>(3 * 60.0 / 141.0 + 0.001)));
    EXPECT_FALSE(isBeatFrame(static_cast<float>(3 * 60.0 / 141.0 + 0.001), t));

    // Bar 1 a little after the start: the beats move with it, before it too.
    const Tempo late = tempoOf(120.0, 4, 0.2);
    EXPECT_TRUE(late.inBeatWindow(0.2));
    EXPECT_TRUE(late.inBeatWindow(0.705));
    EXPECT_FALSE(late.inBeatWindow(0.0));
    EXPECT_FALSE(late.inBeatWindow(0.5));
    EXPECT_FALSE(late.inBeatWindow(std::nan("")));
}

TEST(Tempo, BarsAndBeatsCountFromBarOne) {
    const Tempo fallback;
    EXPECT_EQ(fallback.barAndBeat(0.0), "bar 1.1");
    EXPECT_EQ(fallback.barAndBeat(56 * 4 * 60.0 / 141.0 + 2 * 60.0 / 141.0 + 0.01), "bar 57.3");
    EXPECT_EQ(fallback.barAndBeat(-3.0), "bar 1.1"); // music time never runs below 0

    const Tempo waltz = tempoOf(90.0, 3, 1.0); // a beat 0.667 s, bar 1 at 1 s
    EXPECT_EQ(waltz.barAndBeat(1.0), "bar 1.1");
    EXPECT_EQ(waltz.barAndBeat(1.0 + 3 * 2.0 / 3 + 0.01), "bar 2.1");
    EXPECT_EQ(waltz.barAndBeat(1.0 + 2 * 2.0 / 3 + 0.01), "bar 1.3");
    EXPECT_EQ(waltz.barAndBeat(0.5), "bar 0.3"); // the pick-up before bar 1
    EXPECT_DOUBLE_EQ(waltz.barTime(2, 3), 1.0 + 5 * 60.0 / 90.0);
}

TEST(Tempo, StartTimesInBarsAreCountedAtTheShowsTempo) {
    double t = -1;
    // The default counts exactly as the command line always did.
    ASSERT_TRUE(parseMusicTime("b57.3", t));
    EXPECT_EQ(t, static_cast<double>(56 * 4 + 2) * 60.0 / 141.0);
    ASSERT_TRUE(parseMusicTime("b5.3", t, tempoOf(128.0, 3, 0.25)));
    EXPECT_DOUBLE_EQ(t, 0.25 + (4 * 3 + 2) * 60.0 / 128.0);
    EXPECT_FALSE(parseMusicTime("b5.4", t, tempoOf(128.0, 3)));

    ProgramOptions options;
    std::string error;
    ASSERT_EQ(parseCommandLine({"--start", "b9", "--until", "b17.2"}, options, error), 0) << error;
    ASSERT_TRUE(resolveMusicTimes(options, tempoOf(128.0), error)) << error;
    EXPECT_DOUBLE_EQ(options.startSeconds, 32 * 60.0 / 128.0);
    EXPECT_DOUBLE_EQ(options.untilSeconds, 65 * 60.0 / 128.0);
    // Seven beats a bar are allowed on the command line; four a bar in the scene refuse beat 7.
    ASSERT_EQ(parseCommandLine({"--start", "b2.7"}, options, error), 0) << error;
    EXPECT_FALSE(resolveMusicTimes(options, Tempo{}, error));
    EXPECT_NE(error.find("4 beats"), std::string::npos) << error;
    ASSERT_TRUE(resolveMusicTimes(options, tempoOf(141.0, 7), error));
    EXPECT_DOUBLE_EQ(options.startSeconds, 13 * 60.0 / 141.0);
    // Seconds stay seconds whatever the tempo.
    ASSERT_EQ(parseCommandLine({"--start", "12.5"}, options, error), 0) << error;
    ASSERT_TRUE(resolveMusicTimes(options, tempoOf(90.0), error));
    EXPECT_EQ(options.startSeconds, 12.5);
}

TEST(Tempo, TheTransportsBarLinesAreTheTempos) {
    // The default: the lines the transport always had, to the bit.
    const double bar = 4.0 * (60.0 / 141.0);
    EXPECT_EQ(transport::barTarget(2.01 * bar, 1), 3 * bar);
    EXPECT_EQ(transport::barTarget(3.3 * bar, -1, Tempo{}), 3 * bar);

    const Tempo t = tempoOf(120.0, 3, 0.25); // bars of 1.5 s from 0.25 s
    EXPECT_DOUBLE_EQ(transport::barTarget(1.0, 1, t), 1.75);
    EXPECT_DOUBLE_EQ(transport::barTarget(2.0, -1, t), 1.75);
    EXPECT_DOUBLE_EQ(transport::barTarget(1.8, -1, t), 0.25); // on bar 2's line: back to bar 1
    EXPECT_DOUBLE_EQ(transport::barTarget(0.3, -1, t), 0.0);  // the line before bar 1 is before 0 s
    EXPECT_DOUBLE_EQ(transport::barTarget(0.1, 1, t), 0.25);
}

class SceneTempo : public RegistryTest {};

TEST_F(SceneTempo, TheScenesTempoIsTheShowsAndAMissingOneIsTheDefault) {
    const std::string scene = R"(<base><scene><audio>
  <tempo bpm="128" beatsPerBar="3" firstBeat="0.05" />
</audio></scene></base>)";
    resetProblems();
    loadSceneFromBytes(scene, "show.xml", nullptr);
    EXPECT_EQ(showTempo(), tempoOf(128.0, 3, 0.05));
    for (const std::string& problem : problemsNoted())
        EXPECT_EQ(problem.find("tempo"), std::string::npos) << problem;
    EXPECT_EQ(hud::barAndBeat(0.05 + 4 * 60.0 / 128.0 + 0.01), "bar 2.2");

    // A reload without it counts at the default again.
    loadSceneFromBytes("<base><scene><audio /></scene></base>", "show.xml", nullptr);
    EXPECT_EQ(showTempo(), Tempo{});
}

TEST_F(SceneTempo, ValuesOutOfTheirLimitsAreNamedAndLeftAtTheDefault) {
    const std::string scene = R"(<base><scene><audio>
  <song file="song.ogg" />
  <tempo bpm="0" beatsPerBar="2.5" firstBeat="nan" swing="1" />
  <tempo bpm="90" />
</audio></scene></base>)";
    resetProblems();
    loadSceneFromBytes(scene, "show.xml", nullptr);
    EXPECT_EQ(showTempo(), Tempo{});
    std::vector<std::string> about;
    for (const NotedProblem& p : problemRecords())
        if (p.text.find("tempo") != std::string::npos)
            about.push_back(std::to_string(p.line) + ": " + p.text);
    EXPECT_EQ(about,
              (std::vector<std::string>{
                  "3: <tempo> bpm=0 is not a tempo from 1 to 1000 beats a minute; the show counts 141",
                  "3: <tempo> beatsPerBar=2.5 is not a whole number from 1 to 64; the show counts 4",
                  "3: <tempo> firstBeat=nan is not a music time in seconds; bar 1 starts at 0 s",
                  "3: <tempo>: attribute 'swing' is not read (it takes bpm, beatsPerBar and firstBeat)",
                  "4: only the first <tempo> counts; this one is not read"}));
}

} // namespace

namespace {

TEST(SyncOptions, TheLinksAddressAndTheTemposOptions) {
    ProgramOptions o;
    std::string error;
    ASSERT_EQ(parseCommandLine({"--sync", "myshow"}, o, error), 0) << error;
    EXPECT_TRUE(o.sync.enabled);
    EXPECT_EQ(o.sync.host, "127.0.0.1"); // the default; the folder is the show's
    EXPECT_EQ(o.sync.port, 1338);
    EXPECT_EQ(o.showDirectory, "myshow");
    ASSERT_EQ(parseCommandLine({"--sync", "9000", "--sync-rows-per-beat", "4"}, o, error), 0) << error;
    EXPECT_EQ(o.sync.port, 9000);
    EXPECT_EQ(o.sync.rowsPerBeat, 4);
    ASSERT_EQ(parseCommandLine({"--sync", "studio.local:1400"}, o, error), 0) << error;
    EXPECT_EQ(o.sync.host, "studio.local");
    EXPECT_EQ(o.sync.port, 1400);
    ASSERT_EQ(parseCommandLine({"--sync", "[::1]:1338"}, o, error), 0) << error;
    EXPECT_EQ(o.sync.host, "::1");
    ASSERT_EQ(parseCommandLine({"--new", "dir", "--bpm", "97.5"}, o, error), 0) << error;
    EXPECT_EQ(o.sync.newShowBpm, 97.5);
    // The editor links to a tracker too.
    ASSERT_EQ(parseCommandLine({"--edit", "--sync"}, o, error), 0) << error;
    EXPECT_TRUE(o.edit && o.sync.enabled);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--sync", "70000"},
                                                {"--sync", "host:"},
                                                {"--sync-rows-per-beat", "0"},
                                                {"--bpm", "128"},
                                                {"--new", "d", "--bpm", "500"},
                                                {"--sync", "--check"},
                                                {"--sync", "--new", "d"}}) {
        EXPECT_EQ(parseCommandLine(bad, o, error), -1) << ::testing::PrintToString(bad);
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
