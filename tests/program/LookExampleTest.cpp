// The worked example of docs/scene.md played by the real program, headless: the show `--new`
// writes with docs/examples/look/ copied over it (a material shader that glows with the bass, a
// colour grade on a free track in a declared post stage). Its ring glows on the song's kicks and
// not between them, and a frame shows the same music offline from the start, started in the
// middle and in a capture.
#include "render/gl/PngFile.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

ProgramRun runLookShow(const fs::path& directory, const std::string& arguments) {
    return runShellCommand("cd " + shellQuoted(directory.string()) +
                           " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 300 " +
                           shellQuoted(BEATSHOW_PROGRAM) + " " + arguments);
}

struct Picture {
    std::vector<uint8_t> rgb;
    int width = 0, height = 0;
};

Picture readPicture(const fs::path& file) {
    Picture p;
    EXPECT_TRUE(readPng(file.string(), p.rgb, p.width, p.height)) << file;
    return p;
}

// The mean of red, green and blue over the middle of the picture, where the ring is.
double middleBrightness(const Picture& p) {
    double sum = 0;
    int n = 0;
    for (int y = p.height * 3 / 10; y < p.height * 7 / 10; ++y)
        for (int x = p.width * 3 / 10; x < p.width * 7 / 10; ++x)
            for (int c = 0; c < 3; ++c, ++n)
                sum +=
                    p.rgb[(static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)) *
                              3 +
                          static_cast<size_t>(c)];
    return n ? sum / n : 0;
}

// Shot times written to the millisecond, and the file each gives.
std::string millis(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", t);
    return text;
}
std::string shotName(double t) {
    char name[48];
    std::snprintf(name, sizeof name, "shot-%09.3f.png", t);
    return name;
}

class LookExampleTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ProgramRun made =
            runShellCommand(shellQuoted(BEATSHOW_PROGRAM) + " --new " + shellQuoted(show.string()));
        ASSERT_EQ(made.status, 0) << ::testing::PrintToString(made.lines);
        const fs::path example = fs::path(BEATSHOW_SHOW_DIR).parent_path() / "docs" / "examples" / "look";
        for (const auto& file : fs::directory_iterator(example))
            fs::copy_file(file.path(), show / file.path().filename(), fs::copy_options::overwrite_existing);
        const ProgramRun check = runLookShow(show, "--check");
        ASSERT_EQ(check.status, 0) << ::testing::PrintToString(check.lines);
    }

    ScratchDirectory scratch;
    fs::path show = scratch.path() / "show";
};

TEST_F(LookExampleTest, TheRingGlowsOnTheKicksOfTheSongAndNotBetweenThem) {
    // A kick on every beat of 141 BPM; the bass (smoothed over 50 ms) peaks some 50 ms after it.
    const double beat = 60.0 / 141.0;
    std::string shots;
    std::vector<double> onKick, beforeKick;
    for (int k : {6, 8, 10}) {
        onKick.push_back(std::stod(millis(k * beat + 0.09)));
        beforeKick.push_back(std::stod(millis(k * beat - 0.02)));
    }
    for (size_t i = 0; i < onKick.size(); ++i)
        shots += (i ? "," : "") + millis(beforeKick[i]) + "," + millis(onKick[i]);
    const ProgramRun run = runLookShow(show, "--windowed --size 160x90 --offline 60 --until 4.5 --shots " +
                                                 shots + " --shot-dir shots");
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    for (size_t i = 0; i < onKick.size(); ++i) {
        const double dark = middleBrightness(readPicture(show / "shots" / shotName(beforeKick[i])));
        const double lit = middleBrightness(readPicture(show / "shots" / shotName(onKick[i])));
        EXPECT_GT(lit, dark * 1.2) << "kick at " << onKick[i] - 0.09 << " s: " << dark << " before, " << lit
                                   << " on it";
    }
}

TEST_F(LookExampleTest, AFrameShowsTheSameMusicFromTheStartStartedLaterAndInACapture) {
    // 3.5 s at 32 frames a second: frame 112, whose picture shows the time of frame 111 (65 ms
    // after a kick: the ring glows), as the capture's 16th frame from 3 s does.
    const std::string size = "--size 160x90 ";
    const ProgramRun whole = runLookShow(
        show, "--windowed " + size + "--offline 32 --until 3.6 --shots 3.375,3.5 --shot-dir whole");
    const ProgramRun started = runLookShow(
        show, "--windowed " + size + "--offline 32 --start 3 --until 3.6 --shots 3.5 --shot-dir started");
    ASSERT_EQ(whole.status, 0) << ::testing::PrintToString(whole.lines);
    ASSERT_EQ(started.status, 0) << ::testing::PrintToString(started.lines);
    const Picture a = readPicture(show / "whole" / "shot-00003.500.png");
    const Picture b = readPicture(show / "started" / "shot-00003.500.png");
    EXPECT_EQ(a.rgb, b.rgb);
    // The glow is in it: the frame before the kick is darker.
    EXPECT_GT(middleBrightness(a),
              middleBrightness(readPicture(show / "whole" / "shot-00003.375.png")) * 1.2);

    if (std::system("command -v ffmpeg > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg for the capture";
    fs::create_directories(show / "frames");
    const ProgramRun captured =
        runLookShow(show, size + "--capture frames/f-%05d.png --fps 32 --start 3 --until 3.6");
    ASSERT_EQ(captured.status, 0) << ::testing::PrintToString(captured.lines);
    const Picture c = readPicture(show / "frames" / "f-00015.png");
    EXPECT_EQ(c.width, a.width);
    EXPECT_EQ(c.rgb, a.rgb);
}

} // namespace
