// The default show's soundtrack: a small synthesizer that plays a fixed arrangement at 141 BPM.
//
// Song structure (a beat is 60/141 s, a bar of four beats 240/141 s = 1.702 s; beat 0 starts at
// sample 0 and every beat k at sample round(k x 44100 x 60 / 141), each with a kick):
//
//   section     start bar   start time   what plays
//   intro            0        0:00.000   kick, dark pad; closed hats from bar 4
//   build            8        0:13.617   + bass on the off-beats; arpeggio from bar 16;
//                                         snare roll and noise riser in bars 20-23
//   drop            24        0:40.851   everything: clap, rolling bass, open hats from bar 32;
//                                         crash at bars 24 and 32
//   breakdown       40        1:08.085   softer kick, pad and arpeggio in other chords; hats and
//                                         long bass notes from bar 48; riser and snare roll in
//                                         bars 52-55
//   finale          56        1:35.319   the drop with a lead melody; crash every 8 bars
//   outro           80        2:16.170   lead out; arpeggio out at bar 84, bass at 88, hats at 92;
//                                         kick and pad fade over the last two bars
//   end             96        2:43.404
//
// Chords change every bar in four-bar cycles: Am F C G (breakdown: F G Em Am).
// Rendering is deterministic: fixed-seed noise, no clock, no threads; the same bars give the same
// samples on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int SongSampleRate = 44100;
constexpr double SongBpm = 141.0;
// The tempi renderSong plays the arrangement at (beatshow --new --bpm).
constexpr double MinSongBpm = 40.0;
constexpr double MaxSongBpm = 300.0;
constexpr int SongBars = 96;

struct SongSection {
    const char* name;
    int startBar;
};

// The sections in order; the song ends at SongBars.
const std::vector<SongSection>& songSections();
double barStartSeconds(int bar);
// The sample at which beat `beat` (counted from the start of the rendered audio) begins.
int64_t beatStartSample(int64_t beat);
// The table above, one section a line, for the generator to print.
std::string songStructureText();

struct SongAudio {
    int sampleRate = SongSampleRate;
    std::vector<float> left, right; // -1..1
    float gain = 1.0f;              // the factor that scaled the mix to peak at -1 dBFS
};

// Renders bars [firstBar, firstBar + barCount) of the arrangement, that slice's first beat at
// sample 0 (notes sounding across the slice's start are left out). The whole song is (0, SongBars).
// At another tempo (MinSongBpm to MaxSongBpm) the same notes fall on that tempo's beats; the
// sounds themselves (a kick's length, the reverb) keep their lengths in seconds.
SongAudio renderSong(int firstBar = 0, int barCount = SongBars, double bpm = SongBpm);
