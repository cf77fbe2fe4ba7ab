// The renderer leaves out work that cannot change the picture: instances outside the view,
// instances outside a shadow face's view, shadow faces that already hold what they would be
// drawn with, the pixels and lights beyond the reach the lighting shader declares, and vertices
// that triangles share. Each case is checked against the same frame drawn in full.
#include "tests/render/GlTestSupport.h"

#include "render/gl/LightBounds.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using Target = RendererGL::Target;

class LessWorkTest : public GlRendererTest {
protected:
    void SetUp() override {
        GlRendererTest::SetUp();
        ASSERT_EQ(open(), 0);
        quad_ = makeQuadMesh("quad");
        box_ = makeBoxMesh("box");
        ASSERT_EQ(renderer().addMesh(&quad_), 0);
        ASSERT_EQ(renderer().addMesh(&box_), 0);
        white_ = makeSolidMaterial("white", 200, 200, 200);
        ASSERT_EQ(renderer().addMaterial(white_.get()), 0);
    }

    // A wall behind a light, a floor below it and a box between: every cube face sees something.
    void buildRoom() {
        wall_ = std::make_unique<Placed>(&quad_, "white", Vector{0, 0, 3}, Vector{5, 5, 1});
        floor_ = std::make_unique<Placed>(&quad_, "white", Vector{0, -1.5f, 0}, Vector{5, 5, 1});
        floor_->rotation = {0, 1.5707963f, 0};
        box_on_ = std::make_unique<Placed>(&box_, "", Vector{0.4f, 0.6f, 1.5f}, Vector{0.25f, 0.25f, 0.25f});
        for (Placed* p : {wall_.get(), floor_.get(), box_on_.get()})
            ASSERT_EQ(renderer().addRenderInstance(&p->instance), 0);
        light_ = std::make_unique<PlacedLight>(0, Vector{0, 0, 0});
        ASSERT_EQ(renderer().addLight(&light_->record), 0);
        lookAlongZ({0, 0, -4}); // every cube face passes the face test from here
    }

    std::vector<uint8_t> picture() {
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        EXPECT_TRUE(renderer().captureFrame(rgb, w, h));
        return rgb;
    }
    std::vector<float> face(int index) {
        std::vector<float> red;
        int size = 0;
        EXPECT_TRUE(renderer().readShadowFace(light_->record.shadowCube, index, red, size));
        return red;
    }
    // This frame, then the same frame with every face drawn again: both pictures and cubes.
    void expectSameAsDrawnInFull(const std::string& what) {
        SCOPED_TRACE(what);
        frame();
        const std::vector<uint8_t> reused = picture();
        std::vector<std::vector<float>> faces;
        for (int f = 0; f < 6; ++f)
            faces.push_back(face(f));
        renderer().setShadowFaceReuse(false);
        frame();
        renderer().setShadowFaceReuse(true);
        EXPECT_EQ(renderer().shadowFacesKept(), 0u);
        EXPECT_TRUE(picture() == reused) << "the picture differs from the one drawn in full";
        for (int f = 0; f < 6; ++f)
            EXPECT_TRUE(face(f) == faces[static_cast<size_t>(f)]) << "face " << f;
    }

    // This frame's lighting and specular targets and picture, then the same with every light
    // drawn over the whole picture: all must be the same bytes.
    void expectSameAsLitInFull(const std::string& what) {
        SCOPED_TRACE(what);
        frame();
        std::vector<float> light, specular;
        int w = 0, h = 0;
        ASSERT_TRUE(renderer().readTarget(Target::Lighting, light, w, h));
        ASSERT_TRUE(renderer().readTarget(Target::Specular, specular, w, h));
        const std::vector<uint8_t> bounded = picture();
        renderer().setLightBounds(false);
        frame();
        renderer().setLightBounds(true);
        std::vector<float> fullLight, fullSpecular;
        ASSERT_TRUE(renderer().readTarget(Target::Lighting, fullLight, w, h));
        ASSERT_TRUE(renderer().readTarget(Target::Specular, fullSpecular, w, h));
        EXPECT_EQ(renderer().lightsLeftOut(), 0u);
        EXPECT_TRUE(light == fullLight) << "the light target differs from the one lit in full";
        EXPECT_TRUE(specular == fullSpecular) << "the specular target differs from the one lit in full";
        EXPECT_TRUE(picture() == bounded) << "the picture differs from the one lit in full";
    }
    long wholePicture() const { return static_cast<long>(Width) * Height; }

    Mesh quad_, box_;
    std::unique_ptr<Material> white_;
    std::unique_ptr<Placed> wall_, floor_, box_on_;
    std::unique_ptr<PlacedLight> light_;
};

TEST_F(LessWorkTest, AnUnchangedLightKeepsItsFacesAndTheFrameStaysTheSame) {
    buildRoom();
    frame();
    EXPECT_EQ(renderer().shadowFacesDrawn(), 6u);
    EXPECT_EQ(renderer().shadowFacesKept(), 0u);
    const std::vector<uint8_t> first = picture();
    frame();
    EXPECT_EQ(renderer().shadowFacesDrawn(), 6u);
    EXPECT_EQ(renderer().shadowFacesKept(), 6u);
    EXPECT_TRUE(picture() == first) << "the same frame drawn twice differs";
    expectSameAsDrawnInFull("nothing moved");
}

TEST_F(LessWorkTest, OnlyTheFacesThatSeeAMovedInstanceAreDrawnAgain) {
    buildRoom();
    frame();
    // The box is seen through the +z face alone; moving it within that face changes only it.
    box_on_->position = {0.3f, 0.5f, 1.6f};
    frame();
    EXPECT_EQ(renderer().shadowFacesKept(), 5u);
    // ... and only where the box was and is: above and right of the face's middle.
    EXPECT_EQ(renderer().shadowFacesPatched(), 1u);
    expectSameAsDrawnInFull("the box moved");
    // Moved down and left, across the middle of the face.
    box_on_->position = {-0.3f, -0.4f, 1.4f};
    frame();
    EXPECT_EQ(renderer().shadowFacesPatched(), 1u);
    expectSameAsDrawnInFull("the box moved across the face");
    // A changed scale, a hidden instance, and a mesh rewritten by its owner each count as moved.
    box_on_->scale = {0.3f, 0.3f, 0.3f};
    frame();
    EXPECT_EQ(renderer().shadowFacesKept(), 5u);
    box_on_->instance.visible = 0;
    frame();
    EXPECT_EQ(renderer().shadowFacesKept(), 5u);
    expectSameAsDrawnInFull("the box hidden");
    box_on_->instance.visible = 1;
    frame();
    for (Vector& p : box_.positions)
        p = p * 0.5f;
    box_on_->dirty = 1;
    frame();
    EXPECT_EQ(renderer().shadowFacesKept(), 5u);
    expectSameAsDrawnInFull("the box's vertices rewritten");
}

TEST_F(LessWorkTest, AnInstanceThatAppearsOrComesCloseToTheLightIsDrawnIn) {
    buildRoom();
    frame();
    // A second box appears in the +z face: that face is patched where it lands.
    Placed second(&box_, "", {-0.5f, -0.3f, 1.2f}, {0.2f, 0.2f, 0.2f});
    ASSERT_EQ(renderer().addRenderInstance(&second.instance), 0);
    frame();
    EXPECT_EQ(renderer().shadowFacesKept(), 5u);
    EXPECT_EQ(renderer().shadowFacesPatched(), 1u);
    expectSameAsDrawnInFull("a box appeared");
    // So close to the light that it covers much of the face: the face is drawn whole.
    second.position = {0, 0, 0.3f};
    frame();
    EXPECT_EQ(renderer().shadowFacesPatched(), 0u);
    expectSameAsDrawnInFull("a box next to the light");
    // Gone again.
    ASSERT_EQ(renderer().removeRenderInstance(&second.instance), 0);
    expectSameAsDrawnInFull("the box removed");
}

TEST_F(LessWorkTest, AMovedLightDrawsEveryFaceAgain) {
    buildRoom();
    frame();
    light_->position = {0.1f, 0, 0};
    frame();
    EXPECT_EQ(renderer().shadowFacesKept(), 0u);
    EXPECT_EQ(renderer().shadowFacesPatched(), 0u);
    expectSameAsDrawnInFull("the light moved");
}

TEST_F(LessWorkTest, AReloadedShadowShaderDrawsEveryFaceAgain) {
    buildRoom();
    frame();
    std::string error;
    ASSERT_EQ(renderer().reloadShader("depth_shader.psh", error), 0) << error;
    frame();
    EXPECT_EQ(renderer().shadowFacesKept(), 0u);
}

TEST_F(LessWorkTest, AFaceTurnedAwayKeepsItsCubeAndIsDrawnWhenItComesBack) {
    buildRoom();
    frame();
    const std::vector<float> before = face(4);
    // Turned round, every face fails the face test: moving the box leaves the cube as it was.
    renderer().setCameraPosition(0, 0, 6);
    renderer().multiplyView(matrixRotationY(3.14159265f).data());
    renderer().setViewDirection(0, 0, 1);
    box_on_->position = {0.2f, 0.3f, 1.2f};
    frame();
    EXPECT_EQ(renderer().shadowFacesDrawn(), 0u);
    EXPECT_TRUE(face(4) == before);
    // Facing the cube again, the face follows the box.
    lookAlongZ({0, 0, -4});
    frame();
    EXPECT_EQ(renderer().shadowFacesKept(), 5u);
    EXPECT_FALSE(face(4) == before);
    expectSameAsDrawnInFull("facing the cube again");
}

TEST_F(LessWorkTest, InstancesOutsideTheViewAreLeftOutWithoutChangingThePicture) {
    auto blue = makeSolidMaterial("blue", 0, 0, 255);
    ASSERT_EQ(renderer().addMaterial(blue.get()), 0);
    // Drawn front of the list first: the blue one behind the camera, then one without a material,
    // which keeps the textures of the draw before it, culled or not.
    Placed seen(&quad_, "nothing by this name", {0, 0, 2}, {0.5f, 0.5f, 1});
    Placed behind(&quad_, "blue", {0, 0, -5}, {0.5f, 0.5f, 1});
    ASSERT_EQ(renderer().addRenderInstance(&seen.instance), 0);
    ASSERT_EQ(renderer().addRenderInstance(&behind.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    EXPECT_EQ(renderer().instancesCulled(), 1u);
    EXPECT_EQ(renderer().trianglesDrawn(), 2u);
    const auto p = pixelOf({0, 0, 2});
    const Rgb c = targetAt(Target::Diffuse, p[0], p[1]);
    EXPECT_NEAR(c.b, 1.0f, 0.01f);
    EXPECT_NEAR(c.r, 0.0f, 0.01f);

    // Half in view: drawn.
    behind.position = {1.0f, 0, 2};
    frame();
    EXPECT_EQ(renderer().instancesCulled(), 0u);
}

// The show's lighting shader declares that a light reaches 4 cut-offs: a light of cut-off 0.3
// half a unit above the floor lights a patch of it but not the wall, and is drawn only over the
// part of the picture its sphere covers, with the same result.
TEST_F(LessWorkTest, ALightIsDrawnOnlyWhereItReachesWithTheSamePicture) {
    buildRoom();
    light_->position = {0, -1.0f, 0.5f};
    light_->cutoff = 0.3f;
    frame();
    ASSERT_EQ(renderer().lightPixels().size(), 1u);
    EXPECT_GT(renderer().lightPixels()[0], 0);
    EXPECT_LT(renderer().lightPixels()[0], wholePicture());
    const auto wall = pixelOf({2.0f, 2.0f, 3.0f});
    EXPECT_EQ(targetAt(Target::Lighting, wall[0], wall[1]).sum(), 0.0f) << "the wall lies beyond the reach";
    EXPECT_GT(litPixels(Target::Lighting), 100);
    expectSameAsLitInFull("the light in the middle of the room");
    // Between the eye and the wall, nearer the eye: the wall behind its sphere is left to the
    // depth test.
    light_->position = {0.5f, 0.3f, -2.0f};
    expectSameAsLitInFull("the light near the eye");
    // Close to the wall, so that its sphere reaches past the far side of nothing else.
    light_->position = {-0.8f, 0.2f, 2.4f};
    light_->cutoff = 0.3f;
    expectSameAsLitInFull("the light on the wall");
    // Where no fall-off is set the light reaches everywhere.
    light_->cutoff = 0.0f;
    frame();
    EXPECT_EQ(renderer().lightPixels()[0], wholePicture());
}

// A light whose sphere meets nothing in view is left out: no lighting, no shadow faces, the same
// picture. Its faces are drawn once it reaches something in view again.
TEST_F(LessWorkTest, ALightThatReachesNothingInViewIsLeftOutShadowsAndAll) {
    buildRoom();
    light_->cutoff = 0.5f;
    PlacedLight behind(1, {0, 0, -30});
    behind.cutoff = 1.0f;
    ASSERT_EQ(renderer().addLight(&behind.record), 0);
    PlacedLight aside(2, {40, 0, 2});
    aside.cutoff = 1.0f;
    ASSERT_EQ(renderer().addLight(&aside.record), 0);
    frame();
    EXPECT_EQ(renderer().lightsLeftOut(), 2u);
    EXPECT_EQ(renderer().shadowFacesDrawn(), 6u) << "only the room's light draws its faces";
    EXPECT_EQ(renderer().lightPixels()[1], 0);
    EXPECT_EQ(renderer().lightPixels()[2], 0);
    expectSameAsLitInFull("two lights far from everything in view");

    // In view but far from every instance: its sphere lies in the open, lighting nothing.
    aside.position = {0, 4.5f, 0};
    aside.cutoff = 0.2f;
    frame();
    EXPECT_EQ(renderer().lightsLeftOut(), 2u);

    // Brought into the room, the light behind draws its faces and lights what it reaches.
    behind.position = {0.5f, -0.5f, 1.0f};
    frame();
    EXPECT_EQ(renderer().lightsLeftOut(), 1u);
    EXPECT_EQ(renderer().shadowFacesDrawn(), 12u);
    expectSameAsLitInFull("the light brought into the room");
    std::vector<float> red;
    int size = 0;
    ASSERT_TRUE(renderer().readShadowFace(behind.record.shadowCube, 4, red, size));
    EXPECT_GT(*std::max_element(red.begin(), red.end()), 0.0f) << "its +z face saw the wall";
}

// A lighting shader whose fall-off never ends (it does not declare the reach, or declares it 0)
// gets every light drawn over the whole picture, however far away.
class UnboundedLightTest : public GlRendererTest {
protected:
    void expectDrawnEverywhere(const std::string& declaration, const std::string& reach) {
        ShaderFolder folder;
        folder.write("lighting_shader.psh", R"(#version 450 core
uniform sampler2D depthPass;
uniform vec4 lightPosUT;
uniform float lightCutoff;
)" + declaration + R"(
layout(location = 0) out vec4 outLight;
layout(location = 1) out vec4 outSpecular;
void main() {
    float d = length(texelFetch(depthPass, ivec2(gl_FragCoord.xy), 0).xyz - lightPosUT.xyz);
    outLight = vec4(vec3(0.25 + 1e-9 * d * lightCutoff + )" +
                                                reach + R"(), 1.0);
    outSpecular = vec4(0.0);
}
)");
        WorkingDirectory inFolder(folder.path());
        ASSERT_EQ(open(), 0);
        Mesh quad = makeQuadMesh("quad");
        ASSERT_EQ(renderer().addMesh(&quad), 0);
        Placed wall(&quad, "", {0, 0, 3}, {5, 5, 1});
        ASSERT_EQ(renderer().addRenderInstance(&wall.instance), 0);
        PlacedLight far(0, {0, 0, -300});
        far.cutoff = 0.5f;
        ASSERT_EQ(renderer().addLight(&far.record), 0);
        lookAlongZ({0, 0, -4});
        frame();
        EXPECT_EQ(renderer().lightsLeftOut(), 0u);
        ASSERT_EQ(renderer().lightPixels().size(), 1u);
        EXPECT_EQ(renderer().lightPixels()[0], static_cast<long>(Width) * Height);
        EXPECT_EQ(litPixels(Target::Lighting), Width * Height) << "the far light lights every pixel";
        EXPECT_EQ(renderer().removeLight(&far.record), 0);
        EXPECT_EQ(renderer().removeRenderInstance(&wall.instance), 0);
    }
};

TEST_F(UnboundedLightTest, AShaderThatDoesNotDeclareTheReach) {
    expectDrawnEverywhere("", "0.0");
}

TEST_F(UnboundedLightTest, AShaderThatDeclaresTheReachAsZero) {
    expectDrawnEverywhere("uniform float lightReach = 0.0;", "lightReach");
}

// Triangles that share a vertex are drawn from one copy of it: the mesh keeps each distinct
// vertex once, and its indices give back every triangle as it was.
TEST(MeshEntryTest, DistinctVerticesAreKeptOnceAndTheIndicesGiveBackEveryTriangle) {
    Mesh box = makeBoxMesh("box");
    MeshEntry entry;
    entry.fill(box);
    ASSERT_EQ(entry.vertexCount, 36u);
    ASSERT_GT(entry.stride, 0u);
    // Each face has 4 corners of its own (the normals differ between faces).
    EXPECT_EQ(entry.indexOffset, 24u * entry.stride);
    ASSERT_EQ(entry.vertices.size(), entry.indexOffset + 36u * sizeof(uint32_t));
    auto same = [](const Vector& a, const Vector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    for (uint32_t v = 0; v < 36; ++v) {
        uint32_t index = 0;
        std::memcpy(&index, entry.vertices.data() + entry.indexOffset + v * sizeof(uint32_t), sizeof index);
        ASSERT_LT(index, 24u);
        const uint8_t* stored = entry.vertices.data() + index * entry.stride;
        Vector position, normal, binormal;
        std::memcpy(&position, stored + entry.offsets[0], sizeof position);
        std::memcpy(&normal, stored + entry.offsets[1], sizeof normal);
        std::memcpy(&binormal, stored + entry.offsets[4], sizeof binormal);
        EXPECT_TRUE(same(position, box.positions[v])) << "vertex " << v;
        EXPECT_TRUE(same(normal, box.normals[v])) << "vertex " << v;
        EXPECT_TRUE(same(binormal, box.binormals[v])) << "vertex " << v;
    }
    // A mesh without arrays draws its count of vertices from nothing at all.
    Mesh empty;
    empty.vertexCount = 3;
    MeshEntry none;
    none.fill(empty);
    EXPECT_EQ(none.stride, 0u);
    EXPECT_EQ(none.vertices.size(), none.indexOffset + 3u * sizeof(uint32_t));
}

// Where a sphere can show on the picture, checked against points of the sphere itself.
TEST(LightBoundsTest, TheBoundsHoldEveryPointOfTheSphereAndLeaveOutWhatIsOutOfView) {
    const int width = 320, height = 180;
    const Matrix projection = matrixPerspectiveFovLH(1.2217305f, 16.0f / 9.0f, 0.05f, 30.0f);
    const Matrix view = matrixLookAtLH({1, 2, -3}, {1.5f, 1.8f, 5}, {0, 1, 0});
    const Matrix viewProjection = matrixMultiply(view, projection);
    const float step = 1.0f / 65535.0f;
    auto check = [&](const Sphere& sphere, const char* what) -> LightBounds {
        SCOPED_TRACE(what);
        const LightBounds b = lightBounds(sphere, view, projection, width, height, step);
        EXPECT_TRUE(b.onScreen);
        for (int i = 0; i < 400; ++i) {
            // Points spread over the sphere's surface.
            const float z = 1.0f - 2.0f * (static_cast<float>(i) + 0.5f) / 400.0f;
            const float a = 2.39996323f * static_cast<float>(i), r = std::sqrt(1.0f - z * z);
            const Vector point = sphere.centre + Vector{r * std::cos(a), r * std::sin(a), z} * sphere.radius;
            float w = 0.0f;
            const Vector clip = transformCoord(point, viewProjection, &w);
            if (!(w > 0.05f)) continue; // behind the near plane: not drawn
            const float x = (clip.x / w + 1.0f) * 0.5f * width, y = (1.0f - clip.y / w) * 0.5f * height;
            const float depth = clip.z / w;
            if (x < 0 || x >= width || y < 0 || y >= height || depth > 1.0f) continue; // out of view
            EXPECT_GE(x, static_cast<float>(b.rect[0]));
            EXPECT_LT(x, static_cast<float>(b.rect[2]));
            EXPECT_GE(y, static_cast<float>(b.rect[1]));
            EXPECT_LT(y, static_cast<float>(b.rect[3]));
            if (b.depthTest == LightBounds::Depth::NearerThan) {
                EXPECT_LT(depth, b.depth - 2.0f * step);
            } else if (b.depthTest == LightBounds::Depth::FartherThan) {
                EXPECT_GT(depth, b.depth + 2.0f * step);
            }
        }
        return b;
    };
    // Small and in the middle distance: a small rectangle, and the far side bounds the depth.
    LightBounds b = check({{1.4f, 1.9f, 4.0f}, 0.8f}, "small, ahead");
    EXPECT_LT((b.rect[2] - b.rect[0]) * (b.rect[3] - b.rect[1]), width * height / 4);
    EXPECT_EQ(b.depthTest, LightBounds::Depth::NearerThan);
    // Reaching past the far plane: the near side bounds the depth.
    b = check({{1.6f, 1.7f, 20.0f}, 12.0f}, "past the far plane");
    EXPECT_EQ(b.depthTest, LightBounds::Depth::FartherThan);
    // Around the eye: the whole picture, and the far side still bounds the depth.
    b = check({{1.0f, 2.0f, -3.0f}, 4.0f}, "around the eye");
    EXPECT_EQ(b.rect[0], 0);
    EXPECT_EQ(b.rect[1], 0);
    EXPECT_EQ(b.rect[2], width);
    EXPECT_EQ(b.rect[3], height);
    EXPECT_EQ(b.depthTest, LightBounds::Depth::NearerThan);

    // Behind the eye, beside the view and beyond the far plane: nothing.
    EXPECT_FALSE(lightBounds({{1, 2, -8}, 2.0f}, view, projection, width, height, step).onScreen);
    EXPECT_FALSE(lightBounds({{40, 2, 5}, 2.0f}, view, projection, width, height, step).onScreen);
    EXPECT_FALSE(lightBounds({{1.5f, 1.8f, 60}, 5.0f}, view, projection, width, height, step).onScreen);
    // Not finite: everywhere.
    b = lightBounds({{1, 2, 5}, std::numeric_limits<float>::infinity()}, view, projection, width, height,
                    step);
    EXPECT_TRUE(b.onScreen);
    EXPECT_EQ(b.rect[2], width);
    EXPECT_EQ(b.depthTest, LightBounds::Depth::Any);
}

} // namespace
