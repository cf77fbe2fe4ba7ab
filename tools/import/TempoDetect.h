// The tempo of a song, heard by aubio's beat tracker (Debian's libaubio): its beats a minute and
// where its beats fall, for the scene line <tempo bpm="..." beatsPerBar="4" firstBeat="..." />.
//
// The song is decoded with libsndfile (WAV, FLAC, Ogg Vorbis, AIFF, MP3) and mixed to one channel.
// aubio's beat tracker gives the tempo roughly (its middle gap between beats, taken to between 70
// and 180 beats a minute); it is then found to a hundredth of a beat a minute as the tempo near
// it on whose beats the low end (kick, bass) rises most alike over the whole song, and where the
// beats fall as the grid of that tempo the low end rises on most, to the millisecond (aubio may
// follow a song on its off-beats). firstBeat is that grid's earliest beat at or after 0 s.
// What it cannot know: which beat begins a bar (firstBeat is a beat, maybe not bar 1's), the
// beats a bar (always 4 here), and a song that is truly faster than 180 or slower than 70 beats a
// minute (it says half or twice that).
#pragma once

#include "scene/Tempo.h"

#include <string>

struct TempoEstimate {
    Tempo tempo;
    int beatsHeard = 0;
    double confidence = 0.0; // aubio's own, 0 when it was unsure
    double seconds = 0.0;    // the song's length
};

// False with a message when the song cannot be decoded or holds too few beats to tell.
bool detectTempo(const std::string& songFile, TempoEstimate& estimate, std::string& error);
