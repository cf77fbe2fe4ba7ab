#include "engine/loop/HotReload.h"

#include "engine/EngineRegistry.h"
#include "engine/base/FileWatcher.h"
#include "engine/base/Log.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Startup.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>

namespace hotreload {

namespace {

FileWatcher* watcher = nullptr;
std::map<std::string, std::string> shaderErrors; // file -> the compiler's text
std::vector<std::string> sceneProblems;
Timing timing;

constexpr uint32_t ProblemColour = 0xFFFF5050;

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool startsWith(const std::string& s, const std::string& head) {
    return s.rfind(head, 0) == 0;
}

// The scene's own directories, as the asset store names them ("tex\\" -> "tex/").
std::string directoryOf(int kind) {
    std::string directory = engine().assets.directoryFor(kind);
    for (char& c : directory)
        if (c == '\\') c = '/';
    return directory;
}

void reloadShader(const std::string& file) {
    RenderInterface* renderer = engine().renderer;
    if (!renderer) return;
    const double started = nowMs();
    std::string error;
    const int result = renderer->reloadShader(file, error);
    if (result == 1) return; // no pass is built from it
    if (result == 0) {
        shaderErrors.erase(file);
        timing.shaderMs = nowMs() - started;
        ++timing.reloads;
        logStream << "shader " << file << " built again (" << timing.shaderMs << " ms)" << std::endl;
        return;
    }
    shaderErrors[file] = error;
    logStream << "shader " << file << " does not compile; the last good one stays: " << error << std::endl;
}

bool reloadScene(bool readAssets) {
    EngineRegistry& r = engine();
    const double started = nowMs();
    // Show time: a reload in the song's second pass replays into the second pass.
    const float at = static_cast<float>(r.clock.showTime());
    const SceneReloadResult result = reloadShowScene(at, readAssets);
    if (!result.loaded) return false;
    sceneProblems = result.problems;
    timing.sceneMs = nowMs() - started;
    ++timing.reloads;
    logStream << "scene loaded again at " << result.position << " s (" << timing.sceneMs << " ms"
              << (readAssets ? ", meshes and bitmaps read again" : "") << "; " << result.problems.size()
              << " problems)" << std::endl;
    return true;
}

void reloadSong(const std::string& file) {
    EngineRegistry& r = engine();
    const double at = r.clock.showTime();
    if (r.music.load(file) != 0) {
        logStream << "song " << file << " cannot be opened again: " << r.music.errorText() << std::endl;
        return;
    }
    r.clock.startAt(at);
    logStream << "song " << file << " opened again at " << at << " s" << std::endl;
}

} // namespace

void setWatcher(FileWatcher* w) {
    watcher = w;
}

bool run() {
    if (!watcher) return false;
    const std::vector<std::string> changed = watcher->takeChanges();
    return !changed.empty() && reload(changed);
}

bool reload(const std::vector<std::string>& files) {
    EngineRegistry& r = engine();
    // Nothing is swapped under a loading scene; the change waits for a later save.
    if (!r.playing || r.loading) return false;
    const std::string sceneFile = std::filesystem::path(rememberedSceneFile()).generic_string();
    const std::string meshes = directoryOf(AssetKindMesh), bitmaps = directoryOf(AssetKindBitmap);
    const std::string songs = directoryOf(AssetKindMusic);
    bool scene = false, assets = false;
    for (const std::string& file : files) {
        if (endsWith(file, ".psh") || endsWith(file, ".vsh"))
            reloadShader(file);
        else if (!sceneFile.empty() && file == sceneFile)
            scene = true;
        else if ((!meshes.empty() && startsWith(file, meshes)) ||
                 (!bitmaps.empty() && startsWith(file, bitmaps)))
            assets = true;
        else if (file == showMusicFile || (!songs.empty() && file == songs + r.songFile))
            reloadSong(file);
    }
    return (scene || assets) && reloadScene(assets);
}

std::vector<ScreenLine> problemLines() {
    std::vector<ScreenLine> lines;
    for (const auto& [file, error] : shaderErrors) {
        lines.push_back({"shader " + file + " does not compile; the last good one is shown:", ProblemColour});
        std::istringstream text(error);
        std::string line;
        for (int n = 0; n < 8 && std::getline(text, line);)
            if (!line.empty()) {
                lines.push_back({"  " + line, ProblemColour});
                ++n;
            }
    }
    if (!sceneProblems.empty()) {
        lines.push_back({"the scene loaded with problems:", ProblemColour});
        for (size_t i = 0; i < sceneProblems.size() && i < 10; ++i)
            lines.push_back({"  " + sceneProblems[i], ProblemColour});
        if (sceneProblems.size() > 10)
            lines.push_back({"  and " + std::to_string(sceneProblems.size() - 10) + " more (see the log)",
                             ProblemColour});
    }
    return lines;
}

Timing lastTiming() {
    return timing;
}

void reset() {
    shaderErrors.clear();
    sceneProblems.clear();
    timing = Timing{};
}

} // namespace hotreload
