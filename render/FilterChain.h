// The post-processing chain: up to 16 full-screen stages, each reading up to 16 inputs and
// writing its own screen-sized target, the last one writing the back buffer. Actors steer the
// stage shaders through named float3 parameters kept here.
//
// This is the chain's data; the renderer creates the device resources of each stage and runs it.
//
// The stages are the fixed six-stage recipe unless the scene declares its own. A declared recipe
// comes from the loader thread (setRecipe); the renderer puts it in place of the stages between
// two frames (applyRecipe), so the frame never sees a half-changed chain. A scene without one
// sets the program's recipe back, which changes nothing when it is already in place.
#pragma once

#include "math/Vector.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct FilterResources; // the renderer's per-stage device objects

// Input sources: a stage index (0 or more), or one of the renderer's own targets.
enum FilterInput : int32_t {
    FilterInputComposite = -1, // result of the composition pass
    FilterInputOverlay = -2,   // the canvases' drawing
    FilterInputEmissive = -3,  // the emissive channel of the G-buffer
};

// Any input value other than a stage index and the three targets binds nothing (black).
constexpr int32_t FilterInputNothing = -4;

struct FilterStage {
    int32_t index = 0;
    std::string shaderFile;
    std::array<int32_t, 16> inputs{};
    int32_t inputCount = 0;
    FilterResources* resources = nullptr;
    // A declared stage's name and its own parameters, set on its shader every frame before the
    // actors' (which win over them where both have a name).
    std::string name;
    std::vector<std::pair<std::string, std::array<float, 4>>> parameters;

    // The same stage of a recipe (everything but the renderer's resources).
    bool sameRecipe(const FilterStage& other) const;
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

    // The stages a scene declares (at most MaxStages; empty: the fixed recipe). Any thread.
    void setRecipe(std::vector<FilterStage> stages);
    // The recipe last set, and whether a scene declared it.
    std::vector<FilterStage> recipe() const;
    bool declared() const;
    // Whether a recipe waits to be put in place of the stages.
    bool recipePending() const;
    // On the thread that runs the chain, between frames: the recipe set last takes the stages'
    // place (their resources are the caller's to make again). False when nothing changed.
    bool applyRecipe();

private:
    friend void buildDefaultFilterChain(FilterChain& chain);

    mutable std::mutex mutex_;
    std::map<std::string, Vector> parameters_;
    std::vector<FilterStage> recipe_; // as last set; empty: the fixed recipe
    bool declared_ = false;
    uint64_t recipeVersion_ = 0;
    uint64_t appliedVersion_ = 0;
};

// The fixed six-stage recipe: combine scene and overlay, blur it, blur the emissive channel,
// then distort and fade onto the screen. Puts it in place at once (start-up, tests).
void buildDefaultFilterChain(FilterChain& chain);
// The same recipe as a list of stages, named as `beatshow --new` declares it.
std::vector<FilterStage> defaultFilterRecipe();
