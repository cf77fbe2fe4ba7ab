// A mesh or bitmap saved while the show plays: only that file is read, beside the show, and it
// takes the old one's place between two frames. The scene is not loaded again, nothing is
// replayed and the music is not started anew; what cannot be taken leaves the old one in place
// and says why on screen.
#include "engine/loop/HotReload.h"
#include "actors/ActorFactory.h"
#include "engine/loop/SceneReload.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "scene/loader/SceneLoader.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace {

// A stream that records every start: a scene reload sets the clock by starting the music anew.
class RecordedMusic : public AudioBackend {
public:
    uint32_t createStream(const std::string&, bool) override { return 1; }
    bool play(uint32_t stream) override { return playFrom(stream, 0.0); }
    bool playFrom(uint32_t, double seconds) override {
        starts.push_back(seconds);
        return true;
    }
    double position(uint32_t) override { return 2.5; }
    int lastError() override { return 0; }
    std::vector<double> starts;
};

class AssetReload : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        assembleTestScene("full", testDataDirectory(), dir.path());
        cwd = std::make_unique<WorkingDirectory>(dir.path());
        registerShowAssetKinds();
        music = std::make_shared<RecordedMusic>();
        registry().music.setBackend(music);
        registry().music.load("song.ogg");
        rememberShowScene("epicrealtimetest.xml");
        ASSERT_EQ(loadScene("epicrealtimetest.xml", &createActor), 0);
        registry().playing = true;
        registry().music.play();
        music->starts.clear();
        hotreload::reset();
    }
    void TearDown() override {
        hotreload::reset();
        cwd.reset();
        RegistryTest::TearDown();
    }

    bool shows(const std::string& line) const {
        const auto lines = hotreload::problemLines();
        return std::any_of(lines.begin(), lines.end(), [&](const ScreenLine& l) { return l.text == line; });
    }

    ScratchDirectory dir;
    std::unique_ptr<WorkingDirectory> cwd;
    std::shared_ptr<RecordedMusic> music;
};

TEST_F(AssetReload, OnlyTheChangedFileIsReadAndSwappedInWithoutAReplay) {
    const Material* stone = findMaterial("stone");
    Mesh* cube = findMesh("cube");
    Actor* camera = findActor("Cam1");
    entity_base* crate = findObject("crate");
    ASSERT_TRUE(stone && cube && camera && crate);
    ASSERT_EQ(crate->material, stone);
    crate->geometryChanged = 0;
    const std::vector<uint8_t> normal = stone->normal;
    const std::vector<uint8_t> emissive = stone->emissive;

    writeBitmapFile(dir.path(), "stone", 4, 2, std::vector<uint8_t>(4 * 2 * 3, 77));
    writeMeshFile(dir.path(), "cube", 6);
    // Read again, the companions would be missing now: the material keeps what it has.
    fs::remove(dir.path() / "tex" / "stone_normal.bmp");
    renderer().clearCalls();
    EXPECT_FALSE(hotreload::reload({"tex/stone.bmp", "model/cube.obj"})) << "the show was moved";
    hotreload::finishReads();

    const Material* fresh = findMaterial("stone");
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(crate->material, fresh) << "the object names the material that took the old one's place";
    EXPECT_EQ(fresh->diffuse, std::vector<uint8_t>(4 * 2 * 3, 77));
    EXPECT_EQ(fresh->normal, normal);
    EXPECT_EQ(fresh->emissive, emissive);
    EXPECT_EQ(findMesh("cube"), cube);
    EXPECT_EQ(cube->vertexCount, 6u);
    EXPECT_EQ(cube->positions.size(), 6u);
    EXPECT_EQ(crate->geometryChanged, 1) << "the object uploads the new vertices before it draws";
    // The new material reaches the renderer and is made there before the old one goes.
    const std::vector<std::string> calls = renderer().calls();
    const auto added = std::find(calls.begin(), calls.end(), "addMaterial");
    const auto made = std::find(added, calls.end(), "waitForResources");
    EXPECT_NE(std::find(made, calls.end(), "removeMaterial"), calls.end());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "removeMaterial"), 1);
    // The scene was not loaded again (its actors are the same) and the clock was not set back.
    EXPECT_EQ(findActor("Cam1"), camera);
    EXPECT_TRUE(music->starts.empty());
    EXPECT_EQ(log().count("tex/stone.bmp read again"), 1);
    EXPECT_EQ(log().count("model/cube.obj read again"), 1);
    EXPECT_TRUE(hotreload::problemLines().empty());
}

TEST_F(AssetReload, WhatCannotBeTakenLeavesTheOldOneAndSaysWhy) {
    const Material* wood = findMaterial("wood");
    Mesh* plate = findMesh("plate");
    ASSERT_TRUE(findMaterial("stone") && wood && plate);
    const std::vector<uint8_t> woodPixels = wood->diffuse;
    const std::vector<uint8_t> stoneEmissive = findMaterial("stone")->emissive;

    dir.write("tex/wood.bmp", std::string("not a bitmap"));
    dir.write("model/plate.obj", std::string("\x03\x00\x00\x00", 4));
    writeBitmapFile(dir.path(), "stone_emissive", 2, 2, std::vector<uint8_t>(2 * 2 * 3, 50));
    renderer().clearCalls();
    hotreload::reload({"tex/wood.bmp", "model/plate.obj", "tex/stone_emissive.bmp"});
    hotreload::finishReads();
    EXPECT_EQ(findMaterial("wood"), wood);
    EXPECT_EQ(wood->diffuse, woodPixels);
    EXPECT_EQ(plate->vertexCount, 6u);
    EXPECT_EQ(findMaterial("stone")->emissive, stoneEmissive);
    EXPECT_EQ(renderer().callCount("removeMaterial"), 0);
    EXPECT_TRUE(shows("tex/wood.bmp could not be read again; the last good one is shown:"));
    EXPECT_TRUE(shows("model/plate.obj could not be read again; the last good one is shown:"));
    EXPECT_TRUE(shows("  tex/stone_emissive.bmp: 2 x 2 does not match the diffuse image (4 x 2)"));
    EXPECT_TRUE(music->starts.empty());

    // The next good save takes its place, and its line goes.
    writeBitmapFile(dir.path(), "wood", 2, 2, std::vector<uint8_t>(2 * 2 * 3, 5));
    hotreload::reload({"tex/wood.bmp"});
    hotreload::finishReads();
    EXPECT_EQ(findMaterial("wood")->diffuse, std::vector<uint8_t>(2 * 2 * 3, 5));
    EXPECT_FALSE(shows("tex/wood.bmp could not be read again; the last good one is shown:"));

    // A diffuse image saved at another size brings its companions along, as a load would.
    writeBitmapFile(dir.path(), "stone", 2, 2, std::vector<uint8_t>(2 * 2 * 3, 60));
    hotreload::reload({"tex/stone.bmp"});
    hotreload::finishReads();
    const Material* stone = findMaterial("stone");
    EXPECT_EQ(stone->width, 2);
    EXPECT_EQ(stone->diffuse, std::vector<uint8_t>(2 * 2 * 3, 60));
    EXPECT_EQ(stone->emissive, std::vector<uint8_t>(2 * 2 * 3, 50)) << "the companion of the new size";
    EXPECT_EQ(stone->normal.size(), 2u * 2u * 3u) << "the old normal map no longer fits: the default";
}

// Two bitmaps of one material saved together: each is built on what the other left.
TEST_F(AssetReload, BitmapsOfOneMaterialSavedTogetherBothArrive) {
    writeBitmapFile(dir.path(), "stone", 4, 2, std::vector<uint8_t>(4 * 2 * 3, 70));
    writeBitmapFile(dir.path(), "stone_emissive", 4, 2, std::vector<uint8_t>(4 * 2 * 3, 71));
    hotreload::reload({"tex/stone.bmp", "tex/stone_emissive.bmp"});
    hotreload::finishReads();
    hotreload::finishReads(); // the second, built again on the first
    const Material* stone = findMaterial("stone");
    EXPECT_EQ(stone->diffuse, std::vector<uint8_t>(4 * 2 * 3, 70));
    EXPECT_EQ(stone->emissive, std::vector<uint8_t>(4 * 2 * 3, 71));
    EXPECT_EQ(findObject("crate")->material, stone);
}

} // namespace
