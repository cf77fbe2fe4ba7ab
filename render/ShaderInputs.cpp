#include "render/ShaderInputs.h"

#include <algorithm>

const ShaderInput* ShaderInputs::find(const std::string& name) const {
    for (const ShaderInput& input : values)
        if (input.name == name) return &input;
    return nullptr;
}

void ShaderInputs::set(const std::string& name, std::array<float, 4> value, int components) {
    for (ShaderInput& input : values)
        if (input.name == name) {
            input.value = value;
            input.components = components;
            return;
        }
    values.push_back({name, value, components});
}

const std::vector<std::string>& builtInShaderInputs() {
    static const std::vector<std::string> names = {"time", "beat", "bar", "bass", "mid", "treble"};
    return names;
}

const std::vector<std::string>& musicBandInputs() {
    static const std::vector<std::string> names = {"bass", "mid", "treble"};
    return names;
}

const std::vector<std::string>& rendererConstantNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list = {// geometry and shadow passes
                                         "Proj", "WorldView", "ModelMat", "NormalMat", "emissiveScale",
                                         "diffuseMap", "normalMap", "emissiveMap", "lightPosUT",
                                         // lighting and composition
                                         "camPos", "normalPass", "depthPass", "lightCol", "lightCutoff",
                                         "shadowMap", "diffusePass", "lightingPass", "specularPass",
                                         "emissivePass",
                                         // full-screen quads, the overlay and the filter stages
                                         "resX", "resY", "pixelOffset", "useTex", "inputTex", "atlas",
                                         // the filter parameters the actors set
                                         "distortParam1", "distortParam2", "fadeParam", "inputCombine1",
                                         // what the shaders tell the renderer: read, never set
                                         "lightReach", "targetScale"};
        for (int i = 0; i < 16; ++i)
            list.push_back("input" + std::to_string(i));
        return list;
    }();
    return names;
}

bool isRendererConstant(const std::string& name) {
    const auto& names = rendererConstantNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isUniformName(const std::string& name) {
    if (name.empty()) return false;
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (!letter(name.front())) return false;
    for (char c : name)
        if (!letter(c) && !(c >= '0' && c <= '9')) return false;
    return name.rfind("gl_", 0) != 0 && name.find("__") == std::string::npos;
}
