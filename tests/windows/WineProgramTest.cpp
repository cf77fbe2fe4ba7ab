// The Windows program under Wine, on the same Mesa as the Linux program (Xvfb, OpenGL 4.5 core
// through Wine's WGL): the default show offline with its shots equal to the golden frames, the
// check of a broken show word for word as the Linux program prints it, its log in beatshow.log
// beside it, a capture through an encoder beside it, and the link to a sync editor. The window and Escape:
// escape_under_wine.sh.
#include "render/gl/PngFile.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"
#include "tests/sync/StandInEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace fs = std::filesystem;

namespace {

const fs::path Program = BEATSHOW_WINDOWS_PROGRAM;

// The Windows program in `folder`, without a display of the test's own (wine-run makes one). Its
// lines end in "\r\n", as text does on Windows; the "\r" goes.
ProgramRun runUnderWine(const fs::path& folder, const std::string& arguments) {
    ProgramRun run = runShellCommand(
        "cd " + shellQuoted(folder.string()) + " && env -u DISPLAY SDL_AUDIODRIVER=dummy timeout 900 " +
        shellQuoted(BEATSHOW_WINE_RUN) + " " + shellQuoted(Program.string()) + " " + arguments);
    for (std::string& line : run.lines)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    return run;
}

std::string shotName(int seconds) {
    char name[64];
    std::snprintf(name, sizeof name, "shot-%09.3f.png", static_cast<double>(seconds));
    return name;
}

class WindowsProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(Program))
            << Program << " is not built: `make test-windows` builds it (it needs "
            << "scripts/build-windows-deps and the windows preset)";
    }
};

// The golden frames' own tolerance for another machine: 2/255 on all but 0.1 % of the pixels.
TEST_F(WindowsProgram, PlaysTheDefaultShowWithTheFramesOfTheLinuxProgram) {
    const std::vector<int> times = {4, 20, 35, 44};
    ScratchDirectory shots;
    const fs::path log = Program.parent_path() / "beatshow.log";
    fs::remove(log);
    const ProgramRun run = runUnderWine(BEATSHOW_SHOW_BUILD_DIR,
                                        "--windowed --size 320x180 --offline 2 --until 44 --shots 4,20,35,44 "
                                        "--shot-dir " +
                                            shellQuoted(shots.path().string()));
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    const auto renderer = std::find_if(run.lines.begin(), run.lines.end(),
                                       [](const std::string& l) { return l.rfind("renderer: ", 0) == 0; });
    ASSERT_NE(renderer, run.lines.end()) << ::testing::PrintToString(run.lines);
    EXPECT_NE(renderer->find("OpenGL 4.5 (Core Profile)"), std::string::npos) << *renderer;

    // The same lines in the log file beside the program (Windows line ends).
    std::ifstream in(log);
    std::vector<std::string> logged;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        logged.push_back(line);
    }
    EXPECT_NE(std::find(logged.begin(), logged.end(), *renderer), logged.end())
        << "beatshow.log: " << ::testing::PrintToString(logged);

    for (int t : times) {
        SCOPED_TRACE("music time " + std::to_string(t));
        std::vector<uint8_t> frame, golden;
        int fw = 0, fh = 0, gw = 0, gh = 0;
        ASSERT_TRUE(readPng((shots.path() / shotName(t)).string(), frame, fw, fh)) << "no shot";
        ASSERT_TRUE(readPng((fs::path(BEATSHOW_GOLDEN_DIR) / shotName(t)).string(), golden, gw, gh));
        ASSERT_EQ(fw, gw);
        ASSERT_EQ(fh, gh);
        size_t over = 0;
        int largest = 0;
        for (size_t i = 0; i < frame.size(); i += 3) {
            int worst = 0;
            for (size_t c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(int(frame[i + c]) - int(golden[i + c])));
            largest = std::max(largest, worst);
            if (worst > 2) ++over;
        }
        if (over * 1000 <= frame.size() / 3) continue;
        fs::create_directories(BEATSHOW_WINE_OUTPUT_DIR);
        const fs::path kept = fs::path(BEATSHOW_WINE_OUTPUT_DIR) / shotName(t);
        fs::copy_file(shots.path() / shotName(t), kept, fs::copy_options::overwrite_existing);
        ADD_FAILURE() << over << " pixels differ by more than 2/255 (up to " << largest
                      << "); the frame is in " << kept;
    }
}

TEST_F(WindowsProgram, ChecksABrokenShowAsTheLinuxProgramDoes) {
    const ProgramRun onLinux = runShellCommand(
        "cd " + shellQuoted(BEATSHOW_BAD_SHOW_DIR) + " && " +
        shellQuoted((fs::path(BEATSHOW_SHOW_BUILD_DIR).parent_path() / "beatshow").string()) + " --check .");
    const ProgramRun onWindows = runUnderWine(BEATSHOW_BAD_SHOW_DIR, "--check .");
    EXPECT_EQ(onLinux.status, 1);
    EXPECT_EQ(onWindows.status, 1) << ::testing::PrintToString(onWindows.lines);
    // The findings, without the last line's path; Windows names a show's files with its own
    // separator (model\cube.obj).
    auto findings = [](const ProgramRun& run) {
        std::vector<std::string> lines;
        for (std::string line : run.lines) {
            if (line.rfind("check: ", 0) == 0) line = line.substr(line.rfind(": "));
            std::replace(line.begin(), line.end(), '\\', '/');
            lines.push_back(line);
        }
        return lines;
    };
    EXPECT_GT(onLinux.lines.size(), 20u);
    EXPECT_EQ(findings(onWindows), findings(onLinux));
}

} // namespace

namespace {

// A capture feeds the encoder through the pipes Windows hands it (pipe:3, pipe:4): a stand-in
// for ffmpeg.exe beside the program counts what arrives. Without one there is a clear line.
TEST_F(WindowsProgram, CapturesThroughAnEncoderBesideItAndSaysWhenThereIsNone) {
    ScratchDirectory folder;
    fs::copy_file(Program, folder.path() / "beatshow.exe");
    const std::string arguments = "--capture " + shellQuoted((folder.path() / "out.mp4").string()) +
                                  " --size 160x90 --fps 10 --until 1";
    const fs::path copy = folder.path() / "beatshow.exe";
    auto capture = [&] {
        ProgramRun run = runShellCommand("cd " + shellQuoted(BEATSHOW_SHOW_BUILD_DIR) +
                                         " && env -u DISPLAY SDL_AUDIODRIVER=dummy timeout 900 " +
                                         shellQuoted(BEATSHOW_WINE_RUN) + " " + shellQuoted(copy.string()) +
                                         " " + arguments);
        for (std::string& line : run.lines)
            if (!line.empty() && line.back() == '\r') line.pop_back();
        return run;
    };

    const ProgramRun without = capture();
    EXPECT_EQ(without.status, 1);
    EXPECT_TRUE(
        without.has("beatshow: --capture needs ffmpeg.exe, which is neither beside beatshow.exe nor on PATH: "
                    "put it beside beatshow.exe (ffmpeg.org links to Windows builds)"))
        << ::testing::PrintToString(without.lines);
    EXPECT_FALSE(fs::exists(folder.path() / "out.mp4"));

    fs::copy_file(BEATSHOW_FAKE_FFMPEG, folder.path() / "ffmpeg.exe");
    const ProgramRun with = capture();
    ASSERT_EQ(with.status, 0) << ::testing::PrintToString(with.lines);
    std::ifstream out(folder.path() / "out.mp4");
    std::string word;
    long long video = 0, sound = 0;
    out >> word >> video >> word >> sound;
    // Ten frames of 160 x 90 in four bytes a pixel; a second of the song, 44.1 kHz stereo.
    EXPECT_EQ(video, 160 * 90 * 4 * 10);
    EXPECT_EQ(sound, 44100 * 2 * 2);
}

} // namespace

namespace {

// --sync through Winsock: the Windows program links to a stand-in Rocket editor on this
// machine's loopback (Wine's sockets are the host's), asks for the show's tracks, takes a key
// the editor sets and writes it into its scene when the editor saves.
TEST_F(WindowsProgram, LinksToASyncEditorAndSavesItsKeysIntoTheScene) {
    ScratchDirectory show;
    fs::copy(BEATSHOW_SHOW_BUILD_DIR, show.path(), fs::copy_options::recursive);
    const fs::path scene = show.path() / "epicrealtimetest.xml";
    const std::string before = [&] {
        std::ifstream in(scene, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();

    StandInEditor editor;
    std::atomic<bool> ended{false};
    ProgramRun run;
    std::thread program([&] {
        run = runUnderWine(show.path(), "--windowed --size 160x90 --offline 10 --until 12 --sync 127.0.0.1:" +
                                            std::to_string(editor.port()));
        ended = true;
    });
    bool saved = false;
    while (!ended) {
        editor.service();
        // Connected (the tracks asked for and a row told): a key on the first track, then a save.
        if (!saved && !editor.tracks.empty() && !editor.rows.empty()) {
            editor.setKey(0, 0, 7.25f, 0);
            editor.saveTracks();
            saved = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    program.join();
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    EXPECT_TRUE(editor.greeted());
    EXPECT_EQ(editor.greeting(), "hello, synctracker!");
    EXPECT_TRUE(editor.unexpected.empty());
    ASSERT_FALSE(editor.tracks.empty());
    EXPECT_TRUE(run.has("sync: connected to 127.0.0.1:" + std::to_string(editor.port()) + " (" +
                        std::to_string(editor.tracks.size()) + " tracks)"))
        << ::testing::PrintToString(run.lines);
    ASSERT_TRUE(saved) << "never connected";
    std::ifstream after(scene, std::ios::binary);
    const std::string now((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>());
    EXPECT_NE(now, before) << "the key was not saved";
    EXPECT_NE(now.find("7.25"), std::string::npos);
    std::ifstream bak(scene.string() + ".bak", std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(bak)), std::istreambuf_iterator<char>()), before);
}

} // namespace
