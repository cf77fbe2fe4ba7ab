#include "engine/loop/Transport.h"

#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "engine/base/Viewport.h"
#include "engine/loop/SceneReload.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace transport {

namespace {

State current;

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Show time (ShowClock.h): on the song's second pass, a move lands in the second pass.
double showTime() {
    return engine().clock.showTime();
}

// A bar target counts from the start of the song's current pass: bar lines are music times.
double barTargetNow(int bars) {
    ShowClock& clock = engine().clock;
    const double position = clock.position();
    const double passStart = clock.lastShowTime() - position;
    return passStart + barTarget(position, bars, showTempo());
}

bool seekAndTime(double t) {
    const double started = nowMs();
    const double from = showTime();
    bool moved = false;
    const float reached = seekShow(static_cast<float>(std::max(0.0, t)), &moved);
    if (!moved) return false;
    current.lastSeekMs = nowMs() - started;
    ++current.seeks;
    logStream << "seek from " << from << " s to " << reached << " s (" << current.lastSeekMs << " ms)"
              << std::endl;
    return true;
}

bool handleKey(int key) {
    switch (key) {
    case VirtualKey::Space:
        togglePause();
        // Paused frames still draw, and drawing moves some actors on: the show resumes from
        // the exact state of the time it was paused at.
        return !engine().clock.paused() && seekAndTime(showTime());
    case VirtualKey::Left:
        return seekAndTime(barTargetNow(-1));
    case VirtualKey::Right:
        return seekAndTime(barTargetNow(1));
    case VirtualKey::PageUp:
        return seekAndTime(barTargetNow(-LoopBars));
    case VirtualKey::PageDown:
        return seekAndTime(barTargetNow(LoopBars));
    case VirtualKey::Home:
        return seekAndTime(0.0);
    case 'L':
        toggleLoop();
        return false;
    case VirtualKey::OpenBracket:
        changeSpeed(0.5);
        return false;
    case VirtualKey::CloseBracket:
        changeSpeed(2.0);
        return false;
    case VirtualKey::F1:
        current.hudVisible = !current.hudVisible;
        return false;
    default:
        return false;
    }
}

} // namespace

double barTarget(double t, int bars, const Tempo& tempo) {
    const double barSeconds = tempo.barSeconds();
    const double first = tempo.firstBeat;
    const double bar = std::floor((t - first) / barSeconds + 1e-9);
    if (bars > 0) return (bar + bars) * barSeconds + first;
    // Within a quarter beat past a bar line counts as standing on it: pressing again goes on back.
    const bool onLine = t - (bar * barSeconds + first) < tempo.beatSeconds() * 0.25;
    return std::max(0.0, (bar + bars + (onLine ? 0 : 1)) * barSeconds + first);
}

State state() {
    return current;
}

void setHudVisible(bool visible) {
    current.hudVisible = visible;
}

void togglePause() {
    ShowClock& clock = engine().clock;
    clock.setPaused(!clock.paused());
}

void seekTo(double t) {
    seekAndTime(t);
}

void seekBars(int bars) {
    seekAndTime(barTargetNow(bars));
}

void toggleLoop() {
    if (current.looping) {
        current.looping = false;
        return;
    }
    const Tempo tempo = showTempo();
    const double section = LoopBars * tempo.barSeconds();
    ShowClock& clock = engine().clock;
    const double position = clock.position();
    current.loopStart =
        clock.lastShowTime() - position +
        std::max(0.0, std::floor((position - tempo.firstBeat) / section + 1e-9) * section + tempo.firstBeat);
    current.loopEnd = current.loopStart + section;
    current.looping = true;
}

void changeSpeed(double factor) {
    ShowClock& clock = engine().clock;
    clock.setSpeed(std::clamp(clock.speed() * factor, SlowestSpeed, FastestSpeed));
}

bool run(Viewport* window) {
    EngineRegistry& r = engine();
    bool moved = false;
    if (window) {
        std::deque<int> keys;
        keys.swap(window->pressed);
        // Keys wait for the show: nothing can move before it plays.
        if (!window->fullscreen && r.playing && !r.loading)
            for (int key : keys)
                if (handleKey(key)) moved = true;
    }
    if (current.looping && !r.clock.paused() && showTime() >= current.loopEnd)
        moved = seekAndTime(current.loopStart) || moved;
    return moved;
}

void reset() {
    current = State{};
}

} // namespace transport
