// Encodes stereo float audio as an Ogg Vorbis file with libvorbisenc.
// Deterministic: the stream serial number is fixed, and libvorbis adds no time stamps, so the
// same samples give the same bytes.
#pragma once

#include "tools/Synth.h"

#include <cstdint>
#include <string>
#include <vector>

// Variable bit rate at `quality` (-0.1 .. 1.0; 0.4 is about 128 kbit/s for stereo 44.1 kHz).
// `comments` are "TAG=value" strings. Empty bytes and a message when the encoder refuses.
std::vector<uint8_t> encodeOggVorbis(const SongAudio& audio, float quality,
                                     const std::vector<std::string>& comments, std::string& error);
