// Music made with other tools (WAV, FLAC, AIFF, Ogg, MP3: whatever libsndfile decodes, and through
// ffmpeg, where it is installed, whatever ffmpeg decodes) as the Ogg Vorbis file the engine plays.
//
// An Ogg Vorbis file the player takes as it is (mono or stereo, 8 to 192 kHz, every link alike)
// is copied unchanged, so nothing is lost to a second encoding. Everything else is decoded and
// encoded with libvorbisenc at quality 0.5 (about 160 kbit/s for stereo 44.1 kHz), streamed, so
// a long song never sits in memory whole. More than two channels are mixed down to stereo.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct MusicReport {
    bool copied = false; // the file was Ogg Vorbis already
    int channels = 0;    // of the written file
    int rate = 0;
    double seconds = 0;
};

// The player refuses songs longer than this, so the import does too.
constexpr double MaxSongSeconds = 30 * 60;

// Writes the song to `output` as Ogg Vorbis. 0, or -1 and a message (a file nothing decodes, no
// samples, a song too long, a rate the player cannot play, a write that fails).
int importMusic(const std::string& input, const std::filesystem::path& output, MusicReport& report,
                std::vector<std::string>& notes, std::string& error);
