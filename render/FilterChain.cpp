#include "render/FilterChain.h"

#include <initializer_list>

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

namespace {

void appendStage(FilterChain& chain, const char* shaderFile, std::initializer_list<int32_t> inputs) {
    FilterStage& stage = chain.stages[static_cast<size_t>(chain.stageCount)];
    stage = FilterStage{};
    stage.index = chain.stageCount;
    stage.shaderFile = shaderFile;
    for (int32_t input : inputs)
        stage.inputs[static_cast<size_t>(stage.inputCount++)] = input;
    ++chain.stageCount;
}

} // namespace

void buildDefaultFilterChain(FilterChain& chain) {
    chain.stageCount = 0;
    appendStage(chain, "inputCombiner.psh", {FilterInputComposite, FilterInputOverlay});
    appendStage(chain, "blurX.psh", {0});
    appendStage(chain, "blurY.psh", {1});
    appendStage(chain, "blurX.psh", {FilterInputEmissive});
    appendStage(chain, "blurY.psh", {3});
    appendStage(chain, "distort01.psh", {2, 0, FilterInputOverlay, 4});
}
