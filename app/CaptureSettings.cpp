#include "app/CaptureSettings.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Where a frame-number field (%d, %5d, %05d) sits in a file name: its start and length. False
// when there is none, more than one, or another % field the encoder would try to fill.
bool frameNumberField(const std::string& name, size_t& start, size_t& length) {
    int fields = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') continue;
        if (i + 1 < name.size() && name[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < name.size() && std::isdigit(static_cast<unsigned char>(name[j])))
            ++j;
        if (j >= name.size() || name[j] != 'd') return false;
        start = i;
        length = j + 1 - i;
        ++fields;
        i = j;
    }
    return fields == 1;
}

std::string formatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// Colours as players expect them of HD video: the BT.709 matrix, limited range, and saying so.
void addColourTags(std::vector<std::string>& a) {
    a.insert(a.end(),
             {"-vf", "scale=out_color_matrix=bt709:out_range=tv", "-pix_fmt", "yuv420p", "-colorspace",
              "bt709", "-color_primaries", "bt709", "-color_trc", "bt709", "-color_range", "tv"});
}

void addH264(std::vector<std::string>& a) {
    a.insert(a.end(), {"-c:v", "libx264", "-preset", "medium", "-crf", "18"});
    addColourTags(a);
}

// The encoder treats "name:" as a protocol; every path it is given is a plain file.
std::string filePath(const std::string& path) {
    return "file:" + path;
}

} // namespace

int parseCaptureOption(const std::vector<std::string>& arguments, size_t& i, CaptureSettings& capture,
                       std::string& error) {
    const std::string& a = arguments[i];
    if (a != "--capture" && a != "--fps") return 0;
    if (i + 1 >= arguments.size()) {
        error = a + " needs a value";
        return -1;
    }
    const std::string& v = arguments[++i];
    if (a == "--capture") {
        if (v.empty()) {
            error = "--capture needs a file name";
            return -1;
        }
        std::string reason;
        if (captureFormatOf(v, reason) == CaptureFormat::None) {
            error = "--capture " + v + ": " + reason;
            return -1;
        }
        capture.output = v;
        return 1;
    }
    char* end = nullptr;
    errno = 0;
    const double fps = std::strtod(v.c_str(), &end);
    if (v.empty() || errno != 0 || !end || *end != '\0' || !std::isfinite(fps) || fps <= 0 || fps > 1000) {
        error = "--fps takes frames per second (above 0, up to 1000), not '" + v + "'";
        return -1;
    }
    capture.fps = fps;
    capture.fpsGiven = true;
    return 1;
}

CaptureFormat captureFormatOf(const std::string& output, std::string& error) {
    const std::string name = lowerCase(std::filesystem::path(output).filename().string());
    const std::string directory = std::filesystem::path(output).parent_path().string();
    size_t start = 0, length = 0;
    const bool numbered = frameNumberField(name, start, length);
    if (endsWith(name, ".png")) {
        if (numbered && directory.find('%') == std::string::npos) return CaptureFormat::PngFrames;
        error = "numbered PNG frames need one frame number in the file name, as in frames/shot-%05d.png";
        return CaptureFormat::None;
    }
    if (name.find('%') != std::string::npos) {
        error = "a frame number (%d) belongs in a PNG name only (frames/shot-%05d.png)";
        return CaptureFormat::None;
    }
    if (endsWith(name, ".mp4")) return CaptureFormat::Mp4;
    if (endsWith(name, ".webm")) return CaptureFormat::WebM;
    if (endsWith(name, ".mkv")) return CaptureFormat::Matroska;
    error = "the name must end in .mp4 (H.264 and AAC), .webm (VP9 and Opus), .mkv (H.264 and FLAC), or be "
            "numbered PNG frames such as frames/shot-%05d.png";
    return CaptureFormat::None;
}

bool checkCaptureOptions(const CaptureSettings& capture, unsigned width, unsigned height, double offlineFps,
                         std::string& error) {
    if (!capture.enabled()) {
        if (capture.fpsGiven) {
            error = "--fps sets the frame rate of --capture; without it, --offline FPS sets a run's rate";
            return false;
        }
        return true;
    }
    if (offlineFps > 0) {
        error = "--capture renders on its own clock: give its frame rate with --fps, not --offline";
        return false;
    }
    std::string reason;
    const CaptureFormat format = captureFormatOf(capture.output, reason);
    if (format == CaptureFormat::None) {
        error = "--capture " + capture.output + ": " + reason;
        return false;
    }
    // 4:2:0 video halves both directions of the colour: the codecs take even sizes only.
    if (format != CaptureFormat::PngFrames && (width % 2 != 0 || height % 2 != 0)) {
        const unsigned evenWidth = width % 2 ? width - 1 : width;
        const unsigned evenHeight = height % 2 ? height - 1 : height;
        const char* codec = format == CaptureFormat::WebM ? "VP9" : "H.264";
        error = "--capture " + capture.output + ": " + codec + " video takes even sizes only, not " +
                std::to_string(width) + "x" + std::to_string(height) + "; the nearest is --size " +
                std::to_string(evenWidth) + "x" + std::to_string(evenHeight);
        return false;
    }
    return true;
}

std::string soundFileBesideFrames(const std::string& pattern) {
    const std::filesystem::path path(pattern);
    std::string name = path.filename().string();
    size_t start = 0, length = 0;
    if (frameNumberField(name, start, length)) name.erase(start, length);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    while (!name.empty() &&
           (name.back() == '-' || name.back() == '_' || name.back() == '.' || name.back() == ' '))
        name.pop_back();
    if (name.empty()) name = "sound";
    // Literal percent signs were written doubled for the frame names; the WAV name is plain.
    for (size_t p = name.find("%%"); p != std::string::npos; p = name.find("%%", p + 1))
        name.erase(p, 1);
    return (path.parent_path() / (name + ".wav")).string();
}

long long frameNumberOf(const std::string& pattern, const std::string& fileName) {
    std::string name = std::filesystem::path(pattern).filename().string();
    size_t start = 0, length = 0;
    if (!frameNumberField(name, start, length)) return -1;
    // The encoder writes a doubled percent sign as one.
    auto plain = [](std::string text) {
        for (size_t p = text.find("%%"); p != std::string::npos; p = text.find("%%", p + 1))
            text.erase(p, 1);
        return text;
    };
    const std::string before = plain(name.substr(0, start));
    const std::string after = plain(name.substr(start + length));
    if (fileName.size() <= before.size() + after.size() || fileName.compare(0, before.size(), before) != 0 ||
        !endsWith(fileName, after))
        return -1;
    const std::string digits = fileName.substr(before.size(), fileName.size() - before.size() - after.size());
    if (digits.size() > 18 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        return -1;
    return std::stoll(digits);
}

std::vector<std::string> encoderArguments(const EncoderJob& job) {
    const std::string size = std::to_string(job.width) + "x" + std::to_string(job.height);
    const char* sampleFormat = std::endian::native == std::endian::big ? "s16be" : "s16le";
    // Both inputs say what they hold; probing them would have the encoder wait for seconds of
    // one input before it reads the other, while this side waits to hand it the other.
    std::vector<std::string> a = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                  // The frames as the renderer reads them back.
                                  "-probesize", "32", "-analyzeduration", "0", "-f", "rawvideo", "-pix_fmt",
                                  "rgb0", "-s", size, "-framerate", formatNumber(job.fps), "-i", "pipe:3",
                                  // The music section, in step with them.
                                  "-probesize", "32", "-analyzeduration", "0", "-f", sampleFormat, "-ar",
                                  std::to_string(job.audioRate), "-ac", std::to_string(job.audioChannels),
                                  "-i", "pipe:4"};
    switch (job.format) {
    case CaptureFormat::Mp4:
        a.insert(a.end(), {"-map", "0:v", "-map", "1:a"});
        addH264(a);
        a.insert(a.end(), {"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", "-f", "mp4"});
        a.push_back(filePath(job.videoPath));
        break;
    case CaptureFormat::WebM:
        a.insert(a.end(), {"-map", "0:v", "-map", "1:a", "-c:v", "libvpx-vp9", "-crf", "31", "-b:v", "0",
                           "-row-mt", "1", "-deadline", "good", "-cpu-used", "4"});
        addColourTags(a);
        a.insert(a.end(), {"-c:a", "libopus", "-b:a", "160k", "-f", "webm"});
        a.push_back(filePath(job.videoPath));
        break;
    case CaptureFormat::Matroska:
        a.insert(a.end(), {"-map", "0:v", "-map", "1:a"});
        addH264(a);
        a.insert(a.end(), {"-c:a", "flac", "-f", "matroska"});
        a.push_back(filePath(job.videoPath));
        break;
    case CaptureFormat::PngFrames:
        a.insert(a.end(), {"-map", "0:v", "-c:v", "png", "-pix_fmt", "rgb24", "-start_number", "0", "-f",
                           "image2", filePath(job.videoPath), "-map", "1:a", "-c:a", "pcm_s16le", "-f", "wav",
                           filePath(job.soundPath)});
        break;
    case CaptureFormat::None:
        break;
    }
    return a;
}
