#include "actors/StageScripts.h"
#include "actors/EngineCamera.h"
#include "actors/MusicReactive.h"
#include "tests/actors/ActorTestHelpers.h"

#include "scene/AutomationPath.h"

#include <cmath>

namespace {

// ---- CubeFun ----

class CubeFunTest : public RegistryTest {
protected:
    void registerAssets() {
        mesh = registerMesh("eckig", 36);
        material = registerMaterial("metal4");
    }

    Mesh* mesh = nullptr;
    Material* material = nullptr;
};

TEST_F(CubeFunTest, BuildsItsCameraAndSixtyHiddenCubesFromTheRandomSequence) {
    registerAssets();
    std::vector<float> r;
    for (int i = 0; i < 6; ++i)
        r.push_back(nextRandom());
    resetRandomSeed();

    CubeFun cubes("Cubes");
    EngineCamera* camera = cubes.camera();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->name, "CubeCam");
    EXPECT_EQ(camera->Position, Vector(0.0f, 0.0f, 3.0f));
    EXPECT_EQ(camera->Rotation, Vector());
    EXPECT_EQ(findActor("CubeCam"), camera);

    ASSERT_EQ(cubes.cubes().size(), 60u);
    EXPECT_EQ(registry().objects.size(), 60u);
    EXPECT_EQ(renderer().instances().size(), 60u);
    for (const CubeFun::Cube& cube : cubes.cubes()) {
        EXPECT_EQ(cube.object->name, "bla");
        EXPECT_EQ(cube.object->mesh, mesh);
        EXPECT_EQ(cube.object->material, material);
        EXPECT_EQ(cube.object->Position, Vector(0.0f, 0.0f, 15.0f));
        EXPECT_EQ(cube.object->Scale, Vector(0.008f, 0.008f, 0.008f));
        EXPECT_EQ(cube.object->emissive, Vector(0.0f, 0.4f, 1.0f));
        ASSERT_NE(findRenderInstance(cube.object), nullptr);
        EXPECT_EQ(findRenderInstance(cube.object)->visible, 0);
        EXPECT_GE(cube.angularSpeed, 0.0f);
        EXPECT_LT(cube.angularSpeed, 2.0f);
        EXPECT_GE(cube.zSpeed, -2.0f);
        EXPECT_LT(cube.zSpeed, 6.0f);
        EXPECT_GE(cube.radius, 3.0f);
        EXPECT_LT(cube.radius, 5.0f);
    }
    const CubeFun::Cube& first = cubes.cubes()[0];
    EXPECT_EQ(first.angularSpeed, r[0] + 1.0f);
    EXPECT_EQ(first.zSpeed, r[1] * 4.0f + 2.0f);
    EXPECT_EQ(first.radius, r[2] + 4.0f);
    EXPECT_EQ(cubes.cubes()[1].angularSpeed, r[3] + 1.0f);
    EXPECT_EQ(cubes.cubes()[1].radius, r[5] + 4.0f);
}

TEST_F(CubeFunTest, WithoutItsAssetsTheCubesExistButAreNeverDrawn) {
    CubeFun cubes("Cubes");
    ASSERT_EQ(cubes.cubes().size(), 60u);
    EXPECT_EQ(cubes.cubes()[0].object->mesh, nullptr);
    EXPECT_TRUE(renderer().instances().empty());
    cubes.Trigger("activate");
    cubes.Update(16.0f);
}

TEST_F(CubeFunTest, ActivateShowsTheCubesThroughItsCamera) {
    registerAssets();
    CubeFun cubes("Cubes");
    cubes.Update(16.0f); // inactive: nothing moves, nothing is written
    EXPECT_EQ(cubes.cubes()[0].object->Position, Vector(0.0f, 0.0f, 15.0f));
    EXPECT_FALSE(filterParameter("distortParam2"));

    broadcastEvent("activate");
    EXPECT_EQ(registry().activeCamera.load(), cubes.camera());
    for (const CubeFun::Cube& cube : cubes.cubes())
        EXPECT_EQ(findRenderInstance(cube.object)->visible, 1);
    EXPECT_EQ(*filterParameter("distortParam1"), Vector());
    EXPECT_EQ(*filterParameter("distortParam2"), Vector(0.5f, 0.5f, 0.5f));
    cubes.Update(16.0f);
    EXPECT_EQ(*filterParameter("distortParam2"), Vector(0.7f, 0.7f, 0.7f));
    EXPECT_EQ(*filterParameter("distortParam1"), Vector());

    broadcastEvent("deactivate");
    EXPECT_FALSE(cubes.active());
    for (const CubeFun::Cube& cube : cubes.cubes())
        EXPECT_EQ(findRenderInstance(cube.object)->visible, 0);
}

TEST_F(CubeFunTest, CubesCircleAndFlyAndWrapAtMinusOne) {
    registerAssets();
    CubeFun cubes("Cubes");
    cubes.Trigger("activate");
    const CubeFun::Cube* backward = nullptr;
    const CubeFun::Cube* forward = nullptr;
    for (const CubeFun::Cube& cube : cubes.cubes()) {
        if (cube.zSpeed < -0.5f && !backward) backward = &cube;
        if (cube.zSpeed > 0.5f && !forward) forward = &cube;
    }
    ASSERT_NE(backward, nullptr);
    ASSERT_NE(forward, nullptr);

    cubes.Update(1000.0f);
    for (const CubeFun::Cube& cube : cubes.cubes()) {
        // The position uses the angle before this frame's turn.
        const float angle = cube.angle - cube.angularSpeed * 1.0f;
        EXPECT_NEAR(cube.object->Position.x, std::cos(angle) * cube.radius, 1e-4f);
        EXPECT_NEAR(cube.object->Position.y, std::sin(angle) * cube.radius, 1e-4f);
        EXPECT_VECTOR_NEAR(cube.object->Rotation, Vector(1.0f, 1.0f, 1.0f), 1e-6f);
    }

    // The backward cube reaches z < -1 and jumps to 13; the forward one keeps going.
    const float steps = std::ceil(16.0f / -backward->zSpeed) + 1.0f;
    bool wrapped = false;
    float forwardZ = forward->object->Position.z;
    for (int i = 0; i < static_cast<int>(steps); ++i) {
        const float before = backward->object->Position.z;
        cubes.Update(1000.0f);
        const float after = backward->object->Position.z;
        if (before + backward->zSpeed < -1.0f) {
            EXPECT_EQ(after, 13.0f);
            wrapped = true;
        } else {
            EXPECT_NEAR(after, before + backward->zSpeed, 1e-4f);
        }
        EXPECT_GT(forward->object->Position.z, forwardZ);
        forwardZ = forward->object->Position.z;
    }
    EXPECT_TRUE(wrapped);
}

TEST_F(CubeFunTest, NextStageColoursTheCubesAndBeatsMakeThemFlash) {
    registerAssets();
    CubeFun cubes("Cubes");
    cubes.Trigger("activate");
    broadcastEvent("nextstage");
    EXPECT_TRUE(cubes.stageTwo());
    const Vector colours[4] = {
        {0.0f, 0.4f, 1.0f}, {1.0f, 0.5f, 0.0f}, {0.1f, 1.0f, 0.2f}, {1.0f, 0.0f, 1.0f}};
    for (size_t k = 0; k < cubes.cubes().size(); ++k)
        EXPECT_EQ(cubes.cubes()[k].baseEmissive, colours[k % 4]) << k;

    cubes.OnBeat(0);
    cubes.Update(16.0f);
    EXPECT_EQ(cubes.cubes()[1].object->emissive, Vector(1.0f, 0.5f, 0.0f));
    EXPECT_EQ(cubes.cubes()[4].object->emissive, Vector(0.0f, 0.4f, 1.0f));
    // The flash decays by 0.93 per frame and drives the distortion.
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"), Vector(0.0f, 0.93f * 2.0f, 0.93f * 0.6f + 1.0f),
                       1e-6f);
    cubes.Update(16.0f);
    EXPECT_VECTOR_NEAR(cubes.cubes()[2].object->emissive, Vector(0.1f, 1.0f, 0.2f) * 0.94f, 1e-6f);
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"),
                       Vector(0.0f, 0.93f * 0.93f * 2.0f, 0.93f * 0.93f * 0.6f + 1.0f), 1e-6f);

    // "deactivate" ends stage two: a new "activate" starts without the beat distortion.
    cubes.Trigger("deactivate");
    EXPECT_FALSE(cubes.stageTwo());
}

TEST_F(CubeFunTest, BeforeTheNextStageBeatsOnlyPulseTheGlow) {
    registerAssets();
    CubeFun cubes("Cubes");
    cubes.Trigger("activate");
    cubes.OnBeat(0);
    cubes.Update(16.0f);
    EXPECT_EQ(cubes.cubes()[1].object->emissive, Vector(0.0f, 0.4f, 1.0f));
    EXPECT_EQ(*filterParameter("distortParam1"), Vector());
    cubes.Update(16.0f);
    EXPECT_VECTOR_NEAR(cubes.cubes()[1].object->emissive, Vector(0.0f, 0.4f, 1.0f) * 0.94f, 1e-6f);
}

// ---- EpicRealtimeHelper ----

class EpicRealtimeHelperTest : public RegistryTest {
protected:
    void registerAssets() {
        registerMesh("ding02", 9);
        registerMesh("Tunnel01", 6);
        registerMaterial("concrete");
        registerMaterial("stonewall");
    }
};

TEST_F(EpicRealtimeHelperTest, WithoutAllFourAssetsOnlyTheCameraAndTheFiltersRemain) {
    registerMesh("ding02", 9);
    registerMaterial("concrete");
    registerMaterial("stonewall");
    EpicRealtimeHelper helper("ERT");
    EngineCamera* camera = helper.camera();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->name, "ERTCam");
    EXPECT_EQ(findActor("ERTCam"), camera);
    EXPECT_EQ(camera->Position, Vector(0.0f, 0.3f, 3.0f));
    EXPECT_EQ(camera->Rotation, Vector(0.0f, 0.3f, 0.0f));
    EXPECT_EQ(helper.object(), nullptr);
    EXPECT_EQ(helper.floor(), nullptr);
    EXPECT_EQ(helper.pulsator(), nullptr);
    EXPECT_TRUE(registry().objects.empty());

    // It writes the distortion every frame, also before "activate".
    helper.Update(100.0f);
    EXPECT_EQ(*filterParameter("distortParam1"), Vector());
    EXPECT_VECTOR_NEAR(
        *filterParameter("distortParam2"),
        Vector(std::sin(100.0f * 0.0004f), std::sin(100.0f * 0.0009f), std::sin(100.0f * 0.0013f)), 1e-6f);
    for (uint32_t i = 0; i < 12; ++i)
        helper.OnBeat(0);
    helper.Trigger("nextstage2");
    helper.Trigger("activate");
    helper.OnBeat(0);
    EXPECT_EQ(registry().activeCamera.load(), camera);
    EXPECT_EQ(helper.beatCount(), 13u);
}

TEST_F(EpicRealtimeHelperTest, BuildsTheObjectTheFloorAndThePulsatorHidden) {
    registerAssets();
    EpicRealtimeHelper helper("ERT");
    entity_base* object = helper.object();
    entity_base* floor = helper.floor();
    ASSERT_NE(object, nullptr);
    ASSERT_NE(floor, nullptr);
    EXPECT_EQ(object->name, "EpicRealtimeDingens");
    EXPECT_EQ(object->Position, Vector(0.0f, -1.0f, 0.0f));
    EXPECT_EQ(object->Scale, Vector(0.02f, 0.02f, 0.02f));
    EXPECT_EQ(object->material, findMaterial("concrete"));
    // The pulsator deforms its own copy of "ding02".
    EXPECT_EQ(object->mesh, findMesh("ding02_copy"));
    EXPECT_EQ(floor->name, "EpicRealtimeBoden");
    EXPECT_EQ(floor->mesh, findMesh("Tunnel01"));
    EXPECT_EQ(floor->material, findMaterial("stonewall"));
    EXPECT_EQ(floor->Rotation, Vector(0.5f, 0.0f, 0.0f));
    EXPECT_EQ(floor->Scale, Vector(0.04f, 0.05f, 0.04f));
    EXPECT_EQ(findRenderInstance(object)->visible, 0);
    EXPECT_EQ(findRenderInstance(floor)->visible, 0);

    ObjectPulsator* pulsator = helper.pulsator();
    ASSERT_NE(pulsator, nullptr);
    EXPECT_EQ(pulsator->name, "ERTP");
    EXPECT_EQ(findActor("ERTP"), pulsator);
    EXPECT_EQ(pulsator->Params.x, 100.0f);
    EXPECT_EQ(pulsator->GetEntity(0), object);

    broadcastEvent("activate");
    EXPECT_EQ(registry().activeCamera.load(), helper.camera());
    EXPECT_EQ(findRenderInstance(object)->visible, 1);
    EXPECT_EQ(findRenderInstance(floor)->visible, 1);
    broadcastEvent("deactivate");
    EXPECT_EQ(findRenderInstance(object)->visible, 0);
    EXPECT_EQ(findRenderInstance(floor)->visible, 0);
}

TEST_F(EpicRealtimeHelperTest, BeatsDrawTheTintAndMoveTheObjectEveryEighthCall) {
    registerAssets();
    EpicRealtimeHelper helper("ERT");
    resetRandomSeed();
    std::vector<float> r;
    for (int i = 0; i < 11; ++i)
        r.push_back(nextRandom());
    resetRandomSeed();

    helper.OnBeat(0); // beat count 0: tint from three draws, then the position from a fourth
    EXPECT_EQ(helper.tint(), Vector(r[2] + 1.9f, r[1] + 1.8f, r[0] + 1.5f));
    EXPECT_EQ(helper.object()->Position, Vector(0.0f, r[3] - 1.0f, -r[3]));
    EXPECT_EQ(helper.pulse(), 1.0f);
    // A fifth value was drawn and discarded, so the next beat starts at the sixth.
    helper.OnBeat(0);
    EXPECT_EQ(helper.tint(), Vector(r[7] + 1.9f, r[6] + 1.8f, r[5] + 1.5f));
    EXPECT_EQ(helper.object()->Position, Vector(0.0f, r[3] - 1.0f, -r[3]));
    EXPECT_EQ(helper.beatCount(), 2u);
}

TEST_F(EpicRealtimeHelperTest, UpdateTurnsTheObjectByTheTintAndTheFloorInStageOne) {
    registerAssets();
    EpicRealtimeHelper helper("ERT");
    helper.OnBeat(0);
    const Vector tint = helper.tint();
    const Vector objectTurn = helper.object()->Rotation;
    helper.Update(100.0f);
    EXPECT_VECTOR_NEAR(helper.object()->Rotation, objectTurn + tint * 0.98f * 0.1f, 1e-6f);
    EXPECT_VECTOR_NEAR(*filterParameter("distortParam1"), Vector(2.82f, 0.94f * 2.1f, 2.82f), 1e-5f);
    EXPECT_EQ(helper.floor()->Rotation, Vector(0.5f, 0.0f, 0.0f));

    broadcastEvent("nextstage");
    EXPECT_TRUE(helper.stageOne());
    helper.Update(100.0f);
    EXPECT_NEAR(helper.floor()->Rotation.z, 0.1f, 1e-6f);
    // "activate" resets both stages.
    helper.Trigger("nextstage2");
    helper.Trigger("activate");
    EXPECT_FALSE(helper.stageOne());
    EXPECT_FALSE(helper.stageTwo());
    helper.Update(100.0f);
    EXPECT_NEAR(helper.floor()->Rotation.z, 0.1f, 1e-6f);
}

TEST_F(EpicRealtimeHelperTest, TheClockWrapsAfterFourHundredMilliseconds) {
    EpicRealtimeHelper helper("ERT");
    helper.Update(300.0f);
    EXPECT_EQ(helper.clock(), 300.0f);
    helper.Update(100.0f);
    EXPECT_EQ(helper.clock(), 400.0f);
    helper.Update(0.5f);
    EXPECT_EQ(helper.clock(), 0.0f);
    EXPECT_EQ(*filterParameter("distortParam2"), Vector());
}

TEST_F(EpicRealtimeHelperTest, InStageTwoBeatsDestroyOnZeroSixTwelveAndRestoreOnThreeNineFifteen) {
    registerAssets();
    EpicRealtimeHelper helper("ERT");
    ObjectPulsator* pulsator = helper.pulsator();
    ASSERT_NE(pulsator, nullptr);
    // Beats before the stage still count: the cycle follows the count from creation.
    for (int i = 0; i < 2; ++i)
        helper.OnBeat(0);
    helper.Trigger("activate"); // does not reset the count
    broadcastEvent("nextstage2");
    EXPECT_TRUE(helper.stageTwo());

    struct Seen {
        bool destroying;
        bool restoring;
    };
    std::vector<Seen> seen;
    for (uint32_t count = 2; count < 18; ++count) {
        ASSERT_EQ(helper.beatCount(), count);
        helper.OnBeat(0);
        seen.push_back({pulsator->destroying(), pulsator->restoring()});
    }
    // Beat counts 2..17: "restore" on 3, 9, 15; "destroy" on 6, 12.
    for (uint32_t count = 2; count < 18; ++count) {
        const Seen& s = seen[count - 2];
        const uint32_t phase = count % 6;
        SCOPED_TRACE(count);
        if (phase >= 3) {
            EXPECT_TRUE(s.restoring);
            EXPECT_FALSE(s.destroying);
        } else if (count >= 6) {
            EXPECT_TRUE(s.destroying);
            EXPECT_FALSE(s.restoring);
        } else {
            EXPECT_FALSE(s.destroying); // before the first "destroy" at 6 nothing was sent
            EXPECT_FALSE(s.restoring);
        }
    }
}

TEST_F(EpicRealtimeHelperTest, TheStageTwoCycleBlowsTheObjectApartAndBringsItBack) {
    registerAssets();
    EpicRealtimeHelper helper("ERT");
    ObjectPulsator* pulsator = helper.pulsator();
    const Mesh* source = findMesh("ding02");
    Mesh* copy = helper.object()->mesh;
    helper.Trigger("activate");
    helper.Trigger("nextstage2");
    auto spread = [&] {
        float worst = 0.0f;
        for (size_t i = 0; i < copy->positions.size(); ++i)
            worst = std::max(worst, (copy->positions[i] - source->positions[i]).length());
        return worst;
    };
    helper.OnBeat(0); // count 0: destroy
    for (int i = 0; i < 25; ++i) {
        helper.Update(1000.0f / 60.0f);
        pulsator->Update(1000.0f / 60.0f);
    }
    const float blown = spread();
    EXPECT_GT(blown, 1.0f);
    EXPECT_EQ(helper.object()->geometryChanged, 1);
    helper.OnBeat(0);
    helper.OnBeat(0);
    helper.OnBeat(0); // count 3: restore
    for (int i = 0; i < 95; ++i)
        pulsator->Update(1000.0f / 60.0f);
    EXPECT_FALSE(pulsator->restoring());
    EXPECT_LT(spread(), blown * 0.001f);
}

} // namespace
