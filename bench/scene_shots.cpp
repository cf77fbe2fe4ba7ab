// Renders the benchmark's lit scene headless and writes a few frames as PNG files, for looking
// at what the renderer draws without the program around it.
//
//   SDL_VIDEODRIVER=offscreen scene_shots OUTDIR [WIDTH HEIGHT]
//
// Shader files are read from the source tree's show/ folder (or the folder given by
// BEATSHOW_SHADERS).
#include "BenchScene.h"

#include "engine/Viewport.h"
#include "platform/SdlWindow.h"
#include "render/gl/PngFile.h"
#include "render/gl/RendererGL.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: scene_shots OUTDIR [WIDTH HEIGHT]\n");
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    const int width = argc > 3 ? std::atoi(argv[2]) : 960;
    const int height = argc > 3 ? std::atoi(argv[3]) : 540;
    std::filesystem::create_directories(out);
    const char* shaders = std::getenv("BEATSHOW_SHADERS");
    std::filesystem::current_path(shaders ? shaders : BEATSHOW_SHOW_DIR);

    platform::WindowResult result = platform::WindowNoVideo;
    std::string error;
    auto system = platform::createWindow({"scene shots", width, height, false}, result, error);
    if (!system) {
        std::fprintf(stderr, "scene_shots: %s\n", error.c_str());
        return 1;
    }
    Viewport viewport;
    viewport.system = system.get();
    viewport.width = static_cast<unsigned>(width);
    viewport.height = static_cast<unsigned>(height);
    RendererGL renderer;
    if (const int code = renderer.initialize(&viewport); code != 0) {
        std::fprintf(stderr, "scene_shots: the renderer did not start (%d)\n", code);
        return 1;
    }
    BenchScene scene(renderer, 10, 2);
    for (int shot = 1; shot <= 2; ++shot) {
        scene.aimCamera(renderer);
        renderer.renderFrame(16.0f);
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        const std::string path = (out / ("shot-" + std::to_string(shot) + ".png")).string();
        if (!renderer.captureFrame(rgb, w, h) || !writePng(path, rgb, w, h)) {
            std::fprintf(stderr, "scene_shots: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
        scene.animate(0.5f);
    }
    renderer.shutdown();
    renderer.destroy();
    return 0;
}
