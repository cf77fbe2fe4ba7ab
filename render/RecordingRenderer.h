// A renderer that keeps the registration lists the way the device renderer does and records
// every call, but draws nothing. Used by tests and by checking a scene without a display.
//
// renderFrame calls every registered canvas, so the 2D drawing of actors can be observed as a
// list of DrawCommand records. All operations are safe from any thread.
#pragma once

#include "render/RenderInterface.h"

#include <mutex>
#include <string>
#include <vector>

struct DrawCommand {
    enum Type { Text, Line2D, Rect, Line3D } type = Text;
    std::string text;         // Text: the string; Rect: the material name ("" with hasMaterial false)
    bool hasMaterial = false; // Rect: a material name was given
    int ints[4] = {};         // Text: x, y, font; Line2D/Rect: x1, y1, x2, y2
    float floats[6] = {};     // Line3D
    uint32_t colour = 0;
    float scale = 1.0f; // Text: the size of its letters against the font's (drawTextScaled)
};

class RecordingRenderer : public RenderInterface {
public:
    // The line height drawText reports for fonts 0, 1 and 2.
    static constexpr int FontHeights[3] = {16, 64, 24};

    void destroy() override;
    int initialize(Viewport* window) override;
    void shutdown() override;
    void renderFrame(float frameTime) override;
    // Calls the canvases; their drawing is not kept and no frame is counted.
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
    // Recorded as Text with its scale; the line height returned is scaled.
    int drawTextScaled(std::string text, int x, int y, uint32_t colour, int font, float scale) override;
    void drawLine2D(int x1, int y1, int x2, int y2, uint32_t colour) override;
    void drawRect(int x1, int y1, int x2, int y2, uint32_t colour, const char* materialName) override;
    void drawLine3D(float x1, float y1, float z1, float x2, float y2, float z2, uint32_t colour) override;
    // Everything is made as it is registered: nothing is ever left to wait for.
    int waitForResources(int milliseconds) override;
    void framesEnded() override;
    // Kept, not recorded as calls: the latest of each, for tests to read.
    void setShaderInputs(const ShaderInputs& inputs) override;
    void setMaterialShaders(const std::vector<MaterialShaders>& table) override;
    // True for the names given to declareShaderInputs (a recording renderer builds no shaders).
    bool declaresShaderInput(const std::string& name) override;

    ShaderInputs lastShaderInputs() const;
    std::vector<MaterialShaders> materialShaders() const;
    void declareShaderInputs(std::vector<std::string> names);

    // What happened, oldest first: one entry per call, the operation's name.
    std::vector<std::string> calls() const;
    int callCount(const std::string& operation) const;
    void clearCalls();
    // Drawing of the latest renderFrame.
    std::vector<DrawCommand> lastFrameDrawing() const;
    int framesRendered() const;

    std::vector<Mesh*> meshes() const;
    std::vector<RenderInstance*> instances() const; // front first, as the device renderer walks them
    std::vector<Material*> materials() const;       // front first
    std::vector<LightRecord*> lights() const;
    std::vector<TextLabel*> labels() const;
    std::vector<CanvasInterface*> canvases() const;
    std::vector<LineSet*> lineSets() const;
    FilterChain* filterChain() const;
    // Camera state as the device renderer would compose it.
    Vector cameraPosition() const;
    Vector viewDirection() const;
    Matrix viewMatrix() const;

private:
    void record(const char* operation);

    mutable std::recursive_mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<DrawCommand> drawing_;
    std::vector<DrawCommand> lastFrame_;
    int frames_ = 0;
    unsigned width_ = 0;
    unsigned height_ = 0;
    std::vector<Mesh*> meshes_;
    std::vector<RenderInstance*> instances_;
    std::vector<Material*> materials_;
    std::vector<LightRecord*> lights_;
    std::vector<TextLabel*> labels_;
    std::vector<CanvasInterface*> canvases_;
    std::vector<LineSet*> lineSets_;
    FilterChain* chain_ = nullptr;
    Vector eye_;
    Vector direction_;
    Matrix view_ = Matrix::identity();
    CanvasContext context_{this};
    TextureHandle nextCube_ = 1;
    ShaderInputs inputs_;
    std::vector<MaterialShaders> materialShaders_;
    std::vector<std::string> declaredInputs_;
};
