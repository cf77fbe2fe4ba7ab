// `beatshow --new DIR`: the show it writes is complete, checks clean, looks at what it shows, and
// never overwrites anything.
#include "app/NewShow.h"
#include "actors/ActorFactory.h"
#include "actors/EngineCamera.h"
#include "app/SceneCheck.h"
#include "engine/loop/Startup.h"
#include "scene/loader/SceneLoader.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Where a point lands in the view of the renderer's camera: x and y about 0 at the picture's
// centre, z the distance ahead.
Vector inView(RecordingRenderer& renderer, EngineCamera& camera, const Vector& point) {
    camera.Update(0.0f);
    renderer.setCameraPosition(camera.Position.x, camera.Position.y, camera.Position.z);
    renderer.multiplyView(&camera.getRotationMatrix()->m[0][0]);
    return transformCoord(point, renderer.viewMatrix());
}

class NewShowTest : public RegistryTest {};

TEST_F(NewShowTest, ACameraPoseLooksFromItsEyeAtItsTarget) {
    const Vector eyes[] = {{0, 1, -6}, {4, 2, 3}, {-3, -1, 2}, {0.5f, 5, 0.2f}};
    const Vector targets[] = {{0, 0.4f, 0}, {1, 0, 0}, {0, 0, 10}};
    for (const Vector& eye : eyes)
        for (const Vector& target : targets) {
            const CameraPose pose = cameraLookingAt(eye, target);
            EXPECT_EQ(pose.position, Vector(-eye.x, -eye.y, -eye.z));
            EngineCamera camera("cam");
            camera.Position = pose.position;
            camera.Rotation = pose.rotation;
            const Vector v = inView(renderer(), camera, target);
            EXPECT_NEAR(v.x, 0.0f, 1e-4f);
            EXPECT_NEAR(v.y, 0.0f, 1e-4f);
            EXPECT_NEAR(v.z, (target - eye).length(), 1e-4f) << "ahead, at its distance";
        }
    // Looking along +z from the origin needs no turn at all; a target to the left (-x) a positive
    // yaw, one above a positive pitch.
    EXPECT_EQ(cameraLookingAt({0, 0, 0}, {0, 0, 5}).rotation, Vector(0, 0, 0));
    EXPECT_GT(cameraLookingAt({0, 0, 0}, {-1, 0, 5}).rotation.y, 0.0f);
    EXPECT_GT(cameraLookingAt({0, 0, 0}, {0, 1, 5}).rotation.x, 0.0f);
}

TEST_F(NewShowTest, WritesACompleteShowThatKeepsItsRingInViewAndChecksClean) {
    ScratchDirectory dir;
    const fs::path show = dir.path() / "first";
    std::vector<std::string> written;
    std::string error;
    ASSERT_TRUE(writeNewShow(show.string(), written, error)) << error;
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.front(), "epicrealtimetest.xml");
    for (const ShaderFileCheck& shader : showShaderFiles())
        EXPECT_TRUE(std::count(written.begin(), written.end(), shader.file)) << shader.file;
    for (const char* file : {"model/floor.obj", "model/torus.obj", "tex/checker.bmp", "tex/concrete.bmp",
                             "tex/concrete_normal.bmp", "audio/song.ogg"}) {
        EXPECT_TRUE(std::count(written.begin(), written.end(), file)) << file;
        EXPECT_GT(fs::file_size(show / file), 100u) << file;
    }
    for (const std::string& file : written)
        EXPECT_TRUE(fs::is_regular_file(show / file)) << file;

    {
        // Loaded as the show loads it, the camera keeps the ring in the middle of the picture while
        // it circles it, and the show ends before its song would start over.
        WorkingDirectory inShow(show);
        registerShowAssetKinds();
        ASSERT_EQ(loadScene(showSceneFile, &createActor), 0);
        auto* camera = dynamic_cast<EngineCamera*>(findActor("cam"));
        entity_base* ring = findObject("ring");
        ASSERT_NE(camera, nullptr);
        ASSERT_NE(ring, nullptr);
        for (float t = 0.0f; t < 11.5f; t += 0.5f) {
            registry().musicTime = t;
            runAutomationStep();
            const Vector v = inView(renderer(), *camera, ring->Position);
            EXPECT_GT(v.z, 1.0f) << t;
            EXPECT_LT(std::fabs(v.x / v.z), 0.05f) << t << ": the ring is off the middle sideways";
            EXPECT_LT(std::fabs(v.y / v.z), 0.05f) << t << ": the ring is off the middle upwards";
        }
        const std::vector<EventTrigger> events = registry().triggers.triggers();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().name, "exit");
        const double songSeconds = 7 * 240.0 / 141.0; // seven bars at 141 BPM
        EXPECT_LT(events.back().time, songSeconds);
        EXPECT_GT(events.back().time, 10.0f);
    }

    // The check finds nothing to fix (its shaders are the default show's, compiled by the
    // program's own tests).
    WorkingDirectory back(fs::current_path());
    resetEngineRegistry();
    resetProblems();
    EXPECT_EQ(runSceneCheck(show.string()), 0) << ::testing::PrintToString(log().lines());
}

TEST_F(NewShowTest, NeverWritesOverAnything) {
    ScratchDirectory dir;
    dir.write("epicrealtimetest.xml", std::string("<base>mine</base>"));
    std::vector<std::string> written;
    std::string error;
    EXPECT_FALSE(writeNewShow(dir.path().string(), written, error));
    EXPECT_NE(error.find(" is not empty; --new writes only into a new or empty folder"), std::string::npos)
        << error;
    EXPECT_TRUE(written.empty());
    std::ifstream in(dir.path() / "epicrealtimetest.xml");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "<base>mine</base>");
    EXPECT_FALSE(fs::exists(dir.path() / "model")) << "nothing else was written either";

    dir.write("afile", std::string("x"));
    EXPECT_FALSE(writeNewShow((dir.path() / "afile").string(), written, error));
    EXPECT_NE(error.find("is a file, not a folder"), std::string::npos);
}

} // namespace
