// An object in a group is drawn, and left out when it cannot be seen, where its parents put it:
// the bounds the renderer culls with follow the composed transform.
#include "tests/render/GlTestSupport.h"

namespace {

using Target = RendererGL::Target;

class GroupCullingTest : public GlRendererTest {};

TEST_F(GroupCullingTest, APartIsCulledAndDrawnWhereItsParentPutsIt) {
    ASSERT_EQ(open(), 0);
    Mesh quad = makeQuadMesh("quad");
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    auto blue = makeSolidMaterial("blue", 0, 0, 255);
    ASSERT_EQ(renderer().addMaterial(blue.get()), 0);
    // By its own values the part stands behind the camera; its parent carries it 7 units ahead.
    Vector parentPosition{0, 0, 7}, parentRotation, parentScale{1, 1, 1};
    Placed part(&quad, "blue", {0, 0, -5}, {0.5f, 0.5f, 1});
    part.instance.parents = {{&parentPosition, &parentRotation, &parentScale}};
    ASSERT_EQ(renderer().addRenderInstance(&part.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    EXPECT_EQ(renderer().instancesCulled(), 0u);
    EXPECT_EQ(renderer().trianglesDrawn(), 2u);
    const auto p = pixelOf({0, 0, 2});
    const Rgb c = targetAt(Target::Diffuse, p[0], p[1]);
    EXPECT_NEAR(c.b, 1.0f, 0.01f);
    EXPECT_NEAR(c.r, 0.0f, 0.01f);

    // The parent moves back: the part is behind the camera, and left out.
    parentPosition = {0, 0, 0};
    frame();
    EXPECT_EQ(renderer().instancesCulled(), 1u);
    EXPECT_EQ(renderer().trianglesDrawn(), 0u);

    // Turned half round and grown by its parent, it is ahead again (20 units off).
    parentRotation = {3.14159265f, 0, 0};
    parentScale = {4, 4, 4};
    frame();
    EXPECT_EQ(renderer().instancesCulled(), 0u);
    EXPECT_EQ(renderer().trianglesDrawn(), 2u);
}

} // namespace
