#include "tests/fuzz/FuzzSupport.h"

#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "engine/base/Viewport.h"
#include "render/RecordingRenderer.h"
#include "scene/AutomationPath.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

// Kept to the end of the process on purpose: destroyed at exit, the renderer would log into a
// log stream that may already be gone.
RecordingRenderer* renderer = nullptr;
Viewport* window = nullptr;

} // namespace

void freshRegistry() {
    static bool quiet = false;
    if (!quiet) {
        // Millions of inputs each log a line or two: writing them would be most of the work.
        setLogSink([](const std::string&) {});
        quiet = true;
    }
    resetEngineRegistry();
    resetRandomSeed();
    resetProblems();
    delete renderer;
    delete window;
    renderer = new RecordingRenderer();
    window = new Viewport();
    window->width = 1920;
    window->height = 1080;
    engine().renderer = renderer;
    engine().window = window;
    engine().cameraFollow = true;
}

const std::string& scratchFolder() {
    static const std::string folder = [] {
        const auto path =
            std::filesystem::temp_directory_path() / ("beatshow-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return folder;
}

std::string writeScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = scratchFolder() + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}
