#include "render/RecordingRenderer.h"

#include "engine/base/Viewport.h"
#include "render/FilterChain.h"
#include "render/InstanceTransform.h"
#include "render/Material.h"
#include "render/Mesh.h"

#include <algorithm>
#include <cstring>

namespace {

template <class T>
bool eraseFirst(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

} // namespace

void RecordingRenderer::record(const char* operation) {
    std::lock_guard lock(mutex_);
    calls_.emplace_back(operation);
}

void RecordingRenderer::destroy() {
    record("destroy");
    std::lock_guard lock(mutex_);
    meshes_.clear();
    instances_.clear();
    materials_.clear();
    lights_.clear();
    labels_.clear();
    canvases_.clear();
    lineSets_.clear();
}

int RecordingRenderer::initialize(Viewport* window) {
    record("initialize");
    std::lock_guard lock(mutex_);
    width_ = window ? window->width : 0;
    height_ = window ? window->height : 0;
    return 0;
}

void RecordingRenderer::shutdown() {
    record("shutdown");
}

void RecordingRenderer::renderFrame(float) {
    std::vector<CanvasInterface*> canvases;
    {
        std::lock_guard lock(mutex_);
        calls_.emplace_back("renderFrame");
        for (RenderInstance* instance : instances_)
            if (instance->hasModelMatrix && instance->scale && instance->rotation && instance->position) {
                instance->modelMatrix = instanceModelMatrix(*instance);
                if (instance->dirty && *instance->dirty) *instance->dirty = 0;
            }
        drawing_.clear();
        canvases = canvases_;
    }
    for (CanvasInterface* canvas : canvases)
        canvas->draw(&context_);
    std::lock_guard lock(mutex_);
    lastFrame_ = drawing_;
    ++frames_;
}

void RecordingRenderer::skipFrame(float) {
    std::vector<CanvasInterface*> canvases;
    std::vector<DrawCommand> kept;
    {
        std::lock_guard lock(mutex_);
        calls_.emplace_back("skipFrame");
        canvases = canvases_;
        kept.swap(drawing_);
    }
    for (CanvasInterface* canvas : canvases)
        canvas->draw(&context_);
    std::lock_guard lock(mutex_);
    drawing_.swap(kept);
}

int RecordingRenderer::addMesh(Mesh* mesh) {
    record("addMesh");
    if (!mesh) return 0;
    std::lock_guard lock(mutex_);
    uint32_t stride = 0;
    if (!mesh->positions.empty()) stride += 12;
    if (!mesh->normals.empty()) stride += 12;
    if (!mesh->texCoords.empty()) stride += 8;
    if (!mesh->tangents.empty()) stride += 12;
    if (!mesh->binormals.empty()) stride += 12;
    mesh->stride = stride;
    meshes_.push_back(mesh);
    return 0;
}

int RecordingRenderer::releaseMesh(Mesh* mesh) {
    record("releaseMesh");
    std::lock_guard lock(mutex_);
    return eraseFirst(meshes_, mesh) ? 0 : -1;
}

int RecordingRenderer::addRenderInstance(RenderInstance* instance) {
    record("addRenderInstance");
    std::lock_guard lock(mutex_);
    if (!instance || std::find(meshes_.begin(), meshes_.end(), instance->mesh) == meshes_.end()) return -1;
    // The mesh entry is the renderer's own record; the mesh pointer stands in for it here.
    instance->meshEntry = reinterpret_cast<MeshEntry*>(instance->mesh);
    instance->hasModelMatrix = true;
    instance->modelMatrix = Matrix::identity();
    instances_.insert(instances_.begin(), instance);
    return 0;
}

int RecordingRenderer::removeRenderInstance(RenderInstance* instance) {
    record("removeRenderInstance");
    std::lock_guard lock(mutex_);
    if (!eraseFirst(instances_, instance)) return -1;
    instance->meshEntry = nullptr;
    instance->hasModelMatrix = false;
    return 0;
}

int RecordingRenderer::addMaterial(Material* material) {
    record("addMaterial");
    std::lock_guard lock(mutex_);
    if (material) materials_.insert(materials_.begin(), material);
    return 0;
}

int RecordingRenderer::removeMaterial(Material* material) {
    record("removeMaterial");
    std::lock_guard lock(mutex_);
    return eraseFirst(materials_, material) ? 0 : -1;
}

int RecordingRenderer::addLight(LightRecord* light) {
    record("addLight");
    if (!light) return -1;
    std::lock_guard lock(mutex_);
    if (std::find(lights_.begin(), lights_.end(), light) != lights_.end()) return -1;
    light->shadowCube = nextCube_++;
    lights_.push_back(light);
    return 0;
}

int RecordingRenderer::removeLightById(int id) {
    record("removeLightById");
    std::lock_guard lock(mutex_);
    auto it = std::find_if(lights_.begin(), lights_.end(), [&](LightRecord* l) { return l->id == id; });
    if (it == lights_.end()) return -1;
    lights_.erase(it);
    return 0;
}

int RecordingRenderer::removeLight(LightRecord* light) {
    record("removeLight");
    std::lock_guard lock(mutex_);
    if (!eraseFirst(lights_, light)) return 1;
    light->shadowCube = 0;
    return 0;
}

int RecordingRenderer::addTextLabel(TextLabel* label) {
    record("addTextLabel");
    if (!label) return -1;
    std::lock_guard lock(mutex_);
    labels_.insert(labels_.begin(), label);
    return 0;
}

int RecordingRenderer::removeTextLabel(TextLabel* label) {
    record("removeTextLabel");
    std::lock_guard lock(mutex_);
    return eraseFirst(labels_, label) ? 0 : -1;
}

int RecordingRenderer::addCanvas(CanvasInterface* canvas) {
    record("addCanvas");
    std::lock_guard lock(mutex_);
    if (!canvas || std::find(canvases_.begin(), canvases_.end(), canvas) != canvases_.end()) return -1;
    canvases_.push_back(canvas);
    return 0;
}

int RecordingRenderer::removeCanvas(CanvasInterface* canvas) {
    record("removeCanvas");
    std::lock_guard lock(mutex_);
    return eraseFirst(canvases_, canvas) ? 0 : -1;
}

int RecordingRenderer::addLineSet(LineSet* lineSet) {
    record("addLineSet");
    std::lock_guard lock(mutex_);
    lineSets_.push_back(lineSet);
    return 0;
}

int RecordingRenderer::removeLineSet(LineSet* lineSet) {
    record("removeLineSet");
    std::lock_guard lock(mutex_);
    return eraseFirst(lineSets_, lineSet) ? 0 : -1;
}

int RecordingRenderer::setTextLine(int, const char*, int, uint32_t) {
    record("setTextLine");
    return 0;
}

int RecordingRenderer::getTextLineCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(height_ / 16);
}

void RecordingRenderer::setCameraPosition(float x, float y, float z) {
    record("setCameraPosition");
    std::lock_guard lock(mutex_);
    view_ = matrixTranslation(x, y, z);
    eye_ = Vector{-x, -y, -z};
}

void RecordingRenderer::setViewDirection(float x, float y, float z) {
    record("setViewDirection");
    std::lock_guard lock(mutex_);
    direction_ = Vector{x, y, z};
}

void RecordingRenderer::multiplyView(const float* matrix) {
    record("multiplyView");
    if (!matrix) return;
    Matrix m;
    std::memcpy(m.m, matrix, sizeof m.m);
    std::lock_guard lock(mutex_);
    view_ = matrixMultiply(view_, m);
}

int RecordingRenderer::setFilterChain(FilterChain* chain) {
    record("setFilterChain");
    std::lock_guard lock(mutex_);
    chain_ = chain;
    return chain ? chain->count() : 0;
}

int RecordingRenderer::drawText(std::string text, int x, int y, uint32_t colour, int font) {
    record("drawText");
    if (font < 0 || font > 2) return 0;
    DrawCommand c;
    c.type = DrawCommand::Text;
    c.text = std::move(text);
    c.ints[0] = x;
    c.ints[1] = y;
    c.ints[2] = font;
    c.colour = colour;
    std::lock_guard lock(mutex_);
    drawing_.push_back(std::move(c));
    return FontHeights[font];
}

int RecordingRenderer::drawTextScaled(std::string text, int x, int y, uint32_t colour, int font,
                                      float scale) {
    record("drawTextScaled");
    if (font < 0 || font > 2) return 0;
    DrawCommand c;
    c.type = DrawCommand::Text;
    c.text = std::move(text);
    c.ints[0] = x;
    c.ints[1] = y;
    c.ints[2] = font;
    c.colour = colour;
    c.scale = scale;
    std::lock_guard lock(mutex_);
    drawing_.push_back(std::move(c));
    return static_cast<int>(static_cast<float>(FontHeights[font]) * scale);
}

void RecordingRenderer::drawLine2D(int x1, int y1, int x2, int y2, uint32_t colour) {
    record("drawLine2D");
    DrawCommand c;
    c.type = DrawCommand::Line2D;
    c.ints[0] = x1;
    c.ints[1] = y1;
    c.ints[2] = x2;
    c.ints[3] = y2;
    c.colour = colour;
    std::lock_guard lock(mutex_);
    drawing_.push_back(std::move(c));
}

void RecordingRenderer::drawRect(int x1, int y1, int x2, int y2, uint32_t colour, const char* materialName) {
    record("drawRect");
    DrawCommand c;
    c.type = DrawCommand::Rect;
    c.ints[0] = x1;
    c.ints[1] = y1;
    c.ints[2] = x2;
    c.ints[3] = y2;
    c.colour = colour;
    c.hasMaterial = materialName != nullptr;
    if (materialName) c.text = materialName;
    std::lock_guard lock(mutex_);
    drawing_.push_back(std::move(c));
}

void RecordingRenderer::drawLine3D(float x1, float y1, float z1, float x2, float y2, float z2,
                                   uint32_t colour) {
    record("drawLine3D");
    DrawCommand c;
    c.type = DrawCommand::Line3D;
    const float values[6] = {x1, y1, z1, x2, y2, z2};
    std::copy(values, values + 6, c.floats);
    c.colour = colour;
    std::lock_guard lock(mutex_);
    drawing_.push_back(std::move(c));
}

std::vector<std::string> RecordingRenderer::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int RecordingRenderer::callCount(const std::string& operation) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
}

void RecordingRenderer::clearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

std::vector<DrawCommand> RecordingRenderer::lastFrameDrawing() const {
    std::lock_guard lock(mutex_);
    return lastFrame_;
}

int RecordingRenderer::framesRendered() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

std::vector<Mesh*> RecordingRenderer::meshes() const {
    std::lock_guard lock(mutex_);
    return meshes_;
}

std::vector<RenderInstance*> RecordingRenderer::instances() const {
    std::lock_guard lock(mutex_);
    return instances_;
}

std::vector<Material*> RecordingRenderer::materials() const {
    std::lock_guard lock(mutex_);
    return materials_;
}

std::vector<LightRecord*> RecordingRenderer::lights() const {
    std::lock_guard lock(mutex_);
    return lights_;
}

std::vector<TextLabel*> RecordingRenderer::labels() const {
    std::lock_guard lock(mutex_);
    return labels_;
}

std::vector<RenderInterface::CanvasInterface*> RecordingRenderer::canvases() const {
    std::lock_guard lock(mutex_);
    return canvases_;
}

std::vector<LineSet*> RecordingRenderer::lineSets() const {
    std::lock_guard lock(mutex_);
    return lineSets_;
}

FilterChain* RecordingRenderer::filterChain() const {
    std::lock_guard lock(mutex_);
    return chain_;
}

Vector RecordingRenderer::cameraPosition() const {
    std::lock_guard lock(mutex_);
    return eye_;
}

Vector RecordingRenderer::viewDirection() const {
    std::lock_guard lock(mutex_);
    return direction_;
}

Matrix RecordingRenderer::viewMatrix() const {
    std::lock_guard lock(mutex_);
    return view_;
}

int RecordingRenderer::waitForResources(int) {
    record("waitForResources");
    return 0;
}

void RecordingRenderer::framesEnded() {
    record("framesEnded");
}

void RecordingRenderer::setShaderInputs(const ShaderInputs& inputs) {
    std::lock_guard lock(mutex_);
    inputs_ = inputs;
}

void RecordingRenderer::setMaterialShaders(const std::vector<MaterialShaders>& table) {
    std::lock_guard lock(mutex_);
    materialShaders_ = table;
}

bool RecordingRenderer::declaresShaderInput(const std::string& name) {
    std::lock_guard lock(mutex_);
    return std::find(declaredInputs_.begin(), declaredInputs_.end(), name) != declaredInputs_.end();
}

ShaderInputs RecordingRenderer::lastShaderInputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

std::vector<MaterialShaders> RecordingRenderer::materialShaders() const {
    std::lock_guard lock(mutex_);
    return materialShaders_;
}

void RecordingRenderer::declareShaderInputs(std::vector<std::string> names) {
    std::lock_guard lock(mutex_);
    declaredInputs_ = std::move(names);
}
