#include "engine/FreeTracks.h"

#include "render/RenderInterface.h"

#include <algorithm>

AutomationPath* addFreeTrack(const std::string& name, int components) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const FreeTrack& track : r.tracks)
        if (track.name == name) return nullptr;
    r.tracks.push_back({name, std::clamp(components, 1, 4), std::make_unique<AutomationPath>()});
    return r.tracks.back().path.get();
}

AutomationPath* findFreeTrack(const std::string& name, int* components) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const FreeTrack& track : r.tracks)
        if (track.name == name) {
            if (components) *components = track.components;
            return track.path.get();
        }
    return nullptr;
}

std::vector<FreeTrackInfo> freeTracks() {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    std::vector<FreeTrackInfo> out;
    for (const FreeTrack& track : r.tracks)
        out.push_back({track.name, track.components});
    return out;
}

void evaluateFreeTracks(float time, ShaderInputs& inputs) {
    EngineRegistry& r = engine();
    struct Step {
        std::string name;
        int components;
        AutomationPath* path;
    };
    std::vector<Step> steps;
    {
        std::lock_guard lock(r.mutex);
        steps.reserve(r.tracks.size());
        for (const FreeTrack& track : r.tracks)
            steps.push_back({track.name, track.components, track.path.get()});
    }
    for (const Step& step : steps) {
        // A track without keys reads 0; after its last key it holds the last key's values.
        std::array<float, 4> value{};
        if (step.path->pointCount() > 0) {
            step.path->setTime(time);
            const PathPoint point = step.path->evaluate();
            for (size_t c = 0; c < static_cast<size_t>(step.components); ++c)
                value[c] = point.values[c];
        }
        inputs.set(step.name, value, step.components);
    }
}

void setMaterialShaderTable(std::vector<MaterialShaders> table) {
    EngineRegistry& r = engine();
    RenderInterface* renderer = nullptr;
    {
        std::lock_guard lock(r.mutex);
        r.materialShaders = table;
        renderer = r.renderer;
    }
    if (renderer) renderer->setMaterialShaders(table);
}

std::vector<MaterialShaders> materialShaderTable() {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    return r.materialShaders;
}
