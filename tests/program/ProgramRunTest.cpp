// The real program, run headless (SDL's offscreen video driver, dummy audio) on a small scene
// with an exit event: how it starts, what it logs, how it ends, and that offline runs repeat.
#include "tests/support/ProgramRun.h"
#include "render/gl/PngFile.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;

namespace {

ProgramRun runProgram(const fs::path& directory, const std::string& arguments) {
    return runShellCommand("cd " + shellQuoted(directory.string()) +
                           " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 120 " +
                           shellQuoted(BEATSHOW_PROGRAM) + " " + arguments);
}

std::vector<uint8_t> fileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A runnable show: the "actors" test scene with the show's shader files beside it.
class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        assembleTestScene("actors", testDataDirectory(), dir.path());
        for (const auto& entry : fs::directory_iterator(BEATSHOW_SHOW_DIR))
            if (entry.path().extension() == ".vsh" || entry.path().extension() == ".psh")
                fs::copy_file(entry.path(), dir.path() / entry.path().filename());
    }
    ScratchDirectory dir;
};

TEST_F(ProgramRunTest, PlaysTheSceneToItsExitEvent) {
    const ProgramRun run = runProgram(dir.path(), "--windowed --size 320x180");
    EXPECT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    // The exit event at 4 s of music time ends it on the silent clock (the scene's song is no
    // real Ogg file): not before its time; a slow machine may take longer, a hang may not.
    EXPECT_GE(run.seconds, 3.9);
    EXPECT_LT(run.seconds, 60.0);
    const int ctor = run.find("ri ctor");
    const int scale = run.find("scaleX = 0.803333 scaleY = 1.42815", ctor);
    const int noMusic = run.find("Cannot load music", scale);
    const int actors = run.find("loading actors", noMusic);
    const int events = run.find("loading event trigger", actors);
    const int first = run.find("Triggering Event: activate 0.5", events);
    const int second = run.find("Triggering Event: activate 1", first);
    const int third = run.find("Triggering Event: nextstage 2", second);
    const int dtor = run.find("ri dtor", third);
    EXPECT_TRUE(ctor >= 0 && scale > ctor && noMusic > scale && actors > noMusic && events > actors &&
                first > events && second > first && third > second && dtor > third)
        << ::testing::PrintToString(run.lines);
}

TEST_F(ProgramRunTest, OfflineRunsRepeatFrameForFrame) {
    const std::string arguments = "--windowed --size 160x90 --offline 20 --until 3 --shots 1,2.5 --shot-dir ";
    const ProgramRun first = runProgram(dir.path(), arguments + "first");
    const ProgramRun second = runProgram(dir.path(), arguments + "second");
    ASSERT_EQ(first.status, 0) << ::testing::PrintToString(first.lines);
    ASSERT_EQ(second.status, 0);
    // Addresses in the log move with every start; everything else is the same.
    const std::regex address("(0x)?[0-9a-f]{8,16}");
    auto masked = [&](std::vector<std::string> lines) {
        for (std::string& line : lines)
            line = std::regex_replace(line, address, "ADDR");
        for (std::string& line : lines)
            line = std::regex_replace(line, std::regex("first|second"), "DIR");
        return lines;
    };
    EXPECT_EQ(masked(first.lines), masked(second.lines));
    for (const char* shot : {"shot-00001.000.png", "shot-00002.500.png"}) {
        const auto a = fileBytes(dir.path() / "first" / shot);
        ASSERT_FALSE(a.empty()) << shot;
        EXPECT_EQ(a, fileBytes(dir.path() / "second" / shot)) << shot;
    }
}

// The event lines of a run whose time is after `after`, in order.
std::vector<std::string> eventsAfter(const ProgramRun& run, double after) {
    std::vector<std::string> events;
    const std::string prefix = "Triggering Event: ";
    for (const std::string& line : run.lines)
        if (line.rfind(prefix, 0) == 0 && std::stod(line.substr(line.rfind(' ') + 1)) > after)
            events.push_back(line);
    return events;
}

TEST_F(ProgramRunTest, AStartInTheMiddleShowsWhatARunFromTheStartShowsThere) {
    // The scene's actors keep state from frame to frame (the pulsating object, the flickering
    // light, the map search): only a replay of every frame before the start gets them right.
    const std::string arguments = "--windowed --size 160x90 --offline 20 --until 3 --shots 1,2.5 --shot-dir ";
    const ProgramRun whole = runProgram(dir.path(), arguments + "whole");
    const ProgramRun started = runProgram(dir.path(), arguments + "started --start 0.8");
    ASSERT_EQ(whole.status, 0) << ::testing::PrintToString(whole.lines);
    ASSERT_EQ(started.status, 0) << ::testing::PrintToString(started.lines);
    const std::vector<std::string> events = eventsAfter(whole, 0.8);
    EXPECT_EQ(events.size(), 2u) << ::testing::PrintToString(whole.lines);
    EXPECT_EQ(eventsAfter(started, 0.8), events);
    for (const char* shot : {"shot-00001.000.png", "shot-00002.500.png"}) {
        const auto a = fileBytes(dir.path() / "whole" / shot);
        ASSERT_FALSE(a.empty()) << shot;
        EXPECT_TRUE(a == fileBytes(dir.path() / "started" / shot)) << shot << " differs";
    }
}

TEST_F(ProgramRunTest, OfflineRunsWithoutMusicFollowTheOfflineClock) {
    // The scene's song stands in for music: offline, a file that exists is a silent stream.
    const std::string arguments = "--windowed --size 160x90 --offline 20 --until 3 --stats";
    const ProgramRun withMusic = runProgram(dir.path(), arguments);
    fs::remove_all(dir.path() / "audio");
    ASSERT_FALSE(fs::exists(dir.path() / "soundtrack.ogg"));
    const ProgramRun withoutMusic = runProgram(dir.path(), arguments);
    ASSERT_EQ(withMusic.status, 0) << ::testing::PrintToString(withMusic.lines);
    ASSERT_EQ(withoutMusic.status, 0) << ::testing::PrintToString(withoutMusic.lines);
    EXPECT_GE(withoutMusic.find("Cannot load music song.ogg"), 0);

    // The same frames and the same events at the same music times, with or without music.
    auto frameCountAndEvents = [](const ProgramRun& run) {
        std::vector<std::string> picked;
        for (const std::string& line : run.lines) {
            if (line.rfind("Triggering Event: ", 0) == 0) picked.push_back(line);
            if (line.rfind("frames: ", 0) == 0) picked.push_back(line.substr(0, line.find("  fps")));
        }
        return picked;
    };
    const auto expected = frameCountAndEvents(withMusic);
    ASSERT_EQ(expected.size(), 5u) << ::testing::PrintToString(withMusic.lines); // 4 events, 1 count
    EXPECT_EQ(frameCountAndEvents(withoutMusic), expected);
}

TEST_F(ProgramRunTest, FrameLimitAndStatistics) {
    const ProgramRun run =
        runProgram(dir.path(), "--windowed --size 160x90 --offline 30 --frames 90 --stats");
    EXPECT_EQ(run.status, 0);
    const auto stats = std::find_if(run.lines.begin(), run.lines.end(), [](const std::string& l) {
        return l.rfind("frames: 90  fps: ", 0) == 0;
    });
    EXPECT_NE(stats, run.lines.end()) << ::testing::PrintToString(run.lines);
    // The OpenGL renderer made every mesh and material of the scene within those frames.
    const std::regex load(R"(scene load: [0-9.]+ ms from the scene file to the last resource made )"
                          R"(\(loader [0-9.]+ ms\); longest frame meanwhile [0-9.]+ ms)");
    EXPECT_EQ(std::count_if(run.lines.begin(), run.lines.end(),
                            [&](const std::string& l) { return std::regex_match(l, load); }),
              1)
        << ::testing::PrintToString(run.lines);
}

TEST_F(ProgramRunTest, MissingShaderStopsStartUpWithAFailure) {
    fs::remove(dir.path() / "gshader.psh");
    const ProgramRun run = runProgram(dir.path(), "--windowed --size 160x90 --offline 30 --frames 5");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [](const std::string& l) {
        return l.find("gshader.psh") != std::string::npos;
    })) << ::testing::PrintToString(run.lines);
    EXPECT_GE(run.find("add vport failed -1"), 0);
}

// ---- a demo maker's first hour: a new show, played from elsewhere, checked, and the reference ----

// Pixels of an RGB picture that are the text actors' amber (red high, green middling, blue low).
int amberPixels(const std::vector<uint8_t>& rgb) {
    int count = 0;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        if (rgb[i] > 150 && rgb[i + 1] > 90 && rgb[i + 1] < rgb[i] && rgb[i + 2] < 70) ++count;
    return count;
}

TEST(FirstHour, ANewShowPlaysFromAnotherFolderWithItsOwnWords) {
    ScratchDirectory dir;
    const ProgramRun made = runProgram(dir.path(), "--new first");
    ASSERT_EQ(made.status, 0) << ::testing::PrintToString(made.lines);
    EXPECT_TRUE(made.has("  play it:   beatshow first"));
    // Nothing is written over a second time.
    const ProgramRun again = runProgram(dir.path(), "--new first");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.lines.front().find("is not empty"), std::string::npos);

    // Played by naming its folder; the shots and the frame log land where the command was typed.
    const ProgramRun play = runProgram(dir.path(), "first --windowed --size 320x180 --offline 10 --until 3.2 "
                                                   "--shots 3 --shot-dir shots --frame-log frames.txt");
    ASSERT_EQ(play.status, 0) << ::testing::PrintToString(play.lines);
    EXPECT_TRUE(fs::is_regular_file(dir.path() / "frames.txt"));
    EXPECT_FALSE(fs::exists(dir.path() / "first" / "frames.txt"));
    EXPECT_GE(play.find("Triggering Event: activate 1.5"), 0) << ::testing::PrintToString(play.lines);
    EXPECT_LT(play.find("Cannot load music song.ogg"), 0) << "the song plays";
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(readPng((dir.path() / "shots" / "shot-00003.000.png").string(), rgb, w, h));
    EXPECT_EQ(w, 320);
    // Its line of words, at a sixth of its full size, in the middle of the picture.
    EXPECT_GT(amberPixels(rgb), 60) << "no words on the picture";

    const ProgramRun elsewhere = runProgram(dir.path(), "nowhere --offline 10 --frames 2");
    EXPECT_EQ(elsewhere.status, 1);
    EXPECT_NE(elsewhere.lines.front().find("cannot play the show in nowhere"), std::string::npos);
}

TEST(FirstHour, TheCheckCompilesTheShadersAndSaysWhichDoesNot) {
    ScratchDirectory dir;
    ASSERT_EQ(runProgram(dir.path(), "--new first").status, 0);
    const ProgramRun clean = runProgram(dir.path(), "--check first");
    EXPECT_EQ(clean.status, 0) << ::testing::PrintToString(clean.lines);
    ASSERT_EQ(clean.lines.size(), 1u) << "only the summary: " << ::testing::PrintToString(clean.lines);
    EXPECT_TRUE(clean.lines[0].ends_with("first/epicrealtimetest.xml loads without problems"));
    EXPECT_LT(clean.seconds, 20.0);

    std::ofstream(dir.path() / "first" / "gshader.psh", std::ios::app) << "\nthis is not GLSL\n";
    const ProgramRun broken = runProgram(dir.path(), "--check first");
    EXPECT_EQ(broken.status, 1);
    EXPECT_GE(broken.find("gshader.psh: does not compile:"), 0) << ::testing::PrintToString(broken.lines);
    EXPECT_TRUE(std::any_of(broken.lines.begin(), broken.lines.end(), [](const std::string& l) {
        return l.starts_with("    ") && l.find("error") != std::string::npos;
    })) << "the compiler's log follows";

    // A song that does not decode is found although it starts like an Ogg file.
    std::ofstream(dir.path() / "first" / "audio" / "song.ogg", std::ios::binary | std::ios::trunc)
        << "OggS but nothing a decoder can use";
    const ProgramRun song = runProgram(dir.path(), "first --check");
    EXPECT_EQ(song.status, 1);
    EXPECT_TRUE(std::any_of(song.lines.begin(), song.lines.end(), [](const std::string& l) {
        return l.find(": the show has no music: the song audio/song.ogg cannot be played (") !=
               std::string::npos;
    })) << ::testing::PrintToString(song.lines);
}

TEST(FirstHour, TheClassesAreListed) {
    ScratchDirectory dir;
    const ProgramRun run = runProgram(dir.path(), "--classes");
    EXPECT_EQ(run.status, 0);
    for (const char* name : {"Camera", "Fader", "Greeter", "Anouncer", "LineFX", "BassBouncer", "CubeFun"})
        EXPECT_TRUE(run.has(name)) << name;
}

TEST_F(ProgramRunTest, BadOptionsAreRefused) {
    const ProgramRun run = runProgram(dir.path(), "--size huge");
    EXPECT_EQ(run.status, 2);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_NE(run.lines[0].find("--size"), std::string::npos);
}

} // namespace
