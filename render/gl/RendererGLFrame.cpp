// One frame of the OpenGL renderer: the pending GL work of registrations, the instance update,
// then the geometry, shadow, lighting and composition passes, the overlay, the filter chain and
// the presentation.
#include "render/gl/RendererGL.h"

#include <algorithm>

#include "engine/base/Log.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "render/FilterChain.h"
#include "render/InstanceTransform.h"
#include "render/Mesh.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>

namespace {

constexpr int ShadowSize = 512;

struct CubeFace {
    Vector direction;
    Vector up;
};
constexpr CubeFace CubeFaces[6] = {
    {{1, 0, 0}, {0, 1, 0}},  {{-1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, -1}},
    {{0, -1, 0}, {0, 0, 1}}, {{0, 0, 1}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}},
};

// Development builds name the pass in which OpenGL reported an error.
void checkGl([[maybe_unused]] const char* where) {
#ifndef NDEBUG
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        logStream << "OpenGL error 0x" << std::hex << error << std::dec << " in " << where << std::endl;
#endif
}

// The cube faces' projection: a quarter turn each way, square.
const Matrix& shadowProjection() {
    static const Matrix projection = matrixPerspectiveFovLH(3.14159265358979f / 2.0f, 1.0f, 0.05f, 30.0f);
    return projection;
}

} // namespace

void RendererGL::renderFrame(float) {
    if (!initialized_) return;
    window_->system->makeContextCurrent();
    renderThread_ = std::this_thread::get_id();
    {
        std::lock_guard lock(frameMutex_);
        lastFrameBegin_ = std::chrono::steady_clock::now();
        framesStalled_ = false;
    }
    timestamp(0);
    prepareFrame();
    feedShaderInputs();
    {
        // Taken so that a registration that has just found its work undone is already waiting.
        std::lock_guard lock(frameMutex_);
    }
    frameDone_.notify_all();
    placeLights();
    geometryPass();
    timestamp(1);
    shadowPass();
    timestamp(2);
    lightingPass();
    timestamp(3);
    compositionPass();
    timestamp(4);
    overlayPass();
    timestamp(5);
    runFilterChain();
    timestamp(6);
    drawScreenText();
    present();
    checkGl("renderFrame");
}

// Everything the frame needs from the four lists happens here, under their locks: GL objects
// for new entries, the instance update, and a copy of what the passes draw. The passes then run
// without the locks, so registration never waits for drawing.
void RendererGL::prepareFrame() {
    collectGarbage();
    makePendingLook();

    std::unique_lock lights(lightsLock_, std::defer_lock);
    std::unique_lock meshes(meshesLock_, std::defer_lock);
    std::unique_lock materials(materialsLock_, std::defer_lock);
    std::unique_lock instances(instancesLock_, std::defer_lock);
    auto take = [&](std::unique_lock<TimedLock>& lock, const char* name) {
        if (lock.try_lock_for(frameWait_)) return true;
        logStream << "frame: the " << name << " list stayed busy for " << frameWait_.count()
                  << " ms; it is left out of this frame" << std::endl;
        return false;
    };
    const bool haveLights = take(lights, "lights");
    const bool haveMeshes = take(meshes, "meshes");
    const bool haveMaterials = take(materials, "materials");
    const bool haveInstances = take(instances, "instances");

    // New entries reach the device a few megabytes per frame, so a scene that just loaded never
    // stalls one frame with all of its uploads.
    makePendingResources(UploadBudgetBytes, haveLights, haveMeshes, haveMaterials, haveInstances);
    // Whether every mesh and material is on the device yet (the bench's load figure asks).
    bool pending = !haveMeshes || !haveMaterials;
    if (haveMeshes)
        for (const auto& entry : meshes_)
            pending = pending || !entry->uploaded;
    if (haveMaterials)
        for (const auto& entry : materials_)
            pending = pending || !entry->uploaded;
    uploadsPending_.store(pending, std::memory_order_relaxed);

    lightItems_.clear();
    if (haveLights)
        for (const LightRecord* light : lights_) {
            LightItem item;
            item.position = light->position ? *light->position : Vector{};
            item.colour = light->colour ? *light->colour : Vector{};
            item.cutoff = light->cutoff ? *light->cutoff : 0.0f;
            item.cube = static_cast<GLuint>(light->shadowCube);
            lightItems_.push_back(item);
        }

    drawItems_.clear();
    if (haveInstances) {
        for (RenderInstance* instance : instances_) {
            if (instance->hasModelMatrix) instance->modelMatrix = instanceModelMatrix(*instance);
            MeshEntry* entry = haveMeshes ? instance->meshEntry : nullptr;
            if (entry && entry->mesh && instance->dirty && *instance->dirty) {
                // An actor rewrote the mesh's arrays: interleave and upload them again.
                *instance->dirty = 0;
                entry->fill(*entry->mesh);
                if (!uploadMesh(*entry)) {
                    dropMesh(entry);
                    entry = nullptr;
                }
            }
            if (!entry || !entry->uploaded || !instance->visible.load(std::memory_order_relaxed)) continue;
            if (entry->vertexCount < 3) continue;
            DrawItem item;
            item.instance = instance;
            item.vertexArray = entry->vertexArray;
            item.indexOffset = entry->indexOffset;
            item.vertexCount = entry->vertexCount / 3 * 3;
            item.meshVersion = entry->version;
            item.model = instance->hasModelMatrix ? instance->modelMatrix : Matrix::identity();
            item.bounds = transformSphere(entry->bounds, item.model);
            for (int c = 0; c < 8; ++c) {
                const Vector corner{(c & 1) ? entry->boxHigh.x : entry->boxLow.x,
                                    (c & 2) ? entry->boxHigh.y : entry->boxLow.y,
                                    (c & 4) ? entry->boxHigh.z : entry->boxLow.z};
                item.corners[c] = transformCoord(corner, item.model);
            }
            item.emissiveScale = instance->emissiveScale ? *instance->emissiveScale : Vector{};
            if (!materialLooks_.empty())
                if (auto look = materialLooks_.find(instance->materialName); look != materialLooks_.end()) {
                    // One that never compiled leaves the stage to the renderer's own shader.
                    if (look->second.vertex && look->second.vertex->valid())
                        item.vertex = look->second.vertex;
                    if (look->second.pixel && look->second.pixel->valid()) item.pixel = look->second.pixel;
                }
            if (haveMaterials)
                if (const MaterialEntry* material = findMaterialLocked(instance->materialName)) {
                    if (!material->uploaded) continue; // drawn once its textures exist
                    item.hasMaterial = true;
                    for (int t = 0; t < 3; ++t)
                        item.textures[t] = material->textures[t];
                }
            drawItems_.push_back(item);
        }
    }
    triangles_ = 0;

    // Released in the order they were taken.
    if (haveLights) lights.unlock();
    if (haveMeshes) meshes.unlock();
    if (haveMaterials) materials.unlock();
    if (haveInstances) instances.unlock();
    checkGl("frame preparation");
}

void RendererGL::makePendingResources(size_t budget, bool haveLights, bool haveMeshes, bool haveMaterials,
                                      bool haveInstances) {
    auto spend = [&](size_t bytes) {
        if (budget == 0) return false;
        budget = bytes >= budget ? 0 : budget - bytes;
        return true;
    };
    // A mesh the device refuses is dropped, which unlinks its instances: both lists are needed.
    if (haveMeshes && haveInstances)
        for (size_t i = 0; i < meshes_.size();) {
            MeshEntry* entry = meshes_[i].get();
            if (entry->uploaded || !spend(entry->vertices.size())) {
                ++i;
            } else if (uploadMesh(*entry)) {
                ++i;
            } else {
                dropMesh(entry);
            }
        }
    if (haveMaterials)
        for (auto& entry : materials_)
            if (!entry->uploaded && spend(entry->preparedBytes)) uploadMaterial(*entry);
    // Lights are answered in the frame after their registration, whatever the budget: their
    // registering threads wait for it.
    if (haveLights) {
        for (PendingLight* pending : pendingLights_) {
            const bool made = makeShadowCube(*pending->light);
            if (made) lights_.push_back(pending->light);
            pending->state.store(made ? 1 : -1); // the last touch: the waiter may return at once
        }
        pendingLights_.clear();
    }
}

bool RendererGL::makeShadowCube(LightRecord& light) {
    const float none = 0.0f; // "nothing drawn here": never shadows
    {
        std::lock_guard lock(garbageMutex_);
        if (!spareCubes_.empty()) {
            const GLuint cube = spareCubes_.back();
            spareCubes_.pop_back();
            glClearTexImage(cube, 0, GL_RED, GL_FLOAT, &none);
            light.shadowCube = cube;
            shadowRecords_.erase(cube); // what its faces showed belongs to the light before
            return true;
        }
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint cube = 0;
    glCreateTextures(GL_TEXTURE_CUBE_MAP, 1, &cube);
    glTextureStorage2D(cube, 1, GL_R32F, ShadowSize, ShadowSize);
    if (glGetError() != GL_NO_ERROR || deviceRefuses(DeviceObject::ShadowCube) || !cube) {
        logStream << "shadow cube creation failed; light " << light.id << " is not registered" << std::endl;
        noteProblem("the device refused the shadow cube of light " + std::to_string(light.id));
        glDeleteTextures(1, &cube);
        return false;
    }
    glTextureParameteri(cube, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTextureParameteri(cube, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTextureParameteri(cube, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTextureParameteri(cube, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glClearTexImage(cube, 0, GL_RED, GL_FLOAT, &none);
    light.shadowCube = cube;
    shadowRecords_.erase(cube); // the name may have served a cube deleted before
    std::lock_guard lock(garbageMutex_);
    cubes_.push_back(cube);
    return true;
}

int RendererGL::pendingResources() {
    std::scoped_lock lists(lightsLock_, meshesLock_, materialsLock_);
    const auto meshes =
        std::count_if(meshes_.begin(), meshes_.end(), [](const auto& e) { return !e->uploaded; });
    const auto materials =
        std::count_if(materials_.begin(), materials_.end(), [](const auto& e) { return !e->uploaded; });
    return static_cast<int>(pendingLights_.size()) + static_cast<int>(meshes) + static_cast<int>(materials) +
           (lookPending() ? 1 : 0);
}

RendererGL::FrameWait RendererGL::waitForFrames(const std::function<bool()>& done,
                                                std::chrono::steady_clock::time_point until) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point asked = Clock::now();
    std::unique_lock lock(frameMutex_);
    for (;;) {
        if (done()) return FrameWait::Done;
        if (framesEnded_ || framesStalled_) return FrameWait::NoFrames;
        // Frames count as stalled when none has begun for frameWait_ since the wait began.
        const Clock::time_point stall = std::max(asked, lastFrameBegin_) + frameWait_;
        if (frameDone_.wait_until(lock, std::min(stall, until)) == std::cv_status::no_timeout) continue;
        if (done()) return FrameWait::Done;
        const Clock::time_point now = Clock::now();
        if (now >= until) return FrameWait::TimedOut;
        if (now >= std::max(asked, lastFrameBegin_) + frameWait_) {
            framesStalled_ = true; // later waits give up at once, until a frame begins
            return FrameWait::NoFrames;
        }
    }
}

int RendererGL::waitForResources(int milliseconds) {
    if (!initialized_) return pendingResources() ? -1 : 0;
    if (onRenderThread()) {
        // No frame comes while this thread waits: it does a frame's work itself, all of it, and
        // answers the lights waiting for their cubes.
        window_->system->makeContextCurrent();
        {
            std::lock_guard lock(frameMutex_);
            lastFrameBegin_ = std::chrono::steady_clock::now();
            framesStalled_ = false;
        }
        {
            std::scoped_lock lists(lightsLock_, meshesLock_, materialsLock_, instancesLock_);
            makePendingResources(std::numeric_limits<size_t>::max(), true, true, true, true);
        }
        makePendingLook();
        { std::lock_guard lock(frameMutex_); }
        frameDone_.notify_all();
        return 0;
    }
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, milliseconds));
    switch (waitForFrames([&] { return pendingResources() == 0; }, until)) {
    case FrameWait::Done:
        return 0;
    case FrameWait::TimedOut:
        return 1;
    default:
        return pendingResources() ? -1 : 0;
    }
}

void RendererGL::framesEnded() {
    {
        std::lock_guard lock(frameMutex_);
        framesEnded_ = true;
    }
    frameDone_.notify_all();
}

void RendererGL::bindTarget(GLuint framebuffer, int width, int height) {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, width, height);
}

void RendererGL::clearBound() {
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f); // 0xff000000
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void RendererGL::useStages(const GlProgram& vertex, const GlProgram& fragment) {
    glUseProgramStages(pipeline_, GL_VERTEX_SHADER_BIT, vertex.id());
    glUseProgramStages(pipeline_, GL_FRAGMENT_SHADER_BIT, fragment.id());
}

void RendererGL::drawFullScreenQuad() {
    glBindVertexArray(quadArray_);
    glDrawArrays(GL_TRIANGLES, 0, 6);
}

void RendererGL::geometryPass() {
    const int w = static_cast<int>(width_), h = static_cast<int>(height_);
    bindTarget(gBufferFbo_, w, h);
    clearBound();
    glEnable(GL_DEPTH_TEST);

    // The renderer's own shader pair, or a material's own for either stage. The uniforms are
    // looked up again only when the pair changes, which the draws in a row of one material skip.
    const GlProgram* vertex = nullptr;
    const GlProgram* pixel = nullptr;
    GlProgram::Uniform worldView, modelMat, normalMat, emissiveScale, samplers[3];
    // An instance without a material keeps the textures of the draw before it; the first one
    // of the frame sees neutral ones.
    GLuint textures[3] = {defaultTextures_[0], defaultTextures_[1], defaultTextures_[2]};
    auto bindTextures = [&] {
        for (int t = 0; t < 3; ++t)
            pixel->bindTexture(samplers[t], textures[t]);
    };
    auto use = [&](const DrawItem& item) {
        const GlProgram* v = item.vertex ? item.vertex : &meshShader_;
        const GlProgram* p = item.pixel ? item.pixel : &gShader_;
        if (v == vertex && p == pixel) return;
        vertex = v;
        pixel = p;
        useStages(*vertex, *pixel);
        vertex->setMatrix("Proj", projection_);
        worldView = vertex->find("WorldView");
        modelMat = vertex->find("ModelMat");
        normalMat = vertex->find("NormalMat");
        emissiveScale = pixel->find("emissiveScale");
        const char* names[3] = {"diffuseMap", "normalMap", "emissiveMap"};
        for (int t = 0; t < 3; ++t)
            samplers[t] = pixel->find(names[t]);
        bindTextures();
    };
    if (!drawItems_.empty()) use(drawItems_.front());

    // What lies wholly outside the view draws no pixel; its material still counts as the last one
    // bound, for the instance without a material that may follow.
    instancesCulled_ = 0;
    for (const DrawItem& item : drawItems_) {
        if (item.hasMaterial) {
            for (int t = 0; t < 3; ++t)
                textures[t] = item.textures[t] ? item.textures[t] : defaultTextures_[t];
            bindTextures();
        }
        if (!item.inView) {
            ++instancesCulled_;
            continue;
        }
        use(item);
        vertex->setMatrix(worldView, matrixMultiply(item.model, view_));
        vertex->setMatrix(modelMat, item.model);
        vertex->setMatrix(normalMat, matrixTranspose(matrixInverse(item.model)));
        pixel->setVector(emissiveScale, item.emissiveScale.x, item.emissiveScale.y, item.emissiveScale.z,
                         1.0f);
        glBindVertexArray(item.vertexArray);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(item.vertexCount), GL_UNSIGNED_INT,
                       reinterpret_cast<const void*>(item.indexOffset));
        triangles_ += item.vertexCount / 3;
    }

    // Line sets land in the G-buffer like geometry, one point per vertex.
    {
        std::lock_guard lock(lineSetsMutex_);
        if (!lineSets_.empty()) {
            useStages(meshShaderNv_, gShaderNv_);
            meshShaderNv_.setMatrix("WorldView", view_);
            meshShaderNv_.setMatrix("Proj", projection_);
            glBindVertexArray(lineSetArray_);
            for (const LineSet* set : lineSets_) {
                if (!set->points || set->pointCount <= 0) continue;
                const auto bytes =
                    static_cast<GLsizeiptr>(set->pointCount) * static_cast<GLsizeiptr>(sizeof(Vector));
                glNamedBufferData(lineSetBuffer_, bytes, set->points, GL_STREAM_DRAW);
                glDrawArrays(GL_POINTS, 0, set->pointCount);
            }
        }
    }
    glDisable(GL_DEPTH_TEST);
    checkGl("geometry pass");
}

bool RendererGL::ShadowDraw::operator==(const ShadowDraw& other) const {
    // Bit for bit: the same numbers give the same picture, and a changed one never passes.
    return instance == other.instance && meshVersion == other.meshVersion &&
           vertexCount == other.vertexCount && std::memcmp(&model, &other.model, sizeof model) == 0;
}

void RendererGL::shadowPass() {
    shadowFaces_ = 0;
    shadowFacesUnseen_ = 0;
    shadowFacesKept_ = 0;
    shadowFacesPatched_ = 0;
    if (lightItems_.empty()) return;
    glColorMask(GL_TRUE, GL_FALSE, GL_FALSE, GL_FALSE); // the cubes hold one channel
    useStages(meshShaderSimple_, depthShader_);
    meshShaderSimple_.setMatrix("Proj", shadowProjection());
    const GlProgram::Uniform worldView = meshShaderSimple_.find("WorldView");
    const GlProgram::Uniform modelMat = meshShaderSimple_.find("ModelMat");
    bool modelMatReported = false;
    glEnable(GL_DEPTH_TEST);

    for (const LightItem& light : lightItems_) {
        // A light that reaches nothing in view needs no shadows; its faces keep what they hold
        // (and their records say so) until it comes into view.
        if (!light.bounds.onScreen) continue;
        std::array<ShadowFace, 6>& record = shadowRecords_[light.cube];
        bool lightSet = false; // once, at the first face that passes the face test
        for (int face = 0; face < 6; ++face) {
            const Vector target = light.position + CubeFaces[face].direction;
            // Faces turned away from the camera keep what they held last frame.
            const float s = (-viewDirection_).dot(target - eye_);
            if (static_cast<double>(s) < 0.707) continue;
            if (!faceIsLookedThrough(light, face)) {
                ++shadowFacesUnseen_;
                continue;
            }
            ++shadowFaces_;
            if (!lightSet) {
                meshShaderSimple_.setVector("lightPosUT", light.position.x, light.position.y,
                                            light.position.z, 1.0f);
                lightSet = true;
            }
            shadowFace(light, face, record, worldView, modelMat, modelMatReported);
        }
    }
    glNamedFramebufferTextureLayer(shadowFbo_, GL_COLOR_ATTACHMENT0, 0, 0, 0);
    glDisable(GL_DEPTH_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    checkGl("shadow pass");
}

void RendererGL::shadowFace(const LightItem& light, int face, std::array<ShadowFace, 6>& record,
                            const GlProgram::Uniform& worldView, const GlProgram::Uniform& modelMat,
                            bool& modelMatReported) {
    const Matrix faceView =
        matrixLookAtLH(light.position, light.position + CubeFaces[face].direction, CubeFaces[face].up);
    // Only what can reach the face is drawn, and only that decides whether it must be drawn again.
    const Frustum frustum(matrixMultiply(faceView, shadowProjection()));
    faceDraws_.clear();
    faceItems_.clear();
    for (const DrawItem& item : drawItems_) {
        if (frustum.excludes(item.bounds)) continue;
        faceItems_.push_back(&item);
        faceDraws_.push_back({item.instance, item.meshVersion, item.vertexCount, item.model, item.bounds});
    }
    ShadowFace& kept = record[static_cast<size_t>(face)];
    if (reuseShadowFaces_ && kept.valid && kept.shaders == shaderBuilds_ &&
        std::memcmp(&kept.light, &light.position, sizeof(Vector)) == 0 && kept.draws == faceDraws_) {
        ++shadowFacesKept_;
        return;
    }

    // Where nothing that changed lies, the face already holds what the draws would give: a pixel
    // of a draw does not depend on the scissor. Only the rest is cleared and drawn again.
    int rect[4] = {0, 0, ShadowSize, ShadowSize};
    const bool patch = reuseShadowFaces_ && kept.valid && kept.shaders == shaderBuilds_ &&
                       std::memcmp(&kept.light, &light.position, sizeof(Vector)) == 0 &&
                       changedPartOfFace(kept, faceView, rect);
    glNamedFramebufferTextureLayer(shadowFbo_, GL_COLOR_ATTACHMENT0, light.cube, 0, face);
    bindTarget(shadowFbo_, ShadowSize, ShadowSize);
    if (patch) {
        ++shadowFacesPatched_;
        glEnable(GL_SCISSOR_TEST);
        glScissor(rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1]);
    }
    glDepthMask(GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (const DrawItem* item : faceItems_) {
        meshShaderSimple_.setMatrix(worldView, matrixMultiply(item->model, faceView));
        if (!meshShaderSimple_.setMatrix(modelMat, item->model) && !modelMatReported) {
            logStream << "ModelMatError" << std::endl; // once a frame, not once a draw
            modelMatReported = true;
        }
        glBindVertexArray(item->vertexArray);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(item->vertexCount), GL_UNSIGNED_INT,
                       reinterpret_cast<const void*>(item->indexOffset));
        triangles_ += item->vertexCount / 3;
    }
    if (patch) glDisable(GL_SCISSOR_TEST);
    kept.valid = true;
    kept.light = light.position;
    kept.shaders = shaderBuilds_;
    kept.draws.swap(faceDraws_); // the old list's storage serves the next face
}

bool RendererGL::changedPartOfFace(const ShadowFace& kept, const Matrix& faceView, int rect[4]) {
    float left = 1.0f, right = -1.0f, top = -1.0f, bottom = 1.0f; // in the face's x / z and y / z
    bool any = false;
    auto changed = [&](const Sphere& sphere) {
        // Seen from the light: the sphere lies within x / z and y / z of its box's corners, as
        // long as the whole box is ahead of the light (the faces' near plane is 0.05).
        const Vector c = transformCoord(sphere.centre, faceView);
        const float r = sphere.radius;
        const float nearZ = c.z - r, farZ = c.z + r;
        if (!std::isfinite(r) || !(nearZ > 0.025f)) return false;
        left = std::min({left, (c.x - r) / nearZ, (c.x - r) / farZ});
        right = std::max({right, (c.x + r) / nearZ, (c.x + r) / farZ});
        bottom = std::min({bottom, (c.y - r) / nearZ, (c.y - r) / farZ});
        top = std::max({top, (c.y + r) / nearZ, (c.y + r) / farZ});
        any = true;
        return true;
    };
    // Each instance drawn now is found among those drawn then. Those drawn the same way in the same
    // order change nothing; the others change the pixels they covered and cover.
    const std::vector<ShadowDraw>& before = kept.draws;
    std::vector<char>& matched = faceMatched_;
    matched.assign(before.size(), 0);
    size_t last = 0;
    bool first = true;
    for (const ShadowDraw& now : faceDraws_) {
        size_t found = before.size();
        for (size_t i = 0; i < before.size(); ++i)
            if (before[i].instance == now.instance) {
                found = i;
                break;
            }
        if (found == before.size()) {
            if (!changed(now.bounds)) return false;
            continue;
        }
        // Two instances drawn in the other order may meet at the same depth differently.
        if (!first && found < last) return false;
        first = false;
        last = found;
        matched[found] = 1;
        if (!(before[found] == now) && (!changed(before[found].bounds) || !changed(now.bounds))) return false;
    }
    for (size_t i = 0; i < before.size(); ++i)
        if (!matched[i] && !changed(before[i].bounds)) return false;
    if (!any) return false;
    // Pixels of the face, with a margin for the rasteriser's rounding; window rows run from the
    // face's top (y / z = 1) down, as the clip control sets them.
    const float size = static_cast<float>(ShadowSize);
    rect[0] = std::max(0, static_cast<int>(std::floor((left + 1.0f) * 0.5f * size)) - 2);
    rect[2] = std::min(ShadowSize, static_cast<int>(std::ceil((right + 1.0f) * 0.5f * size)) + 2);
    rect[1] = std::max(0, static_cast<int>(std::floor((1.0f - top) * 0.5f * size)) - 2);
    rect[3] = std::min(ShadowSize, static_cast<int>(std::ceil((1.0f - bottom) * 0.5f * size)) + 2);
    if (rect[0] >= rect[2] || rect[1] >= rect[3]) {
        // Nothing that changed is on the face: an empty patch still brings the record up to date.
        rect[0] = rect[1] = 0;
        rect[2] = rect[3] = 0;
    }
    // A patch of most of the face costs what the whole face does.
    return (rect[2] - rect[0]) * (rect[3] - rect[1]) < ShadowSize * ShadowSize * 3 / 4;
}

void RendererGL::placeLights() {
    // What the geometry pass will draw: what lies wholly outside the view draws no pixel.
    const Frustum view(matrixMultiply(view_, projection_));
    for (DrawItem& item : drawItems_)
        item.inView = !view.excludes(item.bounds);

    lightsLeftOut_ = 0;
    lightPixels_.clear();
    receivers_.clear();
    // The shader's own word for how far its fall-off reaches, in cut-offs; 0 or not declared:
    // every light reaches everywhere.
    float reach = 0.0f;
    if (!lightingShader_.readFloat("lightReach", reach) || !std::isfinite(reach)) reach = 0.0f;
    const int w = static_cast<int>(width_), h = static_cast<int>(height_);
    for (LightItem& light : lightItems_) {
        light.bounds = LightBounds{};
        light.bounds.rect[2] = w;
        light.bounds.rect[3] = h;
        const float radius = reach * light.cutoff;
        if (boundLights_ && reach > 0.0f && light.cutoff > 0.0f && std::isfinite(radius)) {
            // The shader measures from world positions stored as half floats: the sphere is grown
            // by more than their rounding, so a pixel left out gets nothing from the light anyway.
            const Sphere sphere{light.position, radius * 1.02f + 0.001f * light.position.length() + 0.05f};
            light.bounds = lightBounds(sphere, view_, projection_, w, h, 1.0f / 65535.0f);
            // Only surfaces of the instances drawn can be lit: a light whose sphere meets none of
            // them reaches nothing in view, wherever its sphere lies.
            light.bounded = true;
            light.receivers[0] = receivers_.size();
            for (const DrawItem& item : drawItems_)
                if (item.inView &&
                    !((item.bounds.centre - sphere.centre).length() > item.bounds.radius + sphere.radius))
                    receivers_.push_back(&item);
            light.receivers[1] = receivers_.size();
            // The lighting shader looks the cube up from a point nudged off the surface by up to
            // 0.01 + 0.01 d, at a position stored as half floats.
            light.margin = 0.06f + 0.01f * sphere.radius + 0.001f * (light.position.length() + sphere.radius);
            if (light.receivers[0] == light.receivers[1]) {
                light.bounds.onScreen = false;
                light.bounds.rect[0] = light.bounds.rect[1] = light.bounds.rect[2] = light.bounds.rect[3] = 0;
            }
        }
        if (!light.bounds.onScreen) ++lightsLeftOut_;
        const LightBounds& b = light.bounds;
        lightPixels_.push_back(b.onScreen ? static_cast<long>(b.rect[2] - b.rect[0]) * (b.rect[3] - b.rect[1])
                                          : 0);
    }
}

bool RendererGL::faceIsLookedThrough(const LightItem& light, int face) const {
    if (!light.bounded) return true;
    for (size_t i = light.receivers[0]; i < light.receivers[1]; ++i)
        if (boxMayLookThroughFace(receivers_[i]->corners, light.position, CubeFaces[face].direction,
                                  light.margin))
            return true;
    return false;
}

void RendererGL::lightingPass() {
    const int w = static_cast<int>(width_), h = static_cast<int>(height_);
    bindTarget(lightingFbo_, w, h);
    // The geometry pass's depth buffer is attached too, for the lights' depth bounds: only the
    // colour targets are cleared.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f); // 0xff000000
    glClear(GL_COLOR_BUFFER_BIT);
    if (lightItems_.empty()) return; // both targets stay black

    useStages(overlayShader_, lightingShader_);
    overlayShader_.setFloat("resX", static_cast<float>(width_));
    overlayShader_.setFloat("resY", static_cast<float>(height_));
    overlayShader_.setVector("pixelOffset", 0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDepthMask(GL_FALSE);
    lightingShader_.setVector("camPos", eye_.x, eye_.y, eye_.z, 0.0f);
    lightingShader_.bindTexture("normalPass", targets_[static_cast<size_t>(Target::Normal)]);
    lightingShader_.bindTexture("depthPass", targets_[static_cast<size_t>(Target::Depth)]);
    const GlProgram::Uniform lightPos = lightingShader_.find("lightPosUT");
    const GlProgram::Uniform lightCol = lightingShader_.find("lightCol");
    const GlProgram::Uniform lightCutoff = lightingShader_.find("lightCutoff");
    const GlProgram::Uniform shadowMap = lightingShader_.find("shadowMap");
    for (const LightItem& light : lightItems_) {
        const LightBounds& b = light.bounds;
        if (!b.onScreen) continue;
        lightingShader_.setVector(lightPos, light.position.x, light.position.y, light.position.z, 1.0f);
        lightingShader_.setVector(lightCol, light.colour.x, light.colour.y, light.colour.z, 0.0f);
        lightingShader_.setFloat(lightCutoff, light.cutoff);
        lightingShader_.bindTexture(shadowMap, light.cube);
        // The quad covers the rectangle the light can reach; at the depth of the sphere's bound, so
        // that the depth test passes only the surfaces on its side of that bound.
        if (b.rect[0] > 0 || b.rect[1] > 0 || b.rect[2] < w || b.rect[3] < h) {
            glEnable(GL_SCISSOR_TEST);
            glScissor(b.rect[0], b.rect[1], b.rect[2] - b.rect[0], b.rect[3] - b.rect[1]);
        }
        if (b.depthTest != LightBounds::Depth::Any) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(b.depthTest == LightBounds::Depth::NearerThan ? GL_GREATER : GL_LESS);
            glDepthRange(b.depth, b.depth);
        }
        drawFullScreenQuad();
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_DEPTH_TEST);
    }
    glDepthRange(0.0, 1.0);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    checkGl("lighting pass");
}

void RendererGL::compositionPass() {
    const int w = static_cast<int>(width_), h = static_cast<int>(height_);
    bindTarget(compositeFbo_, w, h);
    clearBound();
    useStages(overlayShader_, defferedShader_);
    overlayShader_.setFloat("resX", static_cast<float>(width_));
    overlayShader_.setFloat("resY", static_cast<float>(height_));
    overlayShader_.setVector("pixelOffset", 0.0f, 0.0f, 0.0f, 0.0f);
    defferedShader_.setFloat("resX", static_cast<float>(width_));
    defferedShader_.setFloat("resY", static_cast<float>(height_));
    defferedShader_.bindTexture("diffusePass", targets_[static_cast<size_t>(Target::Diffuse)]);
    defferedShader_.bindTexture("lightingPass", targets_[static_cast<size_t>(Target::Lighting)]);
    defferedShader_.bindTexture("specularPass", targets_[static_cast<size_t>(Target::Specular)]);
    defferedShader_.bindTexture("emissivePass", targets_[static_cast<size_t>(Target::Emissive)]);
    drawFullScreenQuad();
    checkGl("composition pass");
}

void RendererGL::present() {
    // The back buffer holds the picture top row first; the window's row 0 is its bottom.
    const int dw = window_->system->drawableWidth();
    const int dh = window_->system->drawableHeight();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBlitNamedFramebuffer(backBufferFbo_, 0, 0, 0, static_cast<GLint>(width_), static_cast<GLint>(height_),
                           0, dh, dw, 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    presentTimer_.markStart();
    window_->system->swapBuffers();
    presentTimer_.markEnd();
    presentTime_ = static_cast<float>(presentTimer_.interval());

    double stamps[7] = {};
    if (passClock_ == PassClock::TimerQueries && timeQueries_[0]) {
        for (int i = 0; i < 7; ++i) {
            GLuint64 nanoseconds = 0;
            glGetQueryObjectui64v(timeQueries_[i], GL_QUERY_RESULT, &nanoseconds);
            stamps[i] = static_cast<double>(nanoseconds) / 1.0e6;
        }
    } else if (passClock_ == PassClock::FinishAndClock || passClock_ == PassClock::FinishAndCpuTime) {
        for (int i = 0; i < 7; ++i)
            stamps[i] = clockStamps_[i] - clockStamps_[0];
    } else {
        passTimes_ = {};
        return;
    }
    auto ms = [&](int a, int b) { return stamps[b] - stamps[a]; };
    passTimes_ = {ms(0, 1), ms(1, 2), ms(2, 3), ms(3, 4), ms(4, 5), ms(5, 6), true, {}};
    // Each stage from the end of the one before (the first from the end of the overlay pass).
    double previous = stamps[5];
    for (int i = 0; i < stagesStamped_; ++i) {
        double end = previous;
        if (passClock_ == PassClock::TimerQueries) {
            GLuint64 nanoseconds = 0;
            glGetQueryObjectui64v(stageQueries_[i], GL_QUERY_RESULT, &nanoseconds);
            end = static_cast<double>(nanoseconds) / 1.0e6;
        } else {
            end = stageStamps_[i] - clockStamps_[0];
        }
        passTimes_.stages.push_back(end - previous);
        previous = end;
    }
}

void RendererGL::stageTimestamp(int stage) {
    if (stage < 0 || stage >= FilterChain::MaxStages) return;
    if (passClock_ == PassClock::TimerQueries) {
        if (!stageQueries_[0]) glCreateQueries(GL_TIMESTAMP, FilterChain::MaxStages, stageQueries_);
        glQueryCounter(stageQueries_[stage], GL_TIMESTAMP);
    } else if (passClock_ == PassClock::FinishAndClock || passClock_ == PassClock::FinishAndCpuTime) {
        glFinish();
        stageStamps_[stage] = passClockMilliseconds();
    } else {
        return;
    }
    stagesStamped_ = stage + 1;
}

void RendererGL::timestamp(int index) {
    if (passClock_ == PassClock::TimerQueries) {
        if (!timeQueries_[0]) glCreateQueries(GL_TIMESTAMP, 7, timeQueries_);
        glQueryCounter(timeQueries_[index], GL_TIMESTAMP);
    } else if (passClock_ == PassClock::FinishAndClock || passClock_ == PassClock::FinishAndCpuTime) {
        glFinish();
        clockStamps_[index] = passClockMilliseconds();
    }
}

double RendererGL::passClockMilliseconds() const {
#ifdef CLOCK_PROCESS_CPUTIME_ID
    if (passClock_ == PassClock::FinishAndCpuTime) {
        timespec now{};
        if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now) == 0)
            return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    }
#endif
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
