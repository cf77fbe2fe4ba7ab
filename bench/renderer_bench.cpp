// Milliseconds per frame of the renderer on a fixed scene (20 objects of about 2,000 triangles
// and 3 shadow-casting lights, the default six-stage filter chain, a canvas writing 100 lines of
// text), split into its passes by GL timer queries, at 1280 x 720 and 1920 x 1080. Beside each
// figure stands a floor: the same draws and full-screen passes with trivial shader files and no
// text, so the cost the pipeline's own shading adds is visible as a ratio, and the overlay's
// difference is what the 100 lines of text cost.
//
//   SDL_VIDEODRIVER=offscreen renderer_bench [FRAMES] [--finish | --cpu | --auto] [--size WxH] [--kv]
//
// FRAMES defaults to 100 per size; prints medians. --finish measures each pass with a glFinish
// and the CPU clock instead of timer queries: use it on a software rasteriser (llvmpipe), which
// runs queued work late, so that its timer queries credit one pass with another's work. --cpu
// does the same with the CPU time of the whole process, the frame too: a software rasteriser's
// work on all its threads, which other work on a busy machine disturbs far less than the clock.
// --auto chooses --cpu on a software rasteriser and timer queries elsewhere. --size measures one
// size instead of both; --kv prints "key value" lines (for bench_report) instead of the table.
#include "BenchScene.h"

#include "engine/base/Log.h"
#include "engine/base/Viewport.h"
#include "platform/SdlWindow.h"
#include "render/FilterChain.h"
#include "render/gl/RendererGL.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::string rendererName() {
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return name ? name : "?";
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The floor's shader files: the same names and vertex transforms, constant colours, no texture
// reads, no lighting arithmetic.
const std::pair<const char*, const char*> TrivialShaders[] = {
    {"mesh_shader.vsh", R"(#version 450 core
layout(location = 0) in vec3 inPosition;
uniform mat4 Proj;
uniform mat4 WorldView;
out gl_PerVertex { vec4 gl_Position; };
void main() { gl_Position = Proj * (WorldView * vec4(inPosition, 1.0)); })"},
    {"mesh_shader_nv.vsh", nullptr},
    {"mesh_shader_simple.vsh", nullptr},
    {"prim3d_shader.vsh", nullptr},
    {"ovrlay_shader.vsh", R"(#version 450 core
layout(location = 0) in vec4 inPosition;
uniform float resX;
uniform float resY;
out gl_PerVertex { vec4 gl_Position; };
void main() { gl_Position = vec4(inPosition.x / resX * 2.0 - 1.0, 1.0 - inPosition.y / resY * 2.0, 0.0, 1.0); })"},
    {"gshader.psh", R"(#version 450 core
layout(location = 0) out vec4 o0;
layout(location = 1) out vec4 o1;
layout(location = 2) out vec4 o2;
layout(location = 3) out vec4 o3;
void main() { o0 = vec4(1.0); o1 = vec4(0.0, 0.0, 1.0, 1.0); o2 = vec4(0.5); o3 = vec4(0.0); })"},
    {"gshader_nv.psh", nullptr},
    {"lighting_shader.psh", R"(#version 450 core
layout(location = 0) out vec4 o0;
layout(location = 1) out vec4 o1;
void main() { o0 = vec4(0.1); o1 = vec4(0.05); })"},
    {"depth_shader.psh", R"(#version 450 core
layout(location = 0) out vec4 o0;
void main() { o0 = vec4(1.0); })"},
    {"deffered_shader.psh", nullptr},
    {"diffuse_shader.psh", nullptr},
    {"2dflat_shader.psh", nullptr},
    {"inputCombiner.psh", nullptr},
    {"blurX.psh", nullptr},
    {"blurY.psh", nullptr},
    {"distort01.psh", nullptr},
};

// Writes the trivial shader set into `directory`; an entry without text repeats the previous
// one of its kind.
void writeTrivialShaders(const std::filesystem::path& directory) {
    std::filesystem::create_directories(directory);
    std::string vertex, fragment;
    for (const auto& [name, text] : TrivialShaders) {
        const bool isVertex = std::string(name).ends_with(".vsh");
        std::string& last = isVertex ? vertex : fragment;
        if (text) last = text;
        std::ofstream(directory / name) << last << "\n";
    }
}

enum class ClockChoice { Queries, Finish, Cpu, Auto };

// The CPU time of the whole process, in milliseconds; the clock where the system has none.
double processMilliseconds() {
#ifdef CLOCK_PROCESS_CPUTIME_ID
    timespec now{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) == 0)
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
#endif
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Mesa's software rasterisers run queued work late (their timer queries mark queueing).
bool softwareRasteriser(const std::string& device) {
    return device.find("llvmpipe") != std::string::npos || device.find("softpipe") != std::string::npos;
}

struct Medians {
    double geometry = 0, shadow = 0, lighting = 0, composition = 0, overlay = 0, filters = 0, frame = 0;
    double shaderReload = -1.0; // ms; measured with the pipeline's shaders only
    std::vector<double> stages; // each filter stage's median
    unsigned faces = 0, triangles = 0, facesKept = 0;
    std::string device;
    bool finish = false;
    bool cpu = false; // with finish: the process's CPU time rather than the clock
};

// The passes as the table shows them and as the key-value output names them, in frame order.
struct PassField {
    const char* label;
    const char* key;
    double Medians::*value;
};
constexpr PassField passFields[] = {
    {"geometry", "geometry", &Medians::geometry}, {"shadow", "shadow", &Medians::shadow},
    {"lighting", "lighting", &Medians::lighting}, {"composition", "composition", &Medians::composition},
    {"overlay", "overlay", &Medians::overlay},    {"6 filters", "filters", &Medians::filters},
    {"frame", "frame", &Medians::frame},
};

// Renders the fixed scene with the shader files of the working directory.
// A canvas writing 100 lines of text of 40 characters in the small font.
struct TextCanvas : RenderInterface::CanvasInterface {
    void draw(CanvasContext* context) override {
        for (int line = 0; line < 100; ++line)
            context->drawText("The quick brown fox jumps over the dog " + std::to_string(line),
                              8 + (line % 4) * 300, (line / 4) * 16, 0xFFFFFFFF, 0);
    }
};

bool measure(int width, int height, int frames, ClockChoice clock, bool text, Medians& out) {
    platform::WindowResult result = platform::WindowNoVideo;
    std::string error;
    auto system = platform::createWindow({"renderer bench", width, height, false, true}, result, error);
    if (!system) {
        std::fprintf(stderr, "renderer_bench: %s\n", error.c_str());
        return false;
    }
    Viewport viewport;
    viewport.system = system.get();
    viewport.width = static_cast<unsigned>(width);
    viewport.height = static_cast<unsigned>(height);
    RendererGL renderer;
    if (renderer.initialize(&viewport) != 0) return false;
    BenchScene scene(renderer, 20, 3);
    FilterChain chain;
    buildDefaultFilterChain(chain);
    renderer.setFilterChain(&chain);
    TextCanvas canvas;
    if (text) renderer.addCanvas(&canvas);
    out.device = rendererName();
    out.cpu = clock == ClockChoice::Cpu || (clock == ClockChoice::Auto && softwareRasteriser(out.device));
    out.finish = out.cpu || clock == ClockChoice::Finish;
    renderer.setPassTiming(out.cpu      ? RendererGL::PassClock::FinishAndCpuTime
                           : out.finish ? RendererGL::PassClock::FinishAndClock
                                        : RendererGL::PassClock::TimerQueries);

    std::vector<double> geometry, shadow, lighting, composition, overlay, filters, wall;
    std::vector<std::vector<double>> stages;
    for (int i = 0; i < frames + 5; ++i) {
        scene.animate(0.016f);
        scene.aimCamera(renderer);
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processMilliseconds();
        renderer.renderFrame(16.0f);
        const double cpuEnd = processMilliseconds();
        const auto end = std::chrono::steady_clock::now();
        if (i < 5) continue; // uploads and first-use compilation
        const RendererGL::PassTimes t = renderer.lastPassTimes();
        geometry.push_back(t.geometry);
        shadow.push_back(t.shadow);
        lighting.push_back(t.lighting);
        composition.push_back(t.composition);
        overlay.push_back(t.overlay);
        filters.push_back(t.filters);
        stages.resize(std::max(stages.size(), t.stages.size()));
        for (size_t s = 0; s < t.stages.size(); ++s)
            stages[s].push_back(t.stages[s]);
        wall.push_back(out.cpu ? cpuEnd - cpuStart
                               : std::chrono::duration<double, std::milli>(end - start).count());
    }
    out.geometry = median(geometry);
    out.shadow = median(shadow);
    out.lighting = median(lighting);
    out.composition = median(composition);
    out.overlay = median(overlay);
    out.filters = median(filters);
    out.frame = median(wall);
    for (const auto& stage : stages)
        out.stages.push_back(median(stage));
    if (text) {
        // A shader saved while the show runs: built again and swapped in, then the next frame drawn.
        const auto start = std::chrono::steady_clock::now();
        std::string error;
        const bool rebuilt = renderer.reloadShader("lighting_shader.psh", error) == 0;
        renderer.renderFrame(16.0f);
        out.shaderReload =
            rebuilt
                ? std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count()
                : -1.0;
    }
    out.faces = renderer.shadowFacesDrawn();
    out.facesKept = renderer.shadowFacesKept();
    out.triangles = renderer.trianglesDrawn();
    renderer.shutdown();
    renderer.destroy();
    return true;
}

void printTable(int width, int height, int frames, const Medians& pipeline, const Medians& floor) {
    std::printf("%d x %d on %s, %d frames, 21 draws, %u shadow faces, %u triangles a frame, %s\n", width,
                height, pipeline.device.c_str(), frames, pipeline.faces, pipeline.triangles,
                pipeline.cpu      ? "glFinish and the process's CPU time"
                : pipeline.finish ? "glFinish and CPU clock"
                                  : "GL timer queries");
    std::printf("  %-12s %11s %11s %7s\n", "pass", "pipeline", "floor", "ratio");
    for (const PassField& pass : passFields) {
        const double a = pipeline.*pass.value, b = floor.*pass.value;
        std::printf("  %-12s %8.3f ms %8.3f ms %6.2fx\n", pass.label, a, b, b > 0 ? a / b : 0.0);
    }
    std::printf("  100 lines of text: %.3f ms (overlay minus the floor's empty overlay); one trivial "
                "full-screen pass: %.3f ms\n",
                pipeline.overlay - floor.overlay, floor.composition);
    std::printf("  filter stages:");
    for (size_t s = 0; s < pipeline.stages.size(); ++s)
        std::printf(" %.1f (floor %.1f)", pipeline.stages[s],
                    s < floor.stages.size() ? floor.stages[s] : 0.0);
    std::printf(
        " ms\n  (frame: renderFrame on the passes' clock, present included; the scene turns every frame, so\n"
        "  shadow faces are drawn again: %u of %u kept in the last frame)\n",
        pipeline.facesKept, pipeline.faces);
}

void printKeys(int width, int height, int frames, const Medians& pipeline, const Medians& floor) {
    std::printf("device %s\nwidth %d\nheight %d\nframes %d\nclock %s\nshadow_faces %u\ntriangles %u\n",
                pipeline.device.c_str(), width, height, frames,
                pipeline.cpu      ? "cpu"
                : pipeline.finish ? "finish"
                                  : "queries",
                pipeline.faces, pipeline.triangles);
    for (const PassField& pass : passFields)
        std::printf("%s_ms %.4f\n%s_floor_ms %.4f\n", pass.key, pipeline.*pass.value, pass.key,
                    floor.*pass.value);
    std::printf("shader_reload_ms %.3f\n", pipeline.shaderReload);
}

int run(int width, int height, int frames, ClockChoice clock, bool keys, const std::filesystem::path& shaders,
        const std::filesystem::path& trivial) {
    Medians pipeline, floor;
    std::filesystem::current_path(shaders);
    if (!measure(width, height, frames, clock, true, pipeline)) return 1;
    std::filesystem::current_path(trivial);
    // The floor is timed the way the pipeline was.
    if (!measure(width, height, frames,
                 pipeline.cpu      ? ClockChoice::Cpu
                 : pipeline.finish ? ClockChoice::Finish
                                   : ClockChoice::Queries,
                 false, floor))
        return 1;
    if (keys)
        printKeys(width, height, frames, pipeline, floor);
    else
        printTable(width, height, frames, pipeline, floor);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int frames = 100;
    ClockChoice clock = ClockChoice::Queries;
    bool keys = false;
    std::vector<std::pair<int, int>> sizes = {{1280, 720}, {1920, 1080}};
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        int w = 0, h = 0;
        if (argument == "--finish") {
            clock = ClockChoice::Finish;
        } else if (argument == "--cpu") {
            clock = ClockChoice::Cpu;
        } else if (argument == "--auto") {
            clock = ClockChoice::Auto;
        } else if (argument == "--kv") {
            keys = true;
        } else if (argument == "--size" && i + 1 < argc && std::sscanf(argv[i + 1], "%dx%d", &w, &h) == 2 &&
                   w > 0 && h > 0) {
            sizes = {{w, h}};
            ++i;
        } else if (std::atoi(argument.c_str()) > 0) {
            frames = std::atoi(argument.c_str());
        } else {
            std::fprintf(stderr,
                         "usage: renderer_bench [FRAMES] [--finish | --cpu | --auto] [--size WxH] [--kv]\n");
            return 2;
        }
    }
    const char* shaders = std::getenv("BEATSHOW_SHADERS");
    const std::filesystem::path show = std::filesystem::absolute(shaders ? shaders : BEATSHOW_SHOW_DIR);
    const std::filesystem::path trivial =
        std::filesystem::temp_directory_path() / ("beatshow-bench-floor-" + std::to_string(::getpid()));
    writeTrivialShaders(trivial);
    // Only the measurements go to standard output; the renderer's log lines are dropped.
    setLogSink([](const std::string&) {});
    int status = 0;
    for (const auto& [w, h] : sizes)
        if ((status = run(w, h, frames, clock, keys, show, trivial)) != 0) break;
    std::filesystem::remove_all(trivial);
    return status;
}
