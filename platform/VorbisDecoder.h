// Ogg Vorbis files decoded whole into memory, and the error codes of the audio layer.
//
// The music is decoded completely when it is loaded, so that the audio callback only copies
// samples and never waits on the disk or the decoder; a loop is then an index that starts over,
// with no gap. Memory is the price: 10 MB per minute of 44.1 kHz stereo, and files longer than
// `maxDecodedSeconds` are refused rather than filling memory.
//
// The decoder does not include SDL: a check of a show's files can use it without an audio device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The audio layer's error codes, as SdlAudio::lastError and MusicPlayer::errorText report them.
enum AudioError {
    AudioOk = 0,
    AudioNoDevice = 1,          // SDL has no audio driver or cannot open an output device
    AudioFileOpen = 2,          // the file is missing or cannot be read
    AudioNotVorbis = 3,         // not an Ogg Vorbis file, or its headers are damaged
    AudioUnsupportedFormat = 4, // not mono or stereo, a rate outside 8-192 kHz, or links that differ
    AudioDecodeFailed = 5,      // the audio data is damaged beyond what the decoder can skip
    AudioTooLong = 6,           // longer than maxDecodedSeconds
    AudioEmpty = 7,             // the file holds no samples
    AudioBadHandle = 8,         // a stream handle this backend did not create
};

// A short English description of an AudioError code, for log lines.
const char* audioErrorText(int code);

constexpr int maxDecodedSeconds = 30 * 60;

struct DecodedAudio {
    int rate = 0;                 // frames per second
    int channels = 0;             // 1 or 2
    std::vector<int16_t> samples; // interleaved, native byte order

    uint64_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// Decodes the whole file; AudioOk, or an error code with `out` left empty. Holes in the data
// (lost pages) are skipped as the decoder does; any other damage fails the file.
int decodeVorbisFile(const std::string& path, DecodedAudio& out);

// The length of an Ogg Vorbis file in seconds, read from its headers without decoding it; 0 when
// the file cannot be read or does not say.
double vorbisFileSeconds(const std::string& path);

} // namespace platform
