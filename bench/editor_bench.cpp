// The editor's own CPU time per frame: its panels built and turned into draw lists by Dear ImGui
// (no window, no GL: what remains is the editor's work) over a generated scene of 1,000 objects
// in the outliner and 10,000 key frames on the timeline, all of them in view.
//
//   editor_bench [FRAMES]   prints "median_ms X", "p99_ms Y" and the scene's size
#include "editor/EditorUi.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

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
    // Most keys on the camera, the rest spread over a few objects.
    const int bindings = 8;
    for (int b = 0; b < bindings; ++b) {
        const std::string name = b == 0 ? "Cam1::Position" : "object" + std::to_string(b) + "::Position";
        const int count = b == 0 ? keys - (bindings - 1) * (keys / 20) : keys / 20;
        s += "      <" + name + ">\n";
        for (int k = 0; k < count; ++k) {
            const double t = 163.0 * k / count;
            s += "        <key v0=\"" + std::to_string(t) + "\" v1=\"" + std::to_string(k % 7) + "\" v2=\"" +
                 std::to_string(k % 3) + "\" v3=\"" + std::to_string(-(k % 11)) + "\" />\n";
        }
        s += "      </" + name + ">\n";
    }
    s += "    </automations>\n    <eventtrigger>\n";
    for (int e = 0; e < events; ++e)
        s += "      <activate eventTime=\"" + std::to_string(0.1 + 163.0 * e / events) +
             "\" target=\"Cam1\" />\n";
    s += "    </eventtrigger>\n  </scene>\n</base>\n";
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    const int objects = 1000, keys = 10000, events = 200;
    SceneDocument document;
    document.loadText(generatedScene(objects, keys, events));
    EditorUi ui(document);
    ui.selection().select(Selection::Kind::Object, "object1");
    ui.setTimelineView(0.0, 165.0);

    createWindowlessImGuiContext(1600, 900);
    ImGuiIO& io = ImGui::GetIO();

    std::vector<double> times;
    EditorUi::Frame frame;
    frame.songSeconds = 163.4;
    for (int i = 0; i < frames + 10; ++i) {
        frame.musicTime = 20.0 + i / 60.0;
        io.DeltaTime = 1.0f / 60.0f;
        // The mouse rests over the timeline, as when keys are being worked on.
        io.MousePos = ImVec2(800, 760);
        const double start = threadMs();
        ImGui::NewFrame();
        ui.draw(frame);
        ImGui::Render();
        const double spent = threadMs() - start;
        if (i >= 10) times.push_back(spent); // the first frames lay the windows out
    }
    ImGui::DestroyContext();
    std::sort(times.begin(), times.end());
    std::printf("frames %zu\nobjects %d\nkeys %d\nevents %d\n", times.size(), objects, keys, events);
    std::printf("median_ms %.4f\np99_ms %.4f\n", times[times.size() / 2], times[times.size() * 99 / 100]);
    return 0;
}
