// What `--capture OUT [--fps N]` asks for, and the encoder command line that makes it.
//
// The container and codecs follow the file name: ".mp4" H.264 with AAC (yuv420p and the index at
// the front, which every player and upload site takes), ".webm" VP9 with Opus, ".mkv" H.264 with
// FLAC; a name with a frame number (%d or %05d) ending ".png" writes numbered pictures and the
// music section as a WAV file beside them. The encoder is the ffmpeg program.
#pragma once

#include <string>
#include <vector>

enum class CaptureFormat { None, Mp4, WebM, Matroska, PngFrames };

struct CaptureSettings {
    std::string output; // empty: no capture
    double fps = 60.0;
    bool fpsGiven = false;

    bool enabled() const { return !output.empty(); }
};

// Takes --capture and --fps at arguments[i] (moving i past a value): 1 when it took one, 0 when
// arguments[i] is neither, -1 with a message for a bad value.
int parseCaptureOption(const std::vector<std::string>& arguments, size_t& i, CaptureSettings& capture,
                       std::string& error);

// The whole command line's say on a capture: false with one line when the options do not go
// together or the size is one the codec refuses (the line names the nearest size it takes).
bool checkCaptureOptions(const CaptureSettings& capture, unsigned width, unsigned height, double offlineFps,
                         std::string& error);

// The format a file name asks for; None with a message naming the ones there are.
CaptureFormat captureFormatOf(const std::string& output, std::string& error);

// The music of a PNG capture: "frames/shot-%05d.png" gives "frames/shot.wav".
std::string soundFileBesideFrames(const std::string& pattern);

// Whether a file of `fileName` (no folder) is one of the frames a capture to `pattern` writes or
// an earlier one wrote: "shot-%05d.png" takes "shot-00012.png" and "shot-123456.png", not
// "shot-.png" or "shot-1.png.bak". The frame number of such a file, -1 for any other.
long long frameNumberOf(const std::string& pattern, const std::string& fileName);

struct EncoderJob {
    CaptureFormat format = CaptureFormat::Mp4;
    int width = 0;
    int height = 0;
    double fps = 60.0;
    int audioRate = 48000;
    int audioChannels = 2;
    std::string videoPath; // where the encoder writes (a pattern for PNG frames)
    std::string soundPath; // PNG frames only: the WAV file
};

// The ffmpeg command line: raw RGBA frames (4 bytes a pixel, the fourth unused) on descriptor 3
// and interleaved 16-bit native-order samples on descriptor 4.
std::vector<std::string> encoderArguments(const EncoderJob& job);
