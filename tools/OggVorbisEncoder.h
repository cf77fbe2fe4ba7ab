// Encodes audio as an Ogg Vorbis stream with libvorbisenc, handing each page on as it is made, so
// that a long song is never held whole. Deterministic: the stream's serial number is given, and
// libvorbis adds no time stamps, so the same samples give the same bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class OggVorbisEncoder {
public:
    using PageSink = std::function<void(const unsigned char* bytes, size_t size)>;
    static constexpr long DefaultSerial = 0x0141B5;

    OggVorbisEncoder();
    ~OggVorbisEncoder();
    OggVorbisEncoder(const OggVorbisEncoder&) = delete;
    OggVorbisEncoder& operator=(const OggVorbisEncoder&) = delete;

    // Variable bit rate at `quality` (-0.1 .. 1.0; 0.4 is about 128 kbit/s for stereo 44.1 kHz);
    // `comments` are "TAG=value" strings. The header pages go to `sink` at once, on pages of their
    // own as players expect. False with a message when libvorbisenc refuses the format.
    bool start(int channels, long rate, float quality, const std::vector<std::string>& comments,
               PageSink sink, std::string& error, long serial = DefaultSerial);
    // Room for `frames` frames (at most a few thousand at a time), one array per channel: fill
    // them, then say `wrote(frames)`.
    float** buffer(int frames);
    void wrote(int frames);
    // The end of the stream: every page still held goes out.
    void finish();

private:
    void writePages();

    struct State;
    std::unique_ptr<State> state_;
    PageSink sink_;
    bool ended_ = false;
};
