#include "engine/loop/SceneReload.h"

#include "actors/ActorFactory.h"
#include "engine/EngineRegistry.h"
#include "engine/SceneReset.h"
#include "engine/base/Log.h"
#include "engine/loop/MainLoop.h"
#include "scene/loader/SceneLoader.h"

#include <fstream>
#include <mutex>
#include <sstream>

namespace {

std::mutex sceneMutex;
std::string sceneFile;
std::string sceneBytes;
bool sceneKnown = false;

bool readWholeFile(const std::string& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    bytes = out.str();
    return true;
}

// Loads the bytes over the reset scene, then starts the show as playback does: the scene's
// camera takes the view and "play" reaches the actors in the first frame's event step.
void loadAgain(const std::string& bytes, const std::string& file) {
    EngineRegistry& r = engine();
    resetSharedActorState();
    loadSceneFromBytes(bytes, file, &createActor);
    releaseUnusedSceneAssets();
    EngineCamera* scene = r.sceneCamera;
    if (scene && r.cameraFollow) r.activeCamera = scene;
    postEvent("play");
}

} // namespace

void rememberShowScene(const std::string& file) {
    std::string bytes;
    const bool read = readWholeFile(file, bytes);
    std::lock_guard lock(sceneMutex);
    sceneFile = file;
    sceneBytes = std::move(bytes);
    sceneKnown = read;
}

std::string rememberedSceneFile() {
    std::lock_guard lock(sceneMutex);
    return sceneFile;
}

void rememberShowSceneBytes(const std::string& bytes) {
    std::lock_guard lock(sceneMutex);
    sceneBytes = bytes;
    sceneKnown = true;
}

float seekShow(float target, bool* moved) {
    EngineRegistry& r = engine();
    std::string bytes, file;
    {
        std::lock_guard lock(sceneMutex);
        if (!sceneKnown || !r.playing || r.loading) {
            if (moved) *moved = false;
            return r.musicTime;
        }
        bytes = sceneBytes;
        file = sceneFile;
    }
    resetScene(SceneAssets::Keep);
    {
        // The bytes of the scene already loaded: its load noted these problems then. Noted again
        // at every seek, they would pile up through a long --repeat run or an editing session.
        ProblemsMuted notedAtTheLoad;
        loadAgain(bytes, file);
    }
    if (moved) *moved = true;
    return replayTo(target < 0.0f ? 0.0f : target);
}

SceneReloadResult reloadShowScene(float target, bool readAssets) {
    EngineRegistry& r = engine();
    SceneReloadResult result;
    std::string file = rememberedSceneFile();
    std::string bytes;
    if (file.empty() || !r.playing || r.loading || !readWholeFile(file, bytes)) {
        result.position = r.musicTime;
        return result;
    }
    {
        std::lock_guard lock(sceneMutex);
        sceneBytes = bytes;
        sceneKnown = true;
    }
    result.loaded = true;
    resetScene(readAssets ? SceneAssets::ReadAgain : SceneAssets::Keep);
    resetProblems();
    loadAgain(bytes, file);
    result.problems = problemsNoted();
    result.position = replayTo(target < 0.0f ? 0.0f : target);
    return result;
}

SceneReloadResult reloadShowSceneBytes(const std::string& bytes, float target) {
    EngineRegistry& r = engine();
    SceneReloadResult result;
    const std::string file = rememberedSceneFile();
    if (!r.playing || r.loading) {
        result.position = r.musicTime;
        return result;
    }
    rememberShowSceneBytes(bytes);
    result.loaded = true;
    resetScene(SceneAssets::Keep);
    resetProblems();
    loadAgain(bytes, file);
    result.problems = problemsNoted();
    result.position = replayTo(target < 0.0f ? 0.0f : target);
    return result;
}
