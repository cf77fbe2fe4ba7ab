// What the frame's shaders read by name besides the renderer's own constants: the scene's free
// tracks, `time` (the music time in seconds), `beat` (beats since bar 1's first beat, of the
// show's tempo), `bar` (bars since then: floor(bar) + 1 is the bar the debug display shows),
// `bass`, `mid` and `treble`, and the 512 bins of the music's spectrum (SongAnalysis).
//
// The music is analysed only for a show whose shaders read the spectrum or a band: the song the
// player has loaded is then decoded (once per load of it) by the decoder the program hands in;
// the loader thread does it before the show starts, so that no shown frame waits for it. Without
// a decoder, a song, or one that decodes, the bands and the spectrum read 0.
//
// The frame loop gathers them at the music time its picture shows (the time its automation step
// ran at), so that a track keyed like an automation path moves in step with it.
//
// Main thread (gatherShaderInputs) and the loader thread (prepareSongAnalysis).
#pragma once

#include "render/ShaderInputs.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Decodes a song as one channel at its own rate; false with the reason in `why`.
using SongDecoder =
    std::function<bool(const std::string& path, int& rate, std::vector<int16_t>& mono, std::string& why)>;
void setSongDecoder(SongDecoder decoder);

// Analyses the song the player has loaded when a shader reads the music and it is not analysed
// yet (a new song, or the same file opened again); waits for the decoding.
void prepareSongAnalysis();

// The inputs at this music time.
ShaderInputs gatherShaderInputs(float musicTime);

// Forgets the analysed song (tests).
void resetShowInputs();
