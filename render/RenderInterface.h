// The only door between the engine and the graphics device. Everything the engine, the loader
// thread and the actors want drawn or uploaded goes through these operations; their order is
// part of the contract. RendererGL implements it on OpenGL; RecordingRenderer records the calls
// and draws nothing (tests, and checking a scene without a display).
//
// Results: 0 for success, a negative value for failure unless an operation says otherwise.
// The renderer keeps pointers to what it is handed and never frees it.
#pragma once

#include "render/RenderTypes.h"
#include "render/ShaderInputs.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct Mesh;
struct Material;
struct FilterChain;
class Viewport;
class RenderInterface;

// One line of text over the finished picture; colour 0xAARRGGBB.
struct ScreenLine {
    std::string text;
    uint32_t colour = 0xFFFFFFFF;
};

// Handed to every canvas; its one field is the renderer.
struct CanvasContext {
    RenderInterface* renderer = nullptr;
    int drawText(std::string text, int x, int y, uint32_t colour, int font);
    int drawTextScaled(std::string text, int x, int y, uint32_t colour, int font, float scale);
    int textWidth(const std::string& text, int font, float scale = 1.0f);
};

class RenderInterface {
public:
    // Implemented by objects that draw 2D overlays; called once per frame in the overlay pass.
    class CanvasInterface {
    public:
        virtual ~CanvasInterface() = default;
        virtual void draw(CanvasContext* context) = 0;
    };

    RenderInterface();          // writes "ri ctor"
    virtual ~RenderInterface(); // writes "ri dtor"
    RenderInterface(const RenderInterface&) = delete;
    RenderInterface& operator=(const RenderInterface&) = delete;

    // Frees the renderer's own lists; device objects are released by shutdown.
    virtual void destroy() = 0;
    // 0; -1 no device or a shader failed to compile; -2 device creation failed; -3 fonts failed.
    virtual int initialize(Viewport* window) = 0;
    virtual void shutdown() = 0;
    // The argument (the frame time) is not used.
    virtual void renderFrame(float frameTime) = 0;
    // A frame that is replayed, not shown (a show started in its middle): the canvases draw as in
    // renderFrame, since actors keep state in their drawing, but nothing reaches the picture.
    // A renderer without canvases has nothing to do.
    virtual void skipFrame(float frameTime) { (void)frameTime; }

    virtual int addMesh(Mesh* mesh) = 0;
    virtual int releaseMesh(Mesh* mesh) = 0;
    virtual int addRenderInstance(RenderInstance* instance) = 0;
    virtual int removeRenderInstance(RenderInstance* instance) = 0;
    virtual int addMaterial(Material* material) = 0;
    virtual int removeMaterial(Material* material) = 0;
    // 0; -1 null, already registered, or its shadow cube could not be made. Where the device
    // makes the cube on the thread that renders, a call from another thread waits for a frame.
    virtual int addLight(LightRecord* light) = 0;
    virtual int removeLightById(int id) = 0;
    // 0; 1 when the light is not registered.
    virtual int removeLight(LightRecord* light) = 0;
    virtual int addTextLabel(TextLabel* label) = 0;
    virtual int removeTextLabel(TextLabel* label) = 0;
    virtual int addCanvas(CanvasInterface* canvas) = 0;
    virtual int removeCanvas(CanvasInterface* canvas) = 0;
    virtual int reservedA(int32_t unused) = 0;
    virtual int reservedB(int32_t unused) = 0;
    virtual int addLineSet(LineSet* lineSet) = 0;
    virtual int removeLineSet(LineSet* lineSet) = 0;
    virtual int setTextLine(int index, const char* text, int length, uint32_t colour) = 0;
    virtual int getTextLineCount() = 0;
    virtual void setCameraPosition(float x, float y, float z) = 0;
    virtual void setViewDirection(float x, float y, float z) = 0;
    // view := view x matrix (16 floats, row-major, row vectors).
    virtual void multiplyView(const float* matrix) = 0;
    // Returns the chain's stage count.
    virtual int setFilterChain(FilterChain* chain) = 0;
    // Returns the font's line height; fonts 0, 1, 2, anything else draws nothing.
    virtual int drawText(std::string text, int x, int y, uint32_t colour, int font) = 0;
    virtual void drawLine2D(int x1, int y1, int x2, int y2, uint32_t colour) = 0;
    // Textured by the material's diffuse texture; an outline when materialName is null.
    virtual void drawRect(int x1, int y1, int x2, int y2, uint32_t colour, const char* materialName) = 0;
    virtual void drawLine3D(float x1, float y1, float z1, float x2, float y2, float z2, uint32_t colour) = 0;

    // Waits at most `milliseconds` until every mesh, material and light registered so far has
    // been made on the device, or refused by it (reported and dropped). 0 when nothing is left
    // to make; 1 when something still is; -1 when nothing will make it (frames have ended).
    // The loader thread calls it before the show starts, so that its first frame has everything.
    virtual int waitForResources(int milliseconds) = 0;
    // The thread that renders has drawn its last frame: from now on nothing waits for one.
    virtual void framesEnded() = 0;

    // ---- live work on a show; a renderer without a screen or shaders does nothing ----

    // Lines drawn over the finished picture, after the filter chain, so that no post effect
    // touches them: the debug display and what a reload could not take. Empty: none.
    virtual void setScreenText(const std::vector<ScreenLine>& lines) { (void)lines; }
    // Times each pass of the frame (a cost of its own: on only while someone reads them).
    virtual void enablePassTiming(bool on) { (void)on; }
    // The last timed frame's passes in drawing order, in milliseconds; empty when not timed.
    virtual std::vector<std::pair<std::string, double>> passMilliseconds() { return {}; }
    // Builds the shader file again and swaps it in wherever it is used, from the next frame on.
    // 0 swapped in; 1 no shader of this renderer is built from that file; -1 it does not
    // compile: the previous program stays and `error` has the compiler's text (file and line).
    // On the thread that renders, between frames.
    virtual int reloadShader(const std::string& file, std::string& error) {
        (void)file, (void)error;
        return 1;
    }

    // ---- the show's own look; a renderer without shaders keeps nothing of it ----

    // What every shader reads by name in the next frame (tracks, time, beat, bar, the music's
    // bands and spectrum). On the thread that renders, before renderFrame.
    virtual void setShaderInputs(const ShaderInputs& inputs) { (void)inputs; }
    // Whether a shader built so far declares a uniform of this name (any thread): the engine
    // analyses the music only for a show whose shaders read it.
    virtual bool declaresShaderInput(const std::string& name) {
        (void)name;
        return false;
    }
    // The scene's materials that have shaders of their own (the whole table: a material not in
    // it draws with the renderer's). The shaders are built by the frames that follow, before any
    // draws with them; waitForResources waits for that too. Any thread.
    virtual void setMaterialShaders(const std::vector<MaterialShaders>& table) { (void)table; }
    // Shader files the frames built for the scene (a material's, a declared filter stage's)
    // that did not compile, each with the compiler's text: the renderer draws without them (or
    // with the last good build). Empty when every one compiled. Any thread.
    virtual std::vector<std::pair<std::string, std::string>> shaderProblems() { return {}; }

    // drawText with the font's letters and advance at `scale` times their size (the top-left
    // corner stays at x, y), for canvases that keep their composition at any window size. Returns
    // the scaled line height. This base draws at the font's own size.
    virtual int drawTextScaled(std::string text, int x, int y, uint32_t colour, int font, float scale);
    // The advance of the text's first line in pixels, drawn with the font at `scale` (0 for an
    // unknown font). This base counts every character as wide as the large font's 28 pixels, and
    // as 9 and 13 pixels in the small and middle fonts.
    virtual int textWidth(const std::string& text, int font, float scale = 1.0f);
};
