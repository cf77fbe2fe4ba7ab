// Ogg Vorbis files made by the tests themselves (nothing binary is committed), and an
// independent decode of them to compare the player's output with.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ToneSpec {
    int rate = 44100;
    int channels = 2;
    int frames = 10000;
    double frequency = 441.0; // the second channel plays an octave higher
    long serial = 1;          // Ogg stream serial number (links of a chained file differ)
};

// Encodes a sine tone whose first sample is not zero; false when libvorbisenc refuses the format.
bool writeToneFile(const std::string& path, const ToneSpec& tone);

// Encodes `frames` frames whose samples (-1..1) `sample` gives; false when libvorbisenc refuses
// the format.
bool writeVorbisFile(const std::string& path, int rate, int channels, int frames,
                     const std::function<float(int frame, int channel)>& sample, long serial = 1);

// The file's bytes; empty when it cannot be read.
std::vector<uint8_t> readBytes(const std::string& path);

// Every sample of the file as libvorbisfile's ov_read gives it (16-bit, native byte order).
std::vector<int16_t> decodeReference(const std::string& path);
