#include "actors/MapSearch.h"
#include "tests/actors/ActorTestHelpers.h"

#include <cmath>

namespace {

constexpr float Frame = 1000.0f / 60.0f;

class MapSearchTest : public RegistryTest {
protected:
    std::vector<DrawCommand> frame() {
        renderer().renderFrame(0.0f);
        return renderer().lastFrameDrawing();
    }

    static std::vector<int> corners(const DrawCommand& c) { return {c.ints, c.ints + 4}; }

    static bool shows(const std::vector<DrawCommand>& drawn, const std::string& text) {
        for (const DrawCommand& c : drawn)
            if (c.type == DrawCommand::Text && c.text == text) return true;
        return false;
    }
};

TEST_F(MapSearchTest, InactiveItDrawsNothingAndWritesNothing) {
    MapSearch map("Map");
    EXPECT_EQ(renderer().canvases().size(), 1u);
    map.OnBeat(0);
    map.Update(Frame);
    EXPECT_TRUE(frame().empty());
    EXPECT_TRUE(getPostChain()->parameters().empty());
    EXPECT_EQ(map.GetClassName(), "MapSearch");
}

TEST_F(MapSearchTest, SearchingDrawsTheMapAndTheCrossHairInOrder) {
    MapSearch map("Map");
    broadcastEvent("activate");
    EXPECT_EQ(*filterParameter("inputCombine1"), Vector(0.8f, 0.8f, 0.8f));
    EXPECT_FLOAT_EQ(map.countdown(), 10.0f);
    map.Update(Frame);

    const auto drawn = frame();
    ASSERT_EQ(drawn.size(), 8u);
    EXPECT_EQ(drawn[0].type, DrawCommand::Rect);
    EXPECT_EQ(drawn[0].text, "map02");
    EXPECT_EQ(drawn[0].colour, 0xFFFFFFFFu);
    EXPECT_EQ(corners(drawn[0]), (std::vector<int>{1920, 1080, 0, 0})); // zoom still below a pixel

    const DrawCommand& caption = drawn[7];
    ASSERT_EQ(caption.type, DrawCommand::Text);
    EXPECT_EQ(caption.text, "searching location...");
    EXPECT_EQ(caption.ints[2], 2);
    const int px = caption.ints[0] + 56;
    const int py = caption.ints[1] + 42;
    // The cross-hair stays in the lower right part of the window.
    EXPECT_GE(px, 960);
    EXPECT_LE(px, 960 + 576);
    EXPECT_GE(py, 540);
    EXPECT_LE(py, 540 + 324);

    const std::vector<std::pair<DrawCommand::Type, std::vector<int>>> expected = {
        {DrawCommand::Line2D, {100, 0, 100, py}},
        {DrawCommand::Line2D, {100, py, px - 20, py}},
        {DrawCommand::Rect, {px - 20, py - 20, px + 20, py + 20}},
        {DrawCommand::Line2D, {101, 0, 101, py + 1}},
        {DrawCommand::Line2D, {101, py + 1, px - 20, py + 1}},
        {DrawCommand::Rect, {px - 16, py - 16, px + 16, py + 16}},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(drawn[i + 1].type, expected[i].first);
        EXPECT_EQ(corners(drawn[i + 1]), expected[i].second);
        EXPECT_EQ(drawn[i + 1].colour, 0xFF00FFFFu);
        if (drawn[i + 1].type == DrawCommand::Rect) {
            EXPECT_FALSE(drawn[i + 1].hasMaterial);
        }
    }
    EXPECT_EQ(caption.colour, 0xFF00FFFFu);
}

TEST_F(MapSearchTest, TheCrossHairFollowsItsSineCurvesAndWandersOnlyWhileTheBlinkIsOff) {
    MapSearch map("Map");
    map.Trigger("activate");
    float wander = 0.0f;
    int blinkOnFrames = 0;
    for (int i = 0; i < 120; ++i) {
        map.Update(Frame);
        if (!map.blink()) wander -= Frame * 0.001f;
        blinkOnFrames += map.blink() ? 1 : 0;
        const auto drawn = frame();
        ASSERT_EQ(drawn.size(), 8u);
        const float c = map.countdown();
        const int px =
            960 + static_cast<int>(std::floor((std::sin(0.9533460f * c + wander) + 1.0f) * 0.5f * 576.0f));
        const int py =
            540 + static_cast<int>(std::floor((std::sin(1.1435462f * c + wander) + 1.0f) * 0.5f * 324.0f));
        ASSERT_EQ(drawn[7].ints[0], px - 56) << "frame " << i;
        ASSERT_EQ(drawn[7].ints[1], py - 42) << "frame " << i;
    }
    EXPECT_GT(blinkOnFrames, 30);
    EXPECT_LT(blinkOnFrames, 90);
}

TEST_F(MapSearchTest, BeatsJoltTheDistortionDuringTheSearch) {
    MapSearch map("Map");
    map.Trigger("activate");
    map.Update(Frame);
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"), Vector(4.0f, 0.0f, 1.0f), 1e-6f);
    const Vector d2 = *filterParameter("distortParam2");
    EXPECT_GE(d2.x, 0.0f);
    EXPECT_LE(d2.x, 1.0f);
    EXPECT_NEAR(d2.y, std::sin(0.9f * map.countdown()) * 0.5f + 0.5f, 1e-5f);

    map.OnBeat(0);
    map.Update(Frame);
    EXPECT_NEAR(filterParameter("distortParam1")->y, 0.4f * 0.95f, 1e-6f);
    map.Update(Frame);
    EXPECT_NEAR(filterParameter("distortParam1")->y, 0.4f * 0.95f * 0.95f, 1e-6f);
}

TEST_F(MapSearchTest, AfterTheSearchTheDistortionWaitsASecondThenGrows) {
    MapSearch map("Map");
    map.Trigger("activate");
    map.Update(10000.0f);
    EXPECT_LE(map.countdown(), 0.0f);
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"), Vector(4.0f, 0.0f, 1.0f), 1e-6f);
    map.Update(900.0f);
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"), Vector(4.0f, 0.0f, 1.0f), 1e-6f);
    map.Update(200.0f); // countdown -1.1: the overrun starts counting with this frame
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"), Vector(0.2f * 5 + 4, 0.2f * 0.6f, 0.2f * 7 + 1),
                       1e-5f);
    map.Update(1000.0f);
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"), Vector(1.2f * 5 + 4, 1.2f * 0.6f, 1.2f * 7 + 1),
                       1e-4f);
}

TEST_F(MapSearchTest, TheMapZoomsInByOnePercentOfTheWindowPerSecond) {
    MapSearch map("Map");
    map.Trigger("activate");
    for (int i = 0; i < 10; ++i)
        map.Update(500.0f); // 5 s of search
    EXPECT_NEAR(map.zoom(), 0.05f, 1e-5f);
    const auto drawn = frame();
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(corners(drawn[0]), (std::vector<int>{1920 + 96, 1080 + 54, -96, -54}));
}

TEST_F(MapSearchTest, LocationNotFoundBlinksWithAPeriodOfAboutFourTenths) {
    MapSearch map("Map");
    map.Trigger("activate");
    while (map.countdown() > 0.0f)
        map.Update(Frame);
    EXPECT_FALSE(shows(frame(), "searching location..."));

    // Record how long the message stays on and off.
    std::vector<float> runs;
    bool shown = shows(frame(), "Location not found!");
    float run = 0.0f;
    for (int i = 0; i < 300; ++i) {
        map.Update(Frame);
        const auto drawn = frame();
        const bool now = shows(drawn, "Location not found!");
        if (now) {
            ASSERT_EQ(drawn.size(), 2u);
            EXPECT_EQ(drawn[1].ints[0], 200);
            EXPECT_EQ(drawn[1].ints[1], 100);
            EXPECT_EQ(drawn[1].ints[2], 1);
            EXPECT_EQ(drawn[1].colour, 0xFFFFFFFFu);
        } else {
            EXPECT_EQ(drawn.size(), 1u); // the map alone
        }
        if (now != shown) {
            runs.push_back(run);
            run = 0.0f;
            shown = now;
        }
        run += Frame * 0.001f;
    }
    ASSERT_GE(runs.size(), 6u);
    // The first run started before recording; every later one lasts 0.2 s plus a frame or two.
    for (size_t i = 1; i < runs.size(); ++i) {
        EXPECT_GT(runs[i], 0.2f);
        EXPECT_LT(runs[i], 0.2f + 2.5f * Frame * 0.001f);
    }
}

TEST_F(MapSearchTest, ActivateRestartsAndDeactivateStops) {
    MapSearch map("Map");
    map.Trigger("activate");
    map.Update(12000.0f);
    map.Trigger("activate");
    EXPECT_FLOAT_EQ(map.countdown(), 10.0f);
    EXPECT_EQ(map.zoom(), 0.0f);
    map.Update(Frame);
    EXPECT_EQ(frame().size(), 8u);
    broadcastEvent("deactivate");
    EXPECT_FALSE(map.active());
    const float countdown = map.countdown();
    map.Update(Frame);
    EXPECT_EQ(map.countdown(), countdown);
    EXPECT_TRUE(frame().empty());
}

// A second "activate" after a long first search starts afresh: the distortion waits its second
// again, the cross-hair starts from its first wander phase, and the blink keeps its 0.2 s.
TEST_F(MapSearchTest, ActivateStartsTheOverrunWanderAndBlinkTimersAfresh) {
    MapSearch map("Map");
    broadcastEvent("activate");
    for (int i = 0; i < 60; ++i) { // a second of searching: the cross-hair has wandered
        map.Update(Frame);
        frame();
    }
    map.Update(11000.0f); // 2 s past the search: the overrun counts
    ASSERT_GT(filterParameter("distortParam1")->x, 4.0f);
    map.Update(150.0f);
    map.Update(150.0f); // the blink timer stands above 0 (at 0.15 or 0.3 s)

    broadcastEvent("activate");
    // Blink timer from 0: two frames of 0.15 s leave the blink alone, the third turns it.
    const bool blink = map.blink();
    map.Update(150.0f);
    map.Update(150.0f);
    EXPECT_EQ(map.blink(), blink);
    map.Update(150.0f);
    EXPECT_NE(map.blink(), blink);

    // Wander phase from 0: one drawn frame with the blink off moves it by that frame alone.
    broadcastEvent("activate");
    if (map.blink()) {
        map.Update(250.0f); // timer 0.25: the next frame turns the blink off
        map.Update(Frame);
        ASSERT_FALSE(map.blink());
        broadcastEvent("activate");
    }
    map.Update(Frame);
    ASSERT_FALSE(map.blink());
    const auto drawn = frame();
    ASSERT_EQ(drawn.size(), 8u);
    const float c = map.countdown();
    const float wander = -Frame * 0.001f;
    EXPECT_EQ(drawn[7].ints[0] + 56,
              960 + static_cast<int>(std::floor((std::sin(0.9533460f * c + wander) + 1.0f) * 0.5f * 576.0f)));
    EXPECT_EQ(drawn[7].ints[1] + 42,
              540 + static_cast<int>(std::floor((std::sin(1.1435462f * c + wander) + 1.0f) * 0.5f * 324.0f)));

    // Overrun from 0: a second after the new search the distortion is still at rest.
    map.Update(10000.0f);
    map.Update(500.0f);
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"), Vector(4.0f, 0.0f, 1.0f), 1e-6f);
}

} // namespace
