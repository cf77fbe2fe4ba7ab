// Golden frames: the default show at ten music times, offline at 320 x 180, against PNGs stored
// in tests/show/golden/. On the machine that made them (same GL renderer and version, recorded
// in machine.txt beside them) every byte must match; on another the pictures may differ by at
// most 2/255 per channel on 99.9 % of the pixels, as drivers round differently. A failure writes
// the frame, the golden and a difference image into this test's output folder.
//
// BEATSHOW_UPDATE_GOLDEN=1 (`make golden`) writes the frames of this build as the new goldens;
// BEATSHOW_GOLDEN_TOLERANCE=N compares with N/255 on 99.9 % of the pixels on any machine.
#include "render/gl/PngFile.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// One in each part of the show: the announcement, the cube flight and its drop, the map search,
// the tunnel, the explosion, the line figure, the title card, the greetings and the finale.
const std::vector<std::string> GoldenTimes = {"4", "20", "35", "44", "58", "72", "88", "100", "112", "150"};

const fs::path GoldenDirectory = BEATSHOW_GOLDEN_DIR;
const fs::path OutputDirectory = BEATSHOW_GOLDEN_OUTPUT_DIR;

std::string shotName(const std::string& time) {
    char name[64];
    std::snprintf(name, sizeof name, "shot-%09.3f.png", std::atof(time.c_str()));
    return name;
}

// The renderer and driver named by the program's start-up line, e.g. "llvmpipe (LLVM 15.0.6,
// 256 bits), OpenGL 4.5 (Core Profile) Mesa 22.3.6"; empty when the line is missing.
std::string machineOf(const ProgramRun& run) {
    const std::string prefix = "renderer: ";
    for (const std::string& line : run.lines)
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size(), line.find(';') - prefix.size());
    return {};
}

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

struct Difference {
    int largest = 0;            // the largest difference of one channel, in 1/255
    size_t over = 0;            // pixels with a channel differing by more than the tolerance
    size_t different = 0;       // pixels with any difference
    std::vector<uint8_t> image; // each channel's difference, scaled up to be seen
};

Difference compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int tolerance) {
    Difference d;
    d.image.resize(a.size());
    for (size_t p = 0; p + 2 < a.size(); p += 3) {
        int worst = 0;
        for (size_t c = 0; c < 3; ++c) {
            const int delta = std::abs(static_cast<int>(a[p + c]) - static_cast<int>(b[p + c]));
            worst = std::max(worst, delta);
            d.image[p + c] = static_cast<uint8_t>(std::min(255, delta * 16));
        }
        d.largest = std::max(d.largest, worst);
        if (worst > 0) ++d.different;
        if (worst > tolerance) ++d.over;
    }
    return d;
}

ProgramRun renderGoldenTimes(const fs::path& shots) {
    std::string list;
    for (const std::string& t : GoldenTimes)
        list += (list.empty() ? "" : ",") + t;
    return runShellCommand("cd " + shellQuoted(BEATSHOW_SHOW_BUILD_DIR) +
                           " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 600 " +
                           shellQuoted(BEATSHOW_PROGRAM) + " --windowed --size 320x180 --offline 2 --until " +
                           GoldenTimes.back() + " --shots " + list + " --shot-dir " +
                           shellQuoted(shots.string()));
}

TEST(GoldenFrames, TheDefaultShowLooksAsItDidWhenTheGoldensWereMade) {
    ScratchDirectory shots;
    const ProgramRun run = renderGoldenTimes(shots.path());
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    const std::string machine = machineOf(run);
    ASSERT_FALSE(machine.empty()) << "the program did not name its renderer";

    if (const char* update = std::getenv("BEATSHOW_UPDATE_GOLDEN"); update && *update && *update != '0') {
        fs::create_directories(GoldenDirectory);
        for (const std::string& t : GoldenTimes)
            fs::copy_file(shots.path() / shotName(t), GoldenDirectory / shotName(t),
                          fs::copy_options::overwrite_existing);
        std::ofstream(GoldenDirectory / "machine.txt") << machine << "\n";
        std::cout << "golden frames written to " << GoldenDirectory << " on " << machine << std::endl;
        return;
    }

    ASSERT_TRUE(fs::exists(GoldenDirectory / "machine.txt"))
        << "no golden frames in " << GoldenDirectory << ": make them with `make golden`";
    const bool sameMachine = readText(GoldenDirectory / "machine.txt") == machine;
    // Another driver may round a little differently; this one must give the very same bytes.
    int tolerance = sameMachine ? 0 : 2;
    double allowedShare = sameMachine ? 0.0 : 0.001;
    // A change meant to keep the picture within a tolerance (N/255 on 99.9 % of the pixels) is
    // checked with BEATSHOW_GOLDEN_TOLERANCE=N before the goldens are made again.
    if (const char* asked = std::getenv("BEATSHOW_GOLDEN_TOLERANCE"); asked && *asked) {
        tolerance = std::atoi(asked);
        allowedShare = 0.001;
    }

    for (const std::string& t : GoldenTimes) {
        SCOPED_TRACE("music time " + t);
        std::vector<uint8_t> frame, golden;
        int fw = 0, fh = 0, gw = 0, gh = 0;
        ASSERT_TRUE(readPng((shots.path() / shotName(t)).string(), frame, fw, fh)) << "no shot at " << t;
        ASSERT_TRUE(readPng((GoldenDirectory / shotName(t)).string(), golden, gw, gh))
            << "no golden frame for " << t << " s: make them with `make golden`";
        ASSERT_EQ(fw, gw);
        ASSERT_EQ(fh, gh);
        const Difference d = compare(frame, golden, tolerance);
        const size_t pixels = frame.size() / 3;
        if (static_cast<double>(d.over) <= allowedShare * static_cast<double>(pixels)) continue;

        fs::create_directories(OutputDirectory);
        const std::string stem = (OutputDirectory / fs::path(shotName(t)).stem()).string();
        writePng(stem + "-frame.png", frame, fw, fh);
        writePng(stem + "-golden.png", golden, gw, gh);
        writePng(stem + "-difference.png", d.image, fw, fh);
        ADD_FAILURE() << d.over << " of " << pixels << " pixels differ by more than " << tolerance << "/255 ("
                      << d.different << " differ at all, by up to " << d.largest << "/255) on "
                      << (sameMachine ? "the machine that made the goldens"
                                      : "another machine (" + machine + ")")
                      << "; frame, golden and difference in " << stem << "-*.png";
    }
}

} // namespace

// Kept shadow faces, cached uniforms and the filter chain's targets carry state from frame to
// frame; none of it may show. The show passes 100 s, jumps eight bars back (PageUp) and passes
// it again: both shots of that time must be the same bytes.
TEST(GoldenFrames, TheSameFrameDrawnTwiceInOneRunIsIdentical) {
    ScratchDirectory shots;
    const ProgramRun run = runShellCommand(
        "cd " + shellQuoted(BEATSHOW_SHOW_BUILD_DIR) +
        " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 600 " + shellQuoted(BEATSHOW_PROGRAM) +
        " --windowed --size 320x180 --offline 2 --start 98 --shots 100 --press 6:PageUp --until 102 "
        "--shot-dir " +
        shellQuoted(shots.path().string()));
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    std::vector<uint8_t> first, second;
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    ASSERT_TRUE(readPng((shots.path() / "shot-00100.000.png").string(), first, w1, h1));
    ASSERT_TRUE(readPng((shots.path() / "shot-00100.000-2.png").string(), second, w2, h2))
        << "the show did not come back to 100 s: " << ::testing::PrintToString(run.lines);
    ASSERT_EQ(w1, w2);
    ASSERT_EQ(h1, h2);
    const Difference d = compare(first, second, 0);
    if (d.different == 0) return;
    fs::create_directories(OutputDirectory);
    const std::string stem = (OutputDirectory / "drawn-twice").string();
    writePng(stem + "-first.png", first, w1, h1);
    writePng(stem + "-second.png", second, w2, h2);
    writePng(stem + "-difference.png", d.image, w1, h1);
    ADD_FAILURE() << d.different << " pixels differ, by up to " << d.largest
                  << "/255; both shots and the difference in " << stem << "-*.png";
}
