#include "platform/VorbisDecoder.h"

#include <vorbis/vorbisfile.h>

#include <bit>
#include <cstdio>

namespace platform {

const char* audioErrorText(int code) {
    switch (code) {
    case AudioOk:
        return "no error";
    case AudioNoDevice:
        return "no audio output device";
    case AudioFileOpen:
        return "cannot open the file";
    case AudioNotVorbis:
        return "not an Ogg Vorbis file";
    case AudioUnsupportedFormat:
        return "unsupported format (mono or stereo, 8 to 192 kHz)";
    case AudioDecodeFailed:
        return "damaged audio data";
    case AudioTooLong:
        return "too long to hold in memory";
    case AudioEmpty:
        return "no samples";
    case AudioBadHandle:
        return "unknown stream handle";
    default:
        return "unknown error";
    }
}

namespace {

bool supported(const vorbis_info* info) {
    return info && (info->channels == 1 || info->channels == 2) && info->rate >= 8000 && info->rate <= 192000;
}

int decodeOpened(OggVorbis_File& file, DecodedAudio& out) {
    const vorbis_info* first = ov_info(&file, -1);
    if (!supported(first)) return AudioUnsupportedFormat;
    const int channels = first->channels;
    const long rate = first->rate;
    const uint64_t maxFrames = static_cast<uint64_t>(rate) * maxDecodedSeconds;

    // A seekable file says its length up front; a damaged one may not, and the reserve is only
    // a hint: the loop below keeps to what it actually decodes.
    const ogg_int64_t expected = ov_pcm_total(&file, -1);
    // Opening a chained file can leave the read position at the start of its last link; the
    // loop must begin with the first sample of the first link.
    if (ov_seekable(&file) && ov_pcm_seek(&file, 0) != 0) return AudioDecodeFailed;
    if (expected > 0 && static_cast<uint64_t>(expected) <= maxFrames)
        out.samples.reserve(static_cast<size_t>(expected) * channels);

    const int bigEndian = std::endian::native == std::endian::big ? 1 : 0;
    char buffer[16384];
    int link = -1;
    int lastLink = -1;
    for (;;) {
        const long bytes = ov_read(&file, buffer, sizeof buffer, bigEndian, 2, 1, &link);
        if (bytes == 0) break;
        if (bytes == OV_HOLE) continue; // lost pages: the decoder resumes at the next good one
        if (bytes < 0) return AudioDecodeFailed;
        if (link != lastLink) {
            // Chained files may change format from one link to the next; one device format
            // plays the whole loop, so every link must match the first.
            const vorbis_info* info = ov_info(&file, link);
            if (!info || info->channels != channels || info->rate != rate) return AudioUnsupportedFormat;
            lastLink = link;
        }
        const auto* samples = reinterpret_cast<const int16_t*>(buffer);
        out.samples.insert(out.samples.end(), samples, samples + bytes / 2);
        if (out.samples.size() / channels > maxFrames) return AudioTooLong;
    }
    if (out.samples.empty()) return AudioEmpty;
    out.rate = static_cast<int>(rate);
    out.channels = channels;
    return AudioOk;
}

} // namespace

int decodeVorbisFile(const std::string& path, DecodedAudio& out) {
    out = DecodedAudio{};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return AudioFileOpen;
    OggVorbis_File file;
    if (ov_open_callbacks(f, &file, nullptr, 0, OV_CALLBACKS_DEFAULT) != 0) {
        std::fclose(f); // not owned by the decoder when opening fails
        return AudioNotVorbis;
    }
    const int result = decodeOpened(file, out);
    ov_clear(&file); // closes the file
    if (result != AudioOk) out = DecodedAudio{};
    return result;
}

} // namespace platform

namespace platform {

double vorbisFileSeconds(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0.0;
    OggVorbis_File file;
    if (ov_open_callbacks(f, &file, nullptr, 0, OV_CALLBACKS_DEFAULT) != 0) {
        std::fclose(f);
        return 0.0;
    }
    const double seconds = ov_seekable(&file) ? ov_time_total(&file, -1) : 0.0;
    ov_clear(&file);
    return seconds > 0.0 ? seconds : 0.0;
}

} // namespace platform
