#include "app/SceneCheck.h"

#include "engine/loop/Startup.h"

#include "actors/ActorFactory.h"
#include "actors/EngineCamera.h"
#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "engine/base/MusicPlayer.h"
#include "engine/base/Viewport.h"
#include "render/RecordingRenderer.h"
#include "scene/loader/SceneLoader.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// Accepts a music file when it exists and starts with an Ogg page; plays nothing.
class CheckingAudioBackend : public AudioBackend {
public:
    uint32_t createStream(const std::string& path, bool) override {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            lastError_ = FileOpenError;
            return 0;
        }
        char magic[4] = {};
        file.read(magic, sizeof magic);
        if (file.gcount() != 4 || std::string(magic, 4) != "OggS") {
            lastError_ = FileFormatError;
            return 0;
        }
        lastError_ = 0;
        return ++lastStream_;
    }
    bool play(uint32_t) override { return false; }
    double position(uint32_t) override { return 0.0; }
    int lastError() override { return lastError_; }

private:
    // The audio library's codes for "cannot open the file" and "not a supported format".
    static constexpr int FileOpenError = 2;
    static constexpr int FileFormatError = 41;
    int lastError_ = 0;
    uint32_t lastStream_ = 0;
};

// The summary goes where the log goes, after it: standard output in the program.
void printLine(const std::string& line) {
    logStream << line << std::endl;
}

} // namespace

int runSceneCheck(const std::string& directory) {
    resetProblems();
    std::error_code error;
    std::filesystem::current_path(directory, error);
    if (error) {
        printLine("check: cannot enter " + directory + ": " + error.message());
        return 1;
    }

    EngineRegistry& r = engine();
    r.assets.registerKind("tex\\", "bmp", AssetKindBitmap);
    r.assets.registerKind("model\\", "obj", AssetKindMesh);
    r.assets.registerKind("audio\\", "ogg", AssetKindMusic);
    r.cameraFollow = true;
    EngineCamera* editorCamera = keepAlive(std::make_unique<EngineCamera>("EditorCam"));
    r.editorCamera = editorCamera;
    r.activeCamera = editorCamera;

    {
        Viewport window;
        window.width = 1920;
        window.height = 1080;
        window.title = "default";
        RecordingRenderer renderer;
        renderer.initialize(&window);
        r.window = &window;
        r.renderer = &renderer;
        renderer.setFilterChain(&r.postChain);
        r.music.setBackend(std::make_shared<CheckingAudioBackend>());

        if (loadScene(showSceneFile, &createActor) != 0) {
            logStream << "Cannot read scene file " << showSceneFile << std::endl;
            noteProblem(std::string("the scene file ") + showSceneFile + " cannot be read");
        }

        // What the loader handed over stays registered, but the renderer and window end here.
        r.renderer = nullptr;
        r.window = nullptr;
    }

    const std::vector<std::string> problems = problemsNoted();
    const std::string where = (std::filesystem::current_path() / showSceneFile).string();
    if (problems.empty()) {
        printLine("check: " + where + " loads without problems");
        return 0;
    }
    printLine("check: " + where + ": " + std::to_string(problems.size()) +
              (problems.size() == 1 ? " problem" : " problems"));
    for (const std::string& problem : problems)
        printLine("  " + problem);
    return 1;
}
