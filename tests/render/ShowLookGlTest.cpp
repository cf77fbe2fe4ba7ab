// The show's own look on real pixels: inputs reaching every pass by name, material shaders (and
// what happens when one does not compile), a declared filter recipe taken between frames, the
// spectrum's sampler, and a track changed in the show reaching a material shader and a declared
// stage in the very next frame.
#include "tests/render/GlTestSupport.h"

#include "engine/EngineRegistry.h"
#include "engine/FreeTracks.h"
#include "engine/loop/MainLoop.h"
#include "render/FilterChain.h"

#include <filesystem>

namespace {

using Target = RendererGL::Target;

bool near(const Rgb& a, float r, float g, float b, float tolerance = 0.02f) {
    return std::abs(a.r - r) <= tolerance && std::abs(a.g - g) <= tolerance && std::abs(a.b - b) <= tolerance;
}

// The geometry pass's pixel stage of a material: its colour is the track `level` in blue.
const char* PaintShader = R"(#version 450 core
layout(location = 0) in vec3 worldPosition;
layout(location = 1) in vec3 worldNormal;
uniform float level;
layout(location = 0) out vec4 outColour;
layout(location = 1) out vec4 outNormal;
layout(location = 2) out vec4 outDepth;
layout(location = 3) out vec4 outEmissive;
void main() {
    outColour = vec4(0.0, 0.0, level, 1.0);
    outNormal = vec4(normalize(worldNormal), 1.0);
    outDepth = vec4(worldPosition, 1.0);
    outEmissive = vec4(0.0, 0.0, 0.0, 1.0);
}
)";

// The composition pass: the track `wash` in red (0.25 when nothing sets it).
const char* WashShader = R"(#version 450 core
layout(location = 1) in vec2 texCoord;
uniform float wash = 0.25;
layout(location = 0) out vec4 outColour;
void main() { outColour = vec4(wash, 0.0, 0.0, 1.0); }
)";

// A filter stage: the picture's red, the track `tint`'s second value in green, its own
// parameter `gain` in blue.
const char* ProbeStage = R"(#version 450 core
layout(location = 1) in vec2 texCoord;
uniform sampler2D input0;
uniform vec3 tint;
uniform float gain;
layout(location = 0) out vec4 outColour;
void main() { outColour = vec4(texture(input0, texCoord).r, tint.y, gain, 1.0); }
)";

class ShowLookGlTest : public GlRendererTest {
protected:
    void SetUp() override {
        GlRendererTest::SetUp();
        for (const auto& file : std::filesystem::directory_iterator(BEATSHOW_SHOW_DIR))
            std::filesystem::copy(file.path(), folder.path() / file.path().filename());
        folder.write("paint.psh", PaintShader);
        folder.write("probe.psh", ProbeStage);
        inFolder = std::make_unique<WorkingDirectory>(folder.path());
    }
    void TearDown() override {
        GlRendererTest::TearDown();
        inFolder.reset();
    }

    // The renderer with a wall of the material "paint" filling the view, and a light.
    void openWithWall() {
        ASSERT_EQ(open(), 0);
        quad = makeQuadMesh("quad");
        ASSERT_EQ(renderer().addMesh(&quad), 0);
        paint = makeSolidMaterial("paint", 200, 100, 50);
        ASSERT_EQ(renderer().addMaterial(paint.get()), 0);
        wall = std::make_unique<Placed>(&quad, "paint", Vector{0, 0, 2}, Vector{4, 4, 1});
        ASSERT_EQ(renderer().addRenderInstance(&wall->instance), 0);
        light = std::make_unique<PlacedLight>(0, Vector{0, 0, 0});
        ASSERT_EQ(renderer().addLight(&light->record), 0);
        lookAlongZ({0, 0, -1});
    }
    void oneStage(FilterChain& chain, std::vector<std::pair<std::string, std::array<float, 4>>> parameters) {
        FilterStage stage;
        stage.name = "probe";
        stage.shaderFile = "probe.psh";
        stage.inputs[0] = FilterInputComposite;
        stage.inputCount = 1;
        stage.parameters = std::move(parameters);
        chain.setRecipe({stage});
    }
    ShaderInputs inputs(float level, float wash, float tintY) {
        ShaderInputs in;
        in.set("level", {level, 0, 0, 0}, 1);
        in.set("wash", {wash, 0, 0, 0}, 1);
        in.set("tint", {0, tintY, 0, 0}, 3);
        return in;
    }
    std::vector<uint8_t> picture() {
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        EXPECT_TRUE(renderer().captureFrame(rgb, w, h));
        return rgb;
    }

    ScratchDirectory folder;
    std::unique_ptr<WorkingDirectory> inFolder;
    Mesh quad;
    std::unique_ptr<Material> paint;
    std::unique_ptr<Placed> wall;
    std::unique_ptr<PlacedLight> light;
    FilterChain chain;
};

TEST_F(ShowLookGlTest, InputsReachTheGeometryCompositionAndFilterPassesByName) {
    folder.write("deffered_shader.psh", WashShader);
    openWithWall();
    renderer().setMaterialShaders({{"paint", "", "paint.psh"}});
    buildDefaultFilterChain(chain);
    oneStage(chain, {{"gain", {0.5f, 0, 0, 0}}});
    ASSERT_EQ(renderer().setFilterChain(&chain), 6);
    renderer().setShaderInputs(inputs(0.5f, 0.75f, 0.25f));
    frame();
    const int cx = Width / 2, cy = Height / 2;
    EXPECT_TRUE(near(targetAt(Target::Diffuse, cx, cy), 0, 0, 0.5f));
    EXPECT_TRUE(near(targetAt(Target::Composite, cx, cy), 0.75f, 0, 0));
    EXPECT_TRUE(near(captureAt(cx, cy), 0.75f, 0.25f, 0.5f));

    // The next frame's inputs are the next frame's values, whatever else changes with them.
    ShaderInputs next = inputs(1.0f, 0.5f, 1.0f);
    next.values.insert(next.values.begin(), {"time", {3, 0, 0, 0}, 1});
    renderer().setShaderInputs(next);
    frame();
    EXPECT_TRUE(near(targetAt(Target::Diffuse, cx, cy), 0, 0, 1.0f));
    EXPECT_TRUE(near(captureAt(cx, cy), 0.5f, 1.0f, 0.5f));

    // An input that goes gives its uniform back the value the shader gives it (or 0).
    ShaderInputs fewer;
    fewer.set("level", {0.25f, 0, 0, 0}, 1);
    renderer().setShaderInputs(fewer);
    frame();
    EXPECT_TRUE(near(captureAt(cx, cy), 0.25f, 0.0f, 0.5f));
    EXPECT_TRUE(near(targetAt(Target::Diffuse, cx, cy), 0, 0, 0.25f));
    EXPECT_TRUE(renderer().declaresShaderInput("wash"));
    EXPECT_FALSE(renderer().declaresShaderInput("nothingDeclaresThis"));
}

TEST_F(ShowLookGlTest, AMaterialShaderThatDoesNotCompileLeavesTheProgramsOwnUntilAReloadMendsIt) {
    folder.write("paint.psh", "#version 450 core\nthis is no shader\n");
    openWithWall();
    renderer().setMaterialShaders({{"paint", "", "paint.psh"}});
    renderer().setShaderInputs(inputs(0.5f, 0, 0));
    frame();
    const int cx = Width / 2, cy = Height / 2;
    EXPECT_TRUE(near(targetAt(Target::Diffuse, cx, cy), 200 / 255.0f, 100 / 255.0f, 50 / 255.0f));
    auto problems = renderer().shaderProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].first, "paint.psh");
    EXPECT_NE(problems[0].second.find("this is no shader"), std::string::npos);
    EXPECT_FALSE(renderer().declaresShaderInput("level"));

    folder.write("paint.psh", PaintShader);
    std::string error;
    ASSERT_EQ(renderer().reloadShader("paint.psh", error), 0) << error;
    frame();
    EXPECT_TRUE(near(targetAt(Target::Diffuse, cx, cy), 0, 0, 0.5f));
    EXPECT_TRUE(renderer().shaderProblems().empty());
    EXPECT_TRUE(renderer().declaresShaderInput("level"));

    // Broken again: the last good one stays.
    folder.write("paint.psh", "#version 450 core\nbroken again\n");
    EXPECT_EQ(renderer().reloadShader("paint.psh", error), -1);
    frame();
    EXPECT_TRUE(near(targetAt(Target::Diffuse, cx, cy), 0, 0, 0.5f));

    // Out of the table: the material draws with the program's own.
    renderer().setMaterialShaders({});
    frame();
    EXPECT_TRUE(near(targetAt(Target::Diffuse, cx, cy), 200 / 255.0f, 100 / 255.0f, 50 / 255.0f));
}

TEST_F(ShowLookGlTest, ADeclaredRecipeIsTakenBetweenFramesAndACopyOfTheProgramsDrawsTheSame) {
    openWithWall();
    buildDefaultFilterChain(chain);
    ASSERT_EQ(renderer().setFilterChain(&chain), 6);
    frame();
    const std::vector<uint8_t> recipe = picture();

    chain.setRecipe(defaultFilterRecipe());
    EXPECT_EQ(renderer().waitForResources(0), 0); // on the thread that renders: made at once
    frame();
    EXPECT_TRUE(chain.declared());
    EXPECT_EQ(picture(), recipe);

    oneStage(chain, {{"gain", {0.75f, 0, 0, 0}}});
    frame();
    ASSERT_EQ(chain.count(), 1);
    EXPECT_NEAR(captureAt(Width / 2, Height / 2).b, 0.75f, 0.01f);

    chain.setRecipe({});
    frame();
    EXPECT_EQ(chain.count(), 6);
    EXPECT_EQ(picture(), recipe);
}

TEST_F(ShowLookGlTest, TheSpectrumSamplerReadsTheBinsOfTheFrame) {
    folder.write("bins.psh", R"(#version 450 core
layout(location = 1) in vec2 texCoord;
uniform sampler2D input0;
uniform sampler1D spectrum;
layout(location = 0) out vec4 outColour;
void main() { outColour = vec4(texture(spectrum, texCoord.x).r, texture(input0, texCoord).g, 0.0, 1.0); }
)");
    openWithWall();
    FilterStage stage;
    stage.shaderFile = "bins.psh";
    stage.inputs[0] = FilterInputComposite;
    stage.inputCount = 1;
    buildDefaultFilterChain(chain);
    chain.setRecipe({stage});
    ASSERT_EQ(renderer().setFilterChain(&chain), 6);
    ShaderInputs in;
    in.hasSpectrum = true;
    for (int k = 0; k < ShaderInputs::SpectrumBins; ++k)
        in.spectrum[static_cast<size_t>(k)] = static_cast<float>(k) / ShaderInputs::SpectrumBins;
    renderer().setShaderInputs(in);
    frame();
    EXPECT_TRUE(renderer().declaresShaderInput("spectrum"));
    for (int x : {8, Width / 2, Width - 8})
        EXPECT_NEAR(captureAt(x, 10).r, (static_cast<float>(x) + 0.5f) / Width, 0.01f) << x;
    // A frame without the spectrum reads silence.
    renderer().setShaderInputs(ShaderInputs{});
    frame();
    EXPECT_NEAR(captureAt(Width / 2, 10).r, 0.0f, 0.005f);
}

TEST_F(ShowLookGlTest, ATrackChangedInTheShowReachesAMaterialAndAStageInTheNextFrame) {
    openWithWall();
    resetEngineRegistry();
    EngineRegistry& r = engine();
    r.renderer = &renderer();
    buildDefaultFilterChain(r.postChain);
    ASSERT_EQ(renderer().setFilterChain(&r.postChain), 6);
    // What a scene with these sections loads into the registry.
    AutomationPath* level = addFreeTrack("level", 1);
    AutomationPath* tint = addFreeTrack("tint", 3);
    PathPoint key;
    key.count = 1;
    key.values[0] = 0.25f;
    level->setPoints({key});
    key.count = 3;
    key.values = {0.0f, 0.5f, 0.0f};
    tint->setPoints({key});
    setMaterialShaderTable({{"paint", "", "paint.psh"}});
    oneStage(r.postChain, {});
    r.shownTime = 1.0f;
    drawFrame(r);
    const int cx = Width / 2, cy = Height / 2;
    EXPECT_NEAR(targetAt(Target::Diffuse, cx, cy).b, 0.25f, 0.01f);
    EXPECT_NEAR(captureAt(cx, cy).g, 0.5f, 0.01f);

    // As a sync tracker or the editor changes them: the keys of the paths.
    key.values = {0.0f, 1.0f, 0.0f};
    tint->setPoints({key});
    key.count = 1;
    key.values = {0.75f, 0.0f, 0.0f};
    level->setPoints({key});
    drawFrame(r);
    EXPECT_NEAR(targetAt(Target::Diffuse, cx, cy).b, 0.75f, 0.01f);
    EXPECT_NEAR(captureAt(cx, cy).g, 1.0f, 0.01f);
    r.renderer = nullptr;
    resetEngineRegistry();
}

} // namespace
