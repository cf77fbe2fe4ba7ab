#include "tests/platform/ToneFile.h"

#include "tools/OggVorbisEncoder.h"

#include <vorbis/vorbisfile.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

bool writeToneFile(const std::string& path, const ToneSpec& tone) {
    const double step = 2.0 * std::numbers::pi * tone.frequency / tone.rate;
    return writeVorbisFile(
        path, tone.rate, tone.channels, tone.frames,
        [&](int frame, int channel) {
            return static_cast<float>(0.5 * std::cos(step * (channel + 1) * frame + 0.3));
        },
        tone.serial);
}

bool writeVorbisFile(const std::string& path, int rate, int channels, int frames,
                     const std::function<float(int frame, int channel)>& sample, long serial) {
    ToneSpec tone;
    tone.rate = rate;
    tone.channels = channels;
    tone.frames = frames;
    tone.serial = serial;
    std::ofstream out(path, std::ios::binary);
    OggVorbisEncoder encoder;
    const auto write = [&out](const unsigned char* bytes, size_t size) {
        out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    };
    std::string error;
    if (!encoder.start(tone.channels, tone.rate, 0.4f, {}, write, error, tone.serial)) return false;
    for (int written = 0; written < tone.frames;) {
        const int count = std::min(1024, tone.frames - written);
        float** buffer = encoder.buffer(count);
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < tone.channels; ++c)
                buffer[c][i] = sample(written + i, c);
        encoder.wrote(count);
        written += count;
    }
    encoder.finish();
    return static_cast<bool>(out);
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<int16_t> decodeReference(const std::string& path) {
    std::vector<int16_t> samples;
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) return samples;
    char buffer[4096];
    int link = 0;
    long bytes;
    const int bigEndian = std::endian::native == std::endian::big ? 1 : 0;
    while ((bytes = ov_read(&file, buffer, sizeof buffer, bigEndian, 2, 1, &link)) != 0) {
        if (bytes == OV_HOLE) continue;
        if (bytes < 0) break;
        const auto* data = reinterpret_cast<const int16_t*>(buffer);
        samples.insert(samples.end(), data, data + bytes / 2);
    }
    ov_clear(&file);
    return samples;
}
