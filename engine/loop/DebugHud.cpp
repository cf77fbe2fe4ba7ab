#include "engine/loop/DebugHud.h"

#include "engine/EngineRegistry.h"
#include "engine/loop/HotReload.h"
#include "engine/loop/Transport.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <numeric>

namespace hud {

namespace {

std::deque<double> frameTimes; // the last second or so of frame durations
double lastCpuMs = 0.0;
bool timingOn = false;

std::string format(const char* pattern, double a, double b = 0.0, double c = 0.0) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

std::string eventText(const EventTrigger& e) {
    return e.name + format(" %.3f", static_cast<double>(e.time));
}

} // namespace

void noteFrame(double frameMs, double cpuMs) {
    frameTimes.push_back(frameMs);
    while (frameTimes.size() > 60)
        frameTimes.pop_front();
    lastCpuMs = cpuMs;
}

std::string barAndBeat(double seconds) {
    return showTempo().barAndBeat(seconds);
}

std::vector<ScreenLine> lines() {
    EngineRegistry& r = engine();
    const transport::State t = transport::state();
    std::vector<ScreenLine> out;
    const double time = r.musicTime;
    const double sum = std::accumulate(frameTimes.begin(), frameTimes.end(), 0.0);
    const double fps = sum > 0 ? 1000.0 * static_cast<double>(frameTimes.size()) / sum : 0.0;
    std::string status =
        format("%.3f s  ", time) + barAndBeat(time) + format("  %.1f fps  cpu %.2f ms", fps, lastCpuMs);
    // The default tempo goes without saying; any other is worth seeing beside the bar count.
    const Tempo tempo = showTempo();
    if (!(tempo == Tempo{})) status += format("  %g BPM %g/4", tempo.bpm, tempo.beatsPerBar);
    if (r.clock.paused()) status += "  PAUSED";
    if (r.clock.speed() != 1.0) status += format("  speed x%g", r.clock.speed());
    if (t.looping) status += format("  LOOP %.2f-%.2f s", t.loopStart, t.loopEnd);
    out.push_back({status});

    if (RenderInterface* renderer = r.renderer) {
        const auto passes = renderer->passMilliseconds();
        if (!passes.empty()) {
            std::string gpu = "gpu ms:";
            for (const auto& [name, ms] : passes)
                gpu += " " + name + format(" %.2f", ms);
            out.push_back({gpu});
        }
    }

    const std::vector<EventTrigger> triggers = r.triggers.triggers();
    const float last = r.triggers.lastEventTime();
    std::string fired = "events:";
    size_t next = triggers.size();
    for (size_t i = 0; i < triggers.size(); ++i)
        if (triggers[i].time > last) {
            next = i;
            break;
        }
    for (size_t i = next >= 3 ? next - 3 : 0; i < next; ++i)
        fired += " " + eventText(triggers[i]) + (i + 1 < next ? "," : "");
    fired += next < triggers.size() ? "  next: " + eventText(triggers[next]) : "  next: none";
    out.push_back({fired});

    const hotreload::Timing reload = hotreload::lastTiming();
    if (reload.reloads > 0)
        out.push_back({format("reloads: %.0f  last shader %.0f ms  last scene %.0f ms", reload.reloads,
                              reload.shaderMs, reload.sceneMs)});
    if (t.seeks > 0) out.push_back({format("seeks: %.0f  last %.0f ms", t.seeks, t.lastSeekMs)});
    return out;
}

void update() {
    EngineRegistry& r = engine();
    RenderInterface* renderer = r.renderer;
    if (!renderer) return;
    const bool visible = transport::state().hudVisible;
    if (visible != timingOn) {
        renderer->enablePassTiming(visible);
        timingOn = visible;
    }
    std::vector<ScreenLine> screen = visible ? lines() : std::vector<ScreenLine>{};
    for (ScreenLine& line : hotreload::problemLines())
        screen.push_back(std::move(line));
    renderer->setScreenText(screen);
}

} // namespace hud
