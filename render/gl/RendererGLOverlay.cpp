// The 2D side of the OpenGL renderer: fonts, the overlay pass with the canvases and text labels,
// the four drawing operations, and the post-processing chain that ends on the back buffer.
#include "render/gl/RendererGL.h"

#include "engine/base/Log.h"
#include "render/FilterChain.h"
#include "render/gl/GlFont.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Glyph quads: pixel position, ARGB colour, atlas coordinate.
const char* TextVertexSource = R"(#version 450 core
layout(location = 0) in vec2 inPosition;
layout(location = 1) in vec4 inColour;
layout(location = 2) in vec2 inTexCoord;
uniform float resX;
uniform float resY;
out gl_PerVertex { vec4 gl_Position; };
layout(location = 0) out vec4 colour;
layout(location = 1) out vec2 texCoord;
void main() {
    gl_Position = vec4(inPosition.x / resX * 2.0 - 1.0, 1.0 - inPosition.y / resY * 2.0, 0.0, 1.0);
    colour = inColour;
    texCoord = inTexCoord;
}
)";
const char* TextFragmentSource = R"(#version 450 core
layout(location = 0) in vec4 colour;
layout(location = 1) in vec2 texCoord;
uniform sampler2D atlas;
layout(location = 0) out vec4 outColour;
void main() { outColour = vec4(colour.rgb, colour.a * texture(atlas, texCoord).r); }
)";

struct OverlayVertex { // 28 bytes: x, y, z, rhw, ARGB colour, u, v
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
struct Prim3dVertex { // 24 bytes: x, y, z, ARGB colour, u, v
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(OverlayVertex) == 28 && sizeof(Prim3dVertex) == 24);

struct FontSpec {
    const char* face;
    int height;
    int advance; // monospace width per character, 0 for proportional faces
};
// The large font is the one the text actors centre on 28 pixels per character; its stand-in is
// sized to that width, so centred lines are centred.
constexpr FontSpec Fonts[3] = {{"Tahoma", 16, 0}, {"Consolas", 64, 28}, {"Tahoma", 24, 0}};

} // namespace

// ---- set-up (called from initialize) ----

int RendererGL::createFonts() {
    for (int i = 0; i < 3; ++i) {
        auto font = std::make_unique<GlFont>();
        std::string error;
        if (!font->build(findFontFile(Fonts[i].face), Fonts[i].height, error, Fonts[i].advance)) {
            logStream << "font " << i << " (" << Fonts[i].face << " " << Fonts[i].height << "): " << error
                      << std::endl;
            return -3;
        }
        fonts_[static_cast<size_t>(i)] = std::move(font);
    }
    std::string error;
    if (!textVertex_.buildSource("text vertex", TextVertexSource, GL_VERTEX_SHADER, error) ||
        !textFragment_.buildSource("text fragment", TextFragmentSource, GL_FRAGMENT_SHADER, error)) {
        logStream << "text shaders: " << error << std::endl;
        return -3;
    }
    glCreateVertexArrays(1, &textArray_);
    glVertexArrayVertexBuffer(textArray_, 0, overlayBuffer_, 0, sizeof(TextVertex));
    setVertexAttribute(textArray_, 0, 2, GL_FLOAT, 0);
    setVertexAttribute(textArray_, 1, GL_BGRA, GL_UNSIGNED_BYTE, 8, GL_TRUE);
    setVertexAttribute(textArray_, 2, 2, GL_FLOAT, 12);
    return 0;
}

void RendererGL::releaseOverlayObjects() {
    for (auto& font : fonts_)
        font.reset();
    scaledFonts_.clear();
    textVertex_.release();
    textFragment_.release();
    glDeleteVertexArrays(1, &textArray_);
    textArray_ = 0;
    releaseStageResources();
}

// ---- overlay pass ----

void RendererGL::overlayPass() {
    const int w = static_cast<int>(width_), h = static_cast<int>(height_);
    bindTarget(overlayFbo_, w, h);
    clearBound();
    prim3dShader_.setMatrix("WorldView", view_);
    prim3dShader_.setMatrix("Proj", projection_);
    overlayStages_ = OverlayStages::None;
    useOverlayStages(OverlayStages::Flat);
    overlayShader_.setFloat("resX", static_cast<float>(width_));
    overlayShader_.setFloat("resY", static_cast<float>(height_));
    flatShader_.setBool("useTex", false);
    textVertex_.setFloat("resX", static_cast<float>(width_));
    textVertex_.setFloat("resY", static_cast<float>(height_));
    // Rectangles and lines replace what lies below them, whatever their colour's alpha: a colour
    // written as 0x00RRGGBB shows as it does on the target it was written for, which has no
    // alpha. Only text blends (flushText), for its anti-aliased edges. The overlay's own alpha is
    // never written and reads 1 everywhere.
    glDisable(GL_BLEND);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);

    inOverlay_ = true;
    {
        // Held while canvases draw, so an owner on another thread cannot remove (and free) a
        // canvas or label that is being drawn; a canvas may add or remove on this thread.
        std::lock_guard lock(overlayListsMutex_);
        drawCanvases();
        drawTextLabels();
    }
    flushText();
    inOverlay_ = false;
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

// Under the overlay lists' lock. A canvas may remove itself or another while drawing: each is
// called only while it is still registered.
void RendererGL::drawCanvases() {
    const std::vector<CanvasInterface*> canvases = canvases_;
    for (CanvasInterface* canvas : canvases)
        if (std::find(canvases_.begin(), canvases_.end(), canvas) != canvases_.end()) canvas->draw(&context_);
}

// Labels go after the canvases, so the loading label stays on top of whatever they draw.
void RendererGL::drawTextLabels() {
    const std::vector<TextLabel*> labels = labels_;
    for (const TextLabel* label : labels) {
        const size_t length = strnlen(label->text.data(), label->text.size());
        drawText(std::string(label->text.data(), length), label->x, label->y, label->colour,
                 label->fontChoice ? 1 : 0);
    }
}

void RendererGL::skipFrame(float) {
    if (!initialized_) return;
    renderThread_ = std::this_thread::get_id();
    skipping_ = true;
    {
        std::lock_guard lock(overlayListsMutex_);
        drawCanvases();
    }
    skipping_ = false;
}

bool RendererGL::mayDraw(const char* operation) {
    // A replayed frame's canvases draw into nothing, and that is no misuse.
    if (skipping_) return false;
    if (inOverlay_ && std::this_thread::get_id() == renderThread_) return true;
    if (!misuseReported_) {
        logStream << operation << " draws only inside a canvas's draw callback; nothing was drawn"
                  << std::endl;
        misuseReported_ = true;
    }
    return false;
}

void RendererGL::useOverlayStages(OverlayStages stages) {
    if (stages == overlayStages_) return;
    overlayStages_ = stages;
    if (stages == OverlayStages::Flat) useStages(overlayShader_, flatShader_);
    if (stages == OverlayStages::Prim3d) useStages(prim3dShader_, flatShader_);
    if (stages == OverlayStages::Text) useStages(textVertex_, textFragment_);
}

void RendererGL::makeStreamBuffer(size_t halfBytes) {
    deleteStreamBuffer();
    const GLbitfield flags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    glCreateBuffers(1, &overlayBuffer_);
    glNamedBufferStorage(overlayBuffer_, static_cast<GLsizeiptr>(2 * halfBytes), nullptr, flags);
    streamMapped_ = static_cast<uint8_t*>(
        glMapNamedBufferRange(overlayBuffer_, 0, static_cast<GLsizeiptr>(2 * halfBytes), flags));
    streamHalfBytes_ = halfBytes;
    streamHalf_ = 0;
    streamOffset_ = 0;
}

void RendererGL::deleteStreamBuffer() {
    for (GLsync& fence : streamFences_) {
        if (fence) glDeleteSync(fence);
        fence = nullptr;
    }
    // Draws still queued keep the store alive until they are done.
    if (overlayBuffer_) glDeleteBuffers(1, &overlayBuffer_);
    overlayBuffer_ = 0;
    streamMapped_ = nullptr;
}

GLintptr RendererGL::streamVertices(const void* data, size_t bytes, size_t stride) {
    if (bytes > streamHalfBytes_) makeStreamBuffer(std::max(2 * streamHalfBytes_, bytes));
    size_t offset = (streamOffset_ + stride - 1) / stride * stride;
    if (offset + bytes > (streamHalf_ + 1) * streamHalfBytes_) {
        // This half is full: fence the draws that read it, and write on in the other half once
        // the draws that read that one before have finished (mostly long ago).
        streamFences_[streamHalf_] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        streamHalf_ ^= 1;
        if (GLsync& fence = streamFences_[streamHalf_]) {
            while (glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000) == GL_TIMEOUT_EXPIRED) {
            }
            glDeleteSync(fence);
            fence = nullptr;
        }
        offset = streamHalf_ * streamHalfBytes_;
    }
    if (streamMapped_) std::memcpy(streamMapped_ + offset, data, bytes);
    streamOffset_ = offset + bytes;
    return static_cast<GLintptr>(offset);
}

// Text is gathered and drawn in one batch per font until another drawing operation comes, so
// a page of text costs one draw, and drawing order is kept.
void RendererGL::flushText() {
    if (pendingText_.empty()) return;
    const GLintptr offset =
        streamVertices(pendingText_.data(), pendingText_.size() * sizeof(TextVertex), sizeof(TextVertex));
    useOverlayStages(OverlayStages::Text);
    textFragment_.bindTexture("atlas", pendingAtlas_);
    glVertexArrayVertexBuffer(textArray_, 0, overlayBuffer_, offset, sizeof(TextVertex));
    glBindVertexArray(textArray_);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(pendingText_.size()));
    glDisable(GL_BLEND);
    pendingText_.clear();
}

int RendererGL::drawText(std::string text, int x, int y, uint32_t colour, int font) {
    if (font < 0 || font > 2 || !fonts_[static_cast<size_t>(font)]) return 0;
    const GlFont& f = *fonts_[static_cast<size_t>(font)];
    if (text.empty()) return 0;
    if (!mayDraw("drawText")) return f.lineHeight();
    if (f.atlas() != pendingAtlas_) flushText();
    pendingAtlas_ = f.atlas();
    // Not clipped: glyphs beyond the target's edge simply fall off it.
    glyphScratch_.clear();
    const int lines =
        f.layout(text.data(), text.size(), static_cast<float>(x), static_cast<float>(y), glyphScratch_);
    for (const GlFont::Vertex& v : glyphScratch_)
        pendingText_.push_back({v.x, v.y, colour, v.u, v.v});
    return lines * f.lineHeight();
}

void RendererGL::drawLine2D(int x1, int y1, int x2, int y2, uint32_t colour) {
    if (!mayDraw("drawLine2D")) return;
    flushText();
    const OverlayVertex vertices[2] = {
        {static_cast<float>(x1), static_cast<float>(y1), 1.0f, 0.0f, colour, 0, 0},
        {static_cast<float>(x2), static_cast<float>(y2), 1.0f, 0.0f, colour, 0, 0},
    };
    const GLintptr offset = streamVertices(vertices, sizeof vertices, sizeof(OverlayVertex));
    useOverlayStages(OverlayStages::Flat);
    overlayShader_.setVector("pixelOffset", 0.5f, 0.5f, 0, 0); // integer coordinates on pixel centres
    glVertexArrayVertexBuffer(overlayArray_, 0, overlayBuffer_, offset, sizeof(OverlayVertex));
    glBindVertexArray(overlayArray_);
    glDrawArrays(GL_LINES, 0, 2);
    overlayShader_.setVector("pixelOffset", 0, 0, 0, 0);
}

void RendererGL::drawRect(int x1, int y1, int x2, int y2, uint32_t colour, const char* materialName) {
    if (!mayDraw("drawRect")) return;
    flushText();
    useOverlayStages(OverlayStages::Flat);
    const float fx1 = static_cast<float>(x1), fy1 = static_cast<float>(y1);
    const float fx2 = static_cast<float>(x2), fy2 = static_cast<float>(y2);
    const OverlayVertex vertices[6] = {
        {fx1, fy1, 1, 1, colour, 0, 0}, {fx1, fy2, 1, 1, colour, 0, 1}, {fx2, fy2, 1, 1, colour, 1, 1},
        {fx2, fy2, 1, 1, colour, 1, 1}, {fx2, fy1, 1, 1, colour, 1, 0}, {fx1, fy1, 1, 1, colour, 0, 0},
    };
    glBindVertexArray(overlayArray_);
    if (!materialName) {
        // The outline, closed: all four edges.
        const OverlayVertex outline[4] = {vertices[0], vertices[1], vertices[2], vertices[4]};
        const GLintptr offset = streamVertices(outline, sizeof outline, sizeof(OverlayVertex));
        glVertexArrayVertexBuffer(overlayArray_, 0, overlayBuffer_, offset, sizeof(OverlayVertex));
        overlayShader_.setVector("pixelOffset", 0.5f, 0.5f, 0, 0);
        glDrawArrays(GL_LINE_LOOP, 0, 4);
        overlayShader_.setVector("pixelOffset", 0, 0, 0, 0);
        return;
    }
    // The material list is looked up while the loader thread may be adding to it: under its lock,
    // waiting no longer than a frame would. A texture found stays valid until the next frame.
    GLuint texture = 0;
    if (materialsLock_.try_lock_for(frameWait_)) {
        if (const MaterialEntry* entry = findMaterialLocked(materialName)) texture = entry->textures[0];
        materialsLock_.unlock();
    }
    const GlProgram::Uniform sampler = flatShader_.find("inputTex");
    const bool textured = texture && sampler.isSampler();
    if (textured) {
        flatShader_.bindTexture(sampler, texture);
        flatShader_.setBool("useTex", true);
    }
    const GLintptr offset = streamVertices(vertices, sizeof vertices, sizeof(OverlayVertex));
    glVertexArrayVertexBuffer(overlayArray_, 0, overlayBuffer_, offset, sizeof(OverlayVertex));
    glDrawArrays(GL_TRIANGLES, 0, 6);
    if (textured) flatShader_.setBool("useTex", false);
}

void RendererGL::drawLine3D(float x1, float y1, float z1, float x2, float y2, float z2, uint32_t colour) {
    if (!mayDraw("drawLine3D")) return;
    flushText();
    const Prim3dVertex vertices[2] = {{x1, y1, z1, colour, 0, 0}, {x2, y2, z2, colour, 0, 0}};
    const GLintptr offset = streamVertices(vertices, sizeof vertices, sizeof(Prim3dVertex));
    useOverlayStages(OverlayStages::Prim3d);
    glVertexArrayVertexBuffer(prim3dArray_, 0, overlayBuffer_, offset, sizeof(Prim3dVertex));
    glBindVertexArray(prim3dArray_);
    glDrawArrays(GL_LINES, 0, 2);
    // The next 2D drawing switches back to the overlay vertex shader before it draws.
}

// ---- filter chain ----

void RendererGL::releaseStageResources() {
    for (auto& resources : stageResources_) {
        glDeleteFramebuffers(1, &resources->framebuffer);
        glDeleteTextures(1, &resources->target);
    }
    if (chain_)
        for (int i = 0; i < FilterChain::MaxStages; ++i)
            chain_->stage(i).resources = nullptr;
    stageResources_.clear();
}

int RendererGL::setFilterChain(FilterChain* chain) {
    if (!initialized_) {
        chain_ = chain;
        return chain ? chain->count() : 0;
    }
    releaseStageResources();
    chain_ = chain;
    if (!chain || chain->count() <= 0) return 0;
    buildStageResources();
    noteProgramsChanged();
    return chain->count();
}

void RendererGL::buildStageResources() {
    FilterChain* chain = chain_;
    if (!chain) return;
    const bool declared = chain->declared();
    const int count = std::min(chain->count(), FilterChain::MaxStages);
    for (int i = 0; i < count; ++i) {
        FilterStage& stage = chain->stage(i);
        auto resources = std::make_unique<FilterResources>();
        std::string error;
        if (!resources->shader.build(stage.shaderFile, GL_FRAGMENT_SHADER, error)) {
            showMessageBox("PShaderError", error);
            logStream << "FAIL!" << std::endl;
            logStream << "filter stage " << i << ": " << error << std::endl;
            noteProblem("filter stage shader " + stage.shaderFile + " does not compile");
            // A scene's own stage shows what is wrong with it over the picture, as a reload does.
            if (declared) {
                std::lock_guard lock(lookMutex_);
                shaderProblems_[stage.shaderFile] = error;
            }
        }
        makeStageTarget(*resources);
        stage.resources = resources.get();
        stageResources_.push_back(std::move(resources));
    }
}

void RendererGL::makeStageTarget(FilterResources& resources) {
    // A stage whose picture is smooth may ask for fewer pixels: "targetScale" is its target's
    // width and height as a fraction of the back buffer's (from 1/16 to 1; otherwise whole).
    float scale = 1.0f;
    if (!resources.shader.readFloat("targetScale", scale) || !(scale >= 1.0f / 16.0f && scale <= 1.0f))
        scale = 1.0f;
    const int width = std::max(1, static_cast<int>(std::ceil(static_cast<float>(width_) * scale)));
    const int height = std::max(1, static_cast<int>(std::ceil(static_cast<float>(height_) * scale)));
    if (resources.target && resources.width == width && resources.height == height) return;
    glDeleteFramebuffers(1, &resources.framebuffer);
    glDeleteTextures(1, &resources.target);
    resources.width = width;
    resources.height = height;
    glCreateTextures(GL_TEXTURE_2D, 1, &resources.target);
    glTextureStorage2D(resources.target, 1, GL_RGBA8, width, height);
    glTextureParameteri(resources.target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTextureParameteri(resources.target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTextureParameteri(resources.target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTextureParameteri(resources.target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // Transparent black: a target no frame has drawn into yet is told apart from a cleared one.
    const float none[4] = {0, 0, 0, 0};
    glClearTexImage(resources.target, 0, GL_RGBA, GL_FLOAT, none);
    glCreateFramebuffers(1, &resources.framebuffer);
    glNamedFramebufferTexture(resources.framebuffer, GL_COLOR_ATTACHMENT0, resources.target, 0);
    glNamedFramebufferDrawBuffer(resources.framebuffer, GL_COLOR_ATTACHMENT0);
}

FilterResources* RendererGL::resourcesOf(int stage) const {
    if (stage < 0 || static_cast<size_t>(stage) >= stageResources_.size()) return nullptr;
    return stageResources_[static_cast<size_t>(stage)].get();
}

GLuint RendererGL::filterInputTexture(int input) const {
    switch (input) {
    case FilterInputComposite:
        return targets_[static_cast<size_t>(Target::Composite)];
    case FilterInputOverlay:
        return targets_[static_cast<size_t>(Target::Overlay)];
    case FilterInputEmissive:
        return targets_[static_cast<size_t>(Target::Emissive)];
    default:
        if (const FilterResources* resources = resourcesOf(input)) return resources->target;
        return 0; // nothing: the sampler reads black
    }
}

void RendererGL::runFilterChain() {
    const GLint w = static_cast<GLint>(width_), h = static_cast<GLint>(height_);
    if (!chain_) {
        // Without a chain the shaded picture is shown as it is.
        glBlitNamedFramebuffer(compositeFbo_, backBufferFbo_, 0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT,
                               GL_NEAREST);
        return;
    }
    const int count = std::min(chain_->count(), FilterChain::MaxStages);
    stagesStamped_ = 0;
    if (count <= 0) return; // the back buffer keeps what it held
    const std::map<std::string, Vector> parameters = chain_->parameters(); // in byte-wise name order
    overlayShader_.setFloat("resX", static_cast<float>(width_));
    overlayShader_.setFloat("resY", static_cast<float>(height_));
    overlayShader_.setVector("pixelOffset", 0, 0, 0, 0);
    char samplerName[16];
    for (int i = 0; i < count; ++i) {
        const FilterStage& stage = chain_->stage(i);
        FilterResources* resources = resourcesOf(i);
        if (!resources || !resources->shader.valid()) { // failed to compile: skipped
            stageTimestamp(i);
            continue;
        }
        const bool last = i == count - 1;
        if (last) {
            bindTarget(backBufferFbo_, w, h); // not cleared
        } else {
            // The quad's corners are in back-buffer pixels: it covers a smaller target all the same.
            bindTarget(resources->framebuffer, resources->width, resources->height);
            clearBound();
        }
        const GlProgram& shader = resources->shader;
        useStages(overlayShader_, shader);
        const int inputs = std::clamp(stage.inputCount, 0, 16);
        for (int j = 0; j < 16; ++j) {
            std::snprintf(samplerName, sizeof samplerName, "input%u", static_cast<unsigned>(j));
            const int source = stage.inputs[static_cast<size_t>(j)];
            // Unused inputs, and the target the stage is drawing into, read as nothing (black).
            const GLuint texture = j >= inputs || (!last && source == i) ? 0 : filterInputTexture(source);
            shader.bindTexture(samplerName, texture);
        }
        // The stage's own parameters first: an actor's parameter of the same name wins.
        for (const auto& [name, value] : stage.parameters)
            shader.setVector(name.c_str(), value[0], value[1], value[2], value[3]);
        for (const auto& [name, value] : parameters)
            shader.setVector(name.c_str(), value.x, value.y, value.z, 0.0f);
        shader.setFloat("resX", static_cast<float>(width_));
        shader.setFloat("resY", static_cast<float>(height_));
        drawFullScreenQuad();
        stageTimestamp(i);
    }
}

bool RendererGL::readStageTarget(int stage, std::vector<float>& rgba, int& width, int& height) {
    const FilterResources* resources = resourcesOf(stage);
    if (!initialized_ || !resources) return false;
    width = resources->width;
    height = resources->height;
    rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glGetTextureImage(resources->target, 0, GL_RGBA, GL_FLOAT,
                      static_cast<GLsizei>(rgba.size() * sizeof(float)), rgba.data());
    return glGetError() == GL_NO_ERROR;
}

// ---- live work: lines over the picture, pass times, shaders built again ----

void RendererGL::setScreenText(const std::vector<ScreenLine>& lines) {
    std::lock_guard lock(screenTextMutex_);
    screenText_ = lines;
}

// On the back buffer after the filter chain: no post effect reaches these lines. Each has a
// dark shadow, so it reads on any picture.
void RendererGL::drawScreenText() {
    std::vector<ScreenLine> lines;
    {
        std::lock_guard lock(screenTextMutex_);
        lines = screenText_;
    }
    if (lines.empty() || !fonts_[0]) return;
    bindTarget(backBufferFbo_, static_cast<int>(width_), static_cast<int>(height_));
    overlayStages_ = OverlayStages::None;
    useOverlayStages(OverlayStages::Flat);
    glDisable(GL_BLEND);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    inOverlay_ = true;
    const int lineHeight = fonts_[0]->lineHeight();
    int y = 6;
    for (const ScreenLine& line : lines) {
        drawText(line.text, 9, y + 1, 0xFF000000, 0);
        drawText(line.text, 8, y, line.colour, 0);
        y += lineHeight;
    }
    flushText();
    inOverlay_ = false;
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void RendererGL::enablePassTiming(bool on) {
    passClock_ = on ? PassClock::TimerQueries : PassClock::Off;
}

std::vector<std::pair<std::string, double>> RendererGL::passMilliseconds() {
    const PassTimes t = passTimes_;
    if (!t.valid) return {};
    std::vector<std::pair<std::string, double>> times = {
        {"geometry", t.geometry},       {"shadows", t.shadow},  {"lighting", t.lighting},
        {"composition", t.composition}, {"overlay", t.overlay},
    };
    for (size_t i = 0; i < t.stages.size(); ++i)
        times.push_back({"filter " + std::to_string(i), t.stages[i]});
    return times;
}

int RendererGL::reloadShader(const std::string& file, std::string& error) {
    if (!initialized_) return 1;
    // The file names as the renderer built them; a file may serve more than one filter stage.
    std::vector<std::pair<GlProgram*, GLenum>> users;
    GlProgram* fixed[] = {&diffuseShader_, &lightingShader_, &gShader_,          &gShaderNv_,
                          &meshShader_,    &defferedShader_, &flatShader_,       &depthShader_,
                          &overlayShader_, &prim3dShader_,   &meshShaderSimple_, &meshShaderNv_};
    for (GlProgram* program : fixed)
        if (program->file() == file)
            users.push_back({program, file.size() > 4 && file.compare(file.size() - 4, 4, ".vsh") == 0
                                          ? GL_VERTEX_SHADER
                                          : GL_FRAGMENT_SHADER});
    if (chain_)
        for (int i = 0; i < std::min(chain_->count(), FilterChain::MaxStages); ++i)
            if (chain_->stage(i).shaderFile == file)
                if (FilterResources* resources = resourcesOf(i))
                    users.push_back({&resources->shader, GL_FRAGMENT_SHADER});
    for (auto& [key, program] : materialPrograms_)
        if (key.first == file) users.push_back({program.get(), key.second});
    if (users.empty()) return 1;
    GlProgram built;
    if (!built.build(file, users.front().second, error)) return -1;
    for (auto& [program, stage] : users) {
        GlProgram copy;
        if (program != users.front().first && !copy.build(file, stage, error)) return -1;
        program->swap(program == users.front().first ? built : copy);
    }
    // A stage's shader may ask for another size of target.
    for (const auto& resources : stageResources_)
        if (resources->shader.file() == file) makeStageTarget(*resources);
    // The old programs go with `built` and the copies; the pipeline binds programs per draw.
    overlayStages_ = OverlayStages::None;
    ++shaderBuilds_;
    {
        std::lock_guard lock(lookMutex_);
        shaderProblems_.erase(file);
    }
    noteProgramsChanged();
    return 0;
}
