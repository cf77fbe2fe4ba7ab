// The transport keys of a windowed show, pressed through the window system's event queue
// (--press) in offline runs of the default show: every move lands exactly where playing through
// from the start is, whatever the actors kept (pulsating objects, flickering lights, the map).
#include "render/gl/PngFile.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

ProgramRun runInShow(const std::string& arguments) {
    return runShellCommand("cd " + shellQuoted(BEATSHOW_SHOW_BUILD_DIR) +
                           " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 300 " +
                           shellQuoted(BEATSHOW_PROGRAM) + " " + arguments);
}

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct Seek {
    double from, to;
};

std::vector<Seek> seeksOf(const ProgramRun& run) {
    const std::regex seek(R"(seek from ([0-9.]+) s to ([0-9.]+) s \(.*)");
    std::vector<Seek> seeks;
    for (const std::string& line : run.lines) {
        std::smatch m;
        if (std::regex_match(line, m, seek)) seeks.push_back({std::stod(m[1]), std::stod(m[2])});
    }
    return seeks;
}

// The event lines after the last seek of a run (all of them without one).
std::vector<std::string> eventsAfterLastSeek(const ProgramRun& run) {
    std::vector<std::string> events;
    for (const std::string& line : run.lines) {
        if (line.rfind("seek from ", 0) == 0) events.clear();
        if (line.rfind("Triggering Event: ", 0) == 0) events.push_back(line);
    }
    return events;
}

std::vector<std::string> eventsAfter(const std::vector<std::string>& events, double after) {
    std::vector<std::string> picked;
    for (const std::string& line : events)
        if (std::stod(line.substr(line.rfind(' ') + 1)) > after) picked.push_back(line);
    return picked;
}

constexpr double Bar = 4 * 60.0 / 141.0;
const std::string Offline = "--windowed --size 192x108 --offline 20 ";

TEST(Transport, PausingAndSeekingBackShowWhatPlayingThroughShows) {
    ScratchDirectory shots;
    const std::string arguments =
        Offline + "--until 87.2 --shots 86,87 --shot-dir " + shellQuoted(shots.path().string()) + "/";
    // In the tunnel, where the pulsating object bursts and gathers on the beat with random
    // pieces. Started at 85 s, which replays every frame before it (the start is exact: tested
    // apart). The other run pauses at 86 s for five frames, then at about 86.6 s goes one bar
    // back, to 85.1 s.
    const ProgramRun through = runInShow(arguments + "through --start 85");
    const ProgramRun moved =
        runInShow(arguments + "moved --start 85.5 --press 10:Space --press 15:Space --press 28:Left");
    ASSERT_EQ(through.status, 0) << ::testing::PrintToString(through.lines);
    ASSERT_EQ(moved.status, 0) << ::testing::PrintToString(moved.lines);
    const std::vector<Seek> seeks = seeksOf(moved);
    // The resume goes on from where the pause began; Left lands on bar 51's line.
    ASSERT_EQ(seeks.size(), 2u) << ::testing::PrintToString(moved.lines);
    EXPECT_NEAR(seeks[0].from, seeks[0].to, 0.051);
    EXPECT_GT(seeks[1].from, 86.5);
    EXPECT_NEAR(seeks[1].to, 50 * Bar, 0.051);

    const auto events = eventsAfter(eventsAfterLastSeek(through), seeks[1].to);
    EXPECT_EQ(eventsAfterLastSeek(moved), events);
    for (const char* shot : {"shot-00086.000.png", "shot-00087.000.png"}) {
        const std::string a = fileText(shots.path() / "through" / shot);
        ASSERT_FALSE(a.empty()) << shot;
        EXPECT_TRUE(a == fileText(shots.path() / "moved" / shot)) << shot << " differs";
    }
}

TEST(Transport, ALoopedSectionWrapsAtItsEnd) {
    const ProgramRun run = runInShow(Offline + "--start 12.5 --press 3:L --frames 40");
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    const std::vector<Seek> seeks = seeksOf(run);
    ASSERT_EQ(seeks.size(), 1u) << ::testing::PrintToString(run.lines);
    // The first frame at or after the section's end goes back to its start instead.
    EXPECT_GE(seeks[0].from, 8 * Bar);
    EXPECT_LT(seeks[0].from, 8 * Bar + 0.05);
    EXPECT_LT(seeks[0].to, 0.051);
}

} // namespace

namespace {

TEST(DebugDisplay, IsInShotsOnlyWhenAskedForAndLiesOverThePictureAtTheTopLeft) {
    ScratchDirectory shots;
    const std::string arguments = Offline + "--start 85 --until 85.6 --shots 85.5 --shot-dir " +
                                  shellQuoted(shots.path().string()) + "/";
    const ProgramRun plain = runInShow(arguments + "plain");
    const ProgramRun shown = runInShow(arguments + "shown --hud");
    ASSERT_EQ(plain.status, 0) << ::testing::PrintToString(plain.lines);
    ASSERT_EQ(shown.status, 0) << ::testing::PrintToString(shown.lines);
    int width = 0, height = 0, w = 0, h = 0;
    std::vector<uint8_t> a, b;
    ASSERT_TRUE(readPng((shots.path() / "plain" / "shot-00085.500.png").string(), a, width, height));
    ASSERT_TRUE(readPng((shots.path() / "shown" / "shot-00085.500.png").string(), b, w, h));
    ASSERT_EQ(a.size(), b.size());
    int differentAbove = 0, differentBelow = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t i = 3 * (static_cast<size_t>(y) * width + x);
            const bool differs = a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
            (y < 90 ? differentAbove : differentBelow) += differs ? 1 : 0;
        }
    EXPECT_GT(differentAbove, 100);
    EXPECT_EQ(differentBelow, 0);
}

} // namespace
