// The frame loop: timer, automation, actor updates, due events, the music clock and its beat
// test, the loading animation, one window message, the camera, rendering and the Escape key.
// It ends when quitRequested is set (Escape, a closed window, an "exit" event, or an observer),
// then joins the loader thread and shuts the renderer and the window down.
#pragma once

#include <cstdint>

class FrameTimer;

// Lets the program take part in every frame without changing the loop's order.
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    // Before the frame timer is read (offline rendering advances its clock here).
    virtual void beforeFrame() {}
    // After the frame was presented and the typed characters were handled; dt is this frame's
    // duration in milliseconds. Setting quitRequested here ends the loop.
    virtual void afterFrame(double dt) { (void)dt; }
};

// True when the music position falls in the first sixteenth of a beat at 141 beats per minute,
// computed in single precision exactly as the show's timing expects.
bool isBeatFrame(float position);
// The same at the show's tempo: the expression above for 141 beats a minute with bar 1 at 0 s,
// Tempo::inBeatWindow for any other.
struct Tempo;
bool isBeatFrame(float position, const Tempo& tempo);

void mainLoop(FrameTimer& timer, FrameObserver* observer = nullptr);
// One frame of the loop, for tests that drive frames one by one; returns its duration in ms.
// The first frame after a playback start with a start time first replays the show up to it.
double runFrame(FrameTimer& timer);
// Runs the frames before the registry's startTime without drawing them, at its replay rate, then
// starts the music at the first frame to be drawn; returns that frame's show time. When the
// scene's "exit" comes due among them, the start lies past the show's end: one line says so,
// startPastEnd and quitRequested are set, and the frame loop draws nothing more.
float replayToStartTime();
// The same to any show time (ShowClock.h): the frames of a run from 0 at the replay rate up to the
// first at or after `target`, not drawn, with the music starting over at the song's end as it does
// while playing; the show clock then goes on from that frame's time, which is returned.
// The registry must hold the scene as its load left it (a fresh load, or a reset and a reload).
float replayTo(float target);
// Draws the show as it stands: one window message, the camera, the picture, the typed keys.
struct EngineRegistry;
void drawFrame(EngineRegistry& r);
// Releases the renderer and the window as the loop's end does (and joins the loader thread).
void shutdownEngine();
