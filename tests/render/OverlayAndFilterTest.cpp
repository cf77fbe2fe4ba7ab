// The overlay pass (canvases, the four drawing operations, text labels) and the filter chain on
// real pixels, up to the captured picture.
#include "tests/render/GlTestSupport.h"

#include "render/FilterChain.h"

#include <atomic>
#include <functional>
#include <thread>

namespace {

using Target = RendererGL::Target;

struct Canvas : RenderInterface::CanvasInterface {
    std::function<void(CanvasContext*)> paint;
    int calls = 0;
    explicit Canvas(std::function<void(CanvasContext*)> f = {}) : paint(std::move(f)) {}
    void draw(CanvasContext* context) override {
        ++calls;
        if (paint) paint(context);
    }
};

// A stage that shows its first input unchanged.
const char* PassThrough = R"(#version 450 core
layout(location = 1) in vec2 texCoord;
uniform sampler2D input0;
layout(location = 0) out vec4 outColour;
void main() { outColour = vec4(texture(input0, texCoord).rgb, 1.0); }
)";

void singleStage(FilterChain& chain, const char* file, std::initializer_list<int32_t> inputs) {
    chain.stageCount = 1;
    chain.stages[0] = FilterStage{};
    chain.stages[0].shaderFile = file;
    for (int32_t input : inputs)
        chain.stages[0].inputs[static_cast<size_t>(chain.stages[0].inputCount++)] = input;
}

bool sameRgb(const Rgb& a, float r, float g, float b, float tolerance = 0.02f) {
    return std::abs(a.r - r) <= tolerance && std::abs(a.g - g) <= tolerance && std::abs(a.b - b) <= tolerance;
}

class OverlayTest : public GlRendererTest {
protected:
    // Bright pixels of the captured picture inside a rectangle.
    int brightInCapture(int x0, int y0, int x1, int y1) {
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        if (!renderer().captureFrame(rgb, w, h)) return -1;
        int count = 0;
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x)
                if (rgb[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3] > 128)
                    ++count;
        return count;
    }
    FilterChain chain;
};

TEST_F(OverlayTest, ACanvasAddedTwiceIsCalledOncePerFrame) {
    ASSERT_EQ(open(), 0);
    Canvas canvas;
    EXPECT_EQ(renderer().addCanvas(nullptr), -1);
    EXPECT_EQ(renderer().addCanvas(&canvas), 0);
    EXPECT_EQ(renderer().addCanvas(&canvas), -1);
    frame();
    EXPECT_EQ(canvas.calls, 1);
    EXPECT_EQ(renderer().removeCanvas(&canvas), 0);
    EXPECT_EQ(renderer().removeCanvas(&canvas), -1);
    frame();
    EXPECT_EQ(canvas.calls, 1);
}

TEST_F(OverlayTest, CanvasesAreCalledInRegistrationOrderAndMayRemoveThemselves) {
    ASSERT_EQ(open(), 0);
    std::vector<int> order;
    Canvas second([&](CanvasContext*) { order.push_back(2); });
    Canvas first([&](CanvasContext*) {
        order.push_back(1);
        renderer().removeCanvas(&first); // from inside its own callback
    });
    ASSERT_EQ(renderer().addCanvas(&first), 0);
    ASSERT_EQ(renderer().addCanvas(&second), 0);
    frame();
    frame();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 2}));
}

TEST_F(OverlayTest, DrawTextReportsTheLineHeightAndFontThreeDrawsNothing) {
    ASSERT_EQ(open(), 0);
    std::vector<int> heights;
    Canvas canvas([&](CanvasContext* c) {
        heights.push_back(c->renderer->drawText("x", 200, 200, 0xFFFFFFFF, 0)); // off the target
        heights.push_back(c->renderer->drawText("x", 200, 200, 0xFFFFFFFF, 1));
        heights.push_back(c->drawText("x", 200, 200, 0xFFFFFFFF, 2));
        heights.push_back(c->renderer->drawText("two\nlines", 200, 200, 0xFFFFFFFF, 0));
        heights.push_back(c->renderer->drawText("Font three", 10, 10, 0xFFFFFFFF, 3));
        heights.push_back(c->renderer->drawText("Negative", 10, 10, 0xFFFFFFFF, -1));
    });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    EXPECT_EQ(heights, (std::vector<int>{16, 64, 24, 32, 0, 0}));
    EXPECT_EQ(litPixels(Target::Overlay), 0);
}

TEST_F(OverlayTest, TextAtTheTopLeftOfTheOverlayIsAtTheTopLeftOfTheCapture) {
    ASSERT_EQ(open(320, 240), 0);
    buildDefaultFilterChain(chain);
    ASSERT_EQ(renderer().setFilterChain(&chain), 6);
    Canvas canvas([](CanvasContext* c) { c->drawText("Top", 2, 0, 0xFFFFFFFF, 2); });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    saveFrameForInspection(renderer(), "text-top-left");
    EXPECT_GT(brightInCapture(0, 0, 50, 24), 20);    // where it was drawn
    EXPECT_EQ(brightInCapture(0, 120, 320, 240), 0); // not flipped to the bottom
    EXPECT_EQ(brightInCapture(200, 0, 320, 120), 0); // nor mirrored to the right
}

TEST_F(OverlayTest, TextBeyondTheRightEdgeIsNotClippedByTheCallAndFallsOff) {
    ASSERT_EQ(open(), 0);
    int height = 0;
    Canvas canvas([&](CanvasContext* c) { height = c->drawText("WWWW", Width - 6, 40, 0xFFFFFFFF, 1); });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    EXPECT_EQ(height, 64);
    // The first letter's left part shows in the last columns.
    int lastColumns = 0;
    for (int y = 40; y < 104; ++y)
        if (targetAt(Target::Overlay, Width - 2, y).r > 0.5f) ++lastColumns;
    EXPECT_GT(lastColumns, 0);
}

TEST_F(OverlayTest, ScaledTextIsTheSameFaceAtTheScaledSize) {
    ASSERT_EQ(open(), 0);
    // The extent of the bright pixels of the overlay: left, right, top, bottom.
    auto extent = [&] {
        int box[4] = {Width, -1, Height, -1};
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                if (targetAt(Target::Overlay, x, y).r > 0.5f) {
                    box[0] = std::min(box[0], x);
                    box[1] = std::max(box[1], x);
                    box[2] = std::min(box[2], y);
                    box[3] = std::max(box[3], y);
                }
        return std::vector<int>(box, box + 4);
    };
    float scale = 1.0f;
    int height = 0, width = 0;
    Canvas canvas([&](CanvasContext* c) {
        height = c->drawTextScaled("HHHH", 4, 4, 0xFFFFFFFF, 1, scale);
        width = c->textWidth("HHHH", 1, scale);
    });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    const std::vector<int> full = extent();
    EXPECT_EQ(height, 64);
    EXPECT_EQ(width, 4 * 28);
    scale = 0.5f;
    frame();
    const std::vector<int> half = extent();
    EXPECT_EQ(height, 32);
    EXPECT_EQ(width, 4 * 14);
    ASSERT_GE(full[1], 0);
    ASSERT_GE(half[1], 0);
    // Letters half as wide and half as tall, from the same corner, every stroke still there.
    const float fullWidth = static_cast<float>(full[1] - full[0] + 1),
                halfWidth = static_cast<float>(half[1] - half[0] + 1);
    const float fullHeight = static_cast<float>(full[3] - full[2] + 1),
                halfHeight = static_cast<float>(half[3] - half[2] + 1);
    EXPECT_NEAR(halfWidth / fullWidth, 0.5f, 0.08f);
    EXPECT_NEAR(halfHeight / fullHeight, 0.5f, 0.1f);
    EXPECT_LE(std::abs(half[0] - 4), std::abs(full[0] - 4));
    EXPECT_FALSE(log().count("font 1 at"));
}

TEST_F(OverlayTest, DrawRectFillsForAnUnknownMaterialAndOutlinesWithoutOne) {
    ASSERT_EQ(open(), 0);
    Canvas canvas([](CanvasContext* c) {
        c->renderer->drawRect(10, 10, 50, 50, 0xFFFF0000, "no such material");
        c->renderer->drawRect(60, 10, 100, 50, 0xFF0000FF, "");
        c->renderer->drawRect(110, 10, 150, 50, 0xFF00FF00, nullptr);
    });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 30, 30), 1, 0, 0));
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 10, 10), 1, 0, 0));  // first row and column inside
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 50, 30), 0, 0, 0));  // x2 is outside
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 80, 30), 0, 0, 1));  // empty name: filled too
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 130, 30), 0, 0, 0)); // outline: hollow
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 110, 30), 0, 1, 0)); // left edge
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 130, 50), 0, 1, 0)); // bottom edge
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 150, 30), 0, 1, 0)); // right edge
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 130, 10), 0, 1, 0)); // top edge: the outline is closed
}

TEST_F(OverlayTest, DrawRectWithAMaterialShowsItsDiffuseTexture) {
    ASSERT_EQ(open(), 0);
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            rgb.push_back(y < 2 ? 255 : 0);
            rgb.push_back(0);
            rgb.push_back(y < 2 ? 0 : 255);
        }
    auto rows = makeImageMaterial("rows", rgb, 4, 4);
    ASSERT_EQ(renderer().addMaterial(rows.get()), 0);
    frame(); // the texture is made by a frame
    Canvas canvas([](CanvasContext* c) {
        c->renderer->drawRect(0, 0, 40, 40, 0xFFFFFFFF, "rows");
        c->renderer->drawRect(100, 80, 60, 40, 0xFFFFFFFF, "rows"); // corners swapped: turned over
        c->renderer->drawRect(0, 60, 40, 100, 0xFF00FF00, nullptr); // untextured after a textured one
    });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    // Sampled between texel rows (and wrapping at the edges), so allow some blending.
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 20, 5), 1, 0, 0, 0.15f)); // row 0 at the top
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 20, 35), 0, 0, 1, 0.15f));
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 80, 75), 1, 0, 0, 0.15f)); // row 0 at y1, now the bottom
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 80, 45), 0, 0, 1, 0.15f));
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 0, 80), 0, 1, 0));
}

TEST_F(OverlayTest, DrawLinesIn2DAnd3DAndThe2DShaderIsBackAfterwards) {
    ASSERT_EQ(open(), 0);
    lookAlongZ({0, 0, -2});
    Canvas canvas([](CanvasContext* c) {
        c->renderer->drawLine2D(10, 100, 150, 100, 0xFFFF0000);
        c->renderer->drawLine3D(-1, 0.5f, 2, 1, 0.5f, 2, 0xFF00FF00);
        c->renderer->drawRect(70, 110, 90, 118, 0xFF0000FF, ""); // in pixels, as before the 3D line
    });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 80, 100), 1, 0, 0));
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 10, 100), 1, 0, 0));
    const auto p = pixelOf({0, 0.5f, 2});
    int green = 0;
    for (int dy = -1; dy <= 1; ++dy)
        if (targetAt(Target::Overlay, p[0], p[1] + dy).g > 0.9f) ++green;
    EXPECT_EQ(green, 1);
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 80, 114), 0, 0, 1));
}

// Rectangles and lines replace what lies below them whatever their colour's alpha, so a colour
// written without alpha shows; text alone blends, for its anti-aliased edges.
TEST_F(OverlayTest, RectanglesAndLinesIgnoreAlphaWhileTextBlendsItsEdges) {
    ASSERT_EQ(open(), 0);
    lookAlongZ({0, 0, -2});
    Canvas canvas([](CanvasContext* c) {
        c->renderer->drawRect(10, 10, 50, 50, 0x00FF0000, "");
        c->renderer->drawRect(60, 10, 100, 50, 0xFF0000FF, "");
        c->renderer->drawRect(60, 10, 100, 50, 0x80FFFFFF, ""); // over the blue one
        c->renderer->drawRect(110, 10, 150, 50, 0x0000FF00, nullptr);
        c->renderer->drawLine2D(10, 60, 150, 60, 0x00FFFF00);
        c->renderer->drawLine3D(-1, -0.2f, 2, 1, -0.2f, 2, 0x0000FFFF);
        c->renderer->drawRect(10, 80, 150, 118, 0xFFFF0000, "");
        c->renderer->drawText("WWW", 14, 84, 0xFFFFFFFF, 2);
    });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 30, 30), 1, 0, 0));
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 80, 30), 1, 1, 1));  // not blended with the blue
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 110, 30), 0, 1, 0)); // the outline
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 80, 60), 1, 1, 0));
    const auto p = pixelOf({0, -0.2f, 2});
    int cyan = 0;
    for (int dy = -1; dy <= 1; ++dy)
        if (sameRgb(targetAt(Target::Overlay, p[0], p[1] + dy), 0, 1, 1)) ++cyan;
    EXPECT_EQ(cyan, 1);
    // The overlay has no alpha of its own: it reads as opaque everywhere.
    std::vector<float> rgba;
    int w = 0, h = 0;
    ASSERT_TRUE(renderer().readTarget(Target::Overlay, rgba, w, h));
    for (size_t i = 3; i < rgba.size(); i += 4)
        ASSERT_EQ(rgba[i], 1.0f) << "pixel " << i / 4;

    // White letters on red: full white inside the strokes, pink where the edges blend.
    int white = 0, edge = 0;
    for (int y = 82; y < 116; ++y)
        for (int x = 12; x < 80; ++x) {
            const Rgb c = targetAt(Target::Overlay, x, y);
            EXPECT_NEAR(c.r, 1.0f, 0.01f);
            if (c.g > 0.95f) ++white;
            if (c.g > 0.15f && c.g < 0.85f) ++edge;
        }
    EXPECT_GT(white, 10);
    EXPECT_GT(edge, 10);
}

TEST_F(OverlayTest, DrawingOutsideACanvasCallbackDrawsNothing) {
    ASSERT_EQ(open(), 0);
    EXPECT_EQ(renderer().drawText("early", 0, 0, 0xFFFFFFFF, 0), 16);
    renderer().drawRect(0, 0, 10, 10, 0xFFFFFFFF, "");
    EXPECT_EQ(log().count("drawText draws only inside a canvas's draw callback"), 1);
    frame();
    EXPECT_EQ(litPixels(Target::Overlay), 0);
}

TEST_F(OverlayTest, TextLabelsAreDrawnOverTheCanvases) {
    ASSERT_EQ(open(), 0);
    Canvas canvas([](CanvasContext* c) { c->renderer->drawRect(0, 0, 120, 40, 0xFFFFFFFF, ""); });
    TextLabel label;
    const std::string text = "Loading";
    std::copy(text.begin(), text.end(), label.text.begin());
    label.x = 4;
    label.y = 4;
    label.colour = 0xFFFF0000;
    EXPECT_EQ(renderer().addTextLabel(nullptr), -1);
    ASSERT_EQ(renderer().addTextLabel(&label), 0);
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    int red = 0;
    for (int y = 4; y < 20; ++y)
        for (int x = 4; x < 60; ++x) {
            const Rgb c = targetAt(Target::Overlay, x, y);
            if (c.r > 0.9f && c.g < 0.2f) ++red;
        }
    EXPECT_GT(red, 20);
    EXPECT_EQ(renderer().removeTextLabel(&label), 0);
    EXPECT_EQ(renderer().removeTextLabel(&label), -1);
    frame();
    EXPECT_TRUE(sameRgb(targetAt(Target::Overlay, 10, 10), 1, 1, 1));
}

TEST_F(OverlayTest, OneStageWritesStraightToTheBackBuffer) {
    ASSERT_EQ(open(), 0);
    singleStage(chain, "inputCombiner.psh", {FilterInputComposite, FilterInputOverlay});
    ASSERT_EQ(renderer().setFilterChain(&chain), 1);
    Canvas canvas([](CanvasContext* c) { c->renderer->drawRect(10, 10, 50, 50, 0xFF00FF00, ""); });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    EXPECT_TRUE(sameRgb(captureAt(30, 30), 0, 1, 0));
    std::vector<float> own;
    int w = 0, h = 0;
    ASSERT_TRUE(renderer().readStageTarget(0, own, w, h));
    for (size_t i = 0; i < own.size(); i += 4)
        ASSERT_EQ(own[i + 3], 0.0f) << "the stage's own target was drawn into";
}

TEST_F(OverlayTest, NoStagesLeaveTheBackBufferAsItWas) {
    ASSERT_EQ(open(), 0);
    singleStage(chain, "inputCombiner.psh", {FilterInputComposite, FilterInputOverlay});
    ASSERT_EQ(renderer().setFilterChain(&chain), 1);
    Canvas canvas([](CanvasContext* c) { c->renderer->drawRect(10, 10, 50, 50, 0xFF00FF00, ""); });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    ASSERT_TRUE(sameRgb(captureAt(30, 30), 0, 1, 0));
    chain.stageCount = 0;
    ASSERT_EQ(renderer().removeCanvas(&canvas), 0);
    frame();
    EXPECT_TRUE(sameRgb(captureAt(30, 30), 0, 1, 0));
}

TEST_F(OverlayTest, AStageReadingTheOverlaySeesThisFramesDrawing) {
    ShaderFolder folder;
    folder.write("passThrough.psh", PassThrough);
    WorkingDirectory inFolder(folder.path());
    ASSERT_EQ(open(), 0);
    singleStage(chain, "passThrough.psh", {FilterInputOverlay});
    ASSERT_EQ(renderer().setFilterChain(&chain), 1);
    Canvas canvas([](CanvasContext* c) { c->renderer->drawRect(10, 10, 50, 50, 0xFFFF0000, ""); });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame(); // the very first frame
    EXPECT_TRUE(sameRgb(captureAt(30, 30), 1, 0, 0));
    EXPECT_TRUE(sameRgb(captureAt(80, 30), 0, 0, 0));
}

TEST_F(OverlayTest, ParametersReachAShaderThatDeclaresThemAndChangeNothingElse) {
    ShaderFolder folder;
    folder.write("probe.psh", R"(#version 450 core
uniform vec3 probeColour = vec3(0.0);
layout(location = 0) out vec4 outColour;
void main() { outColour = vec4(probeColour, 1.0); }
)");
    WorkingDirectory inFolder(folder.path());
    ASSERT_EQ(open(), 0);
    singleStage(chain, "probe.psh", {});
    ASSERT_EQ(renderer().setFilterChain(&chain), 1);
    frame();
    EXPECT_TRUE(sameRgb(captureAt(5, 5), 0, 0, 0));
    chain.setFilterParameter("probeColour", {0.25f, 0.5f, 0.75f});
    frame();
    EXPECT_TRUE(sameRgb(captureAt(5, 5), 0.25f, 0.5f, 0.75f, 0.01f));
    std::vector<uint8_t> before, after;
    int w = 0, h = 0;
    ASSERT_TRUE(renderer().captureFrame(before, w, h));
    chain.setFilterParameter("somethingNoShaderDeclares", {1, 1, 1});
    frame();
    ASSERT_TRUE(renderer().captureFrame(after, w, h));
    EXPECT_EQ(after, before);
}

TEST_F(OverlayTest, AStageThatDoesNotCompileIsSkippedAndTheRestRuns) {
    ShaderFolder folder;
    folder.write("broken.psh", "#version 450 core\nthis does not compile\n");
    WorkingDirectory inFolder(folder.path());
    ASSERT_EQ(open(), 0);
    chain.stageCount = 2;
    chain.stages[0] = FilterStage{};
    chain.stages[0].shaderFile = "broken.psh";
    chain.stages[1] = FilterStage{};
    chain.stages[1].index = 1;
    chain.stages[1].shaderFile = "inputCombiner.psh";
    chain.stages[1].inputs[0] = FilterInputComposite;
    chain.stages[1].inputs[1] = FilterInputOverlay;
    chain.stages[1].inputCount = 2;
    EXPECT_EQ(renderer().setFilterChain(&chain), 2);
    EXPECT_EQ(log().count("FAIL!"), 1);
    Canvas canvas([](CanvasContext* c) { c->renderer->drawRect(10, 10, 50, 50, 0xFF0000FF, ""); });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    EXPECT_TRUE(sameRgb(captureAt(30, 30), 0, 0, 1));
}

TEST_F(OverlayTest, TheDefaultChainShowsThePictureUntilFadeParamTurnsItDown) {
    ASSERT_EQ(open(), 0);
    buildDefaultFilterChain(chain);
    ASSERT_EQ(renderer().setFilterChain(&chain), 6);
    Canvas canvas([](CanvasContext* c) { c->renderer->drawRect(40, 40, 120, 80, 0xFFFFFFFF, ""); });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    EXPECT_GT(captureAt(80, 60).sum(), 2.5f); // fadeParam never set: the full picture
    chain.setFilterParameter("fadeParam", {0.5f, 0.5f, 0.5f});
    frame();
    EXPECT_NEAR(captureAt(80, 60).sum(), 1.5f, 0.1f);
    chain.setFilterParameter("fadeParam", {0, 0, 0});
    frame();
    EXPECT_EQ(captureAt(80, 60).sum(), 0.0f);
}

TEST_F(OverlayTest, EmissiveSurfacesBloomBeyondTheirEdges) {
    ASSERT_EQ(open(640, 360), 0); // the blur scales with the picture: a few pixels at this size
    buildDefaultFilterChain(chain);
    ASSERT_EQ(renderer().setFilterChain(&chain), 6);
    std::vector<uint8_t> dark(4 * 4 * 3, 0), glow(4 * 4 * 3, 255);
    auto material = makeImageMaterial("glow", dark, 4, 4, &glow);
    Mesh quad = makeQuadMesh("quad");
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    ASSERT_EQ(renderer().addMaterial(material.get()), 0);
    Placed plane(&quad, "glow", {0, 0, 2}, {0.3f, 0.3f, 1});
    plane.emissive = {1, 1, 1};
    ASSERT_EQ(renderer().addRenderInstance(&plane.instance), 0);
    lookAlongZ({0, 0, -2});
    frame();
    const auto edge = pixelOf({0.3f, 0, 2});
    saveFrameForInspection(renderer(), "bloom");
    EXPECT_EQ(targetAt(Target::Composite, edge[0] + 2, edge[1]).sum(), 0.0f); // dark beside it...
    EXPECT_GT(captureAt(edge[0] + 2, edge[1]).sum(), 0.1f);                   // ...until the bloom
}

// The loader thread shows and hides labels and canvases while frames draw them.
TEST_F(OverlayTest, LabelsAndCanvasesFromAnotherThreadWhileFramesRun) {
    ASSERT_EQ(open(), 0);
    std::atomic<bool> done{false};
    std::thread loader([&] {
        for (int i = 0; i < 200; ++i) {
            auto label = std::make_unique<TextLabel>();
            label->text[0] = 'A';
            auto canvas = std::make_unique<Canvas>(
                [](CanvasContext* c) { c->renderer->drawRect(0, 0, 4, 4, 0xFFFFFFFF, ""); });
            renderer().addTextLabel(label.get());
            renderer().addCanvas(canvas.get());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            renderer().removeCanvas(canvas.get());
            renderer().removeTextLabel(label.get());
            // Freed at once, as an owner does; the frame must be done with them.
        }
        done = true;
    });
    while (!done)
        frame();
    loader.join();
    frame();
    EXPECT_EQ(litPixels(Target::Overlay), 0); // nothing left registered
}

} // namespace

namespace {

std::string solidStage(float r, float g, float b) {
    return "#version 450 core\nlayout(location = 0) out vec4 outColour;\nvoid main() { outColour = vec4(" +
           std::to_string(r) + ", " + std::to_string(g) + ", " + std::to_string(b) + ", 1.0); }\n";
}

TEST_F(OverlayTest, AShaderBuiltAgainIsSwappedInAndOneThatDoesNotCompileLeavesTheLastGood) {
    ShaderFolder folder;
    folder.write("probe.psh", solidStage(1, 0, 0));
    WorkingDirectory inFolder(folder.path());
    ASSERT_EQ(open(), 0);
    singleStage(chain, "probe.psh", {});
    ASSERT_EQ(renderer().setFilterChain(&chain), 1);
    frame();
    ASSERT_TRUE(sameRgb(captureAt(5, 5), 1, 0, 0));

    folder.write("probe.psh", solidStage(0, 1, 0));
    std::string error;
    EXPECT_EQ(renderer().reloadShader("probe.psh", error), 0) << error;
    frame();
    EXPECT_TRUE(sameRgb(captureAt(5, 5), 0, 1, 0));

    folder.write("probe.psh", "#version 450 core\nvoid main() { this is not GLSL }\n");
    EXPECT_EQ(renderer().reloadShader("probe.psh", error), -1);
    // The compiler's message names the file and the line.
    EXPECT_NE(error.find("probe.psh"), std::string::npos) << error;
    EXPECT_NE(error.find("0:2"), std::string::npos) << error;
    frame();
    EXPECT_TRUE(sameRgb(captureAt(5, 5), 0, 1, 0));

    EXPECT_EQ(renderer().reloadShader("unused.psh", error), 1);
}

// A stage may ask for a smaller target with "targetScale" (its width and height as a fraction of
// the picture's, read when its shader is built); the stage that reads it enlarges it by filtering
// and the picture on screen keeps its size.
TEST_F(OverlayTest, AStageThatAsksForASmallerTargetGetsItAndTheNextStageEnlargesIt) {
    ShaderFolder folder;
    auto scaled = [](const std::string& declaration) {
        return "#version 450 core\n" + declaration + R"(
layout(location = 0) out vec4 outColour;
void main() { outColour = vec4(0.2 + 0.0 * targetScale, 0.6, 0.4, 1.0); }
)";
    };
    folder.write("small.psh", scaled("uniform float targetScale = 0.25;"));
    folder.write("passThrough.psh", PassThrough);
    WorkingDirectory inFolder(folder.path());
    ASSERT_EQ(open(), 0); // 160 x 120
    chain.stageCount = 2;
    chain.stages[0] = FilterStage{};
    chain.stages[0].shaderFile = "small.psh";
    chain.stages[1] = FilterStage{};
    chain.stages[1].shaderFile = "passThrough.psh";
    chain.stages[1].index = 1;
    chain.stages[1].inputs[0] = 0;
    chain.stages[1].inputCount = 1;
    ASSERT_EQ(renderer().setFilterChain(&chain), 2);
    frame();
    std::vector<float> own;
    int w = 0, h = 0;
    ASSERT_TRUE(renderer().readStageTarget(0, own, w, h));
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    ASSERT_EQ(own.size(), 40u * 30u * 4u);
    EXPECT_NEAR(own[0], 0.2f, 0.01f) << "the small target is drawn whole";
    EXPECT_NEAR(own[own.size() - 3], 0.6f, 0.01f);
    ASSERT_TRUE(renderer().readStageTarget(1, own, w, h));
    EXPECT_EQ(w, Width) << "a stage without the constant keeps the picture's size";
    for (auto [x, y] : {std::pair{0, 0}, {Width - 1, Height - 1}, {80, 60}})
        EXPECT_TRUE(sameRgb(captureAt(x, y), 0.2f, 0.6f, 0.4f)) << x << "," << y;

    // Built again with another scale, the stage gets a target of that size; with one out of range
    // (or none), the picture's size.
    std::string error;
    for (const auto& [declaration, width] : {std::pair{"uniform float targetScale = 0.5;", 80},
                                             {"uniform float targetScale = 3.0;", Width},
                                             {"uniform float targetScale = 0.0;", Width},
                                             {"const float targetScale = 0.5;", Width}}) {
        SCOPED_TRACE(declaration);
        folder.write("small.psh", scaled(declaration));
        ASSERT_EQ(renderer().reloadShader("small.psh", error), 0) << error;
        frame();
        ASSERT_TRUE(renderer().readStageTarget(0, own, w, h));
        EXPECT_EQ(w, width);
        EXPECT_TRUE(sameRgb(captureAt(Width - 1, Height - 1), 0.2f, 0.6f, 0.4f));
    }
}

TEST_F(OverlayTest, FixedPassShadersBuiltAgainFromTheSameFilesDrawTheSamePicture) {
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(renderer().setFilterChain(nullptr), 0);
    Canvas canvas([](CanvasContext* c) {
        c->renderer->drawRect(10, 10, 50, 50, 0xFF20A040, "");
        c->renderer->drawText("reload", 60, 20, 0xFFFFFFFF, 0);
    });
    ASSERT_EQ(renderer().addCanvas(&canvas), 0);
    frame();
    std::vector<uint8_t> before, after;
    int w = 0, h = 0;
    ASSERT_TRUE(renderer().captureFrame(before, w, h));
    std::string error;
    for (const char* file :
         {"ovrlay_shader.vsh", "2dflat_shader.psh", "deffered_shader.psh", "lighting_shader.psh"})
        EXPECT_EQ(renderer().reloadShader(file, error), 0) << file << ": " << error;
    frame();
    ASSERT_TRUE(renderer().captureFrame(after, w, h));
    EXPECT_TRUE(after == before);
}

TEST_F(OverlayTest, ScreenTextLiesOverTheFilterChainsPictureUntilCleared) {
    ShaderFolder folder;
    folder.write("probe.psh", solidStage(0, 0, 1));
    WorkingDirectory inFolder(folder.path());
    ASSERT_EQ(open(), 0);
    singleStage(chain, "probe.psh", {});
    ASSERT_EQ(renderer().setFilterChain(&chain), 1);
    auto brightTopLeft = [&] {
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        EXPECT_TRUE(renderer().captureFrame(rgb, w, h));
        int bright = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 120 && x < w; ++x)
                if (rgb[3 * (static_cast<size_t>(y) * w + x)] > 200) ++bright; // red: only the text has it
        return bright;
    };
    renderer().setScreenText({{"12.345 s  bar 8.1", 0xFFFFFFFF}});
    frame();
    EXPECT_GT(brightTopLeft(), 20);
    renderer().setScreenText({});
    frame();
    EXPECT_EQ(brightTopLeft(), 0);
}

} // namespace
