// The loader thread: waits for the main loop to start, loads each queued scene file behind the
// loading label, then starts the show. And the loading label's animation, in which one letter
// at a time rolls up to its place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The thread's body; runs only for the argument 1 and returns 0.
int loaderThreadMain(int argument);

// Starts the loader thread; joinLoaderThread waits for it to notice quitRequested (within
// 100 ms, or when the scene being loaded is done). The renderer must outlive the thread.
void startLoaderThread();
void joinLoaderThread();

// Loads one scene file; null restores the scene loader (tests replace it).
using SceneLoadFunction = std::function<int(const std::string& file)>;
void setSceneLoadFunction(SceneLoadFunction load);

// One step of the loading animation, with the label's 80-byte text buffer and the frame time.
void animateLoadingLabel(char* buffer, float elapsedMilliseconds);

// The animation's state (read by tests) and a way to start it afresh.
struct LoadingAnimationState {
    float accumulated = 0.0f;
    bool rolling = false;
    int rollPosition = 0;
    char rollLetter = 0;
};
LoadingAnimationState loadingAnimationState();
void resetLoadingAnimation();

// The pseudo-random source of the animation (the process-wide generator by default).
void setLoadingAnimationRandom(std::function<int()> random);

extern const char loadingMessage[];
