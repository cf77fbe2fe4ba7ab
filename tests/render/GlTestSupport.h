// Shared pieces of the renderer's pixel tests: a hidden window with the renderer on it (shader
// files read from the source tree's show/), simple meshes and materials built in code, placed
// objects and lights, and ways to find a world point on the picture.
#pragma once

#include "engine/base/Log.h"
#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/RenderTypes.h"
#include "render/gl/RendererGL.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// A square of side 2 in the x-y plane at z = 0, facing -z (towards a camera looking along +z),
// with v = 0 along its top edge (y = +1) and u = 0 along its left edge (x = -1).
Mesh makeQuadMesh(const std::string& name);
// A cube of side 2 centred on the origin, normals outward, each face mapped like the quad.
Mesh makeBoxMesh(const std::string& name);
// A material of one colour (w x h pixels), no normal or emissive image.
std::unique_ptr<Material> makeSolidMaterial(const std::string& name, uint8_t r, uint8_t g, uint8_t b,
                                            int32_t w = 4, int32_t h = 4);
// A material from rows of RGB pixels as given (rows first to last), optionally with an emissive map.
std::unique_ptr<Material> makeImageMaterial(const std::string& name, const std::vector<uint8_t>& rgb,
                                            int32_t w, int32_t h,
                                            const std::vector<uint8_t>* emissive = nullptr);

// A placed object: the vectors its render instance points at, and the instance.
struct Placed {
    Vector position;
    Vector scale{1, 1, 1};
    Vector rotation;
    Vector colour{1, 1, 1};
    Vector emissive;
    uint8_t dirty = 0;
    RenderInstance instance;

    Placed(Mesh* mesh, const std::string& material, Vector at, Vector size = {1, 1, 1});
    Placed(const Placed&) = delete;
    Placed& operator=(const Placed&) = delete;
};

struct PlacedLight {
    Vector position;
    Vector colour{1, 1, 1};
    float cutoff = 0.0f; // no fall-off
    LightRecord record;

    PlacedLight(int id, Vector at, Vector light = {1, 1, 1});
    PlacedLight(const PlacedLight&) = delete;
    PlacedLight& operator=(const PlacedLight&) = delete;
};

struct Rgb {
    float r = 0, g = 0, b = 0;
    float sum() const { return r + g + b; }
};

// One renderer on a hidden window of the given size, run from the source tree's show/ folder.
class GlRendererTest : public ::testing::Test {
protected:
    static constexpr int Width = 160;
    static constexpr int Height = 120;

    void SetUp() override;
    void TearDown() override;

    // Opens a window and initializes a renderer on it; the result of initialize.
    int open(int width = Width, int height = Height);
    RendererGL& renderer() { return *renderer_; }
    LogCapture& log() { return *log_; }

    // Eye at `eye`, looking along +z (the face test's view direction is then (0, 0, -1)).
    void lookAlongZ(const Vector& eye);
    // The pixel (column, row from the top) where a world point appears.
    std::array<int, 2> pixelOf(const Vector& world) const;

    void frame() { renderer_->renderFrame(16.0f); }
    Rgb targetAt(RendererGL::Target target, int x, int y);
    Rgb captureAt(int x, int y);
    // How many pixels of a target are not black (red, green or blue above `threshold`).
    int litPixels(RendererGL::Target target, float threshold = 0.02f);

private:
    std::unique_ptr<WorkingDirectory> directory_;
    std::unique_ptr<SystemWindow> system_;
    std::unique_ptr<Viewport> viewport_;
    std::unique_ptr<RendererGL> renderer_;
    std::unique_ptr<LogCapture> log_;
};

// Copies the show's shader files into a scratch directory, where a test adds its own.
struct ShaderFolder {
    ScratchDirectory scratch;
    ShaderFolder() {
        for (const auto& file : std::filesystem::directory_iterator(BEATSHOW_SHOW_DIR))
            std::filesystem::copy(file.path(), scratch.path() / file.path().filename());
    }
    void write(const std::string& name, const std::string& source) const { scratch.write(name, source); }
    const std::filesystem::path& path() const { return scratch.path(); }
};

// Writes the presented frame to $BEATSHOW_TEST_IMAGES/<name>.png when that variable is set, so a
// person can look at what a test saw.
void saveFrameForInspection(RendererGL& renderer, const std::string& name);
