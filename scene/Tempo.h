// The show's tempo: beats a minute, beats a bar and the music time of bar 1's first beat. A scene
// says it in its music section (<audio><tempo bpm="128" beatsPerBar="4" firstBeat="0.05" /></audio>);
// without it the show counts 141 beats a minute, 4 beats a bar, bar 1 at 0 s.
//
// Everything that counts beats or bars asks one Tempo: the frame loop's beat test, --start and
// --until in bars, the transport's bar keys and loop sections, the debug display, the sync link's
// rows. Bars and beats are counted from 1; a music time before bar 1's first beat lies in bar 0
// (or earlier).
//
// What it does NOT do: the beat test of the default tempo keeps the frame loop's own single-
// precision expression (MainLoop.h); inBeatWindow is the test for every other tempo.
#pragma once

#include <string>
#include <vector>

class XMLDocument;
class XMLTag;

struct Tempo {
    double bpm = 141.0;
    int beatsPerBar = 4;
    double firstBeat = 0.0; // music seconds of bar 1's first beat

    // The limits a scene's tempo is held to; the loader refuses values outside them.
    static constexpr double MinBpm = 1.0;
    static constexpr double MaxBpm = 1000.0;
    static constexpr int MaxBeatsPerBar = 64;

    bool operator==(const Tempo&) const = default;
    // 141 beats a minute with its beats on 0 s: the beats of the frame loop's own beat test
    // (beats a bar do not move a beat).
    bool hasDefaultBeats() const { return bpm == 141.0 && firstBeat == 0.0; }

    double beatSeconds() const { return 60.0 / bpm; }
    double barSeconds() const { return beatsPerBar * beatSeconds(); }
    // Beats from bar 1's first beat to the music time (negative before it).
    double beatsAt(double seconds) const { return (seconds - firstBeat) / beatSeconds(); }
    // The music time of bar `bar` (from 1), beat `beat` (from 1).
    double barTime(long long bar, long long beat = 1) const;
    // True when the music time falls in the first sixteenth of a beat.
    bool inBeatWindow(double seconds) const;
    // "bar 57.3": the bar and beat (from 1) a music time lies in.
    std::string barAndBeat(double seconds) const;
    // <tempo bpm="128" beatsPerBar="4" firstBeat="0" />, the scene line that says this tempo.
    std::string sceneLine() const;
};

// The <tempo> element of a scene's music section (base::scene::audio::tempo), or null.
const XMLTag* tempoElement(const XMLDocument& document);

// The tempo an element says: each attribute it has and holds within the limits replaces the
// default's; every other attribute, and every value out of its limits, is a line in `problems`.
Tempo tempoFromElement(const XMLTag* element, std::vector<std::string>* problems = nullptr);

// The tempo of a scene file (the default when the file cannot be read or says none).
Tempo readSceneTempo(const std::string& sceneFile);
