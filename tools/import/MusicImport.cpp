#include "tools/import/MusicImport.h"
#include "tools/OggVorbisEncoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <sndfile.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

extern char** environ;

namespace fs = std::filesystem;

namespace {

bool playableRate(long rate) {
    return rate >= 8000 && rate <= 192000;
}

// True when the player takes the Ogg Vorbis file as it is; fills the report.
bool playableVorbis(const std::string& path, MusicReport& report) {
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) return false;
    bool playable = true;
    const vorbis_info* first = ov_info(&file, 0);
    for (long link = 0; link < ov_streams(&file); ++link) {
        const vorbis_info* info = ov_info(&file, static_cast<int>(link));
        if (!info || !first || info->channels != first->channels || info->rate != first->rate ||
            (info->channels != 1 && info->channels != 2) || !playableRate(info->rate))
            playable = false;
    }
    if (first) {
        report.channels = first->channels;
        report.rate = static_cast<int>(first->rate);
    }
    report.seconds = ov_time_total(&file, -1);
    if (ov_pcm_total(&file, -1) <= 0) playable = false;
    ov_clear(&file);
    return playable;
}

bool copyFile(const std::string& from, const fs::path& to, std::string& error) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) error = "cannot write " + to.string() + ": " + ec.message();
    return !ec;
}

std::string findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const fs::path candidate = fs::path(folders.substr(start, end - start)) / program;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return {};
}

// Has ffmpeg decode the input into a 32-bit float WAV file. False and a message.
bool decodeWithFfmpeg(const std::string& ffmpeg, const std::string& input, const fs::path& wav,
                      std::string& error) {
    std::vector<std::string> words = {ffmpeg, "-nostdin", "-v",        "error", "-y",  "-i",        input,
                                      "-vn",  "-acodec",  "pcm_f32le", "-f",    "wav", wav.string()};
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, ffmpeg.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        error = "cannot start " + ffmpeg;
        return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "ffmpeg cannot decode it either";
        return false;
    }
    return true;
}

// Decodes with libsndfile and encodes to `output`, chunk by chunk.
int encodeDecoded(const std::string& input, const std::string& shownName, const fs::path& output,
                  MusicReport& report, std::vector<std::string>& notes, std::string& error) {
    SF_INFO format{};
    SNDFILE* sound = sf_open(input.c_str(), SFM_READ, &format);
    if (!sound) {
        error = std::string("not a sound file that can be decoded (") + sf_strerror(nullptr) + ")";
        return -1;
    }
    struct Closer {
        SNDFILE* s;
        ~Closer() { sf_close(s); }
    } closer{sound};
    if (format.frames <= 0 || format.channels <= 0) {
        error = "the file holds no samples";
        return -1;
    }
    if (!playableRate(format.samplerate)) {
        error = "a sample rate of " + std::to_string(format.samplerate) +
                " Hz is outside the 8 to 192 kHz the player takes";
        return -1;
    }
    report.seconds = static_cast<double>(format.frames) / format.samplerate;
    if (report.seconds > MaxSongSeconds) {
        error = "the song lasts " + std::to_string(static_cast<long>(report.seconds)) +
                " s, longer than the 30 minutes the player takes";
        return -1;
    }
    const int channels = std::min(format.channels, 2);
    if (format.channels > 2)
        notes.push_back(shownName + ": " + std::to_string(format.channels) +
                        " channels mixed down to stereo");
    report.channels = channels;
    report.rate = format.samplerate;

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot write " + output.string();
        return -1;
    }
    OggVorbisEncoder encoder;
    const auto write = [&out](const unsigned char* bytes, size_t size) {
        out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    };
    if (!encoder.start(channels, format.samplerate, 0.5f, {"ENCODER=beatshow-import"}, write, error))
        return -1;

    constexpr sf_count_t Chunk = 4096;
    std::vector<float> frames(static_cast<size_t>(Chunk) * static_cast<size_t>(format.channels));
    sf_count_t total = 0;
    for (sf_count_t n; (n = sf_readf_float(sound, frames.data(), Chunk)) > 0; total += n) {
        float** buffer = encoder.buffer(static_cast<int>(n));
        for (sf_count_t i = 0; i < n; ++i) {
            const float* f = &frames[static_cast<size_t>(i) * static_cast<size_t>(format.channels)];
            if (format.channels <= 2) {
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = f[c];
            } else {
                // Even channels to the left, odd to the right (front left, front right, ...).
                float left = 0, right = 0;
                for (int c = 0; c < format.channels; ++c)
                    (c % 2 == 0 ? left : right) += f[c];
                const float share = 2.0f / static_cast<float>(format.channels);
                buffer[0][i] = std::clamp(left * share, -1.0f, 1.0f);
                buffer[1][i] = std::clamp(right * share, -1.0f, 1.0f);
            }
        }
        encoder.wrote(static_cast<int>(n));
    }
    encoder.finish();
    out.close();
    if (!out) {
        error = "cannot write " + output.string();
        return -1;
    }
    if (total == 0) {
        error = "the file holds no samples that decode";
        return -1;
    }
    return 0;
}

} // namespace

int importMusic(const std::string& input, const fs::path& output, MusicReport& report,
                std::vector<std::string>& notes, std::string& error) {
    const std::string shownName = fs::path(input).filename().string();
    if (access(input.c_str(), R_OK) != 0) {
        error = "cannot read the file";
        return -1;
    }
    if (playableVorbis(input, report)) {
        if (report.seconds > MaxSongSeconds) {
            error = "the song lasts " + std::to_string(static_cast<long>(report.seconds)) +
                    " s, longer than the 30 minutes the player takes";
            return -1;
        }
        report.copied = true;
        return copyFile(input, output, error) ? 0 : -1;
    }
    report = MusicReport{};
    SF_INFO probe{};
    if (SNDFILE* sound = sf_open(input.c_str(), SFM_READ, &probe)) {
        sf_close(sound);
        return encodeDecoded(input, shownName, output, report, notes, error);
    }
    const std::string reason = sf_strerror(nullptr);
    const std::string ffmpeg = findOnPath("ffmpeg");
    if (ffmpeg.empty()) {
        error = "not a sound file that can be decoded (" + reason +
                "; with ffmpeg installed, whatever it decodes is taken)";
        return -1;
    }
    const fs::path wav = output.string() + ".wav";
    struct Remover {
        fs::path path;
        ~Remover() {
            std::error_code ec;
            fs::remove(path, ec);
        }
    } remover{wav};
    if (!decodeWithFfmpeg(ffmpeg, input, wav, error)) {
        error = "not a sound file that can be decoded (" + reason + "; " + error + ")";
        return -1;
    }
    notes.push_back(shownName + ": decoded by ffmpeg");
    return encodeDecoded(wav.string(), shownName, output, report, notes, error);
}
