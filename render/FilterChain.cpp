#include "render/FilterChain.h"

#include <algorithm>
#include <initializer_list>

bool FilterStage::sameRecipe(const FilterStage& other) const {
    return index == other.index && shaderFile == other.shaderFile && inputs == other.inputs &&
           inputCount == other.inputCount && name == other.name && parameters == other.parameters;
}

void FilterChain::setFilterParameter(const std::string& name, const Vector& value) {
    std::lock_guard lock(mutex_);
    parameters_[name] = value;
}

std::map<std::string, Vector> FilterChain::parameters() const {
    std::lock_guard lock(mutex_);
    return parameters_;
}

void FilterChain::clearParameters() {
    std::lock_guard lock(mutex_);
    parameters_.clear();
}

void FilterChain::setRecipe(std::vector<FilterStage> stages) {
    const bool declare = !stages.empty();
    if (stages.size() > static_cast<size_t>(MaxStages)) stages.resize(static_cast<size_t>(MaxStages));
    for (size_t i = 0; i < stages.size(); ++i) {
        stages[i].index = static_cast<int32_t>(i);
        stages[i].resources = nullptr;
    }
    std::lock_guard lock(mutex_);
    if (declare == declared_ &&
        std::equal(stages.begin(), stages.end(), recipe_.begin(), recipe_.end(),
                   [](const FilterStage& a, const FilterStage& b) { return a.sameRecipe(b); }))
        return;
    if (!declare && !declared_) return; // the fixed recipe is in place
    recipe_ = declare ? std::move(stages) : defaultFilterRecipe();
    declared_ = declare;
    ++recipeVersion_;
}

std::vector<FilterStage> FilterChain::recipe() const {
    std::lock_guard lock(mutex_);
    return declared_ ? recipe_ : defaultFilterRecipe();
}

bool FilterChain::declared() const {
    std::lock_guard lock(mutex_);
    return declared_;
}

bool FilterChain::recipePending() const {
    std::lock_guard lock(mutex_);
    return appliedVersion_ != recipeVersion_;
}

bool FilterChain::applyRecipe() {
    std::lock_guard lock(mutex_);
    if (appliedVersion_ == recipeVersion_) return false;
    appliedVersion_ = recipeVersion_;
    stageCount = 0;
    for (const FilterStage& stage : recipe_) {
        FilterStage& slot = stages[static_cast<size_t>(stageCount)];
        slot = stage;
        slot.index = stageCount++;
    }
    return true;
}

namespace {

FilterStage makeStage(int32_t index, const char* name, const char* shaderFile,
                      std::initializer_list<int32_t> inputs) {
    FilterStage stage;
    stage.index = index;
    stage.name = name;
    stage.shaderFile = shaderFile;
    for (int32_t input : inputs)
        stage.inputs[static_cast<size_t>(stage.inputCount++)] = input;
    return stage;
}

} // namespace

std::vector<FilterStage> defaultFilterRecipe() {
    return {
        makeStage(0, "combine", "inputCombiner.psh", {FilterInputComposite, FilterInputOverlay}),
        makeStage(1, "blurX", "blurX.psh", {0}),
        makeStage(2, "blurY", "blurY.psh", {1}),
        makeStage(3, "glowX", "blurX.psh", {FilterInputEmissive}),
        makeStage(4, "glowY", "blurY.psh", {3}),
        makeStage(5, "distort", "distort01.psh", {2, 0, FilterInputOverlay, 4}),
    };
}

void buildDefaultFilterChain(FilterChain& chain) {
    chain.stageCount = 0;
    for (FilterStage& stage : defaultFilterRecipe()) {
        // The program's own stages carry no names: they are its recipe, not a scene's.
        stage.name.clear();
        chain.stages[static_cast<size_t>(chain.stageCount++)] = std::move(stage);
    }
    std::lock_guard lock(chain.mutex_);
    chain.recipe_.clear();
    chain.declared_ = false;
    chain.appliedVersion_ = chain.recipeVersion_;
}
