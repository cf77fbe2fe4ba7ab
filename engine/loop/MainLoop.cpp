#include "engine/loop/MainLoop.h"

#include "actors/EngineCamera.h"
#include "engine/EngineRegistry.h"
#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "engine/base/OfflineClock.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "engine/loop/DebugHud.h"
#include "engine/loop/HotReload.h"
#include "engine/loop/LoaderThread.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/ShowInputs.h"
#include "engine/loop/Startup.h"
#include "engine/loop/Transport.h"
#include "render/RenderInterface.h"

#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

bool isBeatFrame(float position) {
    const float beats = position * 141.0f * 0.016666668f * 16.0f;
    // Truncated to an unsigned 32-bit count through 64 bits, so that a negative position (an error
    // of the audio device) wraps instead of being undefined.
    if (!std::isfinite(beats) || std::fabs(beats) >= 9.0e18f) return false;
    const uint32_t n = static_cast<uint32_t>(static_cast<int64_t>(beats));
    return (n & 15u) == 0;
}

bool isBeatFrame(float position, const Tempo& tempo) {
    // The default beats keep the expression the show has always been timed with, to the bit.
    return tempo.hasDefaultBeats() ? isBeatFrame(position) : tempo.inBeatWindow(position);
}

namespace {

enum class FrameKind {
    Shown,    // the show moves on and the frame is drawn
    Replayed, // the show moves on; the canvases run (actors keep state in their drawing) but
              // nothing is drawn and no window message is read
    Still,    // a paused show: drawn as it stands, nothing moves on
};

// The music clock's reading for a frame: the position within the song, and its show time.
struct MusicReading {
    double position = 0.0;
    double showTime = 0.0;
};

// One frame of the show: automation, actors, events, the music clock and its beat, then the
// window, the camera and the picture.
void stepFrame(double dt, const std::function<MusicReading()>& readMusic, FrameKind kind) {
    EngineRegistry& r = engine();
    if (kind == FrameKind::Still) {
        drawFrame(r);
        return;
    }
    r.shownTime = r.musicTime.load();
    runAutomationStep();
    const float previousFrameTime = r.frameTime;
    for (Actor* actor : actorsSnapshot())
        if (actor) actor->Update(previousFrameTime);
    fireDueEvents();
    const MusicReading music = readMusic();
    const float position = static_cast<float>(music.position);
    if (isBeatFrame(position, showTempo())) {
        ++r.beatFrames;
        for (Actor* actor : actorsSnapshot())
            actor->OnBeat(0);
    }
    r.frameTime = static_cast<float>(dt);
    if (r.playing) {
        r.musicTime = position;
        r.showTime = static_cast<float>(music.showTime);
    }
    if (r.loading && r.loadingLabel) animateLoadingLabel(r.loadingLabel->text.data(), r.frameTime);

    if (kind == FrameKind::Replayed) {
        if (r.renderer) r.renderer->skipFrame(r.frameTime);
        return;
    }
    drawFrame(r);
}

} // namespace

void drawFrame(EngineRegistry& r) {
    RenderInterface* renderer = r.renderer;
    Viewport* window = r.window;
    if (window) {
        window->pumpOneMessage();
        window->mouseEvent = false;
    }
    EngineCamera* camera = r.activeCamera;
    if (camera && renderer) {
        renderer->setCameraPosition(camera->Position.x, camera->Position.y, camera->Position.z);
        renderer->multiplyView(camera->getRotationMatrix()->data());
        const Vector direction = camera->getViewDirection();
        renderer->setViewDirection(direction.x, direction.y, direction.z);
    }
    if (window && window->system && window->fullscreen) {
        int x = 0, y = 0;
        window->system->getCursorPosition(x, y);
        window->system->moveCursor(static_cast<int>(window->width / 2), static_cast<int>(window->height / 2));
        window->system->moveCursor(static_cast<int>(window->width / 2), static_cast<int>(window->height / 2));
    }
    if (renderer) {
        renderer->setShaderInputs(gatherShaderInputs(r.shownTime));
        renderer->renderFrame(r.frameTime);
    }
    if (window) {
        while (!window->typed.empty()) {
            const char c = window->typed.front();
            window->typed.pop_front();
            if (c == 27) r.quitRequested = true;
        }
        // A window closed by the system ends the show as Escape does.
        if (window->closeRequested) r.quitRequested = true;
    }
}

float replayToStartTime() {
    EngineRegistry& r = engine();
    r.exitReachedAt = -1.0f;
    const float reached = replayTo(r.startTime);
    const float exit = r.exitReachedAt;
    if (exit >= 0.0f && !r.exitPauses) {
        // The show ended before the start (also with --repeat: the start names a time that the
        // show never reaches). Nothing after it is drawn.
        r.startPastEnd = true;
        r.quitRequested = true;
        logStream << "beatshow: the start at " << r.startTime.load()
                  << " s lies past the show's end: its \"exit\" event at " << exit << " s ends it first"
                  << std::endl;
    }
    return reached;
}

float replayTo(float target) {
    EngineRegistry& r = engine();
    // The frames of a run from the start, on a clock of its own: the same frame times and music
    // positions that run reads, so the state reached is the state it had. The music starts over
    // at the song's end as it does while playing (the events due before it fire first).
    OfflineClock clock(r.replayFramesPerSecond);
    FrameTimer timer(clock.counter());
    const double songLength = r.music.length();
    double showTime = 0.0;
    r.replaying = true;
    for (;;) {
        clock.advanceFrame();
        showTime = static_cast<double>(clock.frame()) / clock.framesPerSecond();
        if (static_cast<float>(showTime) >= target || r.quitRequested) break;
        // The same arithmetic as an offline stream's position, so a start is exact to the frame.
        const MusicReading music{songLength > 0.0 ? std::fmod(showTime, songLength) : showTime, showTime};
        stepFrame(
            timer.tick(), [music] { return music; }, FrameKind::Replayed);
    }
    r.replaying = false;
    // The show goes on from the first frame that is drawn.
    r.clock.startAt(showTime);
    return static_cast<float>(showTime);
}

double runFrame(FrameTimer& timer) {
    EngineRegistry& r = engine();
    const double dt = timer.tick();
    bool moved = false;
    if (r.replayPending.exchange(false)) {
        replayToStartTime();
        if (r.startPastEnd) return dt;
        moved = true;
    }
    if (r.repeatPending.exchange(false)) {
        seekShow(0.0f);
        moved = true;
    }
    if (runTransport(r.window)) moved = true;
    if (hotreload::run()) moved = true;
    // A replay's own time is no frame's duration.
    if (moved) {
        timer.restart();
        ++r.showMoves;
    }
    hud::update();
    const auto started = std::chrono::steady_clock::now();
    ShowClock& clock = r.clock;
    const auto readClock = [&clock] {
        const double position = clock.position();
        return MusicReading{position, clock.lastShowTime()};
    };
    if (clock.paused()) {
        stepFrame(dt, readClock, FrameKind::Still);
    } else {
        // At another speed the actors' timers run with the clock, as in slow or fast motion.
        clock.advance(dt);
        stepFrame(dt * clock.speed(), readClock, FrameKind::Shown);
    }
    hud::noteFrame(
        dt, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
    return dt;
}

void mainLoop(FrameTimer& timer, FrameObserver* observer) {
    EngineRegistry& r = engine();
    r.quitRequested = false;
    r.mainLoopThread = std::this_thread::get_id();
    r.mainLoopStarted = true;
    if (r.loadingLabelShown) {
        if (r.renderer) r.renderer->removeTextLabel(r.loadingLabel);
        r.loadingLabelShown = false;
    }
    r.loading = false;
    if (r.window && r.window->system) r.window->system->setCursorVisible(false);

    while (!r.quitRequested) {
        if (observer) observer->beforeFrame();
        if (r.quitRequested) break;
        const double dt = runFrame(timer);
        if (observer) observer->afterFrame(dt);
    }
    shutdownEngine();
}

void shutdownEngine() {
    EngineRegistry& r = engine();
    r.quitRequested = true;
    // The loader thread may still be registering things with the renderer: it must be gone first,
    // and must not wait for a frame that will not come.
    if (r.renderer) r.renderer->framesEnded();
    hotreload::dropReads();
    joinLoaderThread();
    releaseWindowAndRenderer();
}
