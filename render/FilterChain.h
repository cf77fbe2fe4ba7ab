// The post-processing chain: up to 16 full-screen stages, each reading up to 16 inputs and
// writing its own screen-sized target, the last one writing the back buffer. Actors steer the
// stage shaders through named float3 parameters kept here.
//
// This is the chain's data; the renderer creates the device resources of each stage and runs it.
#pragma once

#include "math/Vector.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

struct FilterResources; // the renderer's per-stage device objects

// Input sources: a stage index (0 or more), or one of the renderer's own targets.
enum FilterInput : int32_t {
    FilterInputComposite = -1, // result of the composition pass
    FilterInputOverlay = -2,   // the canvases' drawing
    FilterInputEmissive = -3,  // the emissive channel of the G-buffer
};

struct FilterStage {
    int32_t index = 0;
    std::string shaderFile;
    std::array<int32_t, 16> inputs{};
    int32_t inputCount = 0;
    FilterResources* resources = nullptr;
};

struct FilterChain {
    static constexpr int MaxStages = 16;

    std::array<FilterStage, MaxStages> stages;
    int32_t stageCount = 0;

    int count() const { return stageCount; }
    FilterStage& stage(int i) { return stages[static_cast<size_t>(i)]; }

    // Inserts the name or overwrites its value.
    void setFilterParameter(const std::string& name, const Vector& value);
    // The parameters in byte-wise name order.
    std::map<std::string, Vector> parameters() const;
    void clearParameters();

private:
    mutable std::mutex mutex_;
    std::map<std::string, Vector> parameters_;
};

// The fixed six-stage recipe: combine scene and overlay, blur it, blur the emissive channel,
// then distort and fade onto the screen.
void buildDefaultFilterChain(FilterChain& chain);
