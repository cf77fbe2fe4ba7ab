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

// One frame of the show: automation, actors, events, the music clock and its beat, then the
// window, the camera and the picture.
void stepFrame(double dt, const std::function<double()>& musicPosition, FrameKind kind) {
    EngineRegistry& r = engine();
    if (kind == FrameKind::Still) {
        drawFrame(r);
        return;
    }
    runAutomationStep();
    const float previousFrameTime = r.frameTime;
    for (Actor* actor : actorsSnapshot())
        if (actor) actor->Update(previousFrameTime);
    fireDueEvents();
    const float position = static_cast<float>(musicPosition());
    if (isBeatFrame(position, showTempo())) {
        ++r.beatFrames;
        for (Actor* actor : actorsSnapshot())
            actor->OnBeat(0);
    }
    r.frameTime = static_cast<float>(dt);
    if (r.playing) r.musicTime = position;
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
    if (renderer) renderer->renderFrame(r.frameTime);
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
    return replayTo(engine().startTime);
}

float replayTo(float target) {
    EngineRegistry& r = engine();
    // The frames of a run from the start, on a clock of its own: the same frame times and music
    // positions that run reads, so the state reached is the state it had.
    OfflineClock clock(r.replayFramesPerSecond);
    FrameTimer timer(clock.counter());
    double position = 0.0;
    r.replaying = true;
    for (;;) {
        clock.advanceFrame();
        position = static_cast<double>(clock.frame()) / clock.framesPerSecond();
        if (static_cast<float>(position) >= target || r.quitRequested) break;
        stepFrame(
            timer.tick(), [position] { return position; }, FrameKind::Replayed);
    }
    r.replaying = false;
    // The show goes on from the first frame that is drawn.
    r.clock.startAt(position);
    return static_cast<float>(position);
}

double runFrame(FrameTimer& timer) {
    EngineRegistry& r = engine();
    const double dt = timer.tick();
    bool moved = false;
    if (r.replayPending.exchange(false)) {
        replayToStartTime();
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
    if (clock.paused()) {
        stepFrame(
            dt, [&clock] { return clock.position(); }, FrameKind::Still);
    } else {
        // At another speed the actors' timers run with the clock, as in slow or fast motion.
        clock.advance(dt);
        stepFrame(
            dt * clock.speed(), [&clock] { return clock.position(); }, FrameKind::Shown);
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
    joinLoaderThread();
    releaseWindowAndRenderer();
}
