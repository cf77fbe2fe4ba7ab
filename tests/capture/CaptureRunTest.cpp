// The real program recording small shows headless, its captures decoded again by ffmpeg: the
// screen flashes white at a timed event while the soundtrack clicks at the same time, and the
// video must show the one where it plays the other, to the frame. Also what a capture leaves
// behind when it cannot be made, when something stops it, and when the show does not end where
// it said it would.
#include "render/gl/PngFile.h"
#include "tests/platform/ToneFile.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr int Rate = 44100;
constexpr int Width = 160;
constexpr int Height = 90;

// The output of a shell command as bytes (standard error is left alone).
std::vector<uint8_t> commandBytes(const std::string& command) {
    std::vector<uint8_t> bytes;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    ::pclose(pipe);
    return bytes;
}

// The mean brightness (0..255) of every frame of a video.
std::vector<double> frameBrightness(const fs::path& video) {
    const auto bytes =
        commandBytes("ffmpeg -v error -i " + shellQuoted(video.string()) + " -f rawvideo -pix_fmt gray - ");
    std::vector<double> means;
    const size_t size = static_cast<size_t>(Width) * Height;
    for (size_t at = 0; at + size <= bytes.size(); at += size) {
        double sum = 0;
        for (size_t i = 0; i < size; ++i)
            sum += bytes[at + i];
        means.push_back(sum / static_cast<double>(size));
    }
    return means;
}

// The sound of a file as one channel at 44.1 kHz.
std::vector<int16_t> soundOf(const fs::path& file) {
    const auto bytes =
        commandBytes("ffmpeg -v error -i " + shellQuoted(file.string()) + " -f s16le -ac 1 -ar 44100 - ");
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return samples;
}

// Where each click starts: the first sample of each run above half the loudest, runs at least
// 0.2 s apart.
std::vector<double> clickSeconds(const std::vector<int16_t>& samples) {
    int peak = 0;
    for (int16_t s : samples)
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    std::vector<double> clicks;
    long last = -Rate;
    for (size_t i = 0; i < samples.size(); ++i)
        if (peak > 1000 && std::abs(static_cast<int>(samples[i])) > peak / 2) {
            if (static_cast<long>(i) - last > Rate / 5) clicks.push_back(static_cast<double>(i) / Rate);
            last = static_cast<long>(i);
        }
    return clicks;
}

std::string probe(const fs::path& video, const std::string& stream, const std::string& entries) {
    const auto bytes =
        commandBytes("ffprobe -v error -select_streams " + stream + " -show_entries stream=" + entries +
                     " -of csv=p=0 " + shellQuoted(video.string()));
    std::string text(bytes.begin(), bytes.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::set<std::string> entriesOf(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

int linesStartingWith(const ProgramRun& run, const std::string& start) {
    return static_cast<int>(std::count_if(run.lines.begin(), run.lines.end(),
                                          [&](const std::string& line) { return line.starts_with(start); }));
}

// The frame count N of the line "capture: stopped at frame N of TOTAL by WHAT"; -1 without one.
long stoppedAtFrame(const ProgramRun& run, const std::string& total, const std::string& what) {
    for (const std::string& line : run.lines) {
        long frame = -1;
        char rest[64] = {};
        if (std::sscanf(line.c_str(), "capture: stopped at frame %ld of %63[^\n]", &frame, rest) == 2 &&
            std::string(rest) == total + " by " + what)
            return frame;
    }
    return -1;
}

// A capture stopped part way is a whole file: every frame decodes, with its sound beside it.
void expectPlayableAndWhole(const fs::path& video, size_t frames, int fps) {
    const std::vector<double> brightness = frameBrightness(video);
    EXPECT_EQ(brightness.size(), frames) << video;
    const std::vector<int16_t> sound = soundOf(video);
    EXPECT_NEAR(static_cast<double>(sound.size()) / Rate, static_cast<double>(frames) / fps, 0.5 / fps)
        << video;
    for (const std::string& name : entriesOf(video.parent_path()))
        EXPECT_FALSE(name.ends_with(".part")) << name;
}

// A show that flashes white from 1 s to 1.5 s (the slide show's bitmap is one white pixel) over a
// song of silence with a click at 1 s; it ends at `exitSeconds` (none when negative).
class CaptureRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& entry : fs::directory_iterator(BEATSHOW_SHOW_DIR))
            if (entry.path().extension() == ".vsh" || entry.path().extension() == ".psh")
                fs::copy_file(entry.path(), dir.path() / entry.path().filename());
        writeBitmapFile(dir.path(), "logo2", 1, 1, {255, 255, 255});
    }

    void writeShow(double songSeconds, double exitSeconds) {
        fs::create_directories(dir.path() / "audio");
        const int clickAt = Rate; // 1 s
        ASSERT_TRUE(writeVorbisFile((dir.path() / "audio" / "click.ogg").string(), Rate, 2,
                                    static_cast<int>(songSeconds * Rate), [&](int frame, int) {
                                        const int t = frame - clickAt;
                                        if (t < 0 || t >= Rate / 100) return 0.0f;
                                        return static_cast<float>(
                                            0.8 * std::sin(2 * std::numbers::pi * 1000.0 * t / Rate));
                                    }));
        std::ofstream scene(dir.path() / "epicrealtimetest.xml");
        scene << R"(<?xml version="1.0"?>
<base>
  <scene>
    <meshes>
    </meshes>
    <materials>
      <logo2 />
    </materials>
    <objects>
    </objects>
    <lights>
    </lights>
    <actors>
      <Cam1 classname="Camera" />
      <slides classname="SlideShow" />
    </actors>
    <automations>
    </automations>
    <eventtrigger>
      <activate eventTime="1" target="slides" />
      <deactivate eventTime="1.5" target="slides" />
)";
        if (exitSeconds >= 0) scene << "      <exit eventTime=\"" << exitSeconds << "\" />\n";
        scene << R"(    </eventtrigger>
    <audio>
      <song file="click.ogg" />
    </audio>
  </scene>
</base>
)";
    }

    ProgramRun capture(const std::string& arguments, const std::string& environment = "") {
        return runShellCommand("cd " + shellQuoted(dir.path().string()) +
                               " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 120 env " +
                               environment + " " + shellQuoted(BEATSHOW_PROGRAM) + " " + arguments);
    }

    ScratchDirectory dir;
};

TEST_F(CaptureRunTest, TheFlashIsSeenWhereTheClickIsHeard) {
    writeShow(3.0, 2.0);
    const ProgramRun run = capture("--capture show.mp4 --size 160x90 --fps 30");
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    EXPECT_TRUE(std::any_of(run.lines.begin(), run.lines.end(), [](const std::string& l) {
        return l.starts_with("capture: wrote show.mp4: 60 frames, 2.000 s of the show from 0.000 s");
    })) << ::testing::PrintToString(run.lines);
    const fs::path video = dir.path() / "show.mp4";
    EXPECT_EQ(probe(video, "v:0", "codec_name,pix_fmt,width,height"), "h264,160,90,yuv420p");
    EXPECT_EQ(probe(video, "a:0", "codec_name"), "aac");

    // The show ends at 2 s: exactly 60 frames at 30 a second.
    const std::vector<double> brightness = frameBrightness(video);
    ASSERT_EQ(brightness.size(), 60u);
    const auto flash = std::find_if(brightness.begin(), brightness.end(), [](double b) { return b > 128; });
    ASSERT_NE(flash, brightness.end());
    // Frame k shows the show at k / 30 s: the flash from frame 30 to frame 44.
    EXPECT_EQ(flash - brightness.begin(), 30);
    const double flashSeconds = static_cast<double>(flash - brightness.begin()) / 30.0;
    EXPECT_GT(brightness[44], 128);
    EXPECT_LT(brightness[45], 128) << "dark again after 1.5 s";

    // In sync to well within a frame: one frame early or late fails.
    const std::vector<int16_t> sound = soundOf(video);
    const std::vector<double> clicks = clickSeconds(sound);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_NEAR(flashSeconds, clicks[0], 0.25 / 30.0)
        << "flash at " << flashSeconds << " s, click at " << clicks[0];
    EXPECT_NEAR(clicks[0], 1.0, 0.25 / 30.0);
    // Sound and pictures end together (AAC fills its last block of 1024 samples).
    EXPECT_NEAR(static_cast<double>(sound.size()) / Rate, 2.0, 1.0 / 30.0);
    EXPECT_EQ(entriesOf(dir.path()).count("show.mp4"), 1u);
    for (const std::string& name : entriesOf(dir.path()))
        EXPECT_FALSE(name.ends_with(".part")) << name;
}

TEST_F(CaptureRunTest, AStartAndALoopingSongInNumberedFramesAndAWav) {
    // The song (1.6 s) is shorter than the capture: its click comes again at 2.6 s of the show.
    writeShow(1.6, -1.0);
    const ProgramRun run =
        capture("--capture frames/f-%03d.png --size 160x90 --fps 20 --start 0.5 --until 2.9");
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    const fs::path frames = dir.path() / "frames";
    std::set<std::string> expected = {"f.wav"};
    char name[32];
    for (int k = 0; k < 48; ++k) { // (2.9 - 0.5) x 20
        std::snprintf(name, sizeof name, "f-%03d.png", k);
        expected.insert(name);
    }
    EXPECT_EQ(entriesOf(frames), expected);

    // Frame k shows 0.5 + k / 20 s: the flash from frame 10 (1 s) to frame 19.
    auto brightness = [&](int k) {
        std::snprintf(name, sizeof name, "f-%03d.png", k);
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        EXPECT_TRUE(readPng((frames / name).string(), rgb, w, h)) << name;
        EXPECT_EQ(w, Width);
        EXPECT_EQ(h, Height);
        return rgb.empty() ? 0 : rgb[rgb.size() / 2];
    };
    EXPECT_LT(brightness(9), 128);
    EXPECT_GT(brightness(10), 128);
    EXPECT_GT(brightness(19), 128);
    EXPECT_LT(brightness(20), 128);

    // The WAV holds the section exactly: 2.4 s, the click at 0.5 s and again after the loop.
    const std::vector<int16_t> sound = soundOf(frames / "f.wav");
    EXPECT_EQ(sound.size(), static_cast<size_t>(2.4 * Rate));
    const std::vector<double> clicks = clickSeconds(sound);
    ASSERT_EQ(clicks.size(), 2u) << ::testing::PrintToString(clicks);
    EXPECT_NEAR(clicks[0], 0.5, 0.003);
    EXPECT_NEAR(clicks[1], 2.1, 0.003);
}

TEST_F(CaptureRunTest, RefusalsSayWhyInOneLineAndLeaveNothingBehind) {
    writeShow(3.0, 2.0);
    std::ofstream(dir.path() / "blocker") << "a file, not a folder";
    const fs::path fakeEncoder = dir.path() / "fake";
    fs::create_directories(fakeEncoder);
    std::ofstream(fakeEncoder / "ffmpeg") << "#!/bin/sh\necho 'fake encoder: out of disk' >&2\nexit 1\n";
    fs::permissions(fakeEncoder / "ffmpeg", fs::perms::owner_all);
    const std::set<std::string> before = entriesOf(dir.path());

    struct Case {
        std::string arguments, environment, said;
        int status;
    };
    const std::vector<Case> cases = {
        {"--capture show.mp4 --size 161x90", "", "the nearest is --size 160x90", 2},
        {"--capture show.webm --size 160x91", "", "the nearest is --size 160x90", 2},
        {"--capture show.mp4 --size 160x90", "PATH=" + (dir.path() / "nothing").string(),
         "apt-get install ffmpeg", 1},
        {"--capture blocker/show.mp4 --size 160x90", "", "cannot write blocker/show.mp4", 1},
        {"--capture new/show.mp4 --size 160x90 --fps 30", "PATH=" + fakeEncoder.string() + ":/usr/bin:/bin",
         "(ffmpeg: fake encoder: out of disk)", 1},
    };
    for (const Case& c : cases) {
        const ProgramRun run = capture(c.arguments, c.environment);
        EXPECT_EQ(run.status, c.status) << c.arguments << ::testing::PrintToString(run.lines);
        const auto lines = std::count_if(run.lines.begin(), run.lines.end(), [&](const std::string& line) {
            return line.starts_with("beatshow: ") && line.find(c.said) != std::string::npos;
        });
        EXPECT_EQ(lines, 1) << c.arguments << ::testing::PrintToString(run.lines);
        EXPECT_EQ(entriesOf(dir.path()), before) << c.arguments;
    }
}

TEST_F(CaptureRunTest, EveryWayToStopKeepsAPlayableFileAndSaysSo) {
    writeShow(3.0, -1.0);
    struct Case {
        std::string signals, said;
        int status;
    };
    // Ctrl+C pressed twice: the second is an impatient person, not a request to lose the file.
    const std::vector<Case> cases = {
        {"INT INT", "Ctrl+C", 130}, {"TERM", "SIGTERM", 143}, {"HUP", "SIGHUP", 129}};
    for (const Case& c : cases) {
        // Stopped once the capture has begun (the line is logged with its first frame).
        const ProgramRun run = runShellCommand(
            "cd " + shellQuoted(dir.path().string()) +
            " && (SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " + shellQuoted(BEATSHOW_PROGRAM) +
            " --capture stopped.mkv --size 160x90 --fps 30 --until 3 > log.txt 2>&1 & pid=$!; tries=0; "
            "until grep -q 'capture: music from' log.txt || [ $tries -gt 600 ]; do sleep 0.1; "
            "tries=$((tries+1)); done; for s in " +
            c.signals + "; do kill -$s $pid; done; wait $pid; echo status $?; cat log.txt; rm log.txt)");
        ASSERT_TRUE(run.has("status " + std::to_string(c.status)))
            << c.signals << ::testing::PrintToString(run.lines);
        EXPECT_EQ(linesStartingWith(run, "capture: wrote stopped.mkv: "), 1)
            << ::testing::PrintToString(run.lines);
        const long frames = stoppedAtFrame(run, "90", c.said);
        EXPECT_GE(frames, 1) << c.signals << ::testing::PrintToString(run.lines);
        EXPECT_LT(frames, 90) << c.signals;
        const fs::path video = dir.path() / "stopped.mkv";
        EXPECT_EQ(probe(video, "a:0", "codec_name"), "flac");
        expectPlayableAndWhole(video, static_cast<size_t>(std::max(frames, 0L)), 30);
        fs::remove(video);
    }
}

TEST_F(CaptureRunTest, TheWindowsKeysMoveNothingAndEscapeStops) {
    writeShow(3.0, -1.0);
    // Pause, a seek one bar on and back to the start: none of them may reach the show.
    const ProgramRun run = capture("--capture keys.mkv --size 160x90 --fps 30 --until 2 --press 3:Space "
                                   "--press 4:Right --press 6:Home --press 9:Space --press 40:Escape");
    ASSERT_EQ(run.status, 130) << ::testing::PrintToString(run.lines);
    const long frames = stoppedAtFrame(run, "60", "Escape");
    ASSERT_GE(frames, 40) << ::testing::PrintToString(run.lines);
    EXPECT_LT(frames, 60);
    const fs::path video = dir.path() / "keys.mkv";
    expectPlayableAndWhole(video, static_cast<size_t>(frames), 30);
    const std::vector<double> brightness = frameBrightness(video);
    ASSERT_GE(brightness.size(), 31u);
    EXPECT_LT(brightness[29], 128);
    EXPECT_GT(brightness[30], 128) << "the flash at 1 s is where the show put it";
}

TEST_F(CaptureRunTest, ShotsAtAnOddWidthAndAFrameLimitAfterAStart) {
    writeShow(3.0, -1.0);
    const ProgramRun run =
        capture("--capture frames/f-%02d.png --size 161x90 --fps 16 --start 0.5 --frames 12 "
                "--shots 1,1.0625 --shot-dir shots");
    ASSERT_EQ(run.status, 0) << ::testing::PrintToString(run.lines);
    std::set<std::string> expected = {"f.wav"};
    char name[32];
    for (int k = 0; k < 12; ++k) {
        std::snprintf(name, sizeof name, "f-%02d.png", k);
        expected.insert(name);
    }
    EXPECT_EQ(entriesOf(dir.path() / "frames"), expected) << "--frames counts the frames written";
    EXPECT_EQ(soundOf(dir.path() / "frames" / "f.wav").size(), static_cast<size_t>(12 * Rate / 16));

    auto picture = [](const fs::path& file) {
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        EXPECT_TRUE(readPng(file.string(), rgb, w, h)) << file;
        EXPECT_EQ(w, 161) << file;
        EXPECT_EQ(h, Height) << file;
        return rgb;
    };
    const std::set<std::string> shots = entriesOf(dir.path() / "shots");
    ASSERT_EQ(shots.size(), 2u) << ::testing::PrintToString(run.lines);
    const std::vector<uint8_t> before = picture(dir.path() / "shots" / *shots.begin());
    const std::vector<uint8_t> at = picture(dir.path() / "shots" / *shots.rbegin());
    ASSERT_FALSE(before.empty());
    ASSERT_FALSE(at.empty());
    EXPECT_LT(before[before.size() / 2], 128);
    EXPECT_GT(at[at.size() / 2], 128);
    // A shot named t is the frame drawn when the clock read t, whose events ran on the time of
    // the frame before it: the flash of 1 s is first seen in the shot of 1.0625 s, and in frame 8
    // of the capture, which shows 0.5 + 8 / 16 s to the sound of that time.
    EXPECT_TRUE(picture(dir.path() / "frames" / "f-07.png") == before);
    EXPECT_TRUE(picture(dir.path() / "frames" / "f-08.png") == at);
}

TEST_F(CaptureRunTest, NumberedFramesNeverMixWithAnEarlierCapture) {
    writeShow(3.0, 2.0);
    for (const char* file : {"frames/f-000.png", "frames/f-047.png", "frames/f.wav", "frames/notes.txt"})
        dir.write(file, std::string("earlier"));
    const std::set<std::string> before = entriesOf(dir.path() / "frames");
    const ProgramRun run = capture("--capture frames/f-%03d.png --size 160x90 --fps 20 --until 0.5");
    EXPECT_EQ(run.status, 1) << ::testing::PrintToString(run.lines);
    EXPECT_EQ(linesStartingWith(run, "beatshow: --capture frames/f-%03d.png: frames already holds 2 frames "
                                     "(f-000.png to f-047.png) and f.wav of an earlier capture"),
              1)
        << ::testing::PrintToString(run.lines);
    EXPECT_EQ(entriesOf(dir.path() / "frames"), before);
    for (const std::string& name : before) {
        std::ifstream file(dir.path() / "frames" / name);
        std::string text;
        std::getline(file, text);
        EXPECT_EQ(text, "earlier") << name;
    }
}

TEST_F(CaptureRunTest, AShowThatGoesOnPastItsEndIsStoppedThere) {
    // The song is shorter than the show: the clock loops before the "exit" at 1.5 s comes. The
    // frame limit only keeps a run of the program from before this check short.
    writeShow(1.0, 1.5);
    const ProgramRun run = capture("--capture over.mkv --size 160x90 --fps 30 --frames 300");
    EXPECT_EQ(run.status, 1) << ::testing::PrintToString(run.lines);
    EXPECT_EQ(linesStartingWith(run,
                                "beatshow: capture stopped at frame 45 of 45: the show went on, its \"exit\" "
                                "event at 1.500 s is not before the end of its song (1.000 s)"),
              1)
        << ::testing::PrintToString(run.lines);
    // What was announced is kept.
    expectPlayableAndWhole(dir.path() / "over.mkv", 45, 30);
}

} // namespace
