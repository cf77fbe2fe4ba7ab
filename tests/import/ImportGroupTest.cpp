// A model of several parts through beatshow-import: one group in the snippet that fits the view
// (its size said, its Scale suggested and used), and an import of the same model again that takes
// away what the earlier one wrote and this one does not, and nothing else.
#include "actors/ActorFactory.h"
#include "engine/EngineRegistry.h"
#include "render/Mesh.h"
#include "scene/loader/SceneLoader.h"
#include "tests/import/ImportTestFiles.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// The record's checksum (FNV-1a, 64 bits) of the four bytes "mine", as hexadecimal.
constexpr const char* mineChecksum = "da4e15a2a78ede96";

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Three parts of two materials: a cube of edge 2 at (10, 4, 0) grown 3 times (so 6 units tall),
// a cube at (14, 0, 0) and a triangle at (8, 1, 0). In all, x from 7 to 15, y from -1 to 7, z
// from -3 to 3.
TestGltf robot(bool withArm = true) {
    TestGltf model;
    model.meshes.push_back(cubePrimitive(true, 0));
    model.meshes.push_back(cubePrimitive(true, 1));
    model.meshes.push_back(trianglePrimitive(1));
    model.nodes.push_back({"Body", 0, {10, 4, 0}, {0, 0, 0, 1}, {3, 3, 3}});
    model.nodes.push_back({"Foot", 1, {14, 0, 0}});
    if (withArm) model.nodes.push_back({"Arm", 2, {8, 1, 0}});
    model.materials.push_back({"Paint"});
    model.materials.push_back({"Steel"});
    return model;
}

class GroupImport : public RegistryTest {
protected:
    ImportRun import(const std::string& file) {
        return runImportWords({(source_.path() / file).string(), "--into", show_.path().string()});
    }
    ScratchDirectory source_, show_;
};

TEST_F(GroupImport, AModelOfSeveralPartsIsOneGroupThatFitsTheViewAtOnce) {
    writeGltf(source_.path() / "robot.gltf", robot());
    const ImportRun run = import("robot.gltf");
    ASSERT_EQ(run.status, 0) << (run.lines.empty() ? "" : run.lines.front());
    EXPECT_TRUE(
        run.says("robot is 8 x 8 x 6 units (x, y, z; from 7 -1 -3 to 15 7 3); Scale 0.25 makes it 2 "
                 "units tall: the snippet's group of its 3 parts has that Scale, its middle on the origin"))
        << ::testing::PrintToString(run.lines);
    // The group names no mesh; each part names it.
    EXPECT_NE(run.snippet.find("      <robot>\n        <Position x=\"0\" y=\"0\" z=\"0\" />\n"
                               "        <Rotation x=\"0\" y=\"0\" z=\"0\" />\n"
                               "        <Scale x=\"0.25\" y=\"0.25\" z=\"0.25\" />\n      </robot>\n"),
              std::string::npos)
        << run.snippet;
    EXPECT_EQ(std::count(run.snippet.begin(), run.snippet.end(), '\n') > 0, true);
    size_t parents = 0;
    for (size_t at = run.snippet.find("<Parent name=\"robot\" />"); at != std::string::npos;
         at = run.snippet.find("<Parent name=\"robot\" />", at + 1))
        ++parents;
    EXPECT_EQ(parents, 3u);

    // Loaded, the model stands 2 units tall with its middle on the origin, where a camera that
    // looks at the origin sees it.
    registerShowAssetKinds();
    WorkingDirectory cwd(show_.path());
    std::ofstream(show_.path() / "epicrealtimetest.xml") << "<base>\n  <scene>\n"
                                                         << run.snippet << "  </scene>\n</base>\n";
    ASSERT_EQ(loadScene("epicrealtimetest.xml", createActor), 0);
    entity_base* group = findObject("robot");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(renderer().instances().size(), 3u);
    renderer().renderFrame(0.0f);
    Vector low{1e9f, 1e9f, 1e9f}, high{-1e9f, -1e9f, -1e9f};
    for (const char* part : {"robot_Body", "robot_Foot", "robot_Arm"}) {
        entity_base* object = findObject(part);
        ASSERT_NE(object, nullptr) << part;
        EXPECT_EQ(object->parent, group) << part;
        const RenderInstance* instance = findRenderInstance(object);
        for (const Vector& p : object->mesh->positions) {
            const Vector w = transformCoord(p, instance->modelMatrix);
            low = {std::min(low.x, w.x), std::min(low.y, w.y), std::min(low.z, w.z)};
            high = {std::max(high.x, w.x), std::max(high.y, w.y), std::max(high.z, w.z)};
        }
    }
    EXPECT_NEAR(high.y - low.y, 2.0f, 1e-4f);
    EXPECT_NEAR((low.x + high.x) * 0.5f, 0.0f, 1e-4f);
    EXPECT_NEAR((low.y + high.y) * 0.5f, 0.0f, 1e-4f);
    EXPECT_NEAR((low.z + high.z) * 0.5f, 0.0f, 1e-4f);

    // Turning the group turns the model about its middle: the box keeps its middle.
    group->Rotation = {1.0f, 0.5f, 0.0f};
    renderer().renderFrame(0.0f);
    // The body's middle, (10, 4, 0) in the model, is (-1, 1, 0) from the model's middle.
    const Vector body = transformCoord({10, 4, 0}, findRenderInstance(findObject("robot_Body"))->modelMatrix);
    const Vector expected = transformCoord({-0.25f, 0.25f, 0}, matrixRotationYawPitchRoll(1.0f, 0.5f, 0.0f));
    EXPECT_NEAR((body - expected).length(), 0.0f, 1e-5f);
}

TEST_F(GroupImport, ImportingAgainTakesAwayOnlyWhatTheEarlierImportWroteAndThisOneDoesNot) {
    writeGltf(source_.path() / "robot.gltf", robot());
    ASSERT_EQ(import("robot.gltf").status, 0);
    const fs::path show = show_.path();
    EXPECT_TRUE(fs::exists(show / "model/robot_Arm.obj"));
    EXPECT_TRUE(fs::exists(show / "model/robot.imported"));
    // Files of the author's own, one of them named like the import's, and one the import wrote
    // that the author has since painted over.
    std::ofstream(show / "model/robot_Leg.obj") << "mine";
    std::ofstream(show / "tex/robot_mine.bmp") << "mine";

    // The model again, without its arm: the arm's mesh goes; everything else stays.
    writeGltf(source_.path() / "robot.gltf", robot(false));
    ImportRun again = import("robot.gltf");
    ASSERT_EQ(again.status, 0);
    EXPECT_TRUE(
        again.says("removed model/robot_Arm.obj (the earlier import of robot wrote it; this one does not)"))
        << ::testing::PrintToString(again.lines);
    EXPECT_EQ(filesUnder(show),
              (std::vector<std::string>{"model/robot.imported", "model/robot_Body.obj",
                                        "model/robot_Foot.obj", "model/robot_Leg.obj", "tex/robot_Paint.bmp",
                                        "tex/robot_Steel.bmp", "tex/robot_mine.bmp"}));
    EXPECT_EQ(fileText(show / "model/robot_Leg.obj"), "mine");
    const std::string record = fileText(show / "model/robot.imported");
    EXPECT_EQ(record.find("robot_Arm"), std::string::npos) << record;
    EXPECT_NE(record.find("model/robot_Foot.obj "), std::string::npos) << record;

    // A picture the import wrote and the author changed is left where it is, with a line.
    writeGltf(source_.path() / "robot.gltf", robot());
    ASSERT_EQ(import("robot.gltf").status, 0);
    std::ofstream(show / "model/robot_Arm.obj", std::ios::app) << "changed";
    TestGltf bare = robot(false);
    bare.materials.pop_back();
    bare.meshes[1].material = 0;
    bare.meshes[2].material = 0;
    writeGltf(source_.path() / "robot.gltf", bare);
    again = import("robot.gltf");
    ASSERT_EQ(again.status, 0);
    EXPECT_TRUE(again.says(
        "kept model/robot_Arm.obj: the earlier import of robot wrote it, but it has changed since"))
        << ::testing::PrintToString(again.lines);
    EXPECT_TRUE(again.says("removed tex/robot_Steel.bmp")) << ::testing::PrintToString(again.lines);
    EXPECT_TRUE(fs::exists(show / "model/robot_Arm.obj"));

    // A record that names files outside what an import writes is never followed there.
    // (Their sizes and checksums are right: only where they are keeps them.)
    std::ofstream(show / "model/robot.imported", std::ios::app)
        << "epicrealtimetest.xml 4 " << mineChecksum << "\nmodel/../epicrealtimetest.xml 4 " << mineChecksum
        << "\n";
    std::ofstream(show / "epicrealtimetest.xml") << "mine";
    ASSERT_EQ(import("robot.gltf").status, 0);
    EXPECT_EQ(fileText(show / "epicrealtimetest.xml"), "mine");
}

} // namespace
