// Set-up, registration and inspection of the OpenGL renderer. The frame itself is in
// RendererGLFrame.cpp.
#include "render/gl/RendererGL.h"
#include "render/gl/ShaderFiles.h"

#include "engine/base/Log.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "render/FilterChain.h"
#include "render/Material.h"
#include "render/Mesh.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <limits>

std::atomic<RendererGL::MessageHook> RendererGL::messageHook_{&RendererGL::defaultMessageHook};

namespace {

constexpr float FieldOfView = 1.2217305f; // 70 degrees
constexpr float NearPlane = 0.05f;
constexpr float FarPlane = 30.0f;
constexpr int ShadowCubeSize = 512;

template <class T>
bool eraseFirst(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

} // namespace

// An array shorter than the vertex count (a broken mesh) reads as zeros where it ends: nothing
// is read beyond it.
void MeshEntry::fill(Mesh& source) {
    MeshEntry& entry = *this;
    Mesh& mesh = source;
    const size_t sizes[5] = {12, 12, 8, 12, 12};
    const bool present[5] = {!mesh.positions.empty(), !mesh.normals.empty(), !mesh.texCoords.empty(),
                             !mesh.tangents.empty(), !mesh.binormals.empty()};
    uint32_t stride = 0;
    for (int i = 0; i < 5; ++i) {
        entry.offsets[static_cast<size_t>(i)] = present[i] ? static_cast<int>(stride) : -1;
        if (present[i]) stride += static_cast<uint32_t>(sizes[i]);
    }
    entry.stride = stride;
    entry.vertexCount = mesh.vertexCount;
    entry.name = mesh.name;
    mesh.stride = stride;

    const size_t count = mesh.vertexCount;
    entry.vertices.assign(count * stride, 0);
    auto copy = [&](int element, const void* source, size_t available) {
        const int offset = entry.offsets[static_cast<size_t>(element)];
        if (offset < 0) return;
        const size_t size = sizes[element];
        const auto* bytes = static_cast<const uint8_t*>(source);
        for (size_t v = 0; v < count && v < available; ++v)
            std::memcpy(&entry.vertices[v * stride + static_cast<size_t>(offset)], bytes + v * size, size);
    };
    copy(0, mesh.positions.data(), mesh.positions.size());
    copy(1, mesh.normals.data(), mesh.normals.size());
    copy(2, mesh.texCoords.data(), mesh.texCoords.size());
    copy(3, mesh.tangents.data(), mesh.tangents.size());
    copy(4, mesh.binormals.data(), mesh.binormals.size());
    entry.bounds = boundingSphereOf(mesh);
    // The box, by the same rules: vertices beyond a shorter position array lie at the origin.
    const size_t drawn = std::min<size_t>(mesh.positions.size(), count);
    entry.boxLow = entry.boxHigh = drawn < count || drawn == 0 ? Vector{} : mesh.positions[0];
    for (size_t v = 0; v < drawn; ++v) {
        const Vector& p = mesh.positions[v];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            const float infinite = std::numeric_limits<float>::infinity();
            entry.boxLow = {-infinite, -infinite, -infinite};
            entry.boxHigh = {infinite, infinite, infinite};
            break;
        }
        entry.boxLow = {std::min(entry.boxLow.x, p.x), std::min(entry.boxLow.y, p.y),
                        std::min(entry.boxLow.z, p.z)};
        entry.boxHigh = {std::max(entry.boxHigh.x, p.x), std::max(entry.boxHigh.y, p.y),
                         std::max(entry.boxHigh.z, p.z)};
    }

    // Vertices the triangles share are stored once and drawn through indices, so the device
    // transforms each once: a vertex that is the same bytes gives the same result wherever it is
    // used, so the picture does not change. The indices follow the vertices in the same buffer.
    // Actors rewrite some meshes every frame, so this is a flat table probed in order, keyed on
    // the position's bytes and compared whole, rather than a map that allocates per vertex.
    std::vector<uint32_t> indices(count);
    size_t slots = 16;
    while (slots < count * 2)
        slots *= 2;
    std::vector<uint32_t> table(slots, 0); // distinct vertex + 1; 0: empty
    uint32_t unique = 0;
    uint8_t* bytes = entry.vertices.data();
    if (stride == 0 && count > 0) unique = 1; // no arrays: every vertex is the same nothing
    for (size_t v = 0; v < count && stride > 0; ++v) {
        const uint8_t* vertex = bytes + v * stride;
        uint64_t hash = 1469598103934665603ull; // FNV-1a over the first 12 bytes (the position)
        for (size_t k = 0; k < std::min<size_t>(stride, 12); ++k)
            hash = (hash ^ vertex[k]) * 1099511628211ull;
        size_t slot = static_cast<size_t>(hash ^ (hash >> 29)) & (slots - 1);
        for (;; slot = (slot + 1) & (slots - 1)) {
            const uint32_t held = table[slot];
            if (held == 0) {
                // Moved to its place among the distinct ones, which nothing writes again.
                if (v != unique) std::memmove(bytes + static_cast<size_t>(unique) * stride, vertex, stride);
                table[slot] = unique + 1;
                indices[v] = unique++;
                break;
            }
            if (std::memcmp(bytes + static_cast<size_t>(held - 1) * stride, vertex, stride) == 0) {
                indices[v] = held - 1;
                break;
            }
        }
    }
    entry.indexOffset = static_cast<size_t>(unique) * stride;
    entry.vertices.resize(entry.indexOffset + count * sizeof(uint32_t));
    std::memcpy(entry.vertices.data() + entry.indexOffset, indices.data(), count * sizeof(uint32_t));
}

namespace {

GLuint makeTarget(GLenum format, unsigned width, unsigned height) {
    GLuint texture = 0;
    glCreateTextures(GL_TEXTURE_2D, 1, &texture);
    glTextureStorage2D(texture, 1, format, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    glTextureParameteri(texture, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTextureParameteri(texture, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTextureParameteri(texture, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTextureParameteri(texture, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

GLuint makeOnePixelTexture(uint8_t r, uint8_t g, uint8_t b) {
    GLuint texture = 0;
    const uint8_t pixel[4] = {r, g, b, 255};
    glCreateTextures(GL_TEXTURE_2D, 1, &texture);
    glTextureStorage2D(texture, 1, GL_RGBA8, 1, 1);
    glTextureSubImage2D(texture, 0, 0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    return texture;
}

// The driver's largest anisotropy, 0 when it offers no anisotropic filtering.
float maxAnisotropyOfDriver() {
    if (epoxy_gl_version() < 46 && !epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic") &&
        !epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic"))
        return 0.0f;
    GLfloat largest = 0.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &largest);
    return glGetError() == GL_NO_ERROR ? largest : 0.0f;
}

std::string glString(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

bool framebufferComplete(GLuint framebuffer, const char* name) {
    const GLenum status = glCheckNamedFramebufferStatus(framebuffer, GL_FRAMEBUFFER);
    if (status == GL_FRAMEBUFFER_COMPLETE) return true;
    logStream << "render target " << name << " is incomplete (status 0x" << std::hex << status << std::dec
              << ")" << std::endl;
    return false;
}

} // namespace

bool isSoftwareRasterizer(const std::string& rendererName) {
    std::string name = rendererName;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* software : {"llvmpipe", "softpipe", "software rasterizer", "swiftshader", "gdi generic"})
        if (name.find(software) != std::string::npos) return true;
    return false;
}

TextureFiltering chooseTextureFiltering(const std::string& rendererName, float maxAnisotropy) {
    if (isSoftwareRasterizer(rendererName)) return {1.0f, "trilinear (a software rasterizer)"};
    if (maxAnisotropy < 2.0f) return {1.0f, "trilinear (the driver offers no anisotropic filtering)"};
    const float anisotropy = std::min(16.0f, maxAnisotropy);
    return {anisotropy, "anisotropic " + std::to_string(static_cast<int>(anisotropy)) + "x"};
}

// ---- message hook ----

void RendererGL::setMessageHook(MessageHook hook) {
    messageHook_ = hook ? hook : &RendererGL::defaultMessageHook;
}

void RendererGL::defaultMessageHook(const char*, ...) {
    logStream << "dummy" << std::endl;
}

// ---- life cycle ----

RendererGL::RendererGL() = default;

RendererGL::~RendererGL() {
    if (initialized_) shutdown();
}

void RendererGL::destroy() {
    // Only the lists themselves: what they point at belongs to others and may be gone by now.
    std::scoped_lock lists(lightsLock_, meshesLock_, materialsLock_, instancesLock_);
    instances_.clear();
    meshes_.clear();
    materials_.clear();
    lights_.clear();
    {
        std::lock_guard overlay(overlayListsMutex_);
        labels_.clear();
        canvases_.clear();
    }
    std::lock_guard lineSets(lineSetsMutex_);
    lineSets_.clear();
}

int RendererGL::initialize(Viewport* window) {
    if (initialized_) return 0;
    if (!window || !window->system) {
        logStream << "renderer: the window has no OpenGL context to draw with" << std::endl;
        return -2;
    }
    if (!window->system->makeContextCurrent()) {
        logStream << "renderer: cannot make the window's OpenGL context current" << std::endl;
        return -2;
    }
    if (!epoxy_is_desktop_gl() || epoxy_gl_version() < 45) {
        logStream << "renderer: OpenGL 4.5 core is needed, the context offers " << epoxy_gl_version() / 10
                  << "." << epoxy_gl_version() % 10 << std::endl;
        return -2;
    }
    window_ = window;
    renderThread_ = std::this_thread::get_id();
    {
        std::lock_guard lock(frameMutex_);
        framesEnded_ = false;
        framesStalled_ = false;
    }
    width_ = window->width ? window->width : static_cast<unsigned>(window->system->drawableWidth());
    height_ = window->height ? window->height : static_cast<unsigned>(window->system->drawableHeight());
    window->system->showWindow();

    glCreateProgramPipelines(1, &pipeline_);
    glBindProgramPipeline(pipeline_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    createFixedGeometry();
    if (const int fonts = createFonts(); fonts != 0) {
        releaseDeviceObjects();
        return fonts;
    }
    textLines_.assign(height_ / 16, TextLineEntry{});
    // The spectrum's sampler has a unit of its own in every program, above those that programs
    // number from 0 for their own samplers.
    GLint units = 0;
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &units);
    spectrumUnit_ = std::max(16, std::min(31, static_cast<int>(units) - 1));
    GlProgram::reserveUnit(SpectrumSamplerName, spectrumUnit_);
    if (!compileShaders()) {
        releaseDeviceObjects();
        return -1;
    }

    projection_ = matrixPerspectiveFovLH(
        FieldOfView, static_cast<float>(width_) / static_cast<float>(height_), NearPlane, FarPlane);
    scaleX_ = projection_.m[0][0];
    scaleY_ = projection_.m[1][1];
    logStream << "scaleX = " << scaleX_ << " scaleY = " << scaleY_ << std::endl;
    const std::string device = glString(GL_RENDERER);
    filtering_ = chooseTextureFiltering(device, maxAnisotropyOfDriver());
    logStream << "renderer: " << device << ", OpenGL " << glString(GL_VERSION) << "; material textures "
              << filtering_.reason << std::endl;
    view_ = Matrix::identity();

    // Direct3D's screen conventions: NDC y = +1 is row 0 of a target (its top, v = 0), depth 0..1.
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);

    createTargets();
    if (glGetError() != GL_NO_ERROR)
        logStream << "renderer: OpenGL reported an error while setting up" << std::endl;
    initialized_ = true;
    noteProgramsChanged();
    if (chain_) setFilterChain(chain_); // handed over before the device existed
    return 0;
}

bool RendererGL::compileShaders() {
    struct Item {
        GlProgram* program;
        const char* file;
        GLenum stage;
    };
    // In the order of rendererShaderFiles, which names the files for checks of a show.
    GlProgram* const programs[] = {&diffuseShader_, &lightingShader_, &gShader_,          &gShaderNv_,
                                   &meshShader_,    &defferedShader_, &flatShader_,       &depthShader_,
                                   &overlayShader_, &prim3dShader_,   &meshShaderSimple_, &meshShaderNv_};
    static_assert(std::size(programs) == rendererShaderFileCount);
    std::vector<Item> items;
    for (size_t i = 0; i < rendererShaderFileCount; ++i)
        items.push_back({programs[i], rendererShaderFiles[i].file,
                         static_cast<GLenum>(rendererShaderFiles[i].vertexStage ? GL_VERTEX_SHADER
                                                                                : GL_FRAGMENT_SHADER)});
    for (const Item& item : items) {
        std::string error;
        if (item.program->build(item.file, item.stage, error)) continue;
        const char* caption = item.stage == GL_VERTEX_SHADER ? "VShaderFailed" : "PShaderError";
        logStream << caption << ": " << error << std::endl;
        noteProblem(std::string("shader ") + item.file + " does not compile");
        showMessageBox(caption, error);
        return false;
    }
    return true;
}

void RendererGL::showMessageBox(const std::string& caption, const std::string& text) {
    if (window_ && window_->system) window_->system->showMessageBox(caption, text, true);
}

void RendererGL::createTargets() {
    // Created in a fixed order; the formats follow what each pass stores.
    const std::pair<Target, GLenum> formats[] = {
        {Target::Diffuse, GL_RGBA8},  {Target::Lighting, GL_RGBA8},  {Target::Specular, GL_RGBA8},
        {Target::Overlay, GL_RGBA8},  {Target::Depth, GL_RGBA16F},   {Target::Normal, GL_RGBA16F},
        {Target::Emissive, GL_RGBA8}, {Target::Composite, GL_RGBA8},
    };
    for (const auto& [target, format] : formats)
        targets_[static_cast<size_t>(target)] = makeTarget(format, width_, height_);
    backBuffer_ = makeTarget(GL_RGBA8, width_, height_);
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glClearTexImage(backBuffer_, 0, GL_RGBA, GL_FLOAT, black);

    glCreateRenderbuffers(1, &depthBuffer_);
    glNamedRenderbufferStorage(depthBuffer_, GL_DEPTH_COMPONENT16, static_cast<GLsizei>(width_),
                               static_cast<GLsizei>(height_));
    // The cube faces get a depth buffer of their own, so a window smaller than a face still works.
    glCreateRenderbuffers(1, &shadowDepth_);
    glNamedRenderbufferStorage(shadowDepth_, GL_DEPTH_COMPONENT16, ShadowCubeSize, ShadowCubeSize);

    auto target = [&](Target t) { return targets_[static_cast<size_t>(t)]; };
    glCreateFramebuffers(1, &gBufferFbo_);
    glNamedFramebufferTexture(gBufferFbo_, GL_COLOR_ATTACHMENT0, target(Target::Diffuse), 0);
    glNamedFramebufferTexture(gBufferFbo_, GL_COLOR_ATTACHMENT1, target(Target::Normal), 0);
    glNamedFramebufferTexture(gBufferFbo_, GL_COLOR_ATTACHMENT2, target(Target::Depth), 0);
    glNamedFramebufferTexture(gBufferFbo_, GL_COLOR_ATTACHMENT3, target(Target::Emissive), 0);
    glNamedFramebufferRenderbuffer(gBufferFbo_, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    const GLenum four[4] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2,
                            GL_COLOR_ATTACHMENT3};
    glNamedFramebufferDrawBuffers(gBufferFbo_, 4, four);
    framebufferComplete(gBufferFbo_, "G-buffer");

    glCreateFramebuffers(1, &lightingFbo_);
    glNamedFramebufferTexture(lightingFbo_, GL_COLOR_ATTACHMENT0, target(Target::Lighting), 0);
    glNamedFramebufferTexture(lightingFbo_, GL_COLOR_ATTACHMENT1, target(Target::Specular), 0);
    // The geometry pass's depth, read (never written) by the depth test that keeps a light to
    // the surfaces it can reach.
    glNamedFramebufferRenderbuffer(lightingFbo_, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    glNamedFramebufferDrawBuffers(lightingFbo_, 2, four);
    framebufferComplete(lightingFbo_, "lighting");

    auto single = [&](GLuint& fbo, GLuint texture, const char* name) {
        glCreateFramebuffers(1, &fbo);
        glNamedFramebufferTexture(fbo, GL_COLOR_ATTACHMENT0, texture, 0);
        glNamedFramebufferDrawBuffer(fbo, GL_COLOR_ATTACHMENT0);
        glNamedFramebufferReadBuffer(fbo, GL_COLOR_ATTACHMENT0);
        framebufferComplete(fbo, name);
    };
    single(compositeFbo_, target(Target::Composite), "composite");
    single(overlayFbo_, target(Target::Overlay), "overlay");
    single(backBufferFbo_, backBuffer_, "back buffer");

    glCreateFramebuffers(1, &shadowFbo_);
    glNamedFramebufferRenderbuffer(shadowFbo_, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, shadowDepth_);
    glNamedFramebufferDrawBuffer(shadowFbo_, GL_COLOR_ATTACHMENT0);

    defaultTextures_[0] = makeOnePixelTexture(255, 255, 255);
    defaultTextures_[1] = makeOnePixelTexture(127, 127, 255);
    defaultTextures_[2] = makeOnePixelTexture(0, 0, 0);
}

void RendererGL::createFixedGeometry() {
    // The full-screen quad: pre-transformed vertices (x, y, z, rhw, u, v) in pixels, v = 0 on top.
    const float w = static_cast<float>(width_);
    const float h = static_cast<float>(height_);
    const float quad[6][6] = {{0, 0, 1, 1, 0, 0}, {0, h, 1, 1, 0, 1}, {w, h, 1, 1, 1, 1},
                              {w, h, 1, 1, 1, 1}, {w, 0, 1, 1, 1, 0}, {0, 0, 1, 1, 0, 0}};
    glCreateBuffers(1, &quadBuffer_);
    glNamedBufferStorage(quadBuffer_, sizeof quad, quad, 0);
    glCreateVertexArrays(1, &quadArray_);
    glVertexArrayVertexBuffer(quadArray_, 0, quadBuffer_, 0, 24);
    setVertexAttribute(quadArray_, 0, 4, GL_FLOAT, 0);
    setVertexAttribute(quadArray_, 2, 2, GL_FLOAT, 16);

    // Line sets: float3 points.
    glCreateBuffers(1, &lineSetBuffer_);
    glCreateVertexArrays(1, &lineSetArray_);
    glVertexArrayVertexBuffer(lineSetArray_, 0, lineSetBuffer_, 0, 12);
    setVertexAttribute(lineSetArray_, 0, 3, GL_FLOAT, 0);

    // 2D drawing: (x, y, z, rhw, ARGB colour, u, v), 28 bytes; 3D lines: (x, y, z, colour, u, v),
    // 24 bytes. An ARGB word in memory is the bytes B, G, R, A: GL_BGRA reads it as RGBA.
    makeStreamBuffer(StreamHalfBytes);
    glCreateVertexArrays(1, &overlayArray_);
    glVertexArrayVertexBuffer(overlayArray_, 0, overlayBuffer_, 0, 28);
    setVertexAttribute(overlayArray_, 0, 4, GL_FLOAT, 0);
    setVertexAttribute(overlayArray_, 1, GL_BGRA, GL_UNSIGNED_BYTE, 16, GL_TRUE);
    setVertexAttribute(overlayArray_, 2, 2, GL_FLOAT, 20);

    glCreateVertexArrays(1, &prim3dArray_);
    glVertexArrayVertexBuffer(prim3dArray_, 0, overlayBuffer_, 0, 24);
    setVertexAttribute(prim3dArray_, 0, 3, GL_FLOAT, 0);
    setVertexAttribute(prim3dArray_, 1, GL_BGRA, GL_UNSIGNED_BYTE, 12, GL_TRUE);
    setVertexAttribute(prim3dArray_, 2, 2, GL_FLOAT, 16);
}

void RendererGL::shutdown() {
    framesEnded();
    if (initialized_ && window_ && window_->system) window_->system->makeContextCurrent();
    if (initialized_) releaseDeviceObjects();
    initialized_ = false;
    logStream << "d3dx9 destroy " << static_cast<const void*>(this) << "\n" << std::flush;
}

void RendererGL::releaseDeviceObjects() {
    collectGarbage();
    {
        std::scoped_lock lists(meshesLock_, materialsLock_);
        for (auto& entry : meshes_) {
            glDeleteBuffers(1, &entry->buffer);
            glDeleteVertexArrays(1, &entry->vertexArray);
            entry->buffer = entry->vertexArray = 0;
            entry->uploaded = false;
        }
        for (auto& entry : materials_) {
            glDeleteTextures(3, entry->textures);
            std::fill(std::begin(entry->textures), std::end(entry->textures), 0u);
            entry->uploaded = false;
        }
    }
    // Every cube made, also those of lights that left by id: the light records themselves may be
    // gone by now.
    if (!cubes_.empty()) glDeleteTextures(static_cast<GLsizei>(cubes_.size()), cubes_.data());
    cubes_.clear();
    spareCubes_.clear();
    GlProgram* programs[] = {&diffuseShader_, &lightingShader_, &gShader_,          &gShaderNv_,
                             &meshShader_,    &defferedShader_, &flatShader_,       &depthShader_,
                             &overlayShader_, &prim3dShader_,   &meshShaderSimple_, &meshShaderNv_};
    for (GlProgram* program : programs)
        program->release();
    materialPrograms_.clear();
    materialLooks_.clear();
    feeds_.clear();
    glDeleteTextures(1, &spectrumTexture_);
    spectrumTexture_ = 0;
    releaseOverlayObjects();
    glDeleteProgramPipelines(1, &pipeline_);
    glDeleteTextures(static_cast<GLsizei>(targets_.size()), targets_.data());
    targets_.fill(0);
    glDeleteTextures(1, &backBuffer_);
    glDeleteTextures(3, defaultTextures_);
    glDeleteRenderbuffers(1, &depthBuffer_);
    glDeleteRenderbuffers(1, &shadowDepth_);
    const GLuint framebuffers[] = {gBufferFbo_,   lightingFbo_, overlayFbo_,
                                   compositeFbo_, shadowFbo_,   backBufferFbo_};
    glDeleteFramebuffers(6, framebuffers);
    deleteStreamBuffer();
    const GLuint buffers[] = {quadBuffer_, lineSetBuffer_};
    glDeleteBuffers(2, buffers);
    const GLuint arrays[] = {quadArray_, lineSetArray_, overlayArray_, prim3dArray_};
    glDeleteVertexArrays(4, arrays);
    if (timeQueries_[0]) glDeleteQueries(7, timeQueries_);
    std::fill(std::begin(timeQueries_), std::end(timeQueries_), 0u);
    pipeline_ = backBuffer_ = depthBuffer_ = shadowDepth_ = 0;
    gBufferFbo_ = lightingFbo_ = overlayFbo_ = compositeFbo_ = shadowFbo_ = backBufferFbo_ = 0;
    quadBuffer_ = lineSetBuffer_ = overlayBuffer_ = quadArray_ = lineSetArray_ = overlayArray_ =
        prim3dArray_ = 0;
    std::fill(std::begin(defaultTextures_), std::end(defaultTextures_), 0u);
}

void RendererGL::simulateDeviceFailures(DeviceObject object, int count) {
    if (object != DeviceObject::Count) simulatedFailures_[static_cast<size_t>(object)] = std::max(0, count);
}

bool RendererGL::deviceRefuses(DeviceObject object) {
    std::atomic<int>& left = simulatedFailures_[static_cast<size_t>(object)];
    for (int n = left.load(); n > 0;)
        if (left.compare_exchange_weak(n, n - 1)) return true;
    return false;
}

// ---- locks ----

bool RendererGL::lockForRegistration(TimedLock& mutex, const char* operation, const char* list) {
    if (mutex.try_lock_for(registrationWait_)) return true;
    logStream << operation << ": the " << list << " list stayed busy for " << registrationWait_.count()
              << " ms; nothing was registered" << std::endl;
    noteProblem(std::string(operation) + " timed out waiting for the " + list + " list");
    return false;
}

void RendererGL::lockForRemoval(TimedLock& mutex, const char* operation, const char* list) {
    if (mutex.try_lock_for(registrationWait_)) return;
    // The caller frees the object as soon as this returns, so the list must let go of it first.
    logStream << operation << ": the " << list << " list has been busy for " << registrationWait_.count()
              << " ms; still waiting" << std::endl;
    mutex.lock();
}

TimedLock& RendererGL::listLock(List list) {
    switch (list) {
    case List::Lights:
        return lightsLock_;
    case List::Meshes:
        return meshesLock_;
    case List::Materials:
        return materialsLock_;
    default:
        return instancesLock_;
    }
}

void RendererGL::setLockWaits(std::chrono::milliseconds registration, std::chrono::milliseconds frame) {
    registrationWait_ = registration;
    frameWait_ = frame;
}

void RendererGL::queueDelete(GLuint buffer, GLuint vertexArray, GLuint texture) {
    std::lock_guard lock(garbageMutex_);
    if (buffer) garbageBuffers_.push_back(buffer);
    if (vertexArray) garbageArrays_.push_back(vertexArray);
    if (texture) garbageTextures_.push_back(texture);
}

void RendererGL::collectGarbage() {
    std::vector<GLuint> buffers, arrays, textures;
    {
        std::lock_guard lock(garbageMutex_);
        buffers.swap(garbageBuffers_);
        arrays.swap(garbageArrays_);
        textures.swap(garbageTextures_);
    }
    if (!buffers.empty()) glDeleteBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
    if (!arrays.empty()) glDeleteVertexArrays(static_cast<GLsizei>(arrays.size()), arrays.data());
    if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
}

// ---- meshes ----

int RendererGL::addMesh(Mesh* mesh) {
    if (!mesh) return -1;
    auto entry = std::make_unique<MeshEntry>();
    entry->mesh = mesh;
    entry->fill(*mesh); // outside the lock: the frame never waits for this
    // Said here, in the registering thread's order, although the buffer is made by the next
    // frame: the log of a run then does not depend on how the two threads meet. A buffer the
    // device refuses is reported when that frame finds out.
    logStream << "created vbuffer for " << entry->vertexCount << " vertices" << std::endl;
    if (!lockForRegistration(meshesLock_, "addMesh", "meshes")) return -1;
    meshes_.push_back(std::move(entry));
    meshesLock_.unlock();
    return 0;
}

int RendererGL::releaseMesh(Mesh* mesh) {
    messageHook_.load()("releasing mesh %s", mesh ? mesh->name.c_str() : "");
    lockForRemoval(meshesLock_, "releaseMesh", "meshes");
    std::lock_guard meshes(meshesLock_, std::adopt_lock);
    auto it = std::find_if(meshes_.begin(), meshes_.end(), [&](const auto& e) { return e->mesh == mesh; });
    if (it == meshes_.end()) return -1;
    MeshEntry* entry = it->get();
    {
        // Instances still drawing this mesh stop drawing rather than follow a freed entry.
        lockForRemoval(instancesLock_, "releaseMesh", "instances");
        std::lock_guard instances(instancesLock_, std::adopt_lock);
        for (RenderInstance* instance : instances_)
            if (instance->meshEntry == entry) instance->meshEntry = nullptr;
    }
    queueDelete(entry->buffer, entry->vertexArray, 0);
    meshes_.erase(it);
    return 0;
}

bool RendererGL::uploadMesh(MeshEntry& entry) {
    if (!entry.buffer) glCreateBuffers(1, &entry.buffer);
    if (!entry.vertexArray) glCreateVertexArrays(1, &entry.vertexArray);
    while (glGetError() != GL_NO_ERROR) {
    }
    glNamedBufferData(entry.buffer, static_cast<GLsizeiptr>(entry.vertices.size()),
                      entry.vertices.empty() ? nullptr : entry.vertices.data(), GL_DYNAMIC_DRAW);
    if (glGetError() != GL_NO_ERROR || deviceRefuses(DeviceObject::VertexBuffer) || !entry.buffer ||
        !entry.vertexArray) {
        logStream << "VertexBuffer creation failed" << std::endl;
        noteProblem("the device refused the vertex buffer of mesh " + entry.name);
        return false;
    }
    const GLint components[5] = {3, 3, 2, 3, 3};
    glVertexArrayVertexBuffer(entry.vertexArray, 0, entry.buffer, 0,
                              static_cast<GLsizei>(entry.stride ? entry.stride : 1));
    glVertexArrayElementBuffer(entry.vertexArray, entry.buffer);
    for (GLuint i = 0; i < 5; ++i) {
        const int offset = entry.offsets[i];
        if (offset < 0) {
            // An absent array reads as the default vertex value (0, 0, 0, 1).
            glDisableVertexArrayAttrib(entry.vertexArray, i);
            continue;
        }
        glEnableVertexArrayAttrib(entry.vertexArray, i);
        glVertexArrayAttribFormat(entry.vertexArray, i, components[i], GL_FLOAT, GL_FALSE,
                                  static_cast<GLuint>(offset));
        glVertexArrayAttribBinding(entry.vertexArray, i, 0);
    }
    entry.uploaded = true;
    entry.version = ++meshUploads_;
    entry.vertices.clear();
    entry.vertices.shrink_to_fit();
    return true;
}

// The mesh counts as never registered: its instances stop drawing, as after releaseMesh.
void RendererGL::dropMesh(MeshEntry* entry) {
    for (RenderInstance* instance : instances_)
        if (instance->meshEntry == entry) instance->meshEntry = nullptr;
    queueDelete(entry->buffer, entry->vertexArray, 0);
    entry->buffer = entry->vertexArray = 0;
    meshes_.erase(
        std::find_if(meshes_.begin(), meshes_.end(), [&](const auto& e) { return e.get() == entry; }));
}

// ---- instances ----

int RendererGL::addRenderInstance(RenderInstance* instance) {
    if (!instance) return -1;
    // The mesh list is read under its own lock, so a mesh being added or released is never seen
    // half-way; meshes before instances keeps the frame's lock order.
    if (!lockForRegistration(meshesLock_, "addRenderInstance", "meshes")) return -1;
    std::lock_guard meshes(meshesLock_, std::adopt_lock);
    if (!lockForRegistration(instancesLock_, "addRenderInstance", "instances")) return -1;
    std::lock_guard instances(instancesLock_, std::adopt_lock);
    auto it = std::find_if(meshes_.begin(), meshes_.end(),
                           [&](const auto& e) { return e->mesh == instance->mesh; });
    if (it == meshes_.end()) return -1;
    if (std::find(instances_.begin(), instances_.end(), instance) != instances_.end()) return -1;
    instance->meshEntry = it->get();
    instance->modelMatrix = Matrix::identity();
    instance->hasModelMatrix = true;
    instances_.insert(instances_.begin(), instance);
    return 0;
}

int RendererGL::removeRenderInstance(RenderInstance* instance) {
    lockForRemoval(instancesLock_, "removeRenderInstance", "instances");
    std::lock_guard instances(instancesLock_, std::adopt_lock);
    if (!eraseFirst(instances_, instance)) return -1;
    instance->meshEntry = nullptr;
    instance->hasModelMatrix = false;
    return 0;
}

// ---- materials ----

int RendererGL::addMaterial(Material* material) {
    if (!material) return -1;
    auto entry = std::make_unique<MaterialEntry>();
    entry->material = material;
    entry->name = material->name;
    entry->width = material->width;
    entry->height = material->height;
    // The mip chains are made here, on the registering thread, outside every lock.
    entry->prepare(*material);
    // Said in the registering thread's order, as for meshes; the upload reports what fails.
    const std::vector<uint8_t>* buffers[3] = {&material->diffuse, &material->normal, &material->emissive};
    for (size_t i = 0; i < 3; ++i)
        if (!entry->levels[i].empty() && entry->width > 0 && entry->height > 0)
            logStream << "filling 32bit texture. width: " << entry->width << " height: " << entry->height
                      << " dataptr: " << static_cast<const void*>(buffers[i]->data()) << std::endl;
    if (!lockForRegistration(materialsLock_, "addMaterial", "materials")) return -1;
    materials_.insert(materials_.begin(), std::move(entry));
    materialsLock_.unlock();
    return 0;
}

int RendererGL::removeMaterial(Material* material) {
    lockForRemoval(materialsLock_, "removeMaterial", "materials");
    std::lock_guard materials(materialsLock_, std::adopt_lock);
    auto it = std::find_if(materials_.begin(), materials_.end(),
                           [&](const auto& e) { return e->material == material; });
    if (it == materials_.end()) return -1;
    for (GLuint texture : (*it)->textures)
        queueDelete(0, 0, texture);
    materials_.erase(it);
    return 0;
}

namespace {

// One mip level down: each texel the average of (up to) four of the level above.
std::vector<uint8_t> halveLevel(const std::vector<uint8_t>& rgba, int w, int h, int& nw, int& nh) {
    nw = std::max(1, w / 2);
    nh = std::max(1, h / 2);
    std::vector<uint8_t> out(static_cast<size_t>(nw) * static_cast<size_t>(nh) * 4);
    for (int y = 0; y < nh; ++y)
        for (int x = 0; x < nw; ++x) {
            const int x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
            const int y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
            for (int c = 0; c < 4; ++c) {
                auto at = [&](int px, int py) {
                    return static_cast<int>(
                        rgba[(static_cast<size_t>(py) * static_cast<size_t>(w) + static_cast<size_t>(px)) *
                                 4 +
                             static_cast<size_t>(c)]);
                };
                out[(static_cast<size_t>(y) * static_cast<size_t>(nw) + static_cast<size_t>(x)) * 4 +
                    static_cast<size_t>(c)] =
                    static_cast<uint8_t>((at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1) + 2) / 4);
            }
        }
    return out;
}

} // namespace

void MaterialEntry::prepare(const Material& source) {
    const size_t texels = static_cast<size_t>(std::max(width, 0)) * static_cast<size_t>(std::max(height, 0));
    const std::vector<uint8_t>* buffers[3] = {&source.diffuse, &source.normal, &source.emissive};
    for (int i = 0; i < 3; ++i) {
        const std::vector<uint8_t>& pixels = *buffers[i];
        auto& chain = levels[static_cast<size_t>(i)];
        chain.clear();
        if (pixels.empty() || texels == 0) continue; // absent: the slot stays empty
        if (pixels.size() < texels * 3 || (i == 0 && source.channels != 3)) {
            logStream << "texture creation failed for material " << name << " (" << width << " x " << height
                      << ", " << pixels.size() << " bytes)" << std::endl;
            continue;
        }
        // Buffer row 0 becomes texture row 0: v = 0.
        std::vector<uint8_t> rgba(texels * 4);
        for (size_t t = 0; t < texels; ++t) {
            rgba[4 * t + 0] = pixels[3 * t + 0];
            rgba[4 * t + 1] = pixels[3 * t + 1];
            rgba[4 * t + 2] = pixels[3 * t + 2];
            rgba[4 * t + 3] = 255;
        }
        int w = width, h = height;
        chain.push_back(std::move(rgba));
        while (w > 1 || h > 1) {
            int nw = 0, nh = 0;
            std::vector<uint8_t> next = halveLevel(chain.back(), w, h, nw, nh);
            chain.push_back(std::move(next));
            w = nw;
            h = nh;
        }
        for (const auto& level : chain)
            preparedBytes += level.size();
    }
}

void RendererGL::uploadMaterial(MaterialEntry& entry) {
    entry.uploaded = true;
    const int w = entry.width;
    const int h = entry.height;
    if (w <= 0 || h <= 0) return;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    for (int i = 0; i < 3; ++i) {
        auto& chain = entry.levels[static_cast<size_t>(i)];
        if (chain.empty()) continue;
        if (w > maxSize || h > maxSize) {
            logStream << "texture creation failed for material " << entry.name << " (" << w << " x " << h
                      << " is larger than the device's " << maxSize << ")" << std::endl;
            chain.clear();
            continue;
        }
        GLuint texture = 0;
        while (glGetError() != GL_NO_ERROR) {
        }
        glCreateTextures(GL_TEXTURE_2D, 1, &texture);
        glTextureStorage2D(texture, static_cast<GLsizei>(chain.size()), GL_RGBA8, w, h);
        if (glGetError() != GL_NO_ERROR || deviceRefuses(DeviceObject::Texture) || !texture) {
            // The slot stays empty: the draw binds the neutral texture of its kind there.
            logStream << "texture creation failed for material " << entry.name << " (" << w << " x " << h
                      << ")" << std::endl;
            glDeleteTextures(1, &texture);
            chain.clear();
            continue;
        }
        int lw = w, lh = h;
        for (size_t level = 0; level < chain.size(); ++level) {
            glTextureSubImage2D(texture, static_cast<GLint>(level), 0, 0, lw, lh, GL_RGBA, GL_UNSIGNED_BYTE,
                                chain[level].data());
            lw = std::max(1, lw / 2);
            lh = std::max(1, lh / 2);
        }
        chain.clear();
        chain.shrink_to_fit();
        glTextureParameteri(texture, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTextureParameteri(texture, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        if (filtering_.anisotropy > 1.0f)
            glTextureParameterf(texture, GL_TEXTURE_MAX_ANISOTROPY, filtering_.anisotropy);
        glTextureParameteri(texture, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTextureParameteri(texture, GL_TEXTURE_WRAP_T, GL_REPEAT);
        entry.textures[i] = texture;
    }
    entry.preparedBytes = 0;
}

MaterialEntry* RendererGL::findMaterialLocked(const std::string& name) {
    // A material registered again under its name (a bitmap saved while the show plays) is passed
    // over until its textures are made, so the one before it stays on screen meanwhile.
    MaterialEntry* first = nullptr;
    for (auto& entry : materials_)
        if (entry->name == name) {
            if (entry->uploaded) return entry.get();
            if (!first) first = entry.get();
        }
    return first;
}

// ---- lights ----

int RendererGL::addLight(LightRecord* light) {
    if (!light) return -1;
    if (!initialized_) {
        logStream << "addLight: there is no device yet; light " << light->id << " is not registered"
                  << std::endl;
        return -1;
    }
    if (!lockForRegistration(lightsLock_, "addLight", "lights")) return -1;
    std::unique_lock lights(lightsLock_, std::adopt_lock);
    if (std::find(lights_.begin(), lights_.end(), light) != lights_.end() ||
        std::any_of(pendingLights_.begin(), pendingLights_.end(),
                    [&](const PendingLight* p) { return p->light == light; }))
        return -1;
    light->shadowCube = 0;
    if (onRenderThread()) {
        if (!makeShadowCube(*light)) return -1;
        lights_.push_back(light);
        return 0;
    }
    // Only the thread that renders may make the cube: the answer waits for its next frame.
    PendingLight pending;
    pending.light = light;
    pendingLights_.push_back(&pending);
    lights.unlock();
    waitForFrames([&] { return pending.state.load() != 0; }, std::chrono::steady_clock::time_point::max());
    lights.lock();
    if (const int state = pending.state.load(); state != 0) return state > 0 ? 0 : -1;
    pendingLights_.erase(std::find(pendingLights_.begin(), pendingLights_.end(), &pending));
    logStream << "addLight: no frame is drawn to make the shadow cube; light " << light->id
              << " is not registered" << std::endl;
    return -1;
}

int RendererGL::removeLightById(int id) {
    lockForRemoval(lightsLock_, "removeLightById", "lights");
    std::lock_guard lights(lightsLock_, std::adopt_lock);
    auto it = std::find_if(lights_.begin(), lights_.end(), [&](LightRecord* l) { return l->id == id; });
    if (it == lights_.end()) return -1;
    lights_.erase(it); // the light keeps its shadow cube
    return 0;
}

int RendererGL::removeLight(LightRecord* light) {
    lockForRemoval(lightsLock_, "removeLight", "lights");
    std::lock_guard lights(lightsLock_, std::adopt_lock);
    if (!eraseFirst(lights_, light)) return 1;
    const auto cube = static_cast<GLuint>(light->shadowCube);
    if (cube) {
        std::lock_guard lock(garbageMutex_);
        if (spareCubes_.size() < MaxSpareCubes) {
            spareCubes_.push_back(cube);
        } else {
            garbageTextures_.push_back(cube);
            cubes_.erase(std::remove(cubes_.begin(), cubes_.end(), cube), cubes_.end());
        }
    }
    light->shadowCube = 0;
    return 0;
}

// ---- labels, canvases, line sets ----

int RendererGL::addTextLabel(TextLabel* label) {
    if (!label) return -1;
    std::lock_guard lock(overlayListsMutex_);
    labels_.insert(labels_.begin(), label);
    return 0;
}

int RendererGL::removeTextLabel(TextLabel* label) {
    std::lock_guard lock(overlayListsMutex_);
    return eraseFirst(labels_, label) ? 0 : -1;
}

int RendererGL::addCanvas(CanvasInterface* canvas) {
    std::lock_guard lock(overlayListsMutex_);
    if (!canvas || std::find(canvases_.begin(), canvases_.end(), canvas) != canvases_.end()) return -1;
    canvases_.push_back(canvas);
    return 0;
}

int RendererGL::removeCanvas(CanvasInterface* canvas) {
    std::lock_guard lock(overlayListsMutex_);
    return eraseFirst(canvases_, canvas) ? 0 : -1;
}

int RendererGL::addLineSet(LineSet* lineSet) {
    if (!lineSet) return -1;
    std::lock_guard lock(lineSetsMutex_);
    lineSets_.push_back(lineSet);
    return 0;
}

int RendererGL::removeLineSet(LineSet* lineSet) {
    std::lock_guard lock(lineSetsMutex_);
    return eraseFirst(lineSets_, lineSet) ? 0 : -1;
}

// ---- text lines ----

int RendererGL::setTextLine(int index, const char* text, int length, uint32_t colour) {
    if (!text || index < 0 || index >= getTextLineCount() || length < 0 || length >= 80) return 0;
    TextLineEntry& line = textLines_[static_cast<size_t>(index)];
    std::memset(line.text, 0, sizeof line.text);
    std::memcpy(line.text, text, strnlen(text, static_cast<size_t>(length)));
    line.length = length;
    line.colour = colour;
    return 0;
}

int RendererGL::getTextLineCount() {
    return static_cast<int>(textLines_.size());
}

std::string RendererGL::textLine(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= textLines_.size()) return {};
    return textLines_[static_cast<size_t>(index)].text;
}

// ---- camera ----

void RendererGL::setCameraPosition(float x, float y, float z) {
    view_ = matrixTranslation(x, y, z);
    eye_ = Vector{-x, -y, -z};
}

void RendererGL::setViewDirection(float x, float y, float z) {
    viewDirection_ = Vector{x, y, z};
}

void RendererGL::multiplyView(const float* matrix) {
    if (!matrix) return;
    Matrix m;
    std::memcpy(m.m, matrix, sizeof m.m);
    view_ = matrixMultiply(view_, m);
}

// ---- inspection ----

bool RendererGL::captureFrame(std::vector<uint8_t>& rgb, int& width, int& height) {
    if (!initialized_ || !backBuffer_) return false;
    width = static_cast<int>(width_);
    height = static_cast<int>(height_);
    rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    // Row 0 of the back buffer is the top of the picture, so the rows come out upright. The rows
    // are packed without padding at any width, whatever another reader left in the pack state.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTextureImage(backBuffer_, 0, GL_RGB, GL_UNSIGNED_BYTE, static_cast<GLsizei>(rgb.size()), rgb.data());
    return glGetError() == GL_NO_ERROR;
}

bool RendererGL::readTarget(Target target, std::vector<float>& rgba, int& width, int& height) {
    if (!initialized_ || target == Target::Count) return false;
    const GLuint texture = targets_[static_cast<size_t>(target)];
    if (!texture) return false;
    width = static_cast<int>(width_);
    height = static_cast<int>(height_);
    rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glGetTextureImage(texture, 0, GL_RGBA, GL_FLOAT, static_cast<GLsizei>(rgba.size() * sizeof(float)),
                      rgba.data());
    return glGetError() == GL_NO_ERROR;
}

bool RendererGL::readDepth(std::vector<float>& depth, int& width, int& height) {
    if (!initialized_) return false;
    width = static_cast<int>(width_);
    height = static_cast<int>(height_);
    depth.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, gBufferFbo_);
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    return glGetError() == GL_NO_ERROR;
}

bool RendererGL::readShadowFace(TextureHandle cube, int face, std::vector<float>& red, int& size) {
    const auto texture = static_cast<GLuint>(cube);
    if (!initialized_ || !texture || face < 0 || face > 5 || !glIsTexture(texture)) return false;
    size = ShadowCubeSize;
    red.resize(static_cast<size_t>(ShadowCubeSize) * ShadowCubeSize);
    glGetTextureSubImage(texture, 0, 0, 0, face, ShadowCubeSize, ShadowCubeSize, 1, GL_RED, GL_FLOAT,
                         static_cast<GLsizei>(red.size() * sizeof(float)), red.data());
    return glGetError() == GL_NO_ERROR;
}
