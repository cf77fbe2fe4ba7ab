// The deferred pipeline on real pixels: G-buffer, shadows, lighting, composition, and the
// registration rules that decide what a frame draws.
#include "tests/render/GlTestSupport.h"

#include "render/FilterChain.h"

#include <epoxy/gl.h>

#include <cstdarg>
#include <cstdio>

namespace {

using Target = RendererGL::Target;

// Pass times on the process's CPU time (the renderer bench's clock on a software rasteriser):
// every pass and stage is stamped on the same clock, so none is negative and the stages make up
// the filter chain (all but the last glFinish).
TEST_F(GlRendererTest, PassTimesOnTheProcessCpuTimeAddUp) {
    ASSERT_EQ(open(), 0);
    FilterChain chain;
    buildDefaultFilterChain(chain);
    ASSERT_EQ(renderer().setFilterChain(&chain), 6);
    renderer().setPassTiming(RendererGL::PassClock::FinishAndCpuTime);
    frame();
    frame();
    const RendererGL::PassTimes t = renderer().lastPassTimes();
    ASSERT_TRUE(t.valid);
    double stages = 0.0;
    for (double pass : {t.geometry, t.shadow, t.lighting, t.composition, t.overlay, t.filters}) {
        EXPECT_GE(pass, 0.0);
        EXPECT_LT(pass, 60000.0);
    }
    ASSERT_EQ(t.stages.size(), 6u);
    for (double stage : t.stages) {
        EXPECT_GE(stage, 0.0);
        stages += stage;
    }
    EXPECT_LE(stages, t.filters + 1e-9);
    EXPECT_GT(stages, 0.5 * t.filters);
    renderer().setFilterChain(nullptr); // the renderer lets go of the chain before it goes
}

TEST_F(GlRendererTest, AnEmptyFrameIsBlackWithDepthOne) {
    ASSERT_EQ(open(), 0);
    frame();
    for (Target t : {Target::Diffuse, Target::Normal, Target::Depth, Target::Emissive, Target::Lighting,
                     Target::Specular, Target::Composite}) {
        std::vector<float> rgba;
        int w = 0, h = 0;
        ASSERT_TRUE(renderer().readTarget(t, rgba, w, h));
        ASSERT_EQ(w, Width);
        ASSERT_EQ(h, Height);
        for (size_t i = 0; i < rgba.size(); i += 4) {
            ASSERT_EQ(rgba[i], 0.0f) << "target " << static_cast<int>(t);
            ASSERT_EQ(rgba[i + 1], 0.0f);
            ASSERT_EQ(rgba[i + 2], 0.0f);
        }
    }
    std::vector<float> depth;
    int w = 0, h = 0;
    ASSERT_TRUE(renderer().readDepth(depth, w, h));
    for (float d : depth)
        ASSERT_EQ(d, 1.0f);
    EXPECT_EQ(captureAt(Width / 2, Height / 2).sum(), 0.0f);
}

TEST_F(GlRendererTest, InitializeReportsTheProjectionAndSizesTheTextLineTable) {
    ASSERT_EQ(open(320, 600), 0);
    EXPECT_EQ(renderer().getTextLineCount(), 37);
    EXPECT_EQ(log().count("scaleX = "), 1);
    EXPECT_NEAR(renderer().projection().m[1][1], 1.0f / std::tan(1.2217305f / 2.0f), 1e-5f);

    renderer().setTextLine(36, "last", 5, 0xFFFFFFFF);
    EXPECT_EQ(renderer().textLine(36), "last");
    renderer().setTextLine(37, "beyond", 7, 0xFFFFFFFF);
    std::string eighty(80, 'x');
    renderer().setTextLine(0, eighty.c_str(), 80, 0xFFFFFFFF);
    EXPECT_EQ(renderer().textLine(0), "");
    EXPECT_EQ(renderer().textLine(37), "");
}

// A box turned 45 degrees in front of a wall, a light to its left: the face turned to the
// light is brighter than the one turned away, and the box's shadow falls on the wall.
TEST_F(GlRendererTest, ALitObjectIsBrighterTowardsItsLightAndShadowsThePlaneBehind) {
    ASSERT_EQ(open(), 0);
    Mesh box = makeBoxMesh("box");
    Mesh quad = makeQuadMesh("wall");
    auto white = makeSolidMaterial("white", 255, 255, 255);
    ASSERT_EQ(renderer().addMesh(&box), 0);
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    ASSERT_EQ(renderer().addMaterial(white.get()), 0);
    Placed cube(&box, "white", {0, 0, 2}, {0.5f, 0.5f, 0.5f});
    cube.rotation = {0.785398f, 0, 0}; // yaw 45 degrees: two faces towards the camera
    Placed wall(&quad, "white", {0, 0, 4}, {6, 6, 1});
    ASSERT_EQ(renderer().addRenderInstance(&cube.instance), 0);
    ASSERT_EQ(renderer().addRenderInstance(&wall.instance), 0);
    PlacedLight light(0, {-1.5f, 0, 0});
    ASSERT_EQ(renderer().addLight(&light.record), 0);
    lookAlongZ({0, 0, -6});
    frame();
    frame();
    saveFrameForInspection(renderer(), "lit-box");

    const auto towards = pixelOf({-0.3f, 0, 1.7f});
    const auto away = pixelOf({0.3f, 0, 1.7f});
    const Rgb lit = targetAt(Target::Composite, towards[0], towards[1]);
    const Rgb unlit = targetAt(Target::Composite, away[0], away[1]);
    EXPECT_GT(lit.sum(), unlit.sum() + 0.5f) << "towards the light " << lit.sum() << ", away " << unlit.sum();

    // The shadow of the box on the wall lies on the line from the light through the box.
    const auto shadow = pixelOf({1.5f, 0, 4});
    const auto beside = pixelOf({1.5f, 2.2f, 4});
    const Rgb inShadow = targetAt(Target::Composite, shadow[0], shadow[1]);
    const Rgb inLight = targetAt(Target::Composite, beside[0], beside[1]);
    EXPECT_LT(inShadow.sum(), 0.3f);
    EXPECT_GT(inLight.sum(), inShadow.sum() + 0.5f);
    // The picture on screen is the composition, upright.
    const Rgb shown = captureAt(beside[0], beside[1]);
    EXPECT_NEAR(shown.sum(), inLight.sum(), 0.05f);

    // Without the light, the wall there is lit by nothing but the ambient term.
    ASSERT_EQ(renderer().removeLight(&light.record), 0);
    frame();
    EXPECT_LT(targetAt(Target::Composite, beside[0], beside[1]).sum(), 0.3f);
    EXPECT_EQ(targetAt(Target::Lighting, beside[0], beside[1]).sum(), 0.0f);
}

TEST_F(GlRendererTest, AnInvisibleInstanceIsInNeitherTheGBufferNorTheShadowPass) {
    ASSERT_EQ(open(), 0);
    Mesh box = makeBoxMesh("box");
    ASSERT_EQ(renderer().addMesh(&box), 0);
    Placed cube(&box, "", {0, 0, 3}, {0.5f, 0.5f, 0.5f});
    cube.instance.visible = 0;
    ASSERT_EQ(renderer().addRenderInstance(&cube.instance), 0);
    PlacedLight light(0, {0, 0, 1});
    ASSERT_EQ(renderer().addLight(&light.record), 0);
    lookAlongZ({0, 0, -6});
    cube.position = {0, 0, 2.5f};
    frame();

    EXPECT_EQ(litPixels(Target::Diffuse), 0);
    // Still updated every frame, only not drawn.
    EXPECT_FLOAT_EQ(cube.instance.modelMatrix.m[3][2], 2.5f);
    ASSERT_NE(light.record.shadowCube, 0u);
    std::vector<float> face;
    int size = 0;
    ASSERT_TRUE(renderer().readShadowFace(light.record.shadowCube, 4, face, size)); // +z, towards the box
    for (float d : face)
        ASSERT_EQ(d, 0.0f);

    cube.instance.visible = 1;
    frame();
    EXPECT_GT(litPixels(Target::Diffuse), 50);
    ASSERT_TRUE(renderer().readShadowFace(light.record.shadowCube, 4, face, size));
    const float centre =
        face[static_cast<size_t>(size / 2) * static_cast<size_t>(size) + static_cast<size_t>(size / 2)];
    EXPECT_NEAR(centre, 1.0f, 0.01f); // the box's front face, 1 unit from the light
}

TEST_F(GlRendererTest, TheMaterialFoundByNameIsTheNewestOfThatName) {
    ASSERT_EQ(open(), 0);
    Mesh quad = makeQuadMesh("quad");
    auto red = makeSolidMaterial("paint", 255, 0, 0);
    auto green = makeSolidMaterial("paint", 0, 255, 0);
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    ASSERT_EQ(renderer().addMaterial(red.get()), 0);
    ASSERT_EQ(renderer().addMaterial(green.get()), 0);
    Placed plane(&quad, "paint", {0, 0, 2});
    ASSERT_EQ(renderer().addRenderInstance(&plane.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    Rgb c = targetAt(Target::Diffuse, Width / 2, Height / 2);
    EXPECT_NEAR(c.g, 1.0f, 0.01f);
    EXPECT_NEAR(c.r, 0.0f, 0.01f);

    // Removing the newer one uncovers the older; an unknown material is refused.
    EXPECT_EQ(renderer().removeMaterial(green.get()), 0);
    EXPECT_EQ(renderer().removeMaterial(green.get()), -1);
    frame();
    c = targetAt(Target::Diffuse, Width / 2, Height / 2);
    EXPECT_NEAR(c.r, 1.0f, 0.01f);
    EXPECT_NEAR(c.g, 0.0f, 0.01f);
}

TEST_F(GlRendererTest, AnInstanceWithoutItsMaterialKeepsTheTexturesOfTheDrawBefore) {
    ASSERT_EQ(open(), 0);
    Mesh quad = makeQuadMesh("quad");
    auto blue = makeSolidMaterial("blue", 0, 0, 255);
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    ASSERT_EQ(renderer().addMaterial(blue.get()), 0);
    // Instances are drawn front of the list first, and the list grows at the front.
    Placed second(&quad, "nothing by this name", {0.6f, 0, 2}, {0.5f, 0.5f, 1});
    Placed first(&quad, "blue", {-0.6f, 0, 2}, {0.5f, 0.5f, 1});
    ASSERT_EQ(renderer().addRenderInstance(&second.instance), 0);
    ASSERT_EQ(renderer().addRenderInstance(&first.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    const auto p = pixelOf({0.6f, 0, 2});
    const Rgb c = targetAt(Target::Diffuse, p[0], p[1]);
    EXPECT_NEAR(c.b, 1.0f, 0.01f);
    EXPECT_NEAR(c.r, 0.0f, 0.01f);
}

TEST_F(GlRendererTest, AMeshWithOnlyPositionsGetsATwelveByteStrideAndDraws) {
    ASSERT_EQ(open(), 0);
    Mesh full = makeQuadMesh("full");
    Mesh bare = makeQuadMesh("bare");
    bare.normals.clear();
    bare.texCoords.clear();
    bare.tangents.clear();
    bare.binormals.clear();
    ASSERT_EQ(renderer().addMesh(&full), 0);
    ASSERT_EQ(renderer().addMesh(&bare), 0);
    EXPECT_EQ(full.stride, 56u);
    EXPECT_EQ(bare.stride, 12u);
    Placed plane(&bare, "", {0, 0, 2});
    ASSERT_EQ(renderer().addRenderInstance(&plane.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    EXPECT_EQ(log().count("created vbuffer for 6 vertices"), 2);
    // No material: the neutral white texture.
    const Rgb c = targetAt(Target::Diffuse, Width / 2, Height / 2);
    EXPECT_NEAR(c.sum(), 3.0f, 0.01f);
    EXPECT_EQ(renderer().trianglesDrawn(), 2u);
}

TEST_F(GlRendererTest, TextureRowZeroIsTheFirstRowOfTheBuffer) {
    ASSERT_EQ(open(), 0);
    // Four rows: the first two red, the last two blue.
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            rgb.push_back(y < 2 ? 255 : 0);
            rgb.push_back(0);
            rgb.push_back(y < 2 ? 0 : 255);
        }
    auto material = makeImageMaterial("rows", rgb, 4, 4);
    Mesh quad = makeQuadMesh("quad"); // v = 0 along its top edge
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    ASSERT_EQ(renderer().addMaterial(material.get()), 0);
    Placed plane(&quad, "rows", {0, 0, 2});
    ASSERT_EQ(renderer().addRenderInstance(&plane.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    const auto top = pixelOf({0, 0.5f, 2});
    const auto bottom = pixelOf({0, -0.5f, 2});
    ASSERT_LT(top[1], bottom[1]);
    const Rgb upper = targetAt(Target::Diffuse, top[0], top[1]);
    const Rgb lower = targetAt(Target::Diffuse, bottom[0], bottom[1]);
    EXPECT_GT(upper.r, 0.9f);
    EXPECT_LT(upper.b, 0.1f);
    EXPECT_GT(lower.b, 0.9f);
    EXPECT_LT(lower.r, 0.1f);
    // The same in the picture presented.
    EXPECT_GT(captureAt(top[0], top[1]).r, captureAt(bottom[0], bottom[1]).r);
    // Diffuse, the flat normal map and the black emissive map.
    EXPECT_EQ(log().count("filling 32bit texture. width: 4 height: 4"), 3);
}

TEST_F(GlRendererTest, EmissiveMapsAreScaledPerInstanceAndShowWithoutLight) {
    ASSERT_EQ(open(), 0);
    std::vector<uint8_t> dark(4 * 4 * 3, 0);
    std::vector<uint8_t> glow(4 * 4 * 3, 200);
    auto material = makeImageMaterial("glow", dark, 4, 4, &glow);
    Mesh quad = makeQuadMesh("quad");
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    ASSERT_EQ(renderer().addMaterial(material.get()), 0);
    Placed plane(&quad, "glow", {0, 0, 2});
    plane.emissive = {1, 0.5f, 0};
    ASSERT_EQ(renderer().addRenderInstance(&plane.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    const Rgb e = targetAt(Target::Emissive, Width / 2, Height / 2);
    EXPECT_NEAR(e.r, 200.0f / 255.0f, 0.01f);
    EXPECT_NEAR(e.g, 100.0f / 255.0f, 0.01f);
    EXPECT_NEAR(e.b, 0.0f, 0.01f);
    EXPECT_NEAR(targetAt(Target::Composite, Width / 2, Height / 2).r, 200.0f / 255.0f, 0.02f);
}

// The face test: a cube face is re-rendered only while it lies in front of the camera.
TEST_F(GlRendererTest, ALightWhoseFacesAllFailTheFaceTestKeepsLastFramesCube) {
    ASSERT_EQ(open(), 0);
    Mesh box = makeBoxMesh("box");
    ASSERT_EQ(renderer().addMesh(&box), 0);
    Placed cube(&box, "", {0, 0, 2}, {0.5f, 0.5f, 0.5f});
    ASSERT_EQ(renderer().addRenderInstance(&cube.instance), 0);
    PlacedLight light(0, {0, 0, 0});
    ASSERT_EQ(renderer().addLight(&light.record), 0);
    lookAlongZ({0, 0, -6}); // every face target lies ahead of the camera
    frame();
    std::vector<float> before, after;
    int size = 0;
    ASSERT_TRUE(renderer().readShadowFace(light.record.shadowCube, 4, before, size));
    const size_t centre =
        static_cast<size_t>(size / 2) * static_cast<size_t>(size) + static_cast<size_t>(size / 2);
    EXPECT_NEAR(before[centre], 1.5f, 0.01f);

    // The camera turned round, looking along -z: every face target lies behind it.
    renderer().setCameraPosition(0, 0, 6);
    renderer().multiplyView(matrixRotationY(3.14159265f).data());
    renderer().setViewDirection(0, 0, 1);
    cube.position = {0, 0, 3};
    frame();
    ASSERT_TRUE(renderer().readShadowFace(light.record.shadowCube, 4, after, size));
    EXPECT_EQ(after, before);

    // Facing the faces again, the cube follows the box.
    lookAlongZ({0, 0, -6});
    frame();
    ASSERT_TRUE(renderer().readShadowFace(light.record.shadowCube, 4, after, size));
    EXPECT_NEAR(after[centre], 2.5f, 0.01f);
}

TEST_F(GlRendererTest, RemoveLightByIdKeepsTheCubeAndRemoveLightPassesItToTheNextLight) {
    ASSERT_EQ(open(), 0);
    PlacedLight first(7, {0, 0, 0});
    PlacedLight second(8, {0, 0, 0});
    EXPECT_EQ(renderer().addLight(nullptr), -1);
    ASSERT_EQ(renderer().addLight(&first.record), 0);
    ASSERT_EQ(renderer().addLight(&second.record), 0);
    frame();
    const TextureHandle firstCube = first.record.shadowCube;
    const TextureHandle secondCube = second.record.shadowCube;
    ASSERT_NE(firstCube, 0u);
    ASSERT_NE(secondCube, 0u);
    ASSERT_NE(firstCube, secondCube);

    EXPECT_EQ(renderer().removeLightById(7), 0);
    EXPECT_EQ(renderer().removeLightById(7), -1);
    frame();
    EXPECT_EQ(first.record.shadowCube, firstCube);
    EXPECT_TRUE(glIsTexture(static_cast<GLuint>(firstCube)));

    EXPECT_EQ(renderer().removeLight(&second.record), 0);
    EXPECT_EQ(renderer().removeLight(&second.record), 1);
    EXPECT_EQ(second.record.shadowCube, 0u);
    // A seek removes and adds every light: the next light takes the cube instead of a new one.
    PlacedLight third(9, {5, 0, 0});
    ASSERT_EQ(renderer().addLight(&third.record), 0);
    frame();
    EXPECT_EQ(third.record.shadowCube, secondCube);
    EXPECT_TRUE(glIsTexture(static_cast<GLuint>(secondCube)));
}

TEST_F(GlRendererTest, AnInstanceNeedsItsMeshRegisteredFirst) {
    ASSERT_EQ(open(), 0);
    Mesh quad = makeQuadMesh("quad");
    Placed plane(&quad, "", {0, 0, 2});
    EXPECT_EQ(renderer().addRenderInstance(&plane.instance), -1);
    EXPECT_EQ(plane.instance.meshEntry, nullptr);
    EXPECT_EQ(renderer().removeRenderInstance(&plane.instance), -1);
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    EXPECT_EQ(renderer().addRenderInstance(&plane.instance), 0);
    EXPECT_NE(plane.instance.meshEntry, nullptr);
    EXPECT_EQ(plane.instance.modelMatrix, Matrix::identity());
    EXPECT_EQ(renderer().addRenderInstance(&plane.instance), -1); // not twice
    EXPECT_EQ(renderer().removeRenderInstance(&plane.instance), 0);
    EXPECT_EQ(plane.instance.meshEntry, nullptr);
    EXPECT_FALSE(plane.instance.hasModelMatrix);
}

std::vector<std::string> hookMessages;
void recordingHook(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    hookMessages.emplace_back(text);
}

TEST_F(GlRendererTest, ReleasingAMeshReportsThroughTheHookAndStopsItsInstances) {
    ASSERT_EQ(open(), 0);
    Mesh quad = makeQuadMesh("quad");
    Mesh stranger = makeQuadMesh("stranger");
    EXPECT_EQ(renderer().releaseMesh(&stranger), -1);
    EXPECT_EQ(log().count("dummy"), 1); // the default hook

    hookMessages.clear();
    RendererGL::setMessageHook(&recordingHook);
    EXPECT_EQ(renderer().releaseMesh(&stranger), -1);
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    Placed plane(&quad, "", {0, 0, 2});
    ASSERT_EQ(renderer().addRenderInstance(&plane.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    EXPECT_GT(litPixels(Target::Diffuse), 0);
    EXPECT_EQ(renderer().releaseMesh(&quad), 0);
    RendererGL::setMessageHook(nullptr);
    EXPECT_EQ(hookMessages, (std::vector<std::string>{"releasing mesh stranger", "releasing mesh quad"}));

    // The instance was not removed first: it stays registered but draws nothing.
    EXPECT_EQ(plane.instance.meshEntry, nullptr);
    frame();
    EXPECT_EQ(litPixels(Target::Diffuse), 0);
    EXPECT_EQ(renderer().removeRenderInstance(&plane.instance), 0);
}

TEST_F(GlRendererTest, ADirtyInstanceUploadsItsMeshAgain) {
    ASSERT_EQ(open(), 0);
    Mesh quad = makeQuadMesh("quad");
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    Placed plane(&quad, "", {0, 0, 2}, {0.3f, 0.3f, 1});
    ASSERT_EQ(renderer().addRenderInstance(&plane.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    const auto left = pixelOf({-0.7f, 0, 2});
    EXPECT_EQ(targetAt(Target::Diffuse, left[0], left[1]).sum(), 0.0f);

    // An actor moves the vertices two units to the left and flags the change.
    for (Vector& p : quad.positions)
        p.x -= 2.0f;
    frame();
    EXPECT_EQ(targetAt(Target::Diffuse, left[0], left[1]).sum(), 0.0f); // not flagged: not uploaded
    plane.dirty = 1;
    frame();
    EXPECT_EQ(plane.dirty, 0);
    EXPECT_GT(targetAt(Target::Diffuse, left[0], left[1]).sum(), 2.9f);
}

TEST_F(GlRendererTest, LineSetsDrawTheirPointsIntoTheGBuffer) {
    ASSERT_EQ(open(), 0);
    std::vector<Vector> points = {{0, 0, 2}, {0.5f, 0.5f, 2}, {9, 9, 9}};
    LineSet set;
    set.points = points.data();
    set.pointCount = 2; // the third point is not drawn
    LineSet empty;
    ASSERT_EQ(renderer().addLineSet(&empty), 0); // no points: skipped
    ASSERT_EQ(renderer().addLineSet(&set), 0);
    lookAlongZ({0, 0, -2});
    frame();
    const auto p = pixelOf({0.5f, 0.5f, 2});
    EXPECT_GT(targetAt(Target::Emissive, p[0], p[1]).sum(), 1.0f);
    EXPECT_EQ(litPixels(Target::Diffuse), 2);
    EXPECT_EQ(renderer().removeLineSet(&set), 0);
    EXPECT_EQ(renderer().removeLineSet(&set), -1);
    frame();
    EXPECT_EQ(litPixels(Target::Diffuse), 0);
}

TEST_F(GlRendererTest, AShaderThatDoesNotCompileFailsInitialize) {
    ScratchDirectory scratch;
    for (const auto& file : std::filesystem::directory_iterator(BEATSHOW_SHOW_DIR))
        std::filesystem::copy(file.path(), scratch.path() / file.path().filename());
    scratch.write("gshader.psh", "#version 450 core\nvoid main() { this is not glsl }\n");
    WorkingDirectory inScratch(scratch.path());
    EXPECT_EQ(open(), -1);
    EXPECT_EQ(log().count("PShaderError: gshader.psh"), 1);

    std::filesystem::remove(scratch.path() / "gshader.psh");
    LogCapture missing;
    RendererGL other;
    Viewport none;
    EXPECT_EQ(other.initialize(&none), -2); // no context to draw with
}

} // namespace

namespace {

TEST(TextureFilteringChoice, AnisotropicOnHardwareThatOffersItTrilinearOnSoftware) {
    const TextureFiltering software = chooseTextureFiltering("llvmpipe (LLVM 15.0.6, 256 bits)", 16);
    EXPECT_EQ(software.anisotropy, 1.0f);
    EXPECT_EQ(software.reason, "trilinear (a software rasterizer)");
    EXPECT_EQ(chooseTextureFiltering("Google SwiftShader", 16).anisotropy, 1.0f);
    EXPECT_EQ(chooseTextureFiltering("NVIDIA H100 PCIe/PCIe/SSE2", 16).reason, "anisotropic 16x");
    EXPECT_EQ(chooseTextureFiltering("AMD Radeon RX 6800 (radeonsi, navi21)", 32).anisotropy, 16.0f);
    EXPECT_EQ(chooseTextureFiltering("Mesa Intel(R) HD Graphics 3000", 0).reason,
              "trilinear (the driver offers no anisotropic filtering)");
}

class TextureFilteringTest : public GlRendererTest {
protected:
    // Black and white stripes four texels wide running along v on a floor that recedes from the
    // eye: far away each pixel covers many texels along v but about one across. The contrast
    // left in a far row of the picture.
    float stripeContrastFar() {
        std::vector<uint8_t> rgb;
        constexpr int W = 32, H = 256;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                for (int c = 0; c < 3; ++c)
                    rgb.push_back((x / 4) % 2 ? 255 : 0);
        auto stripes = makeImageMaterial("stripes", rgb, W, H);
        Mesh quad = makeQuadMesh("floor");
        EXPECT_EQ(renderer().addMesh(&quad), 0);
        EXPECT_EQ(renderer().addMaterial(stripes.get()), 0);
        Placed floor(&quad, "stripes", {0, -0.5f, 10}, {2, 10, 1});
        floor.rotation = {0, 1.5707963f, 0};
        EXPECT_EQ(renderer().addRenderInstance(&floor.instance), 0);
        lookAlongZ({0, 0, 0});
        frame();
        const auto row = pixelOf({0, -0.5f, 10});
        const auto left = pixelOf({-1.6f, -0.5f, 10});
        const auto right = pixelOf({1.6f, -0.5f, 10});
        float low = 1.0f, high = 0.0f;
        for (int x = left[0]; x <= right[0]; ++x) {
            const float r = targetAt(Target::Diffuse, x, row[1]).r;
            low = std::min(low, r);
            high = std::max(high, r);
        }
        EXPECT_EQ(renderer().removeRenderInstance(&floor.instance), 0);
        EXPECT_EQ(renderer().removeMaterial(stripes.get()), 0);
        EXPECT_EQ(renderer().releaseMesh(&quad), 0);
        return high - low;
    }
};

TEST_F(TextureFilteringTest, StartUpSaysHowMaterialTexturesAreFiltered) {
    ASSERT_EQ(open(), 0);
    const std::string device = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    std::vector<std::string> lines;
    for (const std::string& line : log().lines())
        if (line.rfind("renderer: " + device + ", OpenGL ", 0) == 0) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u);
    const std::string ending = "; material textures " + renderer().textureFiltering().reason;
    EXPECT_TRUE(lines[0].ends_with(ending)) << lines[0];
    if (isSoftwareRasterizer(device)) {
        EXPECT_EQ(renderer().textureFiltering().anisotropy, 1.0f);
        EXPECT_TRUE(lines[0].ends_with("; material textures trilinear (a software rasterizer)")) << lines[0];
    }
}

// Trilinear filtering averages the far stripes to grey; anisotropic filtering keeps them.
TEST_F(TextureFilteringTest, AnisotropicFilteringKeepsRecedingStripesApart) {
    ASSERT_EQ(open(), 0);
    GLfloat largest = 0.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &largest);
    if (glGetError() != GL_NO_ERROR || largest < 16.0f) GTEST_SKIP() << "no 16x anisotropic filtering here";

    renderer().setTextureFiltering({1.0f, "trilinear"});
    const float trilinear = stripeContrastFar();
    renderer().setTextureFiltering({16.0f, "anisotropic 16x"});
    const float anisotropic = stripeContrastFar();
    EXPECT_LT(trilinear, 0.25f);
    EXPECT_GT(anisotropic, 0.6f);
}

} // namespace
