// What --capture and --fps accept, what they refuse and how they say it, and the encoder command
// line each format gets.
#include "app/CaptureSettings.h"
#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

int parse(const std::vector<std::string>& arguments, ProgramOptions& options, std::string& error) {
    return parseCommandLine(arguments, options, error);
}

// The value that follows `flag` in an argument list ("" when it is not there).
std::string after(const std::vector<std::string>& arguments, const std::string& flag, size_t nth = 0) {
    for (size_t i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == flag && nth-- == 0) return arguments[i + 1];
    return "";
}

TEST(CaptureSettings, FormatsFollowTheFileName) {
    std::string error;
    EXPECT_EQ(captureFormatOf("show.mp4", error), CaptureFormat::Mp4);
    EXPECT_EQ(captureFormatOf("videos/Show.MP4", error), CaptureFormat::Mp4);
    EXPECT_EQ(captureFormatOf("show.webm", error), CaptureFormat::WebM);
    EXPECT_EQ(captureFormatOf("show.mkv", error), CaptureFormat::Matroska);
    EXPECT_EQ(captureFormatOf("frames/shot-%05d.png", error), CaptureFormat::PngFrames);
    EXPECT_EQ(captureFormatOf("frames/%d.png", error), CaptureFormat::PngFrames);
    EXPECT_EQ(captureFormatOf("frames/100%%-%04d.png", error), CaptureFormat::PngFrames);

    for (const char* refused : {"show.avi", "show", "shot.png", "shot-%05d-%05d.png", "shot-%s.png",
                                "shot-%05d.mp4", "take%d/shot-%05d.png"}) {
        error.clear();
        EXPECT_EQ(captureFormatOf(refused, error), CaptureFormat::None) << refused;
        EXPECT_FALSE(error.empty()) << refused;
    }
}

TEST(CaptureSettings, TheCommandLineTakesCaptureAndItsRate) {
    ProgramOptions options;
    std::string error;
    ASSERT_EQ(
        parse({"--capture", "show.mp4", "--size", "1280x720", "--fps", "30", "--start", "b2", "--until", "9"},
              options, error),
        0)
        << error;
    EXPECT_EQ(options.capture.output, "show.mp4");
    EXPECT_DOUBLE_EQ(options.capture.fps, 30.0);
    EXPECT_EQ(options.width, 1280u);
    EXPECT_DOUBLE_EQ(options.untilSeconds, 9.0);
    EXPECT_GT(options.startSeconds, 0.0);

    ASSERT_EQ(parse({"--capture", "show.webm"}, options, error), 0) << error;
    EXPECT_DOUBLE_EQ(options.capture.fps, 60.0) << "the default rate";
    ASSERT_EQ(parse({}, options, error), 0);
    EXPECT_FALSE(options.capture.enabled());
}

TEST(CaptureSettings, BadCombinationsAreRefusedWithOneLine) {
    ProgramOptions options;
    std::string error;
    const std::vector<std::vector<std::string>> refused = {
        {"--capture"},
        {"--capture", "show.avi"},
        {"--capture", "show.mp4", "--fps", "0"},
        {"--capture", "show.mp4", "--fps", "fast"},
        {"--capture", "show.mp4", "--fps", "1001"},
        {"--fps", "30"},                                 // a rate for nothing
        {"--capture", "show.mp4", "--offline", "30"},    // two clocks
        {"--capture", "show.mkv", "--size", "1279x720"}, // odd for 4:2:0
        {"--size", "640x361", "--capture", "show.webm"}, // in either order
    };
    for (const auto& arguments : refused) {
        error.clear();
        EXPECT_EQ(parse(arguments, options, error), -1) << arguments[0] << " " << arguments.size();
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(CaptureSettings, AnOddSizeNamesTheNearestEvenOne) {
    std::string error;
    CaptureSettings capture;
    capture.output = "show.mp4";
    EXPECT_FALSE(checkCaptureOptions(capture, 1279, 721, 0.0, error));
    EXPECT_NE(error.find("1279x721"), std::string::npos) << error;
    EXPECT_NE(error.find("--size 1278x720"), std::string::npos) << error;
    EXPECT_FALSE(checkCaptureOptions(capture, 1280, 17, 0.0, error));
    EXPECT_NE(error.find("--size 1280x16"), std::string::npos) << error;
    // Pictures have no colour halving: any size will do.
    capture.output = "frames/f%04d.png";
    EXPECT_TRUE(checkCaptureOptions(capture, 1279, 721, 0.0, error)) << error;
}

TEST(CaptureSettings, TheSoundOfPngFramesLiesBesideThem) {
    EXPECT_EQ(soundFileBesideFrames("frames/shot-%05d.png"), "frames/shot.wav");
    EXPECT_EQ(soundFileBesideFrames("frames/shot_%d.png"), "frames/shot.wav");
    EXPECT_EQ(soundFileBesideFrames("%05d.png"), "sound.wav");
    EXPECT_EQ(soundFileBesideFrames("out/take%d-left.png"), "out/take-left.wav");
    EXPECT_EQ(soundFileBesideFrames("100%%-%03d.png"), "100%.wav");
}

TEST(CaptureSettings, TheFramesOfAPatternAreKnownByName) {
    EXPECT_EQ(frameNumberOf("frames/shot-%05d.png", "shot-00012.png"), 12);
    // ffmpeg writes more digits than the field asks for once the numbers need them.
    EXPECT_EQ(frameNumberOf("frames/shot-%05d.png", "shot-123456.png"), 123456);
    EXPECT_EQ(frameNumberOf("shot-%d.png", "shot-0.png"), 0);
    EXPECT_EQ(frameNumberOf("100%%-%03d.png", "100%-007.png"), 7);
    for (const char* other : {"shot-.png", "shot-1.png.bak", "shot-1a.png", "take-00012.png",
                              "shot-00012.PNG", "shot.wav", ".capture-12.part"})
        EXPECT_EQ(frameNumberOf("frames/shot-%05d.png", other), -1) << other;
    EXPECT_EQ(frameNumberOf("show.mp4", "show.mp4"), -1);
}

TEST(CaptureSettings, EncoderCommandLines) {
    EncoderJob job;
    job.width = 480;
    job.height = 270;
    job.fps = 29.97;
    job.audioRate = 44100;
    job.audioChannels = 1;
    job.videoPath = "out/show.part";

    job.format = CaptureFormat::Mp4;
    auto a = encoderArguments(job);
    EXPECT_EQ(a.front(), "ffmpeg");
    EXPECT_EQ(after(a, "-s"), "480x270");
    EXPECT_EQ(after(a, "-framerate"), "29.97");
    EXPECT_EQ(after(a, "-i"), "pipe:3");
    EXPECT_EQ(after(a, "-i", 1), "pipe:4");
    EXPECT_EQ(after(a, "-ar"), "44100");
    EXPECT_EQ(after(a, "-ac"), "1");
    EXPECT_EQ(after(a, "-c:v"), "libx264");
    EXPECT_EQ(after(a, "-c:a"), "aac");
    EXPECT_EQ(after(a, "-movflags"), "+faststart");
    EXPECT_EQ(after(a, "-f", 2), "mp4");
    EXPECT_EQ(after(a, "-pix_fmt", 1), "yuv420p");
    // The container is named, not guessed from the hidden file's name, and the path is a file.
    EXPECT_EQ(a.back(), "file:out/show.part");

    job.format = CaptureFormat::WebM;
    a = encoderArguments(job);
    EXPECT_EQ(after(a, "-c:v"), "libvpx-vp9");
    EXPECT_EQ(after(a, "-c:a"), "libopus");
    EXPECT_EQ(after(a, "-f", 2), "webm");

    job.format = CaptureFormat::Matroska;
    a = encoderArguments(job);
    EXPECT_EQ(after(a, "-c:v"), "libx264");
    EXPECT_EQ(after(a, "-c:a"), "flac");
    EXPECT_EQ(after(a, "-f", 2), "matroska");

    job.format = CaptureFormat::PngFrames;
    job.videoPath = "part/f%04d.png";
    job.soundPath = "part/f.wav";
    a = encoderArguments(job);
    EXPECT_EQ(after(a, "-c:v"), "png");
    EXPECT_EQ(after(a, "-start_number"), "0");
    EXPECT_EQ(after(a, "-f", 2), "image2");
    EXPECT_EQ(after(a, "-f", 3), "wav");
    EXPECT_NE(std::find(a.begin(), a.end(), "file:part/f%04d.png"), a.end());
    EXPECT_EQ(a.back(), "file:part/f.wav");
}

} // namespace
