#include "engine/loop/LoaderThread.h"
#include "engine/base/LoaderJitter.h"

#include "actors/ActorFactory.h"
#include "engine/EngineRegistry.h"
#include "engine/SceneReset.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/ShowInputs.h"
#include "render/RenderInterface.h"
#include "scene/loader/SceneLoader.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

const char loadingMessage[] = "Loading please wait";

namespace {

constexpr int messageLength = sizeof(loadingMessage) - 1; // 19

std::mutex& loadFunctionMutex() {
    static std::mutex m;
    return m;
}

SceneLoadFunction& loadFunction() {
    static SceneLoadFunction f;
    return f;
}

// Main thread only.
LoadingAnimationState animation;
std::function<int()> animationRandom = [] { return std::rand(); };

void sleepPollInterval() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void hideLoadingLabel(EngineRegistry& r) {
    if (r.loadingLabelShown) {
        if (r.renderer) r.renderer->removeTextLabel(r.loadingLabel);
        r.loadingLabelShown = false;
    }
}

int loadQueuedScene(const std::string& file) {
    SceneLoadFunction load;
    {
        std::lock_guard lock(loadFunctionMutex());
        load = loadFunction();
    }
    return load ? load(file) : loadScene(file, &createActor);
}

} // namespace

namespace {
std::thread loaderThread;
}

void startLoaderThread() {
    loaderThread = std::thread(loaderThreadMain, 1);
}

void joinLoaderThread() {
    if (loaderThread.joinable()) loaderThread.join();
}

void setSceneLoadFunction(SceneLoadFunction load) {
    std::lock_guard lock(loadFunctionMutex());
    loadFunction() = std::move(load);
}

int loaderThreadMain(int argument) {
    if (argument != 1) return 0;
    EngineRegistry& r = engine();
    while (!r.mainLoopStarted) {
        if (r.quitRequested) return 0; // the program ended before its loop ever ran
        sleepPollInterval();
    }
    r.loading = false;
    hideLoadingLabel(r);
    if (r.quitRequested) return 0;
    for (;;) {
        const std::string file = r.pendingSceneFile();
        if (!file.empty()) {
            r.loading = true;
            if (!r.loadingLabelShown && r.loadingLabel) {
                if (r.renderer) r.renderer->addTextLabel(r.loadingLabel);
                r.loadingLabelShown = true;
            }
            // What a seek or a reload resets the scene to, and the bytes it loads again.
            loaderJitter();
            markSceneStart();
            rememberShowScene(file);
            loaderJitter();
            loadQueuedScene(file);
            loaderJitter();
            // The show's first frame is to have everything the scene registered: the renderer
            // makes it over the next frames, while the loading label stays.
            while (r.renderer && !r.quitRequested && r.renderer->waitForResources(100) > 0) {
                loaderJitter();
            }
            // A show whose shaders read the music has its song analysed before its first frame.
            prepareSongAnalysis();
            loaderJitter();
            r.setPendingSceneFile("");
            r.loading = false;
            hideLoadingLabel(r);
            startPlayback();
        }
        sleepPollInterval();
        if (r.quitRequested) return 0;
    }
}

void animateLoadingLabel(char* buffer, float elapsed) {
    animation.accumulated += elapsed;
    if (!animation.rolling) {
        const int i = static_cast<int>(static_cast<unsigned>(animationRandom()) % messageLength);
        const char target = loadingMessage[i];
        if (target == ' ' || target == '\n') return;
        animation.rolling = true;
        animation.rollPosition = i;
        animation.rollLetter =
            static_cast<char>(target - static_cast<int>(static_cast<unsigned>(animationRandom()) % 30));
        std::memcpy(buffer, loadingMessage, sizeof(loadingMessage));
        animation.accumulated = 0.0f;
        buffer[i] = animation.rollLetter;
        return;
    }
    if (animation.accumulated < 20.0f) return;
    animation.accumulated = 0.0f;
    if (animation.rollLetter == loadingMessage[animation.rollPosition]) {
        animation.rolling = false;
    } else {
        ++animation.rollLetter;
        buffer[animation.rollPosition] = animation.rollLetter;
    }
}

LoadingAnimationState loadingAnimationState() {
    return animation;
}

void resetLoadingAnimation() {
    animation = LoadingAnimationState{};
}

void setLoadingAnimationRandom(std::function<int()> random) {
    animationRandom = random ? std::move(random) : std::function<int()>([] { return std::rand(); });
}
