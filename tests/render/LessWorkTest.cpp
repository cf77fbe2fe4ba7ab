// The renderer leaves out work that cannot change the picture: instances outside the view,
// instances outside a shadow face's view, shadow faces that already hold what they would be
// drawn with, and vertices that triangles share. Each case is checked against the same frame
// drawn in full.
#include "tests/render/GlTestSupport.h"

#include <cstring>

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

} // namespace
