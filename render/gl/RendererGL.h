// The renderer on OpenGL 4.5 core: deferred shading with shadow-casting point lights, a 2D
// overlay drawn by canvases, and the post-processing chain that ends on the screen.
//
// Threads. The main thread owns the GL context and calls initialize, the camera operations,
// renderFrame, the drawing operations (from canvases) and shutdown. The loader thread registers
// meshes, materials, instances and lights while frames run; those operations make no GL call:
// each builds the renderer's entry on the CPU at once (interleaved vertices, a texture's place)
// and the GL objects are made by the frames that follow, on the main thread, a few megabytes a
// frame, before the frame uses the lists. A frame therefore never sees a half-made mesh, material
// or light. What the device refuses is reported once and dropped: a mesh without its vertex
// buffer counts as never registered (its instances draw nothing), a material keeps the textures
// that could be made. addLight answers whether the light's shadow cube could be made: on the
// thread that renders it makes the cube at once; on another it waits for the next frame to make
// it. waitForResources lets the loader thread wait until everything it registered is made, so the
// show's first frame has all of it. Nothing waits for frames after framesEnded or shutdown, nor
// once no frame has begun for the frame wait (4000 ms).
//
// Locks. Meshes, materials, instances and lights each have a lock with bounded waits. A registration waits
// at most registrationWait (1000 ms); when that runs out it logs a line, changes nothing and
// returns -1. A removal waits as long as it takes, logging once after registrationWait: its
// caller frees the object as soon as it returns, so it may not return while the list still
// holds it; every holder of these locks holds them briefly and boundedly. The frame takes the
// four in the order lights, meshes, materials, instances (each for at most frameWait, 4000 ms),
// finishes pending GL work, updates the instances and copies what the passes need, then releases
// them and draws from that copy: the loader thread is never held up by drawing. A list whose
// lock the frame could not get within frameWait is left out of that frame (no geometry without
// meshes or instances, no lights, no materials bound) and a line says so. GL objects of removed
// entries are deleted by the next frame, never by the thread that removed them.
//
// Text labels, canvases and line sets are guarded by their own mutexes, held by the frame
// while it draws them, so that their owners may remove them from any thread.
//
// Overlay and filters. The drawing operations work only inside a canvas's draw callback (on the
// thread that renders); anywhere else they draw nothing and one line says so. Text labels are
// drawn after the canvases. The fonts are glyph atlases built once by initialize. Without a
// filter chain the shaded picture is shown as it is; a chain of no stages leaves the back buffer
// as it was; a stage whose shader did not compile is skipped.
//
// Not handled: a lost context, and a window that changes size after initialize (the targets
// keep the size they were made with; the picture is scaled to the window when shown).
//
// Conventions: 2D pixel coordinates with the origin top-left, y down; depth 0..1; texture v = 0
// is the first row of an uploaded buffer and the top row of every render target. The frame is
// drawn into an off-screen back buffer with the same convention and turned upright when it is
// shown, so captureFrame and the screen both see it the right way up.
#pragma once

#include "engine/base/FrameTimer.h"
#include "math/Matrix.h"
#include "render/Bounds.h"
#include "render/FilterChain.h"
#include "render/RenderInterface.h"
#include "render/gl/GlFont.h"
#include "render/gl/GlProgram.h"
#include "render/gl/LightBounds.h"
#include "render/gl/TimedLock.h"

#include <epoxy/gl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

struct Mesh;
struct Material;
struct FilterChain;

// Attribute `index` of a vertex array: `size` values of `type` at `offset` in buffer binding 0
// (normalized: integers read as 0..1).
inline void setVertexAttribute(GLuint array, GLuint index, GLint size, GLenum type, GLuint offset,
                               GLboolean normalized = GL_FALSE) {
    glEnableVertexArrayAttrib(array, index);
    glVertexArrayAttribFormat(array, index, size, type, normalized, offset);
    glVertexArrayAttribBinding(array, index, 0);
}

// The renderer's record of a registered mesh: its interleaved vertices and, once the frame has
// made them, the GL buffer and vertex array.
struct MeshEntry {
    Mesh* mesh = nullptr; // the key
    std::string name;
    uint32_t stride = 0;
    uint32_t vertexCount = 0;
    // Byte offset of each element (position, normal, texture coordinate, tangent, binormal), -1
    // when the mesh has no such array.
    std::array<int, 5> offsets{-1, -1, -1, -1, -1};
    // Interleaved, each distinct vertex once, then the vertexCount indices (32-bit) that draw
    // the triangles; emptied once uploaded.
    std::vector<uint8_t> vertices;
    size_t indexOffset = 0; // where the indices begin, in bytes
    bool uploaded = false;
    GLuint buffer = 0;
    GLuint vertexArray = 0;
    Sphere bounds;          // around every vertex drawn, in the mesh's own space
    Vector boxLow, boxHigh; // the box around them (not finite: it reaches everywhere)
    uint64_t version = 0;   // new with every upload: what a shadow face drew is known by it

    // Interleaves the mesh's arrays in the fixed order position, normal, texture coordinate,
    // tangent, binormal, leaving out the absent ones, and writes the stride into the mesh; then
    // keeps each distinct vertex once, with the indices that draw the mesh's triangles.
    void fill(Mesh& mesh);
};

// The renderer's record of a registered material: its size and, once the frame has made them,
// the three textures (0 where the material has no such image).
struct MaterialEntry {
    Material* material = nullptr; // the key
    std::string name;
    int width = 0;
    int height = 0;
    bool uploaded = false;
    GLuint textures[3] = {}; // diffuse, normal, emissive

    // Texels prepared by the registering thread for each texture: every mip level as RGBA rows,
    // largest first (empty: no such image). The frame only copies them to the device.
    std::array<std::vector<std::vector<uint8_t>>, 3> levels;
    size_t preparedBytes = 0;

    // Builds the mip chains from the material's pixel buffers; false (with a line) for a buffer
    // shorter than its image.
    void prepare(const Material& material);
};

// How material textures are sampled: trilinear always, and anisotropic on top where the driver
// offers it and is a hardware one. A software rasteriser pays several times the frame for
// anisotropy, so it keeps trilinear filtering.
struct TextureFiltering {
    float anisotropy = 1.0f; // the largest ratio of the footprint sampled; 1: trilinear alone
    std::string reason;      // why, as the start-up line gives it
};

// Whether a GL_RENDERER string names a software rasteriser (Mesa's llvmpipe and softpipe, its
// classic swrast, SwiftShader, Windows' GDI renderer).
bool isSoftwareRasterizer(const std::string& rendererName);
// The filtering for a driver of that name whose largest anisotropy is maxAnisotropy (0 when it
// offers no anisotropic filtering); at most 16.
TextureFiltering chooseTextureFiltering(const std::string& rendererName, float maxAnisotropy);

// The renderer's objects of one filter stage: its target and its shader. The target has the
// back buffer's size, or the fraction of it that the stage's shader asks for with the constant
// "targetScale" (read when the shader is built).
struct FilterResources {
    GLuint target = 0;
    GLuint framebuffer = 0;
    int width = 0;
    int height = 0;
    GlProgram shader; // not valid when the stage's file did not compile: the stage is skipped
};

class RendererGL : public RenderInterface {
public:
    // Bytes of vertices and texels a frame hands to the device at most (at least one entry).
    static constexpr size_t UploadBudgetBytes = 2u << 20;

    // The printf-style callback through which releaseMesh reports "releasing mesh %s". The one
    // installed by default ignores its arguments and logs "dummy".
    using MessageHook = void (*)(const char* format, ...);
    static void setMessageHook(MessageHook hook);
    static void defaultMessageHook(const char* format, ...);

    // The renderer's own targets, as readTarget names them.
    enum class Target { Diffuse, Lighting, Specular, Overlay, Depth, Normal, Emissive, Composite, Count };

    // Lists guarded by a timed lock.
    enum class List { Lights, Meshes, Materials, Instances };

    // How pass times are measured: GL timer queries (GPU time), or a glFinish and the CPU clock
    // at each boundary (what a software rasteriser spends, whose timer queries mark when
    // commands were queued rather than run), or a glFinish and the CPU time of the whole process
    // (a software rasteriser's work on all its threads, which other work on a busy machine
    // disturbs far less than the clock; where the system offers no process CPU time, the
    // clock). All cost a wait at the end of the frame.
    enum class PassClock { Off, TimerQueries, FinishAndClock, FinishAndCpuTime };

    // Time of each part of the last frame, in milliseconds (when pass timing is on).
    struct PassTimes {
        double geometry = 0, shadow = 0, lighting = 0, composition = 0, overlay = 0, filters = 0;
        bool valid = false;
        std::vector<double> stages; // each filter stage's share of `filters`
    };

    RendererGL(); // writes "ri ctor" through the interface
    ~RendererGL() override;

    void destroy() override;
    int initialize(Viewport* window) override;
    void shutdown() override;
    void renderFrame(float frameTime) override;
    void skipFrame(float frameTime) override;
    int addMesh(Mesh* mesh) override;
    int releaseMesh(Mesh* mesh) override;
    int addRenderInstance(RenderInstance* instance) override;
    int removeRenderInstance(RenderInstance* instance) override;
    int addMaterial(Material* material) override;
    int removeMaterial(Material* material) override;
    int addLight(LightRecord* light) override;
    int removeLightById(int id) override;
    int removeLight(LightRecord* light) override;
    int addTextLabel(TextLabel* label) override;
    int removeTextLabel(TextLabel* label) override;
    int addCanvas(CanvasInterface* canvas) override;
    int removeCanvas(CanvasInterface* canvas) override;
    int reservedA(int32_t) override { return 0; }
    int reservedB(int32_t) override { return 0; }
    int addLineSet(LineSet* lineSet) override;
    int removeLineSet(LineSet* lineSet) override;
    int setTextLine(int index, const char* text, int length, uint32_t colour) override;
    int getTextLineCount() override;
    void setCameraPosition(float x, float y, float z) override;
    void setViewDirection(float x, float y, float z) override;
    void multiplyView(const float* matrix) override;
    int setFilterChain(FilterChain* chain) override;
    int drawText(std::string text, int x, int y, uint32_t colour, int font) override;
    // Scaled text uses the same face built at the scaled size (once per size), so it stays sharp.
    int drawTextScaled(std::string text, int x, int y, uint32_t colour, int font, float scale) override;
    int textWidth(const std::string& text, int font, float scale = 1.0f) override;
    void drawLine2D(int x1, int y1, int x2, int y2, uint32_t colour) override;
    void drawRect(int x1, int y1, int x2, int y2, uint32_t colour, const char* materialName) override;
    void drawLine3D(float x1, float y1, float z1, float x2, float y2, float z2, uint32_t colour) override;
    int waitForResources(int milliseconds) override;
    void framesEnded() override;
    void setScreenText(const std::vector<ScreenLine>& lines) override;
    void enablePassTiming(bool on) override;
    std::vector<std::pair<std::string, double>> passMilliseconds() override;
    int reloadShader(const std::string& file, std::string& error) override;
    // The show's own look (RendererGLLook.cpp): every program of every pass gets the inputs of
    // its uniforms' names; a material may have a shader pair of its own; a declared filter
    // recipe is put in place between frames.
    void setShaderInputs(const ShaderInputs& inputs) override;
    bool declaresShaderInput(const std::string& name) override;
    void setMaterialShaders(const std::vector<MaterialShaders>& table) override;
    std::vector<std::pair<std::string, std::string>> shaderProblems() override;

    // ---- beyond the interface: capture, inspection and tuning ----

    // The presented frame as upright RGB rows, top row first (3 bytes per pixel). False before
    // initialize or after shutdown. Call on the thread that renders.
    bool captureFrame(std::vector<uint8_t>& rgb, int& width, int& height);
    // The texture holding the presented frame (RGBA8, top row first), for reading it back
    // asynchronously; 0 before initialize or after shutdown. Call on the thread that renders.
    GLuint presentedTexture() const { return initialized_ ? backBuffer_ : 0; }
    // One of the renderer's targets as RGBA floats, top row first. False when it does not exist.
    bool readTarget(Target target, std::vector<float>& rgba, int& width, int& height);
    // The depth buffer of the geometry pass, top row first.
    bool readDepth(std::vector<float>& depth, int& width, int& height);
    // The target of filter stage `stage` as RGBA floats, top row first.
    bool readStageTarget(int stage, std::vector<float>& rgba, int& width, int& height);
    // Face 0..5 of a shadow cube (the red channel), rows top first.
    bool readShadowFace(TextureHandle cube, int face, std::vector<float>& red, int& size);

    // The timed lock of a list, for tests that need to hold a list still from another thread.
    TimedLock& listLock(List list);
    // Lock waits; the defaults are 1000 ms for registrations and 4000 ms for a frame.
    void setLockWaits(std::chrono::milliseconds registration, std::chrono::milliseconds frame);

    // The filtering of material textures, chosen by initialize for the driver; a change applies
    // to the textures made afterwards.
    const TextureFiltering& textureFiltering() const { return filtering_; }
    void setTextureFiltering(const TextureFiltering& filtering) { filtering_ = filtering; }

    // What the device may refuse to make. Tests make the next `count` creations of a kind fail
    // as an exhausted device would, to see the failure handled.
    enum class DeviceObject { VertexBuffer, Texture, ShadowCube, Count };
    void simulateDeviceFailures(DeviceObject object, int count);

    void setPassTiming(PassClock clock) { passClock_ = clock; }
    // Whether the last frame left a registered mesh or material without its GL objects (the
    // upload budget ran out, or an upload failed and is tried again); any thread may ask.
    bool uploadsPending() const { return uploadsPending_.load(std::memory_order_relaxed); }
    PassTimes lastPassTimes() const { return passTimes_; }

    float presentTime() const { return presentTime_; }
    unsigned trianglesDrawn() const { return triangles_; }
    // Cube faces that passed the shadow pass's face test in the last frame (faces turned away
    // keep their contents). Of those, shadowFacesKept() were not drawn again because the face
    // already held exactly that picture: the light and everything in the face's view were as
    // they were when it was last drawn. A face where only some instances moved is drawn again
    // only over the pixels those instances covered before or cover now.
    unsigned shadowFacesDrawn() const { return shadowFaces_; }
    unsigned shadowFacesKept() const { return shadowFacesKept_; }
    // Of the faces drawn again, those drawn only where something changed.
    unsigned shadowFacesPatched() const { return shadowFacesPatched_; }
    // Whether unchanged shadow faces are kept (on by default); off, every face that passes the
    // face test is drawn again, as a reference for the same pictures.
    void setShadowFaceReuse(bool on) { reuseShadowFaces_ = on; }
    // Instances the geometry pass left out in the last frame: wholly outside the view.
    unsigned instancesCulled() const { return instancesCulled_; }
    // Lights left out of the last frame, shadow faces and lighting both: the lighting shader
    // declares how far a light reaches ("lightReach", in cut-offs), and nothing within that
    // distance of the light was in view.
    unsigned lightsLeftOut() const { return lightsLeftOut_; }
    // Cube faces of the lights in view that passed the face test but were not drawn, as nothing
    // lit in view looks through them (they keep what they hold, as turned-away faces do). Not
    // counted in shadowFacesDrawn().
    unsigned shadowFacesUnseen() const { return shadowFacesUnseen_; }
    // The pixels of the rectangle the last frame's lighting pass drew each light over, in light
    // order: the whole picture for a light of unbounded reach, none for one left out.
    const std::vector<long>& lightPixels() const { return lightPixels_; }
    // Whether lights of bounded reach are drawn only where they reach (on by default); off, every
    // light is drawn over the whole picture, as a reference for the same pictures.
    void setLightBounds(bool on) { boundLights_ = on; }
    const Matrix& projection() const { return projection_; }
    const Matrix& viewMatrix() const { return view_; }
    unsigned width() const { return width_; }
    unsigned height() const { return height_; }
    // The text line stored at index (empty when none), for inspection.
    std::string textLine(int index) const;

private:
    struct TextLineEntry {
        char text[80] = {};
        int length = 0;
        uint32_t colour = 0;
    };
    struct DrawItem {
        const RenderInstance* instance = nullptr; // who drew it, to follow it from frame to frame
        GLuint vertexArray = 0;
        size_t indexOffset = 0; // of the indices in the vertex array's element buffer
        uint32_t vertexCount = 0;
        uint64_t meshVersion = 0;
        Sphere bounds; // in the world
        Matrix model;
        Vector emissiveScale;
        bool hasMaterial = false;
        GLuint textures[3] = {}; // diffuse, normal, emissive
        bool inView = true;      // not wholly outside this frame's view
        Vector corners[8];       // of the mesh's box, in the world
        // The material's own shaders where it has them and they compiled (null: the renderer's).
        const GlProgram* vertex = nullptr;
        const GlProgram* pixel = nullptr;
    };
    struct LightItem {
        Vector position;
        Vector colour;
        float cutoff = 0.0f;
        GLuint cube = 0;
        LightBounds bounds; // where it can add anything (the whole picture when unbounded)
        bool bounded = false;
        float margin = 0.0f;          // how far a looked-up point may lie off a surface
        size_t receivers[2] = {0, 0}; // its range of receivers_
    };
    // Instances in view that bounded lights reach, by light (LightItem::receivers).
    std::vector<const DrawItem*> receivers_;
    // Whether anything a light reaches in view looks up its shadow cube through `face`.
    bool faceIsLookedThrough(const LightItem& light, int face) const;
    // What one shadow cube face was last drawn with: the light's place and every draw that could
    // reach the face, in order. The same record means the same picture.
    struct ShadowDraw {
        const RenderInstance* instance = nullptr;
        uint64_t meshVersion = 0;
        uint32_t vertexCount = 0;
        Matrix model;
        Sphere bounds; // follows from the mesh and the model: not compared
        bool operator==(const ShadowDraw& other) const;
    };
    struct ShadowFace {
        bool valid = false;
        Vector light;
        uint64_t shaders = 0;
        std::vector<ShadowDraw> draws;
    };
    // The part of a face that changes between its record and this frame's draws, in pixels of
    // the face (x0, y0 inclusive, x1, y1 exclusive, window rows); false: the whole face.
    bool changedPartOfFace(const ShadowFace& kept, const Matrix& faceView, int rect[4]);
    // A light registered from another thread than the one that renders, until a frame has made
    // its shadow cube. It lives on the registering thread's stack.
    struct PendingLight {
        LightRecord* light = nullptr;
        std::atomic<int> state{0}; // 0 waiting, 1 made, -1 refused by the device
    };
    enum class FrameWait { Done, TimedOut, NoFrames };

    // Set-up.
    int createFonts();
    void releaseOverlayObjects();
    // Through the window the renderer draws in; nothing without one.
    void showMessageBox(const std::string& caption, const std::string& text);
    bool compileShaders();
    void createTargets();
    void createFixedGeometry();
    void releaseDeviceObjects();

    // Frame steps.
    void collectGarbage();
    void prepareFrame(); // locks, pending GL work, instance update, draw lists
    // The GL objects of new entries, at most `budget` bytes of them (at least one entry), with
    // the locks of the lists named held.
    void makePendingResources(size_t budget, bool lights, bool meshes, bool materials, bool instances);
    bool uploadMesh(MeshEntry& entry); // false: the device refused it (reported)
    void dropMesh(MeshEntry* entry);   // with the mesh and instance locks held
    void uploadMaterial(MaterialEntry& entry);
    bool makeShadowCube(LightRecord& light); // false: the device refused it (reported)
    int pendingResources();
    bool onRenderThread() const { return renderThread_.load() == std::this_thread::get_id(); }
    // Waits until done() holds, frames end or stall, or `until` passes.
    FrameWait waitForFrames(const std::function<bool()>& done, std::chrono::steady_clock::time_point until);
    // Where each light can reach on this frame's picture, from the lighting shader's reach.
    void placeLights();
    void geometryPass();
    void shadowPass();
    // Draws one face of a light's cube with the instances that can reach it, unless the face
    // already holds that picture.
    void shadowFace(const LightItem& light, int face, std::array<ShadowFace, 6>& record,
                    const GlProgram::Uniform& worldView, const GlProgram::Uniform& modelMat,
                    bool& modelMatReported);
    void lightingPass();
    void compositionPass();
    void overlayPass();
    void drawCanvases();
    void drawTextLabels();
    void runFilterChain();
    void present();

    // The show's look (RendererGLLook.cpp).
    struct MaterialLook {
        GlProgram* vertex = nullptr; // null: the renderer's own
        GlProgram* pixel = nullptr;
    };
    // A new material table or filter recipe, made on the thread that renders.
    void makePendingLook();
    bool lookPending();
    // The stages' resources for the chain's stages as they stand (the target, the shader).
    void buildStageResources();
    // A material's shader of that file, built the first time it is asked for (invalid when it
    // does not compile: the renderer's own draws instead).
    GlProgram* materialProgram(const std::string& file, GLenum stage);
    // Every program a pass may use, for the inputs and the names declared.
    std::vector<GlProgram*> allPrograms();
    void noteProgramsChanged();
    void feedShaderInputs();

    // Helpers.
    void bindTarget(GLuint framebuffer, int width, int height);
    void clearBound();
    void drawFullScreenQuad();
    void useStages(const GlProgram& vertex, const GlProgram& fragment);
    GLuint filterInputTexture(int input) const;
    MaterialEntry* findMaterialLocked(const std::string& name);
    bool lockForRegistration(TimedLock& mutex, const char* operation, const char* list);
    void lockForRemoval(TimedLock& mutex, const char* operation, const char* list);
    void queueDelete(GLuint buffer, GLuint vertexArray, GLuint texture);
    void releaseStageResources();
    // Makes (again) the stage's target and framebuffer at the size its shader asks for.
    void makeStageTarget(FilterResources& resources);
    bool mayDraw(const char* operation);
    enum class OverlayStages { None, Flat, Prim3d, Text };
    void useOverlayStages(OverlayStages stages);
    GLintptr streamVertices(const void* data, size_t bytes, size_t stride);
    void makeStreamBuffer(size_t halfBytes);
    void deleteStreamBuffer();
    void flushText();
    FilterResources* resourcesOf(int stage) const;
    bool deviceRefuses(DeviceObject object);
    void timestamp(int index);

    // Window and sizes.
    Viewport* window_ = nullptr;
    unsigned width_ = 0;
    unsigned height_ = 0;
    std::atomic<bool> initialized_{false};

    // Camera.
    Vector viewDirection_;
    Vector eye_;
    Matrix projection_ = Matrix::identity();
    Matrix view_ = Matrix::identity();
    float scaleX_ = 0.0f;
    float scaleY_ = 0.0f;

    // Shaders, in the order they are compiled.
    GlProgram diffuseShader_, lightingShader_, gShader_, gShaderNv_, meshShader_, defferedShader_,
        flatShader_, depthShader_, overlayShader_, prim3dShader_, meshShaderSimple_, meshShaderNv_;
    GLuint pipeline_ = 0;

    // Targets.
    std::array<GLuint, static_cast<size_t>(Target::Count)> targets_{};
    GLuint backBuffer_ = 0; // the picture presented, top row first
    GLuint depthBuffer_ = 0;
    GLuint shadowDepth_ = 0;
    GLuint gBufferFbo_ = 0, lightingFbo_ = 0, overlayFbo_ = 0, compositeFbo_ = 0, shadowFbo_ = 0,
           backBufferFbo_ = 0;
    GLuint defaultTextures_[3] = {}; // white diffuse, flat normal, black emissive

    // Fixed geometry.
    GLuint quadBuffer_ = 0, quadArray_ = 0;
    GLuint lineSetBuffer_ = 0, lineSetArray_ = 0;
    GLuint overlayBuffer_ = 0, overlayArray_ = 0, prim3dArray_ = 0;
    // The overlay's vertices stream through overlayBuffer_, mapped once and written in two
    // halves: a half is written again only after the draws that last read it have finished
    // (its fence), so no frame asks the driver for new memory or waits for the frame before.
    static constexpr size_t StreamHalfBytes = 2 * 1024 * 1024; // grows for a larger single draw
    uint8_t* streamMapped_ = nullptr;
    size_t streamHalfBytes_ = 0;
    size_t streamHalf_ = 0;
    GLsync streamFences_[2] = {};

    // Registries.
    TimedLock meshesLock_, materialsLock_, instancesLock_, lightsLock_;
    std::chrono::milliseconds registrationWait_{1000};
    std::chrono::milliseconds frameWait_{4000};
    std::vector<std::unique_ptr<MeshEntry>> meshes_;
    std::vector<RenderInstance*> instances_;                // front first
    std::vector<std::unique_ptr<MaterialEntry>> materials_; // front first
    std::vector<LightRecord*> lights_;
    std::vector<PendingLight*> pendingLights_; // guarded by the lights lock

    // Frames as registrations waiting for one see them.
    std::mutex frameMutex_;
    std::condition_variable frameDone_;
    std::chrono::steady_clock::time_point lastFrameBegin_{};
    bool framesEnded_ = false;
    bool framesStalled_ = false; // a wait found no frame for frameWait_; cleared by the next frame

    std::recursive_mutex overlayListsMutex_; // labels and canvases
    std::vector<TextLabel*> labels_;         // front first
    std::vector<CanvasInterface*> canvases_;
    std::mutex lineSetsMutex_;
    std::vector<LineSet*> lineSets_;

    std::mutex garbageMutex_;
    std::vector<GLuint> garbageBuffers_, garbageArrays_, garbageTextures_;
    std::vector<GLuint> cubes_; // every shadow cube alive (guarded by garbageMutex_)
    // Cubes of removed lights, kept for the next lights: a seek or reload removes and adds every
    // light, and 6 MB a cube is worth keeping rather than asking the driver again (guarded by
    // garbageMutex_; also in cubes_).
    std::vector<GLuint> spareCubes_;
    static constexpr size_t MaxSpareCubes = 8;

    // Shadow faces as last drawn, by cube; a cube made again under a reused name starts afresh.
    std::unordered_map<GLuint, std::array<ShadowFace, 6>> shadowRecords_;
    std::vector<ShadowDraw> faceDraws_;      // the face being drawn (kept between frames for its capacity)
    std::vector<const DrawItem*> faceItems_; // the same draws' items
    std::vector<char> faceMatched_;          // which of a face's recorded draws are drawn again
    uint64_t meshUploads_ = 0;               // versions of uploaded meshes
    uint64_t shaderBuilds_ = 0;              // a reloaded shader changes every face's picture
    bool reuseShadowFaces_ = true;

    // This frame's copy of the lists.
    std::vector<DrawItem> drawItems_;
    std::vector<LightItem> lightItems_;
    std::vector<float> lineSetScratch_;

    // Text: fonts 0, 1, 2 and the built-in glyph shaders.
    std::vector<TextLineEntry> textLines_;
    std::array<std::unique_ptr<GlFont>, 3> fonts_;
    GlProgram textVertex_, textFragment_;
    GLuint textArray_ = 0;
    std::vector<GlFont::Vertex> glyphScratch_;
    struct TextVertex { // 20 bytes: x, y, ARGB colour, u, v
        float x, y;
        uint32_t colour;
        float u, v;
    };
    std::vector<TextVertex> pendingText_; // drawn at the next other drawing or at the pass end
    // Fonts built again at other sizes for drawTextScaled (RendererGLScaledText.cpp).
    struct ScaledFont {
        int font;
        int height;
        std::unique_ptr<GlFont> glyphs;
    };
    std::vector<ScaledFont> scaledFonts_;
    const GlFont* scaledFont(int font, float scale);
    GLuint pendingAtlas_ = 0;
    OverlayStages overlayStages_ = OverlayStages::None;
    size_t streamOffset_ = 0;

    // Filter chain.
    FilterChain* chain_ = nullptr;
    std::vector<std::unique_ptr<FilterResources>> stageResources_;

    // The show's look. What a program was fed, to feed it again without looking names up, and
    // each fed uniform's value as the program was built (it gets it back when its input goes).
    struct Feed {
        GLuint program = 0;
        uint64_t names = ~0ull;
        std::vector<std::pair<GlProgram::Uniform, size_t>> fed; // uniform, index in inputs_.values
        std::vector<std::pair<GLint, std::array<float, 4>>> initial;
    };
    ShaderInputs inputs_;
    uint64_t inputNames_ = 0; // changes when the inputs' names (or their order) change
    std::unordered_map<const GlProgram*, Feed> feeds_;
    GLuint spectrumTexture_ = 0;
    int spectrumUnit_ = 31;
    bool spectrumCleared_ = false;
    std::map<std::pair<std::string, GLenum>, std::unique_ptr<GlProgram>> materialPrograms_;
    std::unordered_map<std::string, MaterialLook> materialLooks_; // by material name
    std::mutex lookMutex_; // the three below, which other threads reach
    std::vector<MaterialShaders> pendingMaterialShaders_;
    bool materialShadersPending_ = false;
    std::map<std::string, std::string> shaderProblems_; // file -> the compiler's text
    std::vector<std::string> declaredNames_;            // sorted

    TextureFiltering filtering_;
    std::array<std::atomic<int>, static_cast<size_t>(DeviceObject::Count)> simulatedFailures_{};

    CanvasContext context_{this};
    bool inOverlay_ = false; // drawing operations are open (the overlay pass, on the render thread)
    bool skipping_ = false;  // canvases of a replayed frame are drawing: nothing is drawn
    std::atomic<std::thread::id> renderThread_{};
    bool misuseReported_ = false;
    float presentTime_ = 0.0f;
    unsigned triangles_ = 0;
    unsigned shadowFaces_ = 0;
    unsigned shadowFacesKept_ = 0;
    unsigned shadowFacesPatched_ = 0;
    unsigned instancesCulled_ = 0;
    unsigned lightsLeftOut_ = 0;
    unsigned shadowFacesUnseen_ = 0;
    std::vector<long> lightPixels_;
    bool boundLights_ = true;
    FrameTimer presentTimer_;

    PassClock passClock_ = PassClock::Off;
    std::atomic<bool> uploadsPending_{false};
    GLuint timeQueries_[7] = {};
    // The end of each filter stage, as the passes' boundaries are stamped.
    GLuint stageQueries_[FilterChain::MaxStages] = {};
    double stageStamps_[FilterChain::MaxStages] = {}; // ms, on the pass clock
    int stagesStamped_ = 0;
    void stageTimestamp(int stage);
    // The lines over the finished picture (setScreenText) and their drawing.
    std::mutex screenTextMutex_;
    std::vector<ScreenLine> screenText_;
    void drawScreenText();
    double clockStamps_[7] = {}; // ms, on the pass clock
    // Milliseconds on the clock that passClock_ names (FinishAndClock, FinishAndCpuTime).
    double passClockMilliseconds() const;
    PassTimes passTimes_;

    static std::atomic<MessageHook> messageHook_;
};
