#include "engine/loop/Startup.h"

#include "actors/EngineCamera.h"
#include "engine/EngineRegistry.h"
#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "engine/loop/HotReload.h"
#include "engine/loop/LoaderThread.h"
#include "engine/loop/MainLoop.h"
#include "engine/loop/ShowInputs.h"
#include "render/RenderInterface.h"

#include <cstdlib>
#include <ctime>

const char showSceneFile[] = "epicrealtimetest.xml";
const char showMusicFile[] = "soundtrack.ogg";

namespace {

// The program's window and renderer; the registry holds plain pointers to them.
std::unique_ptr<Viewport> programWindow;
std::unique_ptr<SystemWindow> programSystemWindow;
std::unique_ptr<RenderInterface> programRenderer;

} // namespace

int setUpWindowAndRenderer(const std::string& title, unsigned width, unsigned height, bool fullscreen,
                           EngineServices& services) {
    auto window = std::make_unique<Viewport>();
    window->width = width;
    window->height = height;
    window->title = title;
    window->fullscreen = fullscreen;
    std::unique_ptr<SystemWindow> system =
        services.openWindow ? services.openWindow(title, width, height, fullscreen) : nullptr;
    window->system = system.get();
    window->running = system ? 1 : 0;
    if (system) system->makeContextCurrent();

    std::unique_ptr<RenderInterface> renderer = services.makeRenderer ? services.makeRenderer() : nullptr;
    const int code = renderer ? renderer->initialize(window.get()) : -1;
    if (code != 0) {
        logStream << "add vport failed " << code << std::endl;
        if (renderer) renderer->destroy();
        return -1;
    }
    EngineRegistry& r = engine();
    r.window = window.get();
    r.renderer = renderer.get();
    programWindow = std::move(window);
    programSystemWindow = std::move(system);
    programRenderer = std::move(renderer);
    return 0;
}

void releaseWindowAndRenderer() {
    EngineRegistry& r = engine();
    if (programRenderer) {
        programRenderer->shutdown();
        programRenderer->destroy();
    }
    r.renderer = nullptr;
    programRenderer.reset();
    r.window = nullptr;
    programSystemWindow.reset();
    programWindow.reset();
}

int engineMain(const std::string& commandLine, const WindowSettings& window, EngineServices& services) {
    (void)commandLine; // joined for tradition; nothing reads it
    EngineRegistry& r = engine();
    r.mainLoopStarted = false;
    r.cameraFollow = true;

    std::srand(static_cast<unsigned>(std::time(nullptr)));
    setLoadingAnimationRandom(services.random);
    hotreload::setWatcher(services.watcher);
    setSongDecoder(services.decodeSong);

    r.assets.registerKind("tex\\", "bmp", AssetKindBitmap);
    r.assets.registerKind("model\\", "obj", AssetKindMesh);
    r.assets.registerKind("audio\\", "ogg", AssetKindMusic);

    EngineCamera* editor = keepAlive(std::make_unique<EngineCamera>("EditorCam"));
    r.editorCamera = editor;
    r.activeCamera = editor;

    auto label = std::make_unique<TextLabel>();
    label->colour = 0xFFFFFFFF;
    label->fontChoice = 1;
    label->text.assign(80, '\0');
    static std::unique_ptr<TextLabel> loadingLabel;
    loadingLabel = std::move(label);
    r.loadingLabel = loadingLabel.get();

    if (setUpWindowAndRenderer("default", window.width, window.height, !window.windowed, services) != 0)
        return -1;

    r.renderer->setFilterChain(&r.postChain);

    unsigned width = 0, height = 0;
    getWindowSize(width, height);
    r.loadingLabel->x = static_cast<int>(width / 2) - 300;
    r.loadingLabel->y = static_cast<int>(height / 2);

    r.music.setBackend(services.audio);
    r.music.setSilentClock(services.musicClock ? *services.musicClock : steadyCounter());
    if (r.music.load(showMusicFile) != 0) logStream << "Cannot load music" << std::endl;

    r.setPendingSceneFile(showSceneFile);
    startLoaderThread();
    mainLoop(*services.timer, services.observer);
    return r.startPastEnd ? 1 : 0;
}
