// The scene's own look on the CPU: free tracks, material shaders and a declared post chain as the
// loader reads them (and what it notes), the chain's recipe handed over between frames, the
// inputs a frame gathers for its shaders, the music's spectrum, and what --check says of the
// uniforms of a show's shaders.
#include "app/SceneCheck.h"
#include "engine/FreeTracks.h"
#include "engine/SceneReset.h"
#include "engine/base/SongAnalysis.h"
#include "engine/loop/ShowInputs.h"
#include "render/FilterChain.h"
#include "scene/loader/SceneLoader.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace {

std::string lookInScene(const std::string& sections) {
    return "<base>\n<scene>\n" + sections + "\n</scene>\n</base>\n";
}

bool noted(const std::string& part) {
    const std::vector<std::string> problems = problemsNoted();
    return std::any_of(problems.begin(), problems.end(),
                       [&](const std::string& p) { return p.find(part) != std::string::npos; });
}

// One channel of a sine at `hz` with amplitude `level`, `seconds` long.
std::vector<int16_t> sine(double hz, double level, double seconds, int rate = 44100) {
    std::vector<int16_t> samples(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(std::lround(
            32767.0 * level * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate)));
    return samples;
}

// Opens any file: the music player then has a song for the spectrum to analyse.
class AnySong : public AudioBackend {
public:
    uint32_t createStream(const std::string&, bool) override { return 1; }
    bool play(uint32_t) override { return true; }
    double position(uint32_t) override { return 0.0; }
    int lastError() override { return 0; }
};

class ShowLookTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        resetShowInputs();
        resetProblems();
        inFolder = std::make_unique<WorkingDirectory>(folder.path());
    }
    void TearDown() override {
        setSongDecoder(nullptr);
        resetShowInputs();
        inFolder.reset();
        RegistryTest::TearDown();
    }
    void load(const std::string& sections) {
        ASSERT_EQ(loadSceneFromBytes(lookInScene(sections), "look.xml", nullptr), 0);
    }
    float input(const ShaderInputs& inputs, const std::string& name, size_t component = 0) {
        const ShaderInput* found = inputs.find(name);
        EXPECT_NE(found, nullptr) << name;
        return found ? found->value[component] : -1.0f;
    }

    ScratchDirectory folder;
    std::unique_ptr<WorkingDirectory> inFolder;
};

TEST_F(ShowLookTest, TracksReachTheInputsWithTheirValuesAndInterpolation) {
    load(R"(<tracks>
  <glow>
    <key v0="0" v1="0" interpolation="linear" />
    <key v0="2" v1="1" />
  </glow>
  <grade components="3">
    <key v0="4" v1="1" v2="0.5" v3="0.25" interpolation="step" />
    <key v0="1" v1="0" v2="0" v3="0" interpolation="step" />
  </grade>
  <empty components="2" />
</tracks>)");
    EXPECT_FALSE(noted("track")) << ::testing::PrintToString(problemsNoted());
    const std::vector<FreeTrackInfo> tracks = freeTracks();
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0].name, "glow");
    EXPECT_EQ(tracks[0].components, 1);
    EXPECT_EQ(tracks[1].components, 3);
    EXPECT_EQ(tracks[2].components, 2);

    const ShaderInputs early = gatherShaderInputs(0.5f);
    EXPECT_FLOAT_EQ(input(early, "glow"), 0.25f);
    EXPECT_EQ(input(early, "grade"), 0.0f); // keys sorted by time: the step at 1 s holds before 4 s
    EXPECT_EQ(early.find("grade")->components, 3);
    EXPECT_EQ(input(early, "empty", 1), 0.0f); // no keys: 0
    const ShaderInputs late = gatherShaderInputs(5.0f);
    EXPECT_EQ(input(late, "glow"), 1.0f); // after its last key a track holds it
    EXPECT_EQ(input(late, "grade", 1), 0.5f);
    EXPECT_EQ(input(late, "grade", 2), 0.25f);

    // A scene reset takes them out; the load puts them back.
    resetScene(SceneAssets::Keep);
    EXPECT_TRUE(freeTracks().empty());
    EXPECT_EQ(gatherShaderInputs(0.5f).find("glow"), nullptr);
}

TEST_F(ShowLookTest, ATrackNoShaderCouldReadIsRefusedWithALineThatSaysWhy) {
    load(R"(<tracks>
  <time />
  <resX />
  <my-glow />
  <glow components="7">
    <key v0="0" />
    <key v0="1" interpolation="linear" v1="2" />
  </glow>
  <glow />
  <tint compnents="2" />
</tracks>)");
    EXPECT_TRUE(noted("track 'time': the name is the engine's own"));
    EXPECT_TRUE(noted("track 'resX': the renderer sets resX itself"));
    EXPECT_TRUE(noted("track 'my-glow': a shader cannot declare a uniform of that name"));
    EXPECT_TRUE(noted("track 'glow': components=7 is none of 1, 2, 3 and 4"));
    EXPECT_TRUE(noted("track 'glow' key 1 has 1 of its 2 values"));
    EXPECT_TRUE(noted("track 'glow' key 2: interpolation must come after the key's 2 values"));
    EXPECT_TRUE(noted("a second track 'glow'; only the first is read"));
    EXPECT_TRUE(noted("track 'tint': attribute 'compnents' is not read (it takes components); did you mean "
                      "'components'?"));
    const std::vector<FreeTrackInfo> tracks = freeTracks();
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].name, "glow");
    EXPECT_EQ(tracks[0].components, 1);
    EXPECT_EQ(tracks[1].name, "tint");
}

TEST_F(ShowLookTest, TimeBeatAndBarCountAtTheShowsTempo) {
    load(R"(<audio><tempo bpm="120" beatsPerBar="3" firstBeat="0.5" /></audio>)");
    const ShaderInputs inputs = gatherShaderInputs(2.0f);
    EXPECT_EQ(input(inputs, "time"), 2.0f);
    EXPECT_FLOAT_EQ(input(inputs, "beat"), 3.0f); // 1.5 s after bar 1 at two beats a second
    EXPECT_FLOAT_EQ(input(inputs, "bar"), 1.0f);  // the first beat of bar 2
    EXPECT_FLOAT_EQ(input(gatherShaderInputs(0.25f), "bar"), -1.0f / 6.0f); // before bar 1
    // Nobody reads the music: it is not analysed, and the bands read 0.
    EXPECT_EQ(input(inputs, "bass"), 0.0f);
    EXPECT_FALSE(inputs.hasSpectrum);
}

TEST_F(ShowLookTest, ADeclaredChainReplacesTheRecipeBetweenFramesAndOneWithoutPutsTheRecipeBack) {
    folder.write("a.psh", "");
    folder.write("b.psh", "");
    const std::string declared = R"(<postchain>
  <a shader="a.psh" input0="scene" input1="b" />
  <b shader="b.psh" input0="a" input1="overlay" input2="emissive" input3="0" input5="sceen" inpt6="a">
    <tint x="1" y="0.5" w="2" />
  </b>
</postchain>)";
    load(declared);
    FilterChain& chain = registry().postChain;
    EXPECT_TRUE(noted("stage 'b' input5: 'sceen' is no stage of the chain nor scene, overlay or emissive; it "
                      "reads black; did you mean 'scene'?"));
    EXPECT_TRUE(noted("stage 'b': attribute 'inpt6' is not read"));

    ASSERT_TRUE(chain.declared());
    // The frame still runs the recipe until the renderer takes the new one.
    EXPECT_EQ(chain.count(), 6);
    ASSERT_TRUE(chain.recipePending());
    ASSERT_TRUE(chain.applyRecipe());
    EXPECT_FALSE(chain.applyRecipe());
    ASSERT_EQ(chain.count(), 2);
    const FilterStage& a = chain.stage(0);
    EXPECT_EQ(a.shaderFile, "a.psh");
    EXPECT_EQ(a.inputCount, 2);
    EXPECT_EQ(a.inputs[0], FilterInputComposite);
    EXPECT_EQ(a.inputs[1], 1); // a later stage: what it drew the frame before
    const FilterStage& b = chain.stage(1);
    EXPECT_EQ(b.index, 1);
    EXPECT_EQ(b.inputCount, 6);
    const std::array<int32_t, 6> inputs = {0, FilterInputOverlay, FilterInputEmissive,
                                           0, FilterInputNothing, FilterInputNothing};
    EXPECT_TRUE(std::equal(inputs.begin(), inputs.end(), b.inputs.begin()));
    ASSERT_EQ(b.parameters.size(), 1u);
    EXPECT_EQ(b.parameters[0].first, "tint");
    EXPECT_EQ(b.parameters[0].second, (std::array<float, 4>{1, 0.5f, 0, 2}));

    // The same scene loaded again (a seek) hands nothing over.
    resetScene(SceneAssets::Keep);
    load(declared);
    EXPECT_FALSE(chain.recipePending());

    // Without the section the program's recipe comes back.
    resetScene(SceneAssets::Keep);
    load("<meshes />");
    EXPECT_FALSE(chain.declared());
    ASSERT_TRUE(chain.applyRecipe());
    ASSERT_EQ(chain.count(), 6);
    const std::vector<FilterStage> recipe = defaultFilterRecipe();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(chain.stage(i).shaderFile, recipe[static_cast<size_t>(i)].shaderFile);
    // And a scene that never declared one changes nothing.
    resetScene(SceneAssets::Keep);
    load("<meshes />");
    EXPECT_FALSE(chain.recipePending());
}

TEST_F(ShowLookTest, AChainOfNoUsableStageLeavesTheRecipeWithALine) {
    load(R"(<postchain>
  <nothing input0="scene" />
</postchain>)");
    EXPECT_TRUE(noted("stage 'nothing' names no shader"));
    EXPECT_TRUE(noted("<postchain> declares no stage; the program's own chain plays"));
    EXPECT_FALSE(registry().postChain.declared());
    EXPECT_FALSE(registry().postChain.recipePending());
}

TEST_F(ShowLookTest, AStageNamedLikeATargetIsNotWhatItsNameReads) {
    folder.write("a.psh", "");
    load(R"(<postchain>
  <emissive shader="a.psh" />
  <last shader="a.psh" input0="emissive" />
</postchain>)");
    EXPECT_TRUE(noted(
        "stage 'emissive': an input that names emissive reads the renderer's emissive, not this stage"));
    ASSERT_TRUE(registry().postChain.applyRecipe());
    EXPECT_EQ(registry().postChain.stage(1).inputs[0], FilterInputEmissive);
}

TEST_F(ShowLookTest, MaterialShadersGoToTheRendererAndAMissingFileIsNamed) {
    folder.write("glow.psh", "");
    load(R"(<materials>
  <plain />
  <concrete pixelShader="glw.psh" />
  <brick vertexShader="wave.vert" pixelShader="glow.psh" colour="red" />
</materials>)");
    const std::vector<MaterialShaders> expected = {{"concrete", "", "glw.psh"},
                                                   {"brick", "wave.vert", "glow.psh"}};
    EXPECT_EQ(renderer().materialShaders(), expected);
    EXPECT_EQ(materialShaderTable(), expected);
    EXPECT_TRUE(noted("material 'concrete': its pixel shader glw.psh does not exist; the material draws with "
                      "the program's own; did you mean 'glow.psh'?"));
    EXPECT_TRUE(noted("material 'brick': vertex shader wave.vert does not end with .vsh"));
    EXPECT_TRUE(noted("material 'brick': attribute 'colour' is not read"));
    // A scene without them leaves the renderer none.
    resetScene(SceneAssets::Keep);
    load("<materials><plain /></materials>");
    EXPECT_TRUE(renderer().materialShaders().empty());
}

TEST_F(ShowLookTest, TheSpectrumIsTheSongsAtTheMusicTimeWhateverCameBefore) {
    // A sine on bin 24's frequency reads its amplitude there and nearly nothing far from it.
    SongAnalysis spectrum;
    spectrum.setSong(44100, sine(24.0 * 44100.0 / 1024.0, 0.5, 2.0));
    std::array<float, SongAnalysis::Bins> bins{};
    spectrum.spectrumAt(1.0, bins.data());
    EXPECT_NEAR(bins[24], 0.5f, 0.005f);
    EXPECT_NEAR(bins[23], 0.25f, 0.005f); // the Hann window's neighbours
    EXPECT_LT(bins[100], 0.001f);
    EXPECT_EQ(std::max_element(bins.begin(), bins.end()) - bins.begin(), 24);
    // Outside the song: silence, also for times no song has.
    spectrum.spectrumAt(5.0, bins.data());
    EXPECT_EQ(*std::max_element(bins.begin(), bins.end()), 0.0f);
    spectrum.spectrumAt(std::nan(""), bins.data());

    // Each band hears its own: a sine in it reads about its amplitude, the others nearly 0.
    const double tones[3] = {110.0, 700.0, 5000.0};
    for (int band = 0; band < 3; ++band) {
        SongAnalysis one;
        one.setSong(44100, sine(tones[band], 0.8, 1.0));
        const std::array<float, 3> levels = one.bandsAt(0.5);
        for (int b = 0; b < 3; ++b)
            if (b == band)
                EXPECT_NEAR(levels[static_cast<size_t>(b)], 0.8f, 0.05f) << tones[band] << " Hz";
            else
                EXPECT_LT(levels[static_cast<size_t>(b)], 0.05f) << tones[band] << " Hz in band " << b;
    }

    // A kick: 30 ms of 110 Hz at 1 s in silence. The bass rises at once and is gone 50 ms (and
    // half a window) after it ends.
    std::vector<int16_t> kick(44100 * 2, 0);
    const std::vector<int16_t> burst = sine(110.0, 0.9, 0.03);
    std::copy(burst.begin(), burst.end(), kick.begin() + 44100);
    SongAnalysis song;
    song.setSong(44100, kick);
    EXPECT_LT(song.bandsAt(0.95)[0], 0.01f);
    EXPECT_GT(song.bandsAt(1.02)[0], 0.3f);
    EXPECT_LT(song.bandsAt(1.1)[0], 0.01f);

    // The value at a time is the same whatever was asked before (another frame rate, a seek).
    SongAnalysis fresh, walked;
    fresh.setSong(44100, kick);
    walked.setSong(44100, kick);
    for (double t = 0.0; t < 1.5; t += 1.0 / 7.0)
        walked.bandsAt(t);
    walked.bandsAt(1.9);
    for (double t : {1.0, 1.013, 1.02, 1.04}) {
        const std::array<float, 3> a = fresh.bandsAt(t), b = walked.bandsAt(t);
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(std::bit_cast<uint32_t>(a[i]), std::bit_cast<uint32_t>(b[i])) << t;
    }
}

TEST_F(ShowLookTest, TheSongIsAnalysedOnceALoadAndOnlyForAShowWhoseShadersReadIt) {
    int decodes = 0;
    bool fails = false;
    setSongDecoder([&](const std::string& path, int& rate, std::vector<int16_t>& mono, std::string& why) {
        ++decodes;
        EXPECT_EQ(path, "song.ogg");
        if (fails) {
            why = "not a song";
            return false;
        }
        rate = 44100;
        mono = sine(110.0, 0.5, 3.0);
        return true;
    });
    registry().music.setBackend(std::make_shared<AnySong>());
    ASSERT_EQ(registry().music.load("song.ogg"), 0);
    EXPECT_EQ(input(gatherShaderInputs(1.0f), "bass"), 0.0f);
    prepareSongAnalysis();
    EXPECT_EQ(decodes, 0);

    renderer().declareShaderInputs({"bass"});
    const float bass = input(gatherShaderInputs(1.0f), "bass");
    EXPECT_NEAR(bass, 0.5f, 0.03f);
    EXPECT_EQ(input(gatherShaderInputs(1.0f), "bass"), bass);
    EXPECT_EQ(decodes, 1);
    EXPECT_FALSE(gatherShaderInputs(1.0f).hasSpectrum);

    renderer().declareShaderInputs({"spectrum"});
    const ShaderInputs withBins = gatherShaderInputs(1.0f);
    EXPECT_TRUE(withBins.hasSpectrum);
    EXPECT_GT(withBins.spectrum[3], 0.3f); // 110 Hz lies between bins 2 and 3
    EXPECT_EQ(decodes, 1);

    // The song opened again (saved while the show plays) is analysed again; one that does not
    // decode is one line, and silence.
    fails = true;
    ASSERT_EQ(registry().music.load("song.ogg"), 0);
    EXPECT_EQ(input(gatherShaderInputs(1.0f), "bass"), 0.0f);
    EXPECT_EQ(input(gatherShaderInputs(1.5f), "bass"), 0.0f);
    EXPECT_EQ(decodes, 2);
    EXPECT_EQ(log().count("spectrum: song.ogg cannot be decoded (not a song); the shaders read the music as "
                          "silence"),
              1);
}

TEST_F(ShowLookTest, TheCheckNamesEachUniformNothingProvidesWithTheTrackItMayMean) {
    ShaderFileCheck shader;
    shader.file = "look.psh";
    shader.uniforms = {{"glwo", 1, ""},       {"grade", 1, ""},   {"resX", 1, ""},        {"input0", 0, "2D"},
                       {"spectrum", 0, "2D"}, {"noise", 0, "2D"}, {"lift", 3, ""},        {"bass", 3, ""},
                       {"beat", 1, ""},       {"tint", 4, ""},    {"gl_FragCoord", 4, ""}};
    const std::vector<std::string> findings =
        uniformFindings(shader, {{"glow", 1}, {"grade", 3}, {"tint", 4}}, {"lift"});
    const std::vector<std::string> expected = {
        "uniform 'glwo' is set by no track of the scene nor by the renderer: it keeps 0 (or the value the "
        "shader "
        "gives it); did you mean 'glow'?",
        "uniform 'grade' is a float but track 'grade' has 3 values: it gets the first",
        "uniform 'spectrum' is the music's spectrum, a 1D texture: declare it as sampler1D",
        "uniform 'noise' is a sampler nothing binds a texture to: it reads black",
        "uniform 'bass' is a vec3 but 'bass' has 1 value: the others read 0",
    };
    EXPECT_EQ(findings, expected);
}

} // namespace
