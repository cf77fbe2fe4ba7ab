// The transport of a windowed show: keys that pause, seek, loop a section and change the speed.
//
//   Space          pause / resume (music and show clock together)
//   Left / Right   one bar back / on (to the bar lines of the show's tempo)
//   Page Up / Down eight bars back / on
//   Home           back to the start
//   L              loop the current eight-bar section until pressed again
//   [ / ]          halve / double the playback speed (the music is silent off 1x)
//   F1             the debug display on / off
//
// A full-screen show keeps only Escape. Every move is an exact seek (SceneReload.h) to a show
// time (ShowClock.h): in the song's second pass, one bar back is a bar of the second pass.
#pragma once

#include "scene/Tempo.h"

class Viewport;

namespace transport {

// The default tempo's beat and bar (the show's own tempo: showTempo()).
constexpr double BeatSeconds = 60.0 / 141.0;
constexpr double BarSeconds = 4.0 * BeatSeconds;
constexpr int LoopBars = 8;
constexpr double SlowestSpeed = 1.0 / 8.0;
constexpr double FastestSpeed = 8.0;

// The bar line a seek of `bars` bars from music time t lands on: forwards, the next bar lines;
// backwards, the start of the bar t is in (unless t is within a quarter beat of it: the one before).
// Bar lines lie at the tempo's bar 1 and every bar before and after it; never before 0 s.
double barTarget(double t, int bars, const Tempo& tempo = Tempo{});

struct State {
    bool looping = false;
    double loopStart = 0.0; // seconds of show time
    double loopEnd = 0.0;
    bool hudVisible = false;
    int seeks = 0;           // seeks made since the program started
    double lastSeekMs = 0.0; // wall-clock milliseconds of the last seek
};
State state();
void setHudVisible(bool visible);

// Acts on the keys pressed since the last frame (windowed shows only; the queue is emptied either
// way) and wraps a loop that reached its end. True when the show was moved: the frame timer
// starts afresh, a replay's time being no frame's duration.
bool run(Viewport* window);

// The same actions, for the editor and tests.
void togglePause();
void seekTo(double t);
void seekBars(int bars);
void toggleLoop();
void changeSpeed(double factor);

// Forgets the loop and the counters (tests; a show keeps them).
void reset();

} // namespace transport

// The frame loop's entry: transport::run.
inline bool runTransport(Viewport* window) {
    return transport::run(window);
}
