// Pictures, music and words through beatshow-import, what the engine reads of them, the snippet
// through the scene loader, and every kind of bad input: one clear line, a failing exit status
// and nothing written.
#include "actors/ActorFactory.h"
#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "render/Bitmap.h"
#include "render/Mesh.h"
#include "scene/loader/SceneLoader.h"
#include "tests/import/ImportTestFiles.h"
#include "tests/support/TestSupport.h"

#include <sndfile.h>
#include <sys/stat.h>
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A sine tone of `frames` frames in `channels` channels, written by libsndfile.
void writeTone(const fs::path& path, int format, int channels, int rate, sf_count_t frames) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    for (sf_count_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(i) * channels + c] = 0.5f * std::sin(0.05f * static_cast<float>(i));
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

struct OggFacts {
    int channels = 0;
    long rate = 0;
    int64_t frames = 0;
};
bool readOgg(const fs::path& path, OggFacts& facts) {
    OggVorbis_File file;
    if (ov_fopen(path.c_str(), &file) != 0) return false;
    facts.channels = ov_info(&file, -1)->channels;
    facts.rate = ov_info(&file, -1)->rate;
    facts.frames = ov_pcm_total(&file, -1);
    ov_clear(&file);
    return true;
}

class AssetImport : public ::testing::Test {
protected:
    fs::path in(const std::string& name) const { return source_.path() / name; }
    fs::path show() const { return show_.path(); }
    ImportRun import(std::vector<std::string> words) {
        words.insert(words.end(), {"--into", show().string()});
        return runImportWords(words);
    }
    // Exit status 1, exactly one line that contains `why`, and no file in the show.
    void expectRefused(const ImportRun& run, const std::string& why) {
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.lines.size(), 1u);
        EXPECT_TRUE(run.says(why)) << (run.lines.empty() ? "no line" : run.lines.front());
        EXPECT_TRUE(run.snippet.empty());
        EXPECT_EQ(filesUnder(show()), std::vector<std::string>{});
    }

    LogCapture log_;
    ScratchDirectory source_, show_;
};

// ---- pictures ----

TEST_F(AssetImport, APictureKeepsItsPixelsAndSizeAndShowsUprightThroughTheEngine) {
    const Image picture = quartersPicture(6, 4);
    writePicturePng(in("paint.png"), picture);
    const ImportRun run = import({in("paint.png").string()});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(run.says("wrote tex/paint.bmp (6 x 4)"));
    EXPECT_EQ(run.snippet.find("<meshes>"), std::string::npos);
    EXPECT_NE(run.snippet.find("<materials>\n      <paint />\n    </materials>"), std::string::npos);
    // An ordinary bitmap: bottom row first, so the decoded rows are the picture's, upside down.
    const std::vector<uint8_t> bytes = fileBytes(show() / "tex/paint.bmp");
    DecodedBitmap decoded;
    ASSERT_EQ(decodeBitmapBytes(bytes.data(), bytes.size(), "paint", decoded), 0);
    ASSERT_EQ(decoded.width, 6u);
    ASSERT_EQ(decoded.height, 4u);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 18; ++x)
            EXPECT_EQ(decoded.pixels[static_cast<size_t>(3 - y) * 18 + x],
                      picture.rgb[static_cast<size_t>(y) * 18 + x]);
    // In the material, u grows to the picture's left and v to its top.
    const auto material = engineMaterial(show(), "paint");
    EXPECT_EQ(texelAt(material->diffuse, 6, 4, {0.9f, 0.9f}), (std::array<uint8_t, 3>{255, 0, 0}));
    EXPECT_EQ(texelAt(material->diffuse, 6, 4, {0.1f, 0.1f}), (std::array<uint8_t, 3>{255, 255, 0}));
}

TEST_F(AssetImport, JpegTgaSixteenBitPalettedAndTranslucentPicturesComeInWithALineForWhatChanged) {
    const Image picture = quartersPicture(4, 4);
    writePictureJpeg(in("photo.jpg"), picture);
    writePictureTga(in("sprite.tga"), picture);
    writePicture16BitPng(in("deep.png"), picture);
    writePicturePalettePng(in("indexed.png"), picture);
    writePictureRgbaPng(in("glass.png"), picture, 128);
    writePictureRgbaPng(in("opaque.png"), picture, 255);
    const ImportRun run =
        import({in("photo.jpg").string(), in("sprite.tga").string(), in("deep.png").string(),
                in("indexed.png").string(), in("glass.png").string(), in("opaque.png").string()});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(run.says("deep.png: 16 bits per channel reduced to 8"));
    EXPECT_TRUE(run.says("indexed.png: palette picture expanded to 24-bit colour"));
    EXPECT_TRUE(run.says("glass.png: alpha dropped"));
    EXPECT_FALSE(run.says("opaque.png: alpha"));
    for (const char* name : {"sprite", "deep", "indexed", "glass", "opaque"}) {
        const auto material = engineMaterial(show(), name);
        ASSERT_TRUE(material) << name;
        EXPECT_EQ(texelAt(material->diffuse, 4, 4, {0.9f, 0.9f}), (std::array<uint8_t, 3>{255, 0, 0}))
            << name;
        EXPECT_EQ(texelAt(material->diffuse, 4, 4, {0.1f, 0.9f}), (std::array<uint8_t, 3>{0, 255, 0}))
            << name;
    }
    const auto photo = engineMaterial(show(), "photo");
    const auto red = texelAt(photo->diffuse, 4, 4, {0.9f, 0.9f});
    EXPECT_GT(red[0], 200);
    EXPECT_LT(red[2], 60);
}

TEST_F(AssetImport, CompanionPicturesTakeTheEnginesLayoutAndTheDiffusePicturesSize) {
    writePicturePng(in("brick.png"), quartersPicture(8, 8));
    // A flat normal map leaning right (red high) and an emissive picture of half the size.
    Image normal{4, 4, {}};
    for (int i = 0; i < 16; ++i)
        normal.rgb.insert(normal.rgb.end(), {200, 128, 230});
    writePicturePng(in("brick_normal.png"), normal);
    writePicturePng(in("brick_emissive.png"), quartersPicture(4, 4));
    const ImportRun run = import(
        {in("brick_emissive.png").string(), in("brick_normal.png").string(), in("brick.png").string()});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(run.says("brick_normal.png: scaled from 4 x 4 to its diffuse picture's 8 x 8"));
    EXPECT_EQ(filesUnder(show()),
              (std::vector<std::string>{"tex/brick.bmp", "tex/brick_emissive.bmp", "tex/brick_normal.bmp"}));
    const auto material = engineMaterial(show(), "brick");
    ASSERT_TRUE(material);
    // +u runs to the picture's left: a normal leaning right leans towards -u.
    EXPECT_EQ(texelAt(material->normal, 8, 8, {0.5f, 0.5f}), (std::array<uint8_t, 3>{55, 128, 230}));
    // The glow lines up with the diffuse picture.
    for (TexCoord uv : {TexCoord{0.9f, 0.9f}, TexCoord{0.1f, 0.9f}, TexCoord{0.9f, 0.1f}})
        EXPECT_EQ(texelAt(material->emissive, 8, 8, uv), texelAt(material->diffuse, 8, 8, uv));
}

TEST_F(AssetImport, AModelsNormalAndEmissiveMapsAndEmbeddedPicturesComeAlong) {
    writePicturePng(in("pics/colour.png"), quartersPicture(8, 8));
    Image normal{8, 8, {}};
    for (int i = 0; i < 64; ++i)
        normal.rgb.insert(normal.rgb.end(), {128, 200, 230});
    writePicturePng(in("pics/normal.png"), normal);
    writePicturePng(in("pics/glow.png"), quartersPicture(4, 4));
    TestGltf model;
    model.meshes.push_back(cubePrimitive(true));
    model.nodes.push_back({"Cube"});
    TestMaterial lamp{"Lamp", 0, 1, 2};
    lamp.factor = {1, 0.5f, 1, 1};
    lamp.emissiveFactor = {1, 1, 1};
    model.materials.push_back(lamp);
    model.imageFiles = {"colour.png", "normal.png", "glow.png"};
    writeGlb(in("lamp.glb"), model, in("pics"));
    const ImportRun run = import({in("lamp.glb").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_EQ(filesUnder(show()),
              (std::vector<std::string>{"model/lamp.imported", "model/lamp.obj", "tex/lamp.bmp",
                                        "tex/lamp_emissive.bmp", "tex/lamp_normal.bmp"}));
    const auto material = engineMaterial(show(), "lamp");
    ASSERT_TRUE(material);
    // The base colour factor tints the picture; green along +v stays.
    EXPECT_EQ(texelAt(material->diffuse, 8, 8, {0.1f, 0.9f}), (std::array<uint8_t, 3>{0, 128, 0}));
    EXPECT_EQ(texelAt(material->normal, 8, 8, {0.5f, 0.5f}), (std::array<uint8_t, 3>{127, 200, 230}));
    EXPECT_EQ(texelAt(material->emissive, 8, 8, {0.9f, 0.9f}), (std::array<uint8_t, 3>{255, 0, 0}));
}

TEST_F(AssetImport, WithoutADiffusePictureTheMapsKeepTheirSizeAndTheColourTakesItToo) {
    // A 16 x 8 normal map leaning right on its left half only, an 8 x 4 glow, a blue base colour.
    Image normal{16, 8, {}};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            normal.rgb.insert(normal.rgb.end(), {static_cast<uint8_t>(x < 8 ? 200 : 128), 128, 230});
    writePicturePng(in("normal.png"), normal);
    writePicturePng(in("glow.png"), quartersPicture(8, 4));
    TestGltf model;
    model.meshes.push_back(cubePrimitive(true));
    model.nodes.push_back({"Cube"});
    TestMaterial panel{"Panel", -1, 0, 1};
    panel.factor = {0, 0, 1, 1};
    panel.emissiveFactor = {1, 1, 1};
    model.materials.push_back(panel);
    model.imageFiles = {"normal.png", "glow.png"};
    writeGltf(in("panel.gltf"), model);
    const ImportRun run = import({in("panel.gltf").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_TRUE(run.says("wrote tex/panel.bmp (16 x 8, its colour)"));
    EXPECT_TRUE(run.says("wrote tex/panel_normal.bmp (16 x 8)"));
    EXPECT_TRUE(run.says("glow.png: emissive picture scaled from 8 x 4 to the material's 16 x 8"));
    const auto material = engineMaterial(show(), "panel");
    ASSERT_TRUE(material);
    EXPECT_EQ(material->width, 16);
    EXPECT_EQ(material->height, 8);
    EXPECT_EQ(texelAt(material->diffuse, 16, 8, {0.5f, 0.5f}), (std::array<uint8_t, 3>{0, 0, 255}));
    // The lean stays on the picture's left half (+u runs that way), its red inverted for the engine.
    EXPECT_EQ(texelAt(material->normal, 16, 8, {0.8f, 0.5f}), (std::array<uint8_t, 3>{55, 128, 230}));
    EXPECT_EQ(texelAt(material->normal, 16, 8, {0.2f, 0.5f}), (std::array<uint8_t, 3>{127, 128, 230}));
}

// ---- music ----

TEST_F(AssetImport, WavAndFlacAreEncodedOggVorbisIsCopiedAsItIs) {
    writeTone(in("loop.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 22050);
    writeTone(in("mono.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 22050, 11025);
    writeTone(in("surround.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 6, 48000, 4800);
    const ImportRun run =
        import({in("loop.wav").string(), in("mono.flac").string(), in("surround.wav").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_TRUE(run.says("wrote audio/loop.ogg (0.5 s, stereo, 44100 Hz, encoded)"));
    EXPECT_TRUE(run.says("surround.wav: 6 channels mixed down to stereo"));
    EXPECT_TRUE(run.says("a scene plays one song: the snippet names the first, loop.ogg"));
    EXPECT_NE(run.snippet.find("<audio>\n      <song file=\"loop.ogg\" />\n    </audio>"), std::string::npos);
    for (const auto& [name, channels, rate, frames] :
         {std::tuple{"loop", 2, 44100L, 22050}, std::tuple{"mono", 1, 22050L, 11025},
          std::tuple{"surround", 2, 48000L, 4800}}) {
        OggFacts facts;
        ASSERT_TRUE(readOgg(show() / "audio" / (std::string(name) + ".ogg"), facts)) << name;
        EXPECT_EQ(facts.channels, channels) << name;
        EXPECT_EQ(facts.rate, rate) << name;
        EXPECT_EQ(facts.frames, frames) << name;
    }
    // An Ogg Vorbis song the player takes is not encoded a second time.
    ScratchDirectory again;
    const ImportRun copy = runImportWords(
        {(show() / "audio/loop.ogg").string(), "--name", "same", "--into", again.path().string()});
    ASSERT_EQ(copy.status, 0);
    EXPECT_TRUE(copy.says("Ogg Vorbis already: copied as it is"));
    EXPECT_EQ(fileBytes(again.path() / "audio/same.ogg"), fileBytes(show() / "audio/loop.ogg"));
}

TEST_F(AssetImport, ASongThatDoesNotDecodeOrHoldsNothingIsRefused) {
    writeText(in("noise.wav"), "RIFF this is not a wave file");
    // Without ffmpeg on the path, the line says what would take more formats.
    const char* path = std::getenv("PATH");
    const std::string saved = path ? path : "";
    setenv("PATH", source_.path().c_str(), 1);
    const ImportRun run = import({in("noise.wav").string()});
    setenv("PATH", saved.c_str(), 1);
    expectRefused(run, "noise.wav: not a sound file that can be decoded");
    EXPECT_TRUE(run.says("with ffmpeg installed"));

    writeTone(in("silence.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 0);
    expectRefused(import({in("silence.wav").string()}), "silence.wav: the file holds no samples");
}

TEST_F(AssetImport, FfmpegWhereInstalledDecodesWhatLibsndfileCannot) {
    // A stand-in ffmpeg that "decodes" by handing over a WAV file made beforehand.
    writeTone(in("decoded.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 4410);
    fs::create_directories(in("bin"));
    writeText(in("bin/ffmpeg"),
              "#!/bin/sh\nfor last; do :; done\ncp '" + in("decoded.wav").string() + "' \"$last\"\n");
    fs::permissions(in("bin/ffmpeg"), fs::perms::owner_all);
    writeText(in("tune.m4a"), "not something libsndfile reads");
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (in("bin").string() + ":" + saved).c_str(), 1);
    const ImportRun run = import({in("tune.m4a").string()});
    setenv("PATH", saved.c_str(), 1);
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_TRUE(run.says("tune.m4a: decoded by ffmpeg"));
    OggFacts facts;
    ASSERT_TRUE(readOgg(show() / "audio/tune.ogg", facts));
    EXPECT_EQ(facts.frames, 4410);
    EXPECT_EQ(filesUnder(show()), std::vector<std::string>{"audio/tune.ogg"});
}

// ---- bad input ----

TEST_F(AssetImport, EachBadInputGetsOneLineAFailingStatusAndNothingWritten) {
    writeText(in("junk.gltf"), "{ this is not json");
    expectRefused(import({in("junk.gltf").string()}), "junk.gltf: not a model Assimp can read");

    writeText(in("points.obj"), "v 0 0 0\nv 1 0 0\np 1 2\n");
    expectRefused(import({in("points.obj").string()}), "points.obj: the scene holds no");

    writeObjCube(in("lost.obj"), "nowhere/missing.png");
    expectRefused(import({in("lost.obj").string(), "--strict"}),
                  "the picture nowhere/missing.png is not found");

    // A referenced picture that does not decode fails the whole model: no mesh without its material.
    writeText(in("broken.png"), "\x89PNG but not really");
    writeObjCube(in("cube.obj"), "broken.png");
    expectRefused(import({in("cube.obj").string()}), "broken.png: not a picture that can be decoded");
    expectRefused(import({in("broken.png").string()}), "broken.png: not a picture that can be decoded");

    expectRefused(import({in("absent.glb").string()}), "absent.glb: no such file");

    // A TGA header that claims 6,666 x 32,778 pixels, and nothing after it: refused at once
    // instead of decoded, for seconds, into a gigabyte of black.
    const uint8_t cutShort[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0A, 0x1A, 0x0A, 0x80, 32, 0x20};
    std::ofstream(in("cut.tga"), std::ios::binary)
        .write(reinterpret_cast<const char*>(cutShort), sizeof cutShort);
    expectRefused(import({in("cut.tga").string()}),
                  "cut.tga: a picture of 6666 x 32778 pixels cannot be held in 18 bytes");

    // The engine's own mesh files are not models of another tool.
    fs::create_directories(show() / "model");
    std::vector<uint8_t> engineFile = {0, 0, 0, 0, 0x37, 0x13, 0, 0};
    std::ofstream(in("ready.obj"), std::ios::binary)
        .write(reinterpret_cast<const char*>(engineFile.data()), 8);
    fs::remove(show() / "model");
    expectRefused(import({in("ready.obj").string()}), "already a beatshow mesh file");
}

TEST_F(AssetImport, AModelWhoseReadingRunsAwayIsStoppedByTheMemoryOrTimeLimit) {
    // An OFF header that claims 180 million vertices: Assimp fills 2 GB before it looks further.
    writeText(in("huge.off"), "OFF\n180000000 6 0\n0 0 0\n");
    expectRefused(import({in("huge.off").string(), "--max-memory", "200"}),
                  "huge.off: reading it took more than 200 MB of memory and was stopped (--max-memory MB "
                  "allows more); nothing written for it");
    // A material library that never ends (a pipe nobody writes): the reading waits for ever.
    ASSERT_EQ(mkfifo(in("endless.mtl").c_str(), 0600), 0);
    writeText(in("waits.obj"), "mtllib endless.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    expectRefused(
        import({in("waits.obj").string(), "--max-seconds", "0.5"}),
        "waits.obj: reading it took longer than 0.5 s and was stopped (--max-seconds S allows more)");

    // The limits are each reading's own: a model after the stopped one comes in.
    writePicturePng(in("quarters.png"), quartersPicture());
    writeObjCube(in("fine.obj"), "quarters.png");
    const ImportRun run = import({in("huge.off").string(), in("fine.obj").string(), "--max-memory", "200"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("huge.off: reading it took more than 200 MB"));
    EXPECT_TRUE(run.says("fine.obj: wrote model/fine.obj"));
    EXPECT_EQ(filesUnder(show()),
              (std::vector<std::string>{"model/fine.imported", "model/fine.obj", "tex/fine.bmp"}));
}

TEST_F(AssetImport, AssimpsOwnCrashesAndEndlessReadingsFoundByTheFuzzerEndInOneLine) {
    // Each file of the fuzzer's: its first line names the format, the rest is the model.
    auto model = [&](const std::string& crasher, const std::string& name) {
        std::ifstream file(fs::path(BEATSHOW_MODEL_CRASHERS) / crasher, std::ios::binary);
        std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        writeText(in(name), bytes.substr(bytes.find('\n') + 1));
        return in(name).string();
    };
    // Assimp's own assertion on a damaged zip ends its process: here the reading's, not ours.
    expectRefused(import({model("assimp-3mf-zip-assertion-aborts", "broken.3mf")}),
                  "broken.3mf: reading it crashed (Aborted); nothing written for it");
    expectRefused(import({model("assimp-ply-reader-never-ends", "endless.ply"), "--max-seconds", "1"}),
                  "endless.ply: reading it took longer than 1 s and was stopped");
}

TEST_F(AssetImport, AFolderThatCannotBeWrittenIsSaidOnceAndNothingIsLeftBehind) {
    writePicturePng(in("paint.png"), quartersPicture());
    writeText(in("file"), "a file where a folder should be");
    const ImportRun run = runImportWords({in("paint.png").string(), "--into", in("file/show").string()});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_TRUE(run.says("cannot write into")) << run.lines.front();

    // tex/ taken by a file: the picture fails, and no part file stays.
    writeText(show() / "tex", "in the way");
    const ImportRun blocked = import({in("paint.png").string()});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(blocked.says("paint.png: cannot make the folder")) << blocked.lines.front();
    EXPECT_EQ(filesUnder(show()), std::vector<std::string>{"tex"});
}

TEST_F(AssetImport, AWavefrontFileInTheShowsModelFolderIsNeverWrittenOver) {
    writePicturePng(show() / "model/quarters.png", quartersPicture());
    writeObjCube(show() / "model/crate.obj", "quarters.png");
    const std::vector<uint8_t> before = fileBytes(show() / "model/crate.obj");
    const ImportRun run = import({(show() / "model/crate.obj").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.says("its output model/crate.obj is the file itself"));
    EXPECT_EQ(fileBytes(show() / "model/crate.obj"), before);
    EXPECT_FALSE(fs::exists(show() / "tex"));
    // Under another name it comes in beside its source.
    EXPECT_EQ(import({(show() / "model/crate.obj").string(), "--name", "crate_mesh"}).status, 0);
    EXPECT_TRUE(engineMesh(show(), "crate_mesh"));
}

TEST(ImportArguments, ABadCommandLineIsRefusedWithItsReason) {
    for (const auto& [words, reason] : {
             std::pair{std::vector<std::string>{}, "nothing to import"},
             std::pair{std::vector<std::string>{"a.glb", "--scale", "0"}, "--scale 0: give a number above 0"},
             std::pair{std::vector<std::string>{"a.glb", "--scale", "big"}, "--scale big"},
             std::pair{std::vector<std::string>{"a.glb", "--max-memory", "0"},
                       "--max-memory 0: give a number above 0"},
             std::pair{std::vector<std::string>{"a.glb", "--max-seconds", "-1"},
                       "--max-seconds -1: give a number above 0"},
             std::pair{std::vector<std::string>{"a.glb", "b.glb", "--name", "x"}, "--name names one asset"},
             std::pair{std::vector<std::string>{"a.glb", "--name", "my crate"}, "for example my_crate"},
             std::pair{std::vector<std::string>{"--text", "hi", "--height", "2"}, "--height 2"},
             std::pair{std::vector<std::string>{"a.glb", "--into"}, "--into needs a value"},
             std::pair{std::vector<std::string>{"a.glb", "--fast"}, "unknown option --fast"},
         }) {
        const ImportRun run = runImportWords(words);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.says(reason)) << reason;
    }
}

// ---- words ----

TEST_F(AssetImport, WordsBecomeWhiteLettersOnBlackWithARectangleOfTheirShape) {
    const ImportRun run = import({"--text", "live from the party", "--height", "40"});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_EQ(filesUnder(show()), (std::vector<std::string>{"model/text_live_from_the_party.obj",
                                                            "tex/text_live_from_the_party.bmp"}));
    const auto material = engineMaterial(show(), "text_live_from_the_party");
    ASSERT_TRUE(material);
    int white = 0, grey = 0, coloured = 0;
    for (size_t i = 0; i < material->diffuse.size(); i += 3) {
        const uint8_t r = material->diffuse[i], g = material->diffuse[i + 1], b = material->diffuse[i + 2];
        if (r != g || g != b) ++coloured;
        if (r == 255) ++white;
        if (r > 0 && r < 255) ++grey; // anti-aliased edges
    }
    EXPECT_EQ(coloured, 0);
    EXPECT_GT(white, 100);
    EXPECT_GT(grey, 0);
    // The border is black all round.
    for (int x = 0; x < material->width; ++x)
        EXPECT_EQ(material->diffuse[static_cast<size_t>(x) * 3], 0);
    EXPECT_GT(material->width, material->height * 4);

    // The rectangle is 1 unit high and as wide as the picture is, facing the camera.
    const auto mesh = engineMesh(show(), "text_live_from_the_party");
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->vertexCount, 6u);
    float left = 0, right = 0, top = 0, bottom = 0;
    for (uint32_t i = 0; i < 6; ++i) {
        left = std::min(left, mesh->positions[i].x);
        right = std::max(right, mesh->positions[i].x);
        top = std::max(top, mesh->positions[i].y);
        bottom = std::min(bottom, mesh->positions[i].y);
        EXPECT_EQ(mesh->normals[i], (Vector{0, 0, -1}));
        // The picture's top-left corner at the rectangle's top left, as the camera sees it.
        if (mesh->positions[i].x < 0 && mesh->positions[i].y > 0) {
            EXPECT_EQ(mesh->texCoords[i].u, 1.0f);
            EXPECT_EQ(mesh->texCoords[i].v, 1.0f);
        }
    }
    EXPECT_FLOAT_EQ(top - bottom, 1.0f);
    EXPECT_NEAR((right - left) / (top - bottom),
                static_cast<float>(material->width) / static_cast<float>(material->height), 1e-4f);
    for (uint32_t t = 0; t < 6; t += 3)
        EXPECT_GT(
            cross(mesh->positions[t + 1] - mesh->positions[t], mesh->positions[t + 2] - mesh->positions[t])
                .dot(Vector{0, 0, -1}),
            0.0f);

    // Longer words, a wider picture; a font that is not there, one line.
    ASSERT_EQ(import({"--text", "live from the party tonight", "--height", "40", "--name", "longer"}).status,
              0);
    EXPECT_GT(engineMaterial(show(), "longer")->width, material->width);
    const ImportRun noFont = import({"--text", "hi", "--font", in("none.ttf").string()});
    EXPECT_EQ(noFont.status, 1);
    EXPECT_TRUE(noFont.says("cannot open the font"));
}

// ---- the snippet ----

class SnippetLoading : public RegistryTest {};

TEST_F(SnippetLoading, TheSnippetLoadsThroughTheSceneLoader) {
    ScratchDirectory source, show;
    writePicturePng(source.path() / "quarters.png", quartersPicture());
    TestGltf model;
    model.meshes.push_back(cubePrimitive(true));
    model.meshes.push_back(trianglePrimitive(1));
    model.nodes.push_back({"Body"});
    model.nodes.push_back({"Fin", 1});
    model.materials.push_back({"Paint", 0});
    model.materials.push_back({"Plain"});
    model.imageFiles = {"quarters.png"};
    writeGltf(source.path() / "ship.gltf", model);
    writeTone(source.path() / "tune.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 4410);
    const ImportRun run =
        runImportWords({(source.path() / "ship.gltf").string(), (source.path() / "tune.wav").string(),
                        "--into", show.path().string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();

    registerShowAssetKinds();
    WorkingDirectory cwd(show.path());
    std::ofstream(show.path() / "epicrealtimetest.xml") << "<base>\n  <scene>\n"
                                                        << run.snippet << "  </scene>\n</base>\n";
    resetProblems();
    ASSERT_EQ(loadScene("epicrealtimetest.xml", createActor), 0);
    ASSERT_TRUE(findMesh("ship_Body") && findMesh("ship_Fin")) << run.snippet;
    EXPECT_EQ(findMesh("ship_Body")->vertexCount, 36u);
    ASSERT_TRUE(findMaterial("ship_Paint") && findMaterial("ship_Plain"));
    entity_base* body = findObject("ship_Body");
    ASSERT_TRUE(body);
    EXPECT_EQ(body->Position, (Vector{0, 0, 0}));
    EXPECT_EQ(body->Scale, (Vector{1, 1, 1}));
    RenderInstance* instance = findRenderInstance(body);
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->materialName, "ship_Paint");
    EXPECT_TRUE(findObject("ship_Fin"));
    // The sections a snippet has no part in are missing, and the recording audio plays no song.
    for (const std::string& problem : problemsNoted()) {
        const bool expected = problem.find("tune.ogg") != std::string::npos;
        bool missingSection = false;
        for (const char* section : {"lights", "actors", "automations", "eventtrigger"})
            missingSection = missingSection || problem.find(std::string("no <") + section + "> section") == 0;
        EXPECT_TRUE(expected || missingSection) << problem;
    }
}

} // namespace
