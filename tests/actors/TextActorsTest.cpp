#include "actors/TextActors.h"
#include "actors/SlideShowAndFader.h"
#include "tests/actors/ActorTestHelpers.h"

#include <cmath>
#include <vector>

namespace {

constexpr uint32_t Amber = 0xFFEFBA00; // (0.9411, 0.7333, 0) packed, channels truncated

std::vector<size_t> lengths(const std::vector<std::string>& lines) {
    std::vector<size_t> result;
    for (const std::string& line : lines)
        result.push_back(line.size());
    return result;
}

class TextActorsTest : public RegistryTest {
protected:
    std::vector<DrawCommand> frame() {
        renderer().renderFrame(0.0f);
        return renderer().lastFrameDrawing();
    }
};

TEST_F(TextActorsTest, LinesHaveTheLengthsThePacingWasTimedWith) {
    Anouncer anouncer("A");
    EXPECT_EQ(lengths(anouncer.sequence().lines), (std::vector<size_t>{20, 24, 31, 10, 6, 18, 18, 15, 27}));

    Greeter greeter("G");
    const std::vector<std::string>& lines = greeter.sequence().lines;
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines.front(), "An ZEV Party Production");
    EXPECT_EQ(lines[1], "Greetings go out to");
    EXPECT_EQ(lines.back(), "and the rest of the demoscene");
    const std::vector<size_t> all = lengths(lines);
    const std::vector<size_t> names(all.begin() + 2, all.end() - 1);
    EXPECT_EQ(names, (std::vector<size_t>{7, 10, 4, 3, 6, 4, 5, 3, 9, 4, 5, 6, 16, 4, 6, 8}));
}

TEST_F(TextActorsTest, BothJoinTheCanvasListAndLeaveItWhenDestroyed) {
    {
        Anouncer anouncer("A");
        Greeter greeter("G");
        const auto canvases = renderer().canvases();
        ASSERT_EQ(canvases.size(), 2u);
        EXPECT_EQ(canvases[0], static_cast<RenderInterface::CanvasInterface*>(&anouncer));
        EXPECT_EQ(canvases[1], static_cast<RenderInterface::CanvasInterface*>(&greeter));
        EXPECT_EQ(anouncer.GetClassName(), "Anouncer");
        EXPECT_EQ(greeter.GetClassName(), "Greeter");
        EXPECT_EQ(greeter.GetEntityCount(), 0);
        EXPECT_EQ(anouncer.GetEntity(0), nullptr);
    }
    EXPECT_TRUE(renderer().canvases().empty());
}

TEST_F(TextActorsTest, NothingHappensBeforeActivate) {
    Anouncer anouncer("A");
    anouncer.Update(1000.0f);
    EXPECT_EQ(anouncer.sequence().colour, 0xFFFFFFFFu);
    EXPECT_TRUE(frame().empty());
    EXPECT_FALSE(filterParameter("distortParam1"));
}

TEST_F(TextActorsTest, AnouncerStartsWithTheDistortionSetAndDrawsCentred) {
    Anouncer anouncer("A");
    broadcastEvent("activate");
    EXPECT_EQ(*filterParameter("distortParam1"), Vector(0.0f, 0.5f, 0.8f));
    EXPECT_EQ(*filterParameter("distortParam2"), Vector(0.0f, 0.0f, 0.0f));
    anouncer.Update(0.0f);
    EXPECT_EQ(anouncer.sequence().colour, 0xFF000000u); // fade-in starts at black
    const auto drawn = frame();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].type, DrawCommand::Text);
    EXPECT_EQ(drawn[0].text, "beatshow is proud to");
    EXPECT_EQ(drawn[0].ints[0], 960 - 10 * 28);
    EXPECT_EQ(drawn[0].ints[1], 540);
    EXPECT_EQ(drawn[0].ints[2], 1);
    EXPECT_EQ(drawn[0].colour, 0xFF000000u);
}

TEST_F(TextActorsTest, ALineOfOddLengthIsPlacedAsIfOneShorter) {
    Greeter greeter("G");
    greeter.Trigger("activate");
    const auto drawn = frame();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].text.size(), 23u);
    EXPECT_EQ(drawn[0].ints[0], 960 - 11 * 28);
}

TEST_F(TextActorsTest, GreeterFadesInHoldsAndFadesOutOnePhaseChangePerFrame) {
    Greeter greeter("G");
    greeter.Trigger("activate");
    const TextSequence& s = greeter.sequence();
    greeter.Update(200.0f); // phase 0, timer 0 -> 0.2
    EXPECT_EQ(s.phase, TextSequence::FadingIn);
    greeter.Update(200.0f); // colour at f = 0.4; timer -> 0.4
    EXPECT_EQ(s.colour, 0xFF000000u + (static_cast<uint32_t>(0.9411f * 0.4f * 255.0f) << 16) +
                            (static_cast<uint32_t>(0.7333f * 0.4f * 255.0f) << 8));
    greeter.Update(200.0f); // timer 0.4 reaches the end of the fade-in: phase change, no advance
    EXPECT_EQ(s.phase, TextSequence::Holding);
    EXPECT_EQ(s.timer, 0.0f);
    // The fade-in never reaches full strength with these constants: f stops at 0.8.
    EXPECT_EQ(s.colour, 0xFF000000u + (static_cast<uint32_t>(0.9411f * 0.8f * 255.0f) << 16) +
                            (static_cast<uint32_t>(0.7333f * 0.8f * 255.0f) << 8));

    greeter.Update(3000.0f); // a long frame in phase 1 only advances the timer
    EXPECT_EQ(s.phase, TextSequence::Holding);
    EXPECT_EQ(s.colour, Amber);
    greeter.Update(0.0f);
    EXPECT_EQ(s.phase, TextSequence::FadingOut);
    EXPECT_EQ(s.timer, 0.0f);

    greeter.Update(400.0f);
    EXPECT_EQ(s.colour, Amber); // f = 1 at the start of the fade-out
    greeter.Update(0.0f);       // f = 0.2 at timer 0.4, then the next line starts
    EXPECT_EQ(s.lineIndex, 1);
    EXPECT_EQ(s.phase, TextSequence::FadingIn);
    EXPECT_EQ(s.colour, 0xFF000000u);
    EXPECT_TRUE(s.active);
}

TEST_F(TextActorsTest, AfterTheLastLineItFallsSilentUntilActivatedAgain) {
    Anouncer anouncer("A");
    anouncer.Trigger("activate");
    int frames = 0;
    float seconds = 0.0f;
    while (anouncer.sequence().active && frames < 100000) {
        anouncer.Update(10.0f);
        seconds += 0.01f;
        ++frames;
    }
    EXPECT_FALSE(anouncer.sequence().active);
    EXPECT_EQ(anouncer.sequence().lineIndex, 9);
    // About 2.85 s per line plus the frames at the phase changes.
    EXPECT_GT(seconds, 9 * 2.85f);
    EXPECT_LT(seconds, 9 * (2.85f + 0.07f));
    EXPECT_TRUE(frame().empty());

    anouncer.Trigger("activate");
    const auto drawn = frame();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].text, anouncer.sequence().lines[0]);
}

TEST_F(TextActorsTest, ActivateDuringARunRestartsFromTheFirstLine) {
    Greeter greeter("G");
    greeter.Trigger("activate");
    for (int i = 0; i < 400; ++i)
        greeter.Update(10.0f);
    ASSERT_GT(greeter.sequence().lineIndex, 0);
    greeter.Trigger("activate");
    EXPECT_EQ(greeter.sequence().lineIndex, 0);
    EXPECT_EQ(greeter.sequence().phase, TextSequence::FadingIn);
    EXPECT_EQ(greeter.sequence().timer, 0.0f);
}

TEST_F(TextActorsTest, DeactivateStopsTheGreeterButNotTheAnouncer) {
    Anouncer anouncer("A");
    Greeter greeter("G");
    broadcastEvent("activate");
    broadcastEvent("deactivate");
    EXPECT_TRUE(anouncer.sequence().active);
    EXPECT_FALSE(greeter.sequence().active);
    const auto drawn = frame();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].text, anouncer.sequence().lines[0]);
}

// ---- words of the scene's own ----

ActorElement line(const std::string& text, const std::string& hold = "") {
    ActorElement element{"line", {{"text", text}}};
    if (!hold.empty()) element.attributes.emplace_back("hold", hold);
    return element;
}

TEST_F(TextActorsTest, LinesFromTheSceneReplaceTheBuiltInOnesInOrder) {
    Greeter greeter("G");
    std::string why;
    EXPECT_EQ(greeter.TakeElement(line("live from the party!"), why), Actor::ElementResult::Taken);
    EXPECT_EQ(greeter.TakeElement(line("thanks, all", "3"), why), Actor::ElementResult::Taken);
    EXPECT_EQ(greeter.sequence().lines, (std::vector<std::string>{"live from the party!", "thanks, all"}));
    EXPECT_TRUE(greeter.sequence().ownLines);

    // Not the greeter's: the loader says so; its own but malformed: refused with the reason.
    EXPECT_EQ(greeter.TakeElement({"lines", {{"text", "x"}}}, why), Actor::ElementResult::NotMine);
    EXPECT_EQ(greeter.TakeElement({"line", {}}, why), Actor::ElementResult::Refused);
    EXPECT_EQ(why, "<line> needs its words in text=\"...\"");
    EXPECT_EQ(greeter.TakeElement(line("x", "-1"), why), Actor::ElementResult::Refused);
    EXPECT_EQ(why, "hold=\"-1\" is not a time in seconds (0 to 3600)");
    EXPECT_EQ(greeter.TakeElement(line("x", "2s"), why), Actor::ElementResult::Refused);
    EXPECT_EQ(greeter.TakeElement({"line", {{"text", "x"}, {"colour", "red"}}}, why),
              Actor::ElementResult::Refused);
    EXPECT_EQ(why, "<line> has no attribute 'colour' (it takes text and hold)");
    EXPECT_EQ(greeter.sequence().lines.size(), 2u) << "refused lines are not kept";

    // The announcer takes lines the same way; actors without elements of their own take none.
    Anouncer anouncer("A");
    EXPECT_EQ(anouncer.TakeElement(line("ours"), why), Actor::ElementResult::Taken);
    EXPECT_EQ(anouncer.sequence().lines, std::vector<std::string>{"ours"});
    Fader fader("F");
    EXPECT_EQ(fader.TakeElement(line("ours"), why), Actor::ElementResult::NotMine);
}

TEST_F(TextActorsTest, AnOwnLineHoldsForItsOwnTimeAndTheOthersForTheClasssTime) {
    Anouncer anouncer("A");
    std::string why;
    anouncer.TakeElement(line("one", "0.2"), why);
    anouncer.TakeElement(line("two"), why);
    anouncer.Trigger("activate");
    const TextSequence& s = anouncer.sequence();
    // Seconds spent holding each line, at 10 ms a frame.
    std::vector<float> held(2, 0.0f);
    for (int frame = 0; frame < 2000 && s.active; ++frame) {
        if (s.phase == TextSequence::Holding) held[static_cast<size_t>(s.lineIndex)] += 0.01f;
        anouncer.Update(10.0f);
    }
    EXPECT_FALSE(s.active);
    EXPECT_NEAR(held[0], 0.2f, 0.025f);
    EXPECT_NEAR(held[1], Anouncer::Timing.holdEnd, 0.025f);
}

TEST_F(TextActorsTest, OwnLinesAreCentredOnTheirMeasuredWidth) {
    Greeter greeter("G");
    std::string why;
    greeter.TakeElement(line("abc"), why); // odd length: built-in lines would drop half a letter
    greeter.Trigger("activate");
    const auto drawn = frame();
    ASSERT_EQ(drawn.size(), 1u);
    // The recording renderer measures 28 pixels a letter in the large font, as the device's does.
    EXPECT_EQ(drawn[0].ints[0], 960 - (3 * 28) / 2);
    EXPECT_EQ(drawn[0].ints[1], 540);
    EXPECT_EQ(drawn[0].scale, 1.0f);
}

TEST_F(TextActorsTest, AtOtherWindowHeightsTheCompositionScalesWithTheHeight) {
    registry().window->width = 640;
    registry().window->height = 360;
    Anouncer anouncer("A");
    anouncer.Trigger("activate");
    auto drawn = frame();
    ASSERT_EQ(drawn.size(), 1u);
    const float third = 360.0f / 1080.0f;
    EXPECT_FLOAT_EQ(drawn[0].scale, third);
    // "beatshow is proud to": 20 letters centred as at full size, a third of it.
    EXPECT_EQ(drawn[0].ints[0], 320 - static_cast<int>(std::lround(10 * 28 * third)));
    EXPECT_EQ(drawn[0].ints[1], 180);
    EXPECT_EQ(renderer().callCount("drawTextScaled"), 1);

    // A line of its own is measured at the scaled size.
    Greeter greeter("G");
    std::string why;
    greeter.TakeElement(line("abcdef"), why);
    greeter.Trigger("activate");
    drawn = frame();
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[1].ints[0], 320 - static_cast<int>(std::lround(6 * 28 * third)) / 2);

    // At the full size nothing is scaled: the draw is the plain one it always was.
    registry().window->width = 1920;
    registry().window->height = 1080;
    renderer().clearCalls();
    frame();
    EXPECT_EQ(renderer().callCount("drawTextScaled"), 0);
    EXPECT_EQ(renderer().callCount("drawText"), 2);
}

TEST_F(TextActorsTest, SceneTextIsConvertedToTheFontsCodePage) {
    EXPECT_EQ(overlayText("plain ascii, 1-2-3!"), "plain ascii, 1-2-3!");
    EXPECT_EQ(overlayText("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80"); // é and the euro sign
    EXPECT_EQ(overlayText("\xE2\x9C\x93 done"), "? done");              // no check mark in the font
    EXPECT_EQ(overlayText("caf\xE9"), "caf\xE9") << "not UTF-8: taken as the code page already";
    EXPECT_EQ(overlayText("\xC3"), "\xC3") << "a sequence cut short is not UTF-8";
}

} // namespace
