// The engine's CPU side without a GPU: the frame loop, the scene loader and the registry with the
// recording renderer standing in for the device. Prints "key value" lines for bench_report.
//
//   engine_bench show [STEPS]   in a show directory: plays the whole show on an offline clock of
//                               STEPS frames a second (60), timing every frame from the first
//                               that plays to the exit event (CPU time of the loop's thread, and
//                               wall clock), and the scene's load
//   engine_bench large N        loads a generated scene of N automation path points in time order
//                               and N timed events through the scene loader
//
// Each run gets a process of its own: the registry lives as long as the process.
#include "actors/ActorFactory.h"
#include "engine/EngineRegistry.h"
#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "engine/base/OfflineClock.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "engine/loop/LoaderThread.h"
#include "engine/loop/MainLoop.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Startup.h"
#include "platform/VorbisDecoder.h"
#include "render/RecordingRenderer.h"
#include "scene/AutomationPath.h"
#include "scene/XMLDocument.h"
#include "scene/loader/SceneLoader.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start, Clock::time_point end = Clock::now()) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The nearest-rank quantile of sorted values.
double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0.0;
    const size_t i = static_cast<size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(i, sorted.size() - 1)];
}

// A window that is never shown and never receives anything.
class NullWindow : public SystemWindow {
public:
    bool pollMessage(WindowMessage&) override { return false; }
    bool makeContextCurrent() override { return true; }
    void swapBuffers() override {}
    int drawableWidth() const override { return 1920; }
    int drawableHeight() const override { return 1080; }
    void showWindow() override {}
    void setCursorVisible(bool) override {}
    void getCursorPosition(int& x, int& y) override { x = y = 0; }
    void moveCursor(int, int) override {}
};

// Notes when the last mesh or material reached the renderer: a recording renderer has made a
// resource as soon as it is registered.
class TimedRecordingRenderer : public RecordingRenderer {
public:
    int addMesh(Mesh* mesh) override {
        const int result = RecordingRenderer::addMesh(mesh);
        lastResource = Clock::now().time_since_epoch().count();
        return result;
    }
    int addMaterial(Material* material) override {
        const int result = RecordingRenderer::addMaterial(material);
        lastResource = Clock::now().time_since_epoch().count();
        return result;
    }
    std::atomic<Clock::rep> lastResource{0};
};

// Times the frames that play; the frames before (the loading screen) wait, as offline runs do.
class FrameClock : public FrameObserver {
public:
    explicit FrameClock(OfflineClock& clock) : clock_(clock) {}

    void beforeFrame() override {
        EngineRegistry& r = engine();
        while (!r.playing && !r.quitRequested)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // The recording renderer keeps every call; over the show's thousands of frames the list,
        // not the engine, would become the cost measured.
        if (recorder) recorder->clearCalls();
        clock_.advanceFrame();
        start_ = Clock::now();
        cpuStart_ = threadCpuMilliseconds();
    }
    void afterFrame(double) override {
        cpu.push_back(threadCpuMilliseconds() - cpuStart_);
        wall.push_back(millisecondsSince(start_));
        if (cpu.size() == 1 && measureMoves > 0.0) moveInShow(measureMoves);
        if (frameLimit > 0 && cpu.size() >= frameLimit) engine().quitRequested = true;
    }

    RecordingRenderer* recorder = nullptr; // the program's renderer while frames run
    size_t frameLimit = 0;                 // 0: the show ends itself
    // After the first frame, at this music time: a seek back to it and two scene reloads there
    // (the scene file alone; with its meshes and bitmaps read again), each timed on the wall clock.
    double measureMoves = 0.0;
    double seekMs = -1.0, reloadMs = -1.0, reloadAssetsMs = -1.0;
    // Per frame: the CPU time of the thread that runs the loop, and the wall clock, which also
    // counts the time other processes had the core.
    std::vector<double> cpu, wall;

private:
    void moveInShow(double at) {
        const float t = static_cast<float>(at);
        auto started = Clock::now();
        seekShow(t);
        seekMs = millisecondsSince(started);
        started = Clock::now();
        reloadMs = reloadShowScene(t, false).loaded ? millisecondsSince(started) : -1.0;
        started = Clock::now();
        reloadAssetsMs = reloadShowScene(t, true).loaded ? millisecondsSince(started) : -1.0;
    }

    static double threadCpuMilliseconds() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
    }

    OfflineClock& clock_;
    Clock::time_point start_;
    double cpuStart_ = 0.0;
};

// The whole show from 0, or (startAt > 0) only its first frame, which replays every frame before
// startAt at the same steps: how long a start in the middle takes to reach its time.
int benchShow(double steps, double startAt = 0.0) {
    std::atomic<int> eventsFired{0};
    setLogSink([&](const std::string& line) {
        if (line.rfind("Triggering Event: ", 0) == 0) ++eventsFired;
    });

    OfflineClock clock(steps);
    FrameTimer timer(clock.counter());
    TimedRecordingRenderer* recorder = nullptr;
    FrameClock frames(clock);
    if (startAt > 0.0) {
        engine().startTime = static_cast<float>(startAt);
        engine().replayFramesPerSecond = steps;
        frames.frameLimit = 1;
        frames.measureMoves = startAt;
    }

    EngineServices services;
    services.openWindow = [](const std::string&, unsigned, unsigned, bool) {
        return std::unique_ptr<SystemWindow>(new NullWindow);
    };
    services.makeRenderer = [&] {
        auto renderer = std::make_unique<TimedRecordingRenderer>();
        recorder = renderer.get();
        frames.recorder = recorder;
        return std::unique_ptr<RenderInterface>(std::move(renderer));
    };
    services.audio = std::make_shared<OfflineAudioBackend>(clock, platform::vorbisFileSeconds);
    services.timer = &timer;
    services.observer = &frames;
    services.random = [] { return 7; };

    Clock::time_point loadStart, loadEnd;
    double lastResourceMs = 0.0;
    setSceneLoadFunction([&](const std::string& file) {
        loadStart = Clock::now();
        const int result = loadScene(file, &createActor);
        loadEnd = Clock::now();
        if (recorder && recorder->lastResource.load() != 0)
            lastResourceMs = millisecondsSince(
                loadStart, Clock::time_point(Clock::duration(recorder->lastResource.load())));
        return result;
    });

    WindowSettings window;
    window.windowed = true;
    const auto runStart = Clock::now();
    if (engineMain("engine_bench ", window, services) != 0) {
        std::fprintf(stderr, "engine_bench: the show did not start\n");
        return 1;
    }
    const double wallSeconds = millisecondsSince(runStart) / 1000.0;
    if (frames.cpu.empty()) {
        std::fprintf(stderr, "engine_bench: no frame of the show played (is this a show directory?)\n");
        return 1;
    }

    std::printf("first_frame_ms %.4f\n", frames.cpu.front());
    if (frames.measureMoves > 0.0) {
        std::printf("seek_back_ms %.2f\n", frames.seekMs);
        std::printf("scene_reload_ms %.2f\n", frames.reloadMs);
        std::printf("scene_reload_assets_ms %.2f\n", frames.reloadAssetsMs);
    }
    std::vector<double> cpu = frames.cpu, wall = frames.wall;
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    double total = 0.0;
    for (double ms : cpu)
        total += ms;
    std::printf("steps %.0f\n", steps);
    std::printf("frames %zu\n", cpu.size());
    std::printf("show_seconds %.3f\n", static_cast<double>(cpu.size()) / steps);
    std::printf("events %d\n", eventsFired.load());
    std::printf("frame_median_ms %.4f\n", quantile(cpu, 0.5));
    std::printf("frame_p99_ms %.4f\n", quantile(cpu, 0.99));
    std::printf("frame_max_ms %.4f\n", cpu.back());
    std::printf("frame_mean_ms %.4f\n", total / static_cast<double>(cpu.size()));
    std::printf("wall_median_ms %.4f\n", quantile(wall, 0.5));
    std::printf("wall_p99_ms %.4f\n", quantile(wall, 0.99));
    std::printf("wall_max_ms %.4f\n", wall.back());
    std::printf("load_ms %.2f\n", millisecondsSince(loadStart, loadEnd));
    std::printf("last_resource_ms %.2f\n", lastResourceMs);
    std::printf("wall_seconds %.2f\n", wallSeconds);
    return 0;
}

// A scene of one camera actor whose position follows a path of `size` points in time order, and
// `size` events aimed at it, one every 10 ms of music time.
void writeLargeScene(const std::filesystem::path& file, long size) {
    std::ofstream out(file);
    out << "<?xml version=\"1.0\" encoding=\"us-ascii\"?>\n<base>\n  <scene>\n"
           "    <meshes></meshes>\n    <materials></materials>\n    <objects></objects>\n"
           "    <lights></lights>\n"
           "    <actors>\n      <cam classname=\"Camera\" />\n    </actors>\n"
           "    <automations>\n      <cam::Position>\n";
    char line[160];
    for (long i = 0; i < size; ++i) {
        const double t = static_cast<double>(i) * 0.01;
        std::snprintf(line, sizeof line, "        <key v0=\"%.2f\" v1=\"%.3f\" v2=\"%.3f\" v3=\"%.3f\" />\n",
                      t, static_cast<double>(i % 97) * 0.1, static_cast<double>(i % 13) * 0.2,
                      static_cast<double>(i % 101) * -0.3);
        out << line;
    }
    out << "      </cam::Position>\n    </automations>\n    <eventtrigger>\n";
    const char* names[3] = {"activate", "nextstage", "deactivate"};
    for (long i = 0; i < size; ++i) {
        std::snprintf(line, sizeof line, "      <%s eventTime=\"%.2f\" target=\"cam\" />\n", names[i % 3],
                      static_cast<double>(i) * 0.01);
        out << line;
    }
    out << "    </eventtrigger>\n    <audio></audio>\n  </scene>\n</base>\n";
}

int benchLargeScene(long size) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("beatshow-bench-large-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "large.xml";
    writeLargeScene(file, size);
    const auto bytes = std::filesystem::file_size(file);

    setLogSink([](const std::string&) {});
    RecordingRenderer renderer;
    Viewport window;
    window.width = 1920;
    window.height = 1080;
    engine().renderer = &renderer;
    engine().window = &window;

    // The reader alone first, so that the rest of the load is the loader's own work.
    auto start = Clock::now();
    double parseMs = 0.0;
    {
        XMLDocument document;
        if (document.load(file.string()) != 0) {
            std::fprintf(stderr, "engine_bench: the generated scene does not read\n");
            return 1;
        }
        parseMs = millisecondsSince(start);
    }
    start = Clock::now();
    const int result = loadScene(file.string(), &createActor);
    const double loadMs = millisecondsSince(start);

    Actor* camera = findActor("cam");
    AutomationPath* path = camera ? findAutomation(camera, "Position") : nullptr;
    const size_t points = path ? path->pointCount() : 0;
    const size_t events = engine().triggers.triggers().size();
    std::filesystem::remove_all(dir);
    if (result != 0 || points != static_cast<size_t>(size) || events != static_cast<size_t>(size)) {
        std::fprintf(stderr, "engine_bench: the loader made %zu points and %zu events of %ld\n", points,
                     events, size);
        return 1;
    }
    std::printf("size %ld\n", size);
    std::printf("file_bytes %llu\n", static_cast<unsigned long long>(bytes));
    std::printf("parse_ms %.2f\n", parseMs);
    std::printf("load_ms %.2f\n", loadMs);
    return 0;
}

int usage() {
    std::fprintf(
        stderr,
        "usage: engine_bench show [STEPS] | engine_bench seek SECONDS [STEPS] | engine_bench large N\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string mode = argv[1];
    if (mode == "show") {
        const double steps = argc > 2 ? std::atof(argv[2]) : 60.0;
        return steps > 0 ? benchShow(steps) : usage();
    }
    if (mode == "seek" && argc > 2) {
        const double at = std::atof(argv[2]);
        const double steps = argc > 3 ? std::atof(argv[3]) : 60.0;
        return at > 0 && steps > 0 ? benchShow(steps, at) : usage();
    }
    if (mode == "large" && argc > 2) {
        const long size = std::atol(argv[2]);
        return size > 0 ? benchLargeScene(size) : usage();
    }
    return usage();
}
