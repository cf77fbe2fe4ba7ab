#include "actors/SlideShowAndFader.h"
#include "tests/actors/ActorTestHelpers.h"

#include <cmath>

namespace {

class SlideShowTest : public RegistryTest {
protected:
    std::vector<DrawCommand> frame() {
        renderer().renderFrame(0.0f);
        return renderer().lastFrameDrawing();
    }
};

TEST_F(SlideShowTest, InactiveItDrawsNothingAndWritesNoFilterParameter) {
    SlideShow slides("Slides");
    EXPECT_EQ(renderer().canvases().size(), 1u);
    slides.Update(16.0f);
    EXPECT_TRUE(frame().empty());
    EXPECT_TRUE(getPostChain()->parameters().empty());
}

TEST_F(SlideShowTest, ActiveItCoversTheWindowAndKeepsTheDistortionNeutral) {
    SlideShow slides("Slides");
    broadcastEvent("activate");
    EXPECT_TRUE(slides.active());
    EXPECT_EQ(*filterParameter("distortParam1"), Vector());
    EXPECT_EQ(*filterParameter("distortParam2"), Vector());

    // Another actor's distortion written earlier in the frame does not survive the update.
    setFilterParameter("distortParam1", Vector(3.0f, 2.0f, 1.0f));
    setFilterParameter("distortParam2", Vector(1.0f, 1.0f, 1.0f));
    slides.Update(16.0f);
    EXPECT_EQ(*filterParameter("distortParam1"), Vector());
    EXPECT_EQ(*filterParameter("distortParam2"), Vector());

    const auto drawn = frame();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].type, DrawCommand::Rect);
    EXPECT_TRUE(drawn[0].hasMaterial);
    EXPECT_EQ(drawn[0].text, "logo2");
    EXPECT_EQ(drawn[0].colour, 0xFFFFFFFFu);
    EXPECT_EQ((std::vector<int>(drawn[0].ints, drawn[0].ints + 4)), (std::vector<int>{1920, 1080, 0, 0}));

    broadcastEvent("deactivate");
    setFilterParameter("distortParam1", Vector(3.0f, 2.0f, 1.0f));
    slides.Update(16.0f);
    EXPECT_EQ(*filterParameter("distortParam1"), Vector(3.0f, 2.0f, 1.0f));
    EXPECT_TRUE(frame().empty());
}

class FaderTest : public RegistryTest {};

TEST_F(FaderTest, WritesTheFadeFromItsFirstFrameBeforeAnyEvent) {
    Fader fader("Fader");
    EXPECT_FALSE(filterParameter("fadeParam"));
    fader.Update(0.0f);
    EXPECT_EQ(*filterParameter("fadeParam"), Vector(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(fader.GetClassName(), "Fader");
    EXPECT_EQ(renderer().canvases().size(), 0u);
}

TEST_F(FaderTest, AFrameTimeOfZeroStillMovesTheLevel) {
    Fader fader("Fader");
    broadcastEvent("fadein");
    fader.Update(0.0f);
    const float k = std::exp(-0.05f / 1.5f);
    EXPECT_NEAR(fader.level(), 1.0f - k, 1e-6f);
    EXPECT_NEAR(filterParameter("fadeParam")->y, 1.0f - k, 1e-6f);
}

TEST_F(FaderTest, ApproachesItsTargetAtSixtyFramesPerSecondAsALowPass) {
    Fader fader("Fader");
    fader.Trigger("fadein");
    for (int i = 0; i < 22; ++i)
        fader.Update(1000.0f / 60.0f);
    EXPECT_NEAR(fader.level(), 0.63f, 0.02f);
    for (int i = 0; i < 400; ++i)
        fader.Update(1000.0f / 60.0f);
    EXPECT_NEAR(fader.level(), 1.0f, 1e-4f);
    EXPECT_LE(fader.level(), 1.0f);
}

TEST_F(FaderTest, FadeOutBeforeTheTopTurnsAroundFromWhereItIs) {
    Fader fader("Fader");
    fader.Trigger("fadein");
    for (int i = 0; i < 10; ++i)
        fader.Update(16.0f);
    const float top = fader.level();
    ASSERT_GT(top, 0.0f);
    ASSERT_LT(top, 0.5f);
    fader.Trigger("fadeout");
    EXPECT_EQ(fader.target(), 0.0f);
    fader.Update(16.0f);
    const float k = std::exp(-(16.0f * 0.001f + 0.05f) / 1.5f);
    EXPECT_NEAR(fader.level(), top * k, 1e-6f);
    float previous = fader.level();
    for (int i = 0; i < 50; ++i) {
        fader.Update(16.0f);
        EXPECT_LT(fader.level(), previous);
        EXPECT_GT(fader.level(), 0.0f);
        previous = fader.level();
    }
}

} // namespace
