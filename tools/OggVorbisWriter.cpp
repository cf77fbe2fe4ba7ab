#include "tools/OggVorbisWriter.h"
#include "tools/OggVorbisEncoder.h"

#include <algorithm>

std::vector<uint8_t> encodeOggVorbis(const SongAudio& audio, float quality,
                                     const std::vector<std::string>& comments, std::string& error) {
    std::vector<uint8_t> out;
    OggVorbisEncoder encoder;
    const auto append = [&out](const unsigned char* bytes, size_t size) {
        out.insert(out.end(), bytes, bytes + size);
    };
    if (!encoder.start(2, audio.sampleRate, quality, comments, append, error)) return {};
    const size_t frames = std::min(audio.left.size(), audio.right.size());
    constexpr size_t Chunk = 4096;
    for (size_t at = 0; at < frames; at += Chunk) {
        const size_t n = std::min(Chunk, frames - at);
        float** buffer = encoder.buffer(static_cast<int>(n));
        std::copy_n(audio.left.begin() + static_cast<std::ptrdiff_t>(at), n, buffer[0]);
        std::copy_n(audio.right.begin() + static_cast<std::ptrdiff_t>(at), n, buffer[1]);
        encoder.wrote(static_cast<int>(n));
    }
    encoder.finish();
    return out;
}
