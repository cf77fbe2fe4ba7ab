// Renders the benchmark's lit scene headless through the default filter chain, with a canvas
// drawing text, a textured rectangle and lines, and a text label, and writes a few frames as PNG
// files, for looking at what the renderer draws without the program around it:
//   shot-1  no filter parameters set (the bloom of the glowing objects, nothing else)
//   shot-2  ripples, colour split, glow and soft focus
//   shot-3  faded to half
//
//   SDL_VIDEODRIVER=offscreen scene_shots OUTDIR [WIDTH HEIGHT]
//
// Shader files are read from the source tree's show/ folder (or the folder given by
// BEATSHOW_SHADERS).
#include "BenchScene.h"

#include "engine/base/Viewport.h"
#include "platform/SdlWindow.h"
#include "render/FilterChain.h"
#include "render/MaterialBuilder.h"
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
    auto system = platform::createWindow({"scene shots", width, height, false, true}, result, error);
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
    FilterChain chain;
    buildDefaultFilterChain(chain);
    renderer.setFilterChain(&chain);
    BenchScene scene(renderer, 10, 2);

    // A small picture for the textured rectangle: a colour wheel of sorts.
    std::vector<uint8_t> picture;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            picture.push_back(static_cast<uint8_t>(x * 4));
            picture.push_back(static_cast<uint8_t>(y * 4));
            picture.push_back(static_cast<uint8_t>(255 - x * 2));
        }
    auto logo = makeMaterial(3, &picture, nullptr, nullptr, 64, 64, "logo");
    renderer.addMaterial(logo.get());

    struct Overlay : RenderInterface::CanvasInterface {
        int w, h;
        void draw(CanvasContext* c) override {
            c->drawText("beatshow", 24, 16, 0xFFF0BB00, 1);
            c->drawText("lit, shadowed, textured - and upright", 26, 84, 0xFFFFFFFF, 2);
            c->renderer->drawRect(w - 140, 20, w - 20, 140, 0xFFFFFFFF, "logo");
            c->renderer->drawRect(w - 146, 14, w - 14, 146, 0xFF00FFFF, nullptr);
            c->renderer->drawLine2D(24, 112, 420, 112, 0xFF00FFFF);
        }
    } overlay;
    overlay.w = width;
    overlay.h = height;
    renderer.addCanvas(&overlay);
    TextLabel label;
    const std::string loading = "a text label, drawn after the canvases";
    std::copy(loading.begin(), loading.end(), label.text.begin());
    label.x = 26;
    label.y = height - 30;
    renderer.addTextLabel(&label);

    for (int shot = 1; shot <= 3; ++shot) {
        if (shot == 2) {
            chain.setFilterParameter("distortParam1", {6.0f, 0.4f, 3.0f});
            chain.setFilterParameter("distortParam2", {0.2f, 0.3f, 0.3f});
        }
        if (shot == 3) chain.setFilterParameter("fadeParam", {0.5f, 0.5f, 0.5f});
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
