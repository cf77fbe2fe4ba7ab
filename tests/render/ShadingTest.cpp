// What the lighting adds up to on real pixels: the highlight, the fall-off of a light's cut-off,
// the sum of two lights, and shadows cast through cube faces in every direction (away from the
// y = 0 plane, so that a face drawn upside down or mirrored shows).
#include "tests/render/GlTestSupport.h"

namespace {

using Target = RendererGL::Target;

class ShadingTest : public GlRendererTest {
protected:
    void SetUp() override {
        GlRendererTest::SetUp();
        ASSERT_EQ(open(), 0);
        quad_ = makeQuadMesh("quad");
        box_ = makeBoxMesh("box");
        ASSERT_EQ(renderer().addMesh(&quad_), 0);
        ASSERT_EQ(renderer().addMesh(&box_), 0);
    }
    Rgb at(Target target, const Vector& world) {
        const auto p = pixelOf(world);
        return targetAt(target, p[0], p[1]);
    }
    // A wall facing the camera (and a light between them), 2 x `size` wide, at depth z.
    std::unique_ptr<Placed> wall(const std::string& material, float z, float size = 3.0f) {
        auto placed = std::make_unique<Placed>(&quad_, material, Vector{0, 0, z}, Vector{size, size, 1});
        EXPECT_EQ(renderer().addRenderInstance(&placed->instance), 0);
        return placed;
    }

    Mesh quad_;
    Mesh box_;
};

// With the eye and the light both 4 units in front of a wall, 1 unit apart, the wall mirrors
// the light halfway between them; the same distance on the other side shows no highlight.
TEST_F(ShadingTest, TheHighlightLiesWhereTheWallMirrorsTheLightIntoTheEye) {
    auto grey = makeSolidMaterial("grey", 64, 64, 64);
    ASSERT_EQ(renderer().addMaterial(grey.get()), 0);
    auto plane = wall("grey", 2.0f);
    PlacedLight light(0, {1, 0, -2});
    ASSERT_EQ(renderer().addLight(&light.record), 0);
    lookAlongZ({0, 0, -2});
    frame();

    const Vector mirror{0.5f, 0, 2};
    const Vector opposite{-0.5f, 0, 2};
    const Rgb highlight = at(Target::Specular, mirror);
    EXPECT_GT(highlight.r, 0.4f);
    EXPECT_LT(at(Target::Specular, opposite).r, highlight.r - 0.25f);
    // The brightest highlight of the row is at the mirror point.
    const auto p = pixelOf(mirror);
    int brightest = 0;
    float best = -1.0f;
    for (int x = 0; x < Width; ++x)
        if (const float s = targetAt(Target::Specular, x, p[1]).r; s > best) {
            best = s;
            brightest = x;
        }
    EXPECT_NEAR(brightest, p[0], 2);
    // The highlight is added to the picture on top of the lit colour.
    const float diffuseLight = at(Target::Lighting, mirror).r;
    EXPECT_NEAR(at(Target::Composite, mirror).r, 64.0f / 255.0f * (0.06f + diffuseLight) + highlight.r,
                0.03f);
    EXPECT_GT(at(Target::Composite, mirror).r, at(Target::Composite, opposite).r + 0.3f);
}

// A light 4 units in front of the wall: full strength without a cut-off, half of it with a
// cut-off of 4, and a fifth with a cut-off of 2. The show's shader ends the fall-off at 4
// cut-offs: a cut-off of 1 leaves the wall with nothing at all, and 1.6 with a little.
TEST_F(ShadingTest, ALightHasFallenToHalfItsStrengthAtItsCutOffDistance) {
    auto white = makeSolidMaterial("white", 255, 255, 255);
    ASSERT_EQ(renderer().addMaterial(white.get()), 0);
    auto plane = wall("white", 2.0f);
    PlacedLight light(0, {0, 0, -2});
    ASSERT_EQ(renderer().addLight(&light.record), 0);
    lookAlongZ({0, 0, -2});
    const Vector centre{0, 0, 2};

    frame();
    EXPECT_NEAR(at(Target::Lighting, centre).r, 1.0f, 0.01f);
    light.cutoff = 4.0f;
    frame();
    EXPECT_NEAR(at(Target::Lighting, centre).r, 0.5f, 0.01f);
    light.cutoff = 2.0f;
    frame();
    EXPECT_NEAR(at(Target::Lighting, centre).r, 0.2f, 0.01f);
    light.cutoff = 1.6f; // 2.5 cut-offs: eased from 1 / (1 + 2.5^2) on the way to nothing
    frame();
    const float eased = at(Target::Lighting, centre).r;
    EXPECT_GT(eased, 0.02f);
    EXPECT_LT(eased, 1.0f / (1.0f + 2.5f * 2.5f) - 0.02f);
    light.cutoff = 1.0f;
    frame();
    EXPECT_EQ(at(Target::Lighting, centre).r, 0.0f);
    renderer().setLightBounds(false); // drawn over the whole picture, the shader still adds nothing
    frame();
    EXPECT_EQ(at(Target::Lighting, centre).r, 0.0f);
    EXPECT_EQ(litPixels(Target::Lighting, 0.0f), 0);
}

// Each light adds its own light and highlight: with both, every pixel holds the sum of what
// each gives alone.
TEST_F(ShadingTest, TwoLightsAddUpOnEveryPixel) {
    auto white = makeSolidMaterial("white", 255, 255, 255);
    ASSERT_EQ(renderer().addMaterial(white.get()), 0);
    auto plane = wall("white", 2.0f);
    PlacedLight warm(0, {-1.0f, 0.5f, 0}, {0.5f, 0.25f, 0});
    PlacedLight cold(1, {1.0f, -0.5f, 0.5f}, {0, 0.2f, 0.45f});
    lookAlongZ({0, 0, -2});
    std::vector<float> warmLight, warmSpecular, coldLight, coldSpecular, bothLight, bothSpecular;
    int w = 0, h = 0;

    ASSERT_EQ(renderer().addLight(&warm.record), 0);
    frame();
    ASSERT_TRUE(renderer().readTarget(Target::Lighting, warmLight, w, h));
    ASSERT_TRUE(renderer().readTarget(Target::Specular, warmSpecular, w, h));
    ASSERT_EQ(renderer().addLight(&cold.record), 0);
    frame();
    ASSERT_TRUE(renderer().readTarget(Target::Lighting, bothLight, w, h));
    ASSERT_TRUE(renderer().readTarget(Target::Specular, bothSpecular, w, h));
    ASSERT_EQ(renderer().removeLight(&warm.record), 0);
    frame();
    ASSERT_TRUE(renderer().readTarget(Target::Lighting, coldLight, w, h));
    ASSERT_TRUE(renderer().readTarget(Target::Specular, coldSpecular, w, h));

    int litByBoth = 0;
    for (size_t i = 0; i < bothLight.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            ASSERT_NEAR(bothLight[i + c], std::min(1.0f, warmLight[i + c] + coldLight[i + c]), 2.5f / 255.0f)
                << "pixel " << i / 4 << " channel " << c;
            ASSERT_NEAR(bothSpecular[i + c], std::min(1.0f, warmSpecular[i + c] + coldSpecular[i + c]),
                        2.5f / 255.0f);
        }
        if (warmLight[i] > 0.05f && coldLight[i + 2] > 0.05f) ++litByBoth;
    }
    EXPECT_GT(litByBoth, w * h / 2); // the sum was tested where both lights shine
}

// A light in a corner of a floor and a back wall, with one small box above its horizontal and
// one below it: each shadow falls on the line from the light through its box, and nowhere on
// the lines mirrored in x, y or z.
TEST_F(ShadingTest, ShadowsFallAwayFromTheLightInEveryCubeDirection) {
    auto white = makeSolidMaterial("white", 255, 255, 255);
    ASSERT_EQ(renderer().addMaterial(white.get()), 0);
    auto back = wall("white", 3.0f, 5.0f);
    Placed floor(&quad_, "white", {0, -1.5f, 0}, {5, 5, 1});
    floor.rotation = {0, 1.5707963f, 0}; // pitched to face up
    ASSERT_EQ(renderer().addRenderInstance(&floor.instance), 0);
    // Above and to the right, seen through the +z face: its shadow on the wall at twice the
    // distance. Below, a little left and ahead, seen through the -y face: its shadow on the floor.
    Placed high(&box_, "", {0.4f, 0.6f, 1.5f}, {0.25f, 0.25f, 0.25f});
    Placed low(&box_, "", {-0.3f, -0.75f, 0.45f}, {0.2f, 0.2f, 0.2f});
    ASSERT_EQ(renderer().addRenderInstance(&high.instance), 0);
    ASSERT_EQ(renderer().addRenderInstance(&low.instance), 0);
    PlacedLight light(0, {0, 0, 0});
    ASSERT_EQ(renderer().addLight(&light.record), 0);
    lookAlongZ({0, 0, -4}); // every cube face passes the face test from here
    frame();
    saveFrameForInspection(renderer(), "shadow-directions");
    EXPECT_EQ(renderer().shadowFacesDrawn(), 6u);

    auto light_at = [&](const Vector& p) { return at(Target::Lighting, p).r; };
    // On the wall.
    EXPECT_LT(light_at({0.8f, 1.2f, 3}), 0.05f);
    EXPECT_GT(light_at({0.8f, -1.2f, 3}), 0.5f);
    EXPECT_GT(light_at({-0.8f, 1.2f, 3}), 0.5f);
    // On the floor.
    EXPECT_LT(light_at({-0.6f, -1.5f, 0.9f}), 0.05f);
    EXPECT_GT(light_at({-0.6f, -1.5f, -0.9f}), 0.4f);
    EXPECT_GT(light_at({0.6f, -1.5f, 0.9f}), 0.4f);
}

} // namespace
