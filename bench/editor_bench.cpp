// The editor's own CPU costs, without a window or GL. Prints "key value" lines for bench_report.
//
//   editor_bench [FRAMES]              idle frames: the panels built and turned into draw lists by
//                                      Dear ImGui over a generated scene of 1,000 objects in the
//                                      outliner and 10,000 key frames on the timeline, all in view
//   editor_bench edits [FRAMES]        frames that edit, on a generated scene of 2,000 objects and
//                                      20,000 keys loaded into the registry too: a drag of an
//                                      object's Position, a drag of a key's value on the path of
//                                      13,000 keys; each frame the command, the show taking it over
//                                      and the panels' frame (and the same scene's idle frame)
//   editor_bench pose [POSES] [KEYS]   camera recording over a path of KEYS keys (10,000) in
//                                      Position and Rotation: the cost of each recorded pose (the
//                                      command and the show taking the paths over)
//   editor_bench structural [SECONDS] [ROUNDS]
//                                      in a show directory: the show with the recording renderer
//                                      at SECONDS (159), then a seek to that time and a structural
//                                      edit made there (an event added after it, which the show
//                                      takes over by a load of the edited scene), ROUNDS (3) of
//                                      each, alternating; CPU time of the loop's thread and wall
//                                      clock
#include "actors/ActorFactory.h"
#include "editor/EditorUi.h"
#include "editor/model/LiveScene.h"
#include "engine/EngineRegistry.h"
#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "engine/base/OfflineClock.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "engine/loop/MainLoop.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Startup.h"
#include "platform/VorbisDecoder.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/RecordingRenderer.h"
#include "scene/loader/SceneLoader.h"

#include <imgui.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double wallMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Figures {
    double median = 0.0, p99 = 0.0, max = 0.0;
};

Figures figures(std::vector<double> times) {
    Figures f;
    if (times.empty()) return f;
    std::sort(times.begin(), times.end());
    f.median = times[times.size() / 2];
    f.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    f.max = times.back();
    return f;
}

void print(const std::string& prefix, const Figures& f) {
    std::printf("%s_median_ms %.4f\n%s_p99_ms %.4f\n%s_max_ms %.4f\n", prefix.c_str(), f.median,
                prefix.c_str(), f.p99, prefix.c_str(), f.max);
}

std::string keyLine(double t, int k) {
    return "        <key v0=\"" + std::to_string(t) + "\" v1=\"" + std::to_string(k % 7) + "\" v2=\"" +
           std::to_string(k % 3) + "\" v3=\"" + std::to_string(-(k % 11)) + "\" />\n";
}

// `objects` placed spheres, a camera, `keys` keys over 163 s (most on the camera's Position, the
// rest on seven objects) and `events` events aimed at the camera.
std::string generatedScene(int objects, int keys, int events) {
    std::string s = "<base>\n  <scene>\n    <meshes>\n      <sphere />\n    </meshes>\n    <materials>\n"
                    "      <metal4 />\n    </materials>\n    <objects>\n";
    for (int i = 0; i < objects; ++i)
        s += "      <object" + std::to_string(i) + ">\n        <Position x=\"" + std::to_string(i % 40) +
             "\" y=\"0\" z=\"" + std::to_string(i / 40) +
             "\" />\n        <Scale x=\"0.01\" y=\"0.01\" z=\"0.01\" />\n"
             "        <Mesh MeshName=\"sphere\" />\n        <Material MaterialName=\"metal4\" />\n      "
             "</object" +
             std::to_string(i) + ">\n";
    s += "    </objects>\n    <actors>\n      <Cam1 classname=\"Camera\" />\n    </actors>\n    "
         "<automations>\n";
    const int bindings = 8;
    for (int b = 0; b < bindings; ++b) {
        const std::string name = b == 0 ? "Cam1::Position" : "object" + std::to_string(b) + "::Position";
        const int count = b == 0 ? keys - (bindings - 1) * (keys / 20) : keys / 20;
        s += "      <" + name + ">\n";
        for (int k = 0; k < count; ++k)
            s += keyLine(163.0 * k / count, k);
        s += "      </" + name + ">\n";
    }
    s += "    </automations>\n    <eventtrigger>\n";
    for (int e = 0; e < events; ++e)
        s += "      <activate eventTime=\"" + std::to_string(0.1 + 163.0 * e / events) +
             "\" target=\"Cam1\" />\n";
    s += "    </eventtrigger>\n  </scene>\n</base>\n";
    return s;
}

// A camera whose Position and Rotation follow paths of `keys` keys each over 163 s.
std::string cameraPathScene(int keys) {
    std::string s = "<base>\n  <scene>\n    <actors>\n      <Cam1 classname=\"Camera\" />\n    </actors>\n"
                    "    <automations>\n";
    for (const char* parameter : {"Position", "Rotation"}) {
        s += std::string("      <Cam1::") + parameter + ">\n";
        for (int k = 0; k < keys; ++k)
            s += keyLine(163.0 * k / keys, k);
        s += std::string("      </Cam1::") + parameter + ">\n";
    }
    return s + "    </automations>\n  </scene>\n</base>\n";
}

// The registry as a load of the scene leaves it, with the recording renderer; the mesh and the
// material the generated scenes name are made in memory and taken by name, as after a reset.
void loadIntoRegistry(const std::string& text) {
    LogSink previous = setLogSink([](const std::string&) {});
    static RecordingRenderer renderer;
    static Viewport window;
    window.width = 1600;
    window.height = 900;
    EngineRegistry& r = engine();
    r.renderer = &renderer;
    r.window = &window;
    auto mesh = std::make_unique<Mesh>();
    mesh->name = "sphere";
    mesh->positions = {{-1, -1, -1}, {1, 1, 1}, {1, -1, 1}};
    mesh->vertexCount = 3;
    auto material = std::make_unique<Material>();
    material->name = "metal4";
    {
        std::lock_guard lock(r.mutex);
        r.reusableMeshes.push_back(std::move(mesh));
        r.reusableMaterials.push_back(std::move(material));
        r.reuseAssets = true;
    }
    loadSceneFromBytes(text, "epicrealtimetest.xml", &createActor);
    setLogSink(previous);
}

// One frame of the panels.
double drawFrame(EditorUi& ui, EditorUi::Frame& frame) {
    ImGuiIO& io = ImGui::GetIO();
    io.DeltaTime = 1.0f / 60.0f;
    // The mouse rests over the timeline, as when keys are being worked on.
    io.MousePos = ImVec2(800, 760);
    const double start = threadMs();
    ImGui::NewFrame();
    ui.draw(frame);
    ImGui::Render();
    return threadMs() - start;
}

int idleFrames(int frames) {
    const int objects = 1000, keys = 10000, events = 200;
    SceneDocument document;
    document.loadText(generatedScene(objects, keys, events));
    EditorUi ui(document);
    ui.selection().select(Selection::Kind::Object, "object1");
    ui.setTimelineView(0.0, 165.0);
    createWindowlessImGuiContext(1600, 900);
    std::vector<double> times;
    EditorUi::Frame frame;
    frame.songSeconds = 163.4;
    for (int i = 0; i < frames + 10; ++i) {
        frame.musicTime = 20.0 + i / 60.0;
        const double spent = drawFrame(ui, frame);
        if (i >= 10) times.push_back(spent); // the first frames lay the windows out
    }
    ImGui::DestroyContext();
    const Figures f = figures(times);
    std::printf("frames %zu\nobjects %d\nkeys %d\nevents %d\n", times.size(), objects, keys, events);
    std::printf("median_ms %.4f\np99_ms %.4f\n", f.median, f.p99);
    return 0;
}

int editFrames(int frames) {
    const int objects = 2000, keys = 20000, events = 200;
    const std::string text = generatedScene(objects, keys, events);
    loadIntoRegistry(text);
    SceneDocument document;
    document.loadText(text);
    EditorUi ui(document);
    ui.selection().select(Selection::Kind::Object, "object7");
    ui.setTimelineView(0.0, 165.0);
    createWindowlessImGuiContext(1600, 900);
    EditorUi::Frame frame;
    frame.songSeconds = 163.4;
    frame.paused = true;
    frame.musicTime = 20.0;
    if (!findSceneEntity("object7") || document.keys("Cam1", "Position").size() < 10000) {
        std::fprintf(stderr, "editor_bench: the generated scene did not load\n");
        return 1;
    }

    std::vector<double> idle;
    for (int i = 0; i < frames + 10; ++i) {
        const double spent = drawFrame(ui, frame);
        if (i >= 10) idle.push_back(spent);
    }

    // Each frame of a drag is one command (merged into one step) and one frame of the panels.
    std::vector<double> commands;
    auto drag = [&](const std::vector<Touch>& touches, const std::string& mergeKey,
                    const std::function<bool(SceneDocument&, int)>& change) {
        std::vector<double> times;
        commands.clear();
        for (int i = 1; i <= frames; ++i) {
            const double start = threadMs();
            if (!ui.history().run(
                    "drag", touches, [&](SceneDocument& d) { return change(d, i); }, mergeKey)) {
                std::fprintf(stderr, "editor_bench: the edit was refused\n");
                std::exit(1);
            }
            ui.afterEdit(touches);
            const double edit = threadMs() - start;
            commands.push_back(edit);
            times.push_back(edit + drawFrame(ui, frame));
        }
        ui.history().seal();
        return times;
    };
    const std::vector<double> value =
        drag({{Touch::Value, "object7", "Position"}}, "drag:object7", [](SceneDocument& d, int i) {
            // The value's text changes its length every frame, so the bytes after it move.
            return d.setVector("object7", "Position", {i % 2 ? 7.5f : 7.123456f + 0.001f * i, 0.5f, 0.0f});
        });
    const std::vector<double> valueCommands = commands;
    const size_t index = document.keys("Cam1", "Position").size() / 2;
    const float keyTime = document.keys("Cam1", "Position")[index].time;
    ui.selection().select(Selection::Kind::Binding, "Cam1::Position");
    const std::vector<double> key =
        drag({{Touch::Path, "Cam1", "Position"}}, "drag:key", [&](SceneDocument& d, int i) {
            return d.setKey("Cam1", "Position", index,
                            {keyTime, {i % 2 ? 0.5f : 0.123456f + 0.001f * i, 1.0f, 2.0f}});
        });
    ImGui::DestroyContext();
    std::printf("frames %d\nobjects %d\nkeys %d\nevents %d\nbytes %zu\n", frames, objects, keys, events,
                document.text().size());
    print("idle", figures(idle));
    print("value_edit", figures(value));
    print("value_edit_command", figures(valueCommands));
    print("key_edit", figures(key));
    print("key_edit_command", figures(commands));
    return 0;
}

int recordPoses(int poses, int keys) {
    const std::string text = cameraPathScene(keys);
    loadIntoRegistry(text);
    SceneDocument document;
    document.loadText(text);
    EditorUi ui(document);
    if (document.keys("Cam1", "Rotation").size() != static_cast<size_t>(keys)) {
        std::fprintf(stderr, "editor_bench: the generated path did not load\n");
        return 1;
    }
    // The timeline reads the paths' keys in the editor's first frame; the poses come after.
    document.keys("Cam1", "Position");
    // Flown from 100 s on at 60 frames a second, through the path's keys.
    CameraRecorder& recorder = ui.recorder();
    recorder.start("Cam1", CameraRecorder::Every::Beat, 100.0, Tempo{});
    std::vector<double> times;
    for (int frame = 0; static_cast<int>(times.size()) < poses; ++frame) {
        const double t = 100.0 + frame / 60.0;
        const Vector position{static_cast<float>(t), 1.0f, 2.0f},
            rotation{0.0f, static_cast<float>(t) * 0.1f, 0.0f};
        for (const RecordedPose& pose : recorder.frame(t, position, rotation)) {
            const double start = threadMs();
            if (writeRecordedPose(ui.history(), "Cam1", pose, recorder.session()))
                ui.afterEdit({{Touch::Path, "Cam1", "Position"}, {Touch::Path, "Cam1", "Rotation"}});
            times.push_back(threadMs() - start);
        }
    }
    std::printf("poses %zu\npath_keys %d\n", times.size(), keys);
    print("pose", figures(times));
    return 0;
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

// Runs the show's first frame at `at`, then moves in it.
class Mover : public FrameObserver {
public:
    Mover(OfflineClock& clock, float at, int rounds) : clock_(clock), at_(at), rounds_(rounds) {}

    void beforeFrame() override {
        EngineRegistry& r = engine();
        while (!r.playing && !r.quitRequested)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        clock_.advanceFrame();
    }
    void afterFrame(double) override {
        if (done_) return;
        done_ = true;
        move();
        engine().quitRequested = true;
    }

    // CPU time of the thread that runs the loop, and the wall clock.
    std::vector<double> seek, structural, seekWall, structuralWall;

private:
    void move() {
        std::ifstream in("epicrealtimetest.xml", std::ios::binary);
        SceneDocument document;
        document.loadText(
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        EditorUi ui(document);
        for (int round = 0; round < rounds_; ++round) {
            double start = wallMs(), cpu = threadMs();
            seekShow(at_);
            seekWall.push_back(wallMs() - start);
            seek.push_back(threadMs() - cpu);
            // An event after the time (each round a new one): the show must load the edited scene.
            start = wallMs();
            cpu = threadMs();
            const std::vector<Touch> touches = {Touch{}};
            const float when = 161.0f + static_cast<float>(round) * 0.1f;
            if (!ui.history().run("Add event", touches, [&](SceneDocument& d) {
                    return d.addEvent({"activate", when, ""});
                })) {
                std::fprintf(stderr, "editor_bench: the structural edit was refused\n");
                return;
            }
            ui.afterEdit(touches);
            reloadShowSceneBytes(document.text(), at_);
            structuralWall.push_back(wallMs() - start);
            structural.push_back(threadMs() - cpu);
            if (!hasEventAt(when)) {
                std::fprintf(stderr, "editor_bench: the show did not take the edit over\n");
                structural.clear();
                return;
            }
        }
    }

    static bool hasEventAt(float when) {
        for (const EventTrigger& t : engine().triggers.triggers())
            if (t.time == when && t.name == "activate") return true;
        return false;
    }

    OfflineClock& clock_;
    float at_;
    int rounds_;
    bool done_ = false;
};

int structuralEdits(float at, int rounds) {
    setLogSink([](const std::string&) {});
    OfflineClock clock(60.0);
    FrameTimer timer(clock.counter());
    Mover mover(clock, at, rounds);
    engine().startTime = at;
    engine().replayFramesPerSecond = 60.0;
    EngineServices services;
    services.openWindow = [](const std::string&, unsigned, unsigned, bool) {
        return std::unique_ptr<SystemWindow>(new NullWindow);
    };
    services.makeRenderer = [] { return std::unique_ptr<RenderInterface>(new RecordingRenderer); };
    services.audio = std::make_shared<OfflineAudioBackend>(clock, platform::vorbisFileSeconds);
    services.timer = &timer;
    services.observer = &mover;
    services.random = [] { return 7; };
    WindowSettings window;
    window.windowed = true;
    if (engineMain("editor_bench ", window, services) != 0 || mover.seek.empty() ||
        mover.structural.empty()) {
        std::fprintf(stderr, "editor_bench: the show did not play to %g s (is this a show directory?)\n", at);
        return 1;
    }
    std::printf("at_seconds %g\nrounds %d\n", at, rounds);
    print("seek", figures(mover.seek));
    print("structural_edit", figures(mover.structural));
    print("seek_wall", figures(mover.seekWall));
    print("structural_edit_wall", figures(mover.structuralWall));
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: editor_bench [FRAMES] | editor_bench edits [FRAMES] | editor_bench pose "
                         "[POSES] [KEYS] | editor_bench structural [SECONDS] [ROUNDS]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    auto argument = [&](int i, double fallback) { return argc > i ? std::atof(argv[i]) : fallback; };
    if (mode == "edits") return editFrames(std::max(10, static_cast<int>(argument(2, 120))));
    if (mode == "pose")
        return recordPoses(std::max(1, static_cast<int>(argument(2, 40))),
                           std::max(100, static_cast<int>(argument(3, 10000))));
    if (mode == "structural")
        return structuralEdits(static_cast<float>(argument(2, 159)),
                               std::max(1, static_cast<int>(argument(3, 3))));
    if (!mode.empty() && (mode[0] < '0' || mode[0] > '9')) return usage();
    return idleFrames(std::max(10, static_cast<int>(argument(1, 300))));
}
