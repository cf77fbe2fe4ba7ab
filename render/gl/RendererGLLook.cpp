// The show's own look on the OpenGL renderer: the inputs every program reads by name (tracks,
// time, beat, bar, the music's bands and spectrum), the shader pairs of materials, and a filter
// recipe declared by the scene, put in place between two frames.
//
// Inputs reach a program as values of its own uniforms (glProgramUniform), once per frame before
// the passes, so no pass has to know of them; the renderer's own constants are set by the passes
// afterwards and win. The spectrum is a 1D texture on a texture unit of its own, which every
// program's "spectrum" sampler uses.
#include "render/gl/RendererGL.h"

#include "engine/base/Log.h"
#include "render/FilterChain.h"

#include <algorithm>

namespace {

bool isFloatVector(GLenum type) {
    return type == GL_FLOAT || type == GL_FLOAT_VEC2 || type == GL_FLOAT_VEC3 || type == GL_FLOAT_VEC4;
}

} // namespace

void RendererGL::setShaderInputs(const ShaderInputs& inputs) {
    bool sameNames = inputs.values.size() == inputs_.values.size();
    for (size_t i = 0; sameNames && i < inputs.values.size(); ++i)
        sameNames = inputs.values[i].name == inputs_.values[i].name;
    if (!sameNames) ++inputNames_;
    inputs_ = inputs;
}

bool RendererGL::declaresShaderInput(const std::string& name) {
    std::lock_guard lock(lookMutex_);
    return std::binary_search(declaredNames_.begin(), declaredNames_.end(), name);
}

void RendererGL::setMaterialShaders(const std::vector<MaterialShaders>& table) {
    std::lock_guard lock(lookMutex_);
    // The same table again (a seek loads the scene again) changes nothing.
    if (!materialShadersPending_ && table == pendingMaterialShaders_) return;
    pendingMaterialShaders_ = table;
    materialShadersPending_ = true;
}

std::vector<std::pair<std::string, std::string>> RendererGL::shaderProblems() {
    std::lock_guard lock(lookMutex_);
    return {shaderProblems_.begin(), shaderProblems_.end()};
}

bool RendererGL::lookPending() {
    {
        std::lock_guard lock(lookMutex_);
        if (materialShadersPending_) return true;
    }
    return chain_ && chain_->recipePending();
}

void RendererGL::makePendingLook() {
    bool changed = false;
    if (chain_ && chain_->applyRecipe()) {
        // Stages that keep their files keep their shaders and targets; otherwise all are made
        // again (a stage's target is read by index, so a new order needs new ones).
        bool sameFiles = static_cast<size_t>(chain_->count()) == stageResources_.size();
        for (int i = 0; sameFiles && i < chain_->count(); ++i)
            sameFiles = stageResources_[static_cast<size_t>(i)]->shader.file() == chain_->stage(i).shaderFile;
        if (sameFiles) {
            for (int i = 0; i < chain_->count(); ++i)
                chain_->stage(i).resources = stageResources_[static_cast<size_t>(i)].get();
        } else {
            releaseStageResources();
            buildStageResources();
            changed = true;
        }
    }
    std::vector<MaterialShaders> table;
    bool tableChanged = false;
    {
        std::lock_guard lock(lookMutex_);
        if (materialShadersPending_) {
            table = pendingMaterialShaders_;
            materialShadersPending_ = false;
            tableChanged = true;
        }
    }
    if (tableChanged) {
        materialLooks_.clear();
        for (const MaterialShaders& entry : table) {
            MaterialLook look;
            if (!entry.vertexFile.empty()) look.vertex = materialProgram(entry.vertexFile, GL_VERTEX_SHADER);
            if (!entry.pixelFile.empty()) look.pixel = materialProgram(entry.pixelFile, GL_FRAGMENT_SHADER);
            materialLooks_[entry.material] = look;
        }
        changed = true;
    }
    if (changed) noteProgramsChanged();
}

GlProgram* RendererGL::materialProgram(const std::string& file, GLenum stage) {
    auto& slot = materialPrograms_[{file, stage}];
    if (slot) return slot.get();
    slot = std::make_unique<GlProgram>();
    std::string error;
    if (!slot->build(file, stage, error)) {
        logStream << "shader " << file << " does not compile; the materials that name it draw with the "
                  << (stage == GL_VERTEX_SHADER ? "vertex" : "pixel") << " shader of the program: " << error
                  << std::endl;
        std::lock_guard lock(lookMutex_);
        shaderProblems_[file] = error;
    }
    return slot.get();
}

std::vector<GlProgram*> RendererGL::allPrograms() {
    std::vector<GlProgram*> programs = {&diffuseShader_, &lightingShader_,   &gShader_,
                                        &gShaderNv_,     &meshShader_,       &defferedShader_,
                                        &flatShader_,    &depthShader_,      &overlayShader_,
                                        &prim3dShader_,  &meshShaderSimple_, &meshShaderNv_};
    for (const auto& resources : stageResources_)
        programs.push_back(&resources->shader);
    for (const auto& [key, program] : materialPrograms_)
        programs.push_back(program.get());
    return programs;
}

void RendererGL::noteProgramsChanged() {
    std::vector<std::string> names;
    std::vector<std::string> files;
    const std::vector<GlProgram*> programs = allPrograms();
    for (const GlProgram* program : programs) {
        files.push_back(program->file());
        if (!program->valid()) continue;
        for (const GlProgram::Entry& entry : program->uniforms())
            names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    // Feeds of programs that are gone are forgotten (their address may serve a new one).
    for (auto it = feeds_.begin(); it != feeds_.end();)
        it = std::find(programs.begin(), programs.end(), it->first) == programs.end() ? feeds_.erase(it)
                                                                                      : std::next(it);
    std::lock_guard lock(lookMutex_);
    declaredNames_ = std::move(names);
    // A problem of a file no program is built from any more is no problem of the show's.
    for (auto it = shaderProblems_.begin(); it != shaderProblems_.end();)
        it = std::find(files.begin(), files.end(), it->first) == files.end() ? shaderProblems_.erase(it)
                                                                             : std::next(it);
}

void RendererGL::feedShaderInputs() {
    for (GlProgram* program : allPrograms()) {
        if (!program->valid()) continue;
        Feed& feed = feeds_[program];
        if (feed.program != program->id()) {
            feed = Feed{};
            feed.program = program->id();
        }
        if (feed.names != inputNames_) {
            std::vector<std::pair<GlProgram::Uniform, size_t>> fed;
            for (const GlProgram::Entry& entry : program->uniforms()) {
                if (!isFloatVector(entry.uniform.type)) continue;
                for (size_t i = 0; i < inputs_.values.size(); ++i)
                    if (inputs_.values[i].name == entry.name) fed.emplace_back(entry.uniform, i);
            }
            // A uniform whose input went (a track taken out of the scene) gets back its own value.
            for (const auto& [uniform, index] : feed.fed) {
                (void)index;
                const bool still = std::any_of(fed.begin(), fed.end(), [&](const auto& f) {
                    return f.first.location == uniform.location;
                });
                if (still) continue;
                for (const auto& [location, value] : feed.initial)
                    if (location == uniform.location)
                        program->setVector(uniform, value[0], value[1], value[2], value[3]);
            }
            for (const auto& [uniform, index] : fed) {
                (void)index;
                const bool known = std::any_of(feed.initial.begin(), feed.initial.end(),
                                               [&](const auto& i) { return i.first == uniform.location; });
                if (known) continue;
                std::array<float, 4> value{};
                glGetnUniformfv(program->id(), uniform.location, static_cast<GLsizei>(sizeof value),
                                value.data());
                feed.initial.emplace_back(uniform.location, value);
            }
            feed.fed = std::move(fed);
            feed.names = inputNames_;
        }
        for (const auto& [uniform, index] : feed.fed) {
            const std::array<float, 4>& v = inputs_.values[index].value;
            program->setVector(uniform, v[0], v[1], v[2], v[3]);
        }
    }

    if (!spectrumTexture_) {
        GLint units = 0;
        glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &units);
        glCreateTextures(GL_TEXTURE_1D, 1, &spectrumTexture_);
        glTextureStorage1D(spectrumTexture_, 1, GL_R32F, ShaderInputs::SpectrumBins);
        glTextureParameteri(spectrumTexture_, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTextureParameteri(spectrumTexture_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTextureParameteri(spectrumTexture_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        spectrumCleared_ = false;
    }
    if (inputs_.hasSpectrum) {
        glTextureSubImage1D(spectrumTexture_, 0, 0, ShaderInputs::SpectrumBins, GL_RED, GL_FLOAT,
                            inputs_.spectrum.data());
        spectrumCleared_ = false;
    } else if (!spectrumCleared_) {
        const float zero = 0.0f;
        glClearTexImage(spectrumTexture_, 0, GL_RED, GL_FLOAT, &zero);
        spectrumCleared_ = true;
    }
    glBindTextureUnit(static_cast<GLuint>(spectrumUnit_), spectrumTexture_);
}
