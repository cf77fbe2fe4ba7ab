#include "actors/MusicReactive.h"
#include "tests/actors/ActorTestHelpers.h"

#include "scene/AutomationPath.h"

#include <cmath>
#include <thread>

namespace {

class BassBouncerTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        BassBouncer::resetSharedBounceFactor();
    }
};

TEST_F(BassBouncerTest, KeepsAnyEntityInInsertionOrderAndRefusesNull) {
    BassBouncer bouncer("Bouncer");
    entity_base object("Box");
    Light light("Lamp");
    EXPECT_EQ(bouncer.AddEntity(nullptr), -1);
    EXPECT_EQ(bouncer.AddEntity(&object), 0);
    EXPECT_EQ(bouncer.AddEntity(&light), 0);
    EXPECT_EQ(bouncer.GetEntityCount(), 2);
    EXPECT_EQ(bouncer.GetEntity(0), &object);
    EXPECT_EQ(bouncer.GetEntity(1), &light);
    EXPECT_EQ(bouncer.GetEntity(2), nullptr);
    EXPECT_EQ(bouncer.GetEntity(-1), nullptr);
    EXPECT_EQ(bouncer.GetClassName(), "BassBouncer");
}

TEST_F(BassBouncerTest, WithoutEntriesStillDrivesTheSharedFactor) {
    BassBouncer bouncer("Alone");
    bouncer.Update(100.0f);
    EXPECT_NEAR(BassBouncer::sharedBounceFactor(), 0.95f, 1e-6f);
    // The decay stops once the factor is no longer above 0.8.
    for (int i = 0; i < 5; ++i)
        bouncer.Update(100.0f);
    const float floor = BassBouncer::sharedBounceFactor();
    EXPECT_LE(floor, 0.8f + 1e-6f);
    EXPECT_GT(floor, 0.75f);
    bouncer.Update(100.0f);
    EXPECT_EQ(BassBouncer::sharedBounceFactor(), floor);
    // 1363.6364 ms after the start the factor bounces to 1.1 and the timer restarts.
    bouncer.Update(1363.6364f - 700.0f - 1.0f);
    EXPECT_EQ(BassBouncer::sharedBounceFactor(), floor);
    bouncer.Update(1.0f);
    EXPECT_FLOAT_EQ(BassBouncer::sharedBounceFactor(), 1.1f);
    EXPECT_EQ(bouncer.timer(), 0.0f);
}

TEST_F(BassBouncerTest, EveryInstanceDecaysTheOneFactor) {
    BassBouncer a("A");
    BassBouncer b("B");
    a.Update(100.0f);
    b.Update(100.0f);
    EXPECT_NEAR(BassBouncer::sharedBounceFactor(), 0.9f, 1e-6f);
}

TEST_F(BassBouncerTest, ScalesFromTheSavedScaleAndSpinsWithItsOwnScale) {
    BassBouncer bouncer("Bouncer");
    entity_base object("Box");
    object.Scale = {2.0f, 4.0f, 8.0f};
    bouncer.AddEntity(&object);
    object.Scale = {100.0f, 100.0f, 100.0f}; // only the scale at AddEntity time counts

    bouncer.Update(100.0f);
    EXPECT_VECTOR_NEAR(object.Scale, Vector(2.0f, 4.0f, 8.0f) * 0.95f, 1e-5f);
    // The bouncer's own Scale is 0: no spin.
    EXPECT_EQ(object.Rotation, Vector());

    bouncer.Scale.x = 2.0f;
    bouncer.Update(100.0f);
    const float f = 0.9f;
    EXPECT_VECTOR_NEAR(object.Rotation, Vector(3.14f, 1.5f, -0.5f) * (0.0001f * f * 100.0f * 2.0f), 1e-6f);
}

TEST_F(BassBouncerTest, EntitiesCanBeAddedWhileTheMainThreadUpdates) {
    BassBouncer bouncer("Bouncer");
    std::vector<std::unique_ptr<entity_base>> objects;
    for (int i = 0; i < 200; ++i)
        objects.push_back(std::make_unique<entity_base>("o" + std::to_string(i)));
    std::thread loader([&] {
        for (auto& o : objects)
            bouncer.AddEntity(o.get());
    });
    for (int i = 0; i < 200; ++i)
        bouncer.Update(1.0f);
    loader.join();
    EXPECT_EQ(bouncer.GetEntityCount(), 200);
}

// ---- LightFlicker ----

class LightFlickerTest : public RegistryTest {};

TEST_F(LightFlickerTest, TakesOnlyLightsAndLogsTheirColour) {
    LightFlicker flicker("Flicker");
    entity_base object("Box");
    EXPECT_EQ(flicker.AddEntity(&object), -1);
    EXPECT_EQ(flicker.AddEntity(nullptr), -1);
    EXPECT_TRUE(log().lines().empty());
    EXPECT_EQ(flicker.GetEntityCount(), 0);

    Light lamp("Lamp");
    lamp.Color = {1.0f, 0.5f, 0.25f};
    EXPECT_EQ(flicker.AddEntity(&lamp), 0);
    EXPECT_EQ(log().lines(), std::vector<std::string>{"Lamp Color: { 1 , 0.5 , 0.25 }"});
    EXPECT_EQ(flicker.GetEntityCount(), 1);
    EXPECT_EQ(flicker.GetEntity(0), &lamp);
    EXPECT_EQ(flicker.GetEntity(1), nullptr);
}

TEST_F(LightFlickerTest, RunsThroughItsStatesOnRandomDurations) {
    std::vector<float> r;
    for (int i = 0; i < 4; ++i)
        r.push_back(nextRandom());
    resetRandomSeed();

    LightFlicker flicker("Flicker");
    Light lamp("Lamp");
    const Vector base(1.0f, 0.8f, 0.6f);
    lamp.Color = base;
    flicker.AddEntity(&lamp);

    flicker.Update(50.0f); // not playing yet
    EXPECT_EQ(flicker.entryState(0), LightFlicker::On);
    broadcastEvent("play");
    EXPECT_TRUE(flicker.playing());

    // A new light stays on for its first 10 ms.
    flicker.Update(10.0f);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::On);
    flicker.Update(1.0f);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::FadingOut);
    EXPECT_EQ(lamp.Color, base);

    const float fadeOut = (r[0] + 1.0f) * 60.0f;
    flicker.Update(fadeOut * 0.25f);
    EXPECT_VECTOR_NEAR(lamp.Color, base * 0.75f, 1e-4f);
    flicker.Update(fadeOut * 0.8f); // past the duration
    EXPECT_EQ(flicker.entryState(0), LightFlicker::Off);
    EXPECT_EQ(lamp.Color, Vector());

    const float off = (r[1] + 1.0f) * 300.0f;
    flicker.Update(off * 0.99f);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::Off);
    EXPECT_EQ(lamp.Color, Vector());
    flicker.Update(off * 0.02f);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::FadingIn);

    const float fadeIn = (r[2] + 1.0f) * 60.0f;
    flicker.Update(fadeIn * 0.5f);
    EXPECT_VECTOR_NEAR(lamp.Color, base * 0.5f, 1e-4f);
    flicker.Update(fadeIn);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::On);
    EXPECT_EQ(lamp.Color, base);

    const float on = (r[3] + 1.0f) * 150.0f;
    flicker.Update(on * 0.99f);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::On);
    flicker.Update(on * 0.02f);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::FadingOut);
}

TEST_F(LightFlickerTest, EveryEntryDrawsItsOwnDurationsInListOrder) {
    const float r0 = nextRandom();
    const float r1 = nextRandom();
    resetRandomSeed();
    LightFlicker flicker("Flicker");
    Light a("A"), b("B");
    a.Color = b.Color = {1.0f, 1.0f, 1.0f};
    flicker.AddEntity(&a);
    flicker.AddEntity(&b);
    flicker.Trigger("play");
    flicker.Update(11.0f); // both leave "on" in this frame: a draws first
    const float halfA = (r0 + 1.0f) * 60.0f * 0.5f;
    flicker.Update(halfA);
    EXPECT_NEAR(a.Color.x, 0.5f, 1e-4f);
    EXPECT_NEAR(b.Color.x, 1.0f - halfA / ((r1 + 1.0f) * 60.0f), 1e-4f);
}

TEST_F(LightFlickerTest, PauseTwiceResumesAndEachPauseRestoresTheBaseColour) {
    LightFlicker flicker("Flicker");
    Light lamp("Lamp");
    const Vector base(0.2f, 0.4f, 1.0f);
    lamp.Color = base;
    flicker.AddEntity(&lamp);
    broadcastEvent("play");
    flicker.Update(11.0f);
    flicker.Update(0.1f); // the first fade-out of the restarted sequence lasts about 0.6 ms
    ASSERT_EQ(flicker.entryState(0), LightFlicker::FadingOut);
    ASSERT_NE(lamp.Color, base);

    broadcastEvent("pause");
    EXPECT_FALSE(flicker.playing());
    EXPECT_EQ(lamp.Color, base);
    flicker.Update(5000.0f);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::FadingOut);
    EXPECT_EQ(lamp.Color, base);

    lamp.Color = Vector(); // a second pause restores again before resuming
    broadcastEvent("pause");
    EXPECT_TRUE(flicker.playing());
    EXPECT_EQ(lamp.Color, base);
    flicker.Update(5000.0f);
    EXPECT_EQ(flicker.entryState(0), LightFlicker::Off);
}

TEST_F(LightFlickerTest, StopRestoresAndHolds) {
    LightFlicker flicker("Flicker");
    Light lamp("Lamp");
    lamp.Color = {1.0f, 1.0f, 1.0f};
    flicker.AddEntity(&lamp);
    flicker.Trigger("play");
    flicker.Update(11.0f);
    flicker.Update(2000.0f);
    ASSERT_EQ(lamp.Color, Vector());
    broadcastEvent("stop");
    EXPECT_FALSE(flicker.playing());
    EXPECT_EQ(lamp.Color, Vector(1.0f, 1.0f, 1.0f));
    flicker.Update(5000.0f);
    EXPECT_EQ(lamp.Color, Vector(1.0f, 1.0f, 1.0f));
}

// ---- ObjectPulsator ----

class ObjectPulsatorTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        source = registerMesh("ding", 7); // two whole triangles and one vertex left over
        object.mesh = source;
        object.Scale = {1.0f, 1.0f, 1.0f};
        addObject(&object);
    }

    static float distance(const Mesh& a, const Mesh& b) {
        float worst = 0.0f;
        for (size_t i = 0; i < a.positions.size(); ++i)
            worst = std::max(worst, (a.positions[i] - b.positions[i]).length());
        return worst;
    }

    Mesh* source = nullptr;
    entity_base object{"Dingens"};
};

TEST_F(ObjectPulsatorTest, RefusesNullAndEntitiesWithoutMesh) {
    ObjectPulsator pulsator("P");
    EXPECT_EQ(pulsator.AddEntity(nullptr), -1);
    EXPECT_TRUE(log().lines().empty());
    entity_base bare("Bare");
    EXPECT_EQ(pulsator.AddEntity(&bare), -1);
    EXPECT_EQ(log().lines(), (std::vector<std::string>{"ObjectPulsator::AddEntity: Adding mesh Bare to P",
                                                       "ObjectPulsator::AddEntity: entity has no mesh"}));
    EXPECT_EQ(pulsator.GetEntityCount(), 0);
    EXPECT_EQ(pulsator.GetClassName(), "ObjectPulsator");
}

TEST_F(ObjectPulsatorTest, AddEntitySwapsInARegisteredHiddenCopy) {
    ObjectPulsator pulsator("P");
    RenderInstance* before = findRenderInstance(&object);
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(pulsator.AddEntity(&object), 0);
    EXPECT_EQ(log().lines(), std::vector<std::string>{"ObjectPulsator::AddEntity: Adding mesh Dingens to P"});

    Mesh* copy = object.mesh;
    ASSERT_NE(copy, source);
    EXPECT_EQ(copy->name, "ding_copy");
    EXPECT_EQ(copy->vertexCount, 7u);
    EXPECT_EQ(copy->positions, source->positions);
    EXPECT_EQ(copy->normals, source->normals);
    EXPECT_EQ(copy->tangents, source->tangents);
    EXPECT_EQ(copy->binormals, source->binormals);
    ASSERT_EQ(copy->texCoords.size(), source->texCoords.size());
    EXPECT_EQ(copy->texCoords[6].u, source->texCoords[6].u);
    EXPECT_EQ(findMesh("ding_copy"), copy);
    EXPECT_EQ(findMesh("ding"), source);

    // The object is registered again, on the copy, and hidden until the scene shows it.
    RenderInstance* instance = findRenderInstance(&object);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->mesh, copy);
    EXPECT_EQ(instance->visible, 0);
    const auto instances = renderer().instances();
    EXPECT_EQ(std::count(instances.begin(), instances.end(), instance), 1);
    EXPECT_EQ(renderer().callCount("removeRenderInstance"), 1);

    EXPECT_EQ(pulsator.GetEntityCount(), 1);
    EXPECT_EQ(pulsator.GetEntity(0), &object);
    EXPECT_EQ(pulsator.GetEntity(1), nullptr);
}

TEST_F(ObjectPulsatorTest, AMeshWithShortArraysIsNotCopied) {
    Mesh* broken = registerMesh("broken", 6);
    broken->positions.resize(4);
    entity_base shard("Shard");
    shard.mesh = broken;
    addObject(&shard);
    ObjectPulsator pulsator("P");
    EXPECT_EQ(pulsator.AddEntity(&shard), -1);
    EXPECT_TRUE(log().contains("ObjectPulsator::AddEntity: cannot copy mesh"));
    EXPECT_EQ(pulsator.GetEntityCount(), 0);
    EXPECT_EQ(shard.mesh, broken);
    EXPECT_EQ(findRenderInstance(&shard), nullptr);
}

TEST_F(ObjectPulsatorTest, IdlesUntilDestroyOrRestore) {
    ObjectPulsator pulsator("P");
    pulsator.AddEntity(&object);
    EXPECT_TRUE(pulsator.playing());
    const std::vector<Vector> start = object.mesh->positions;
    pulsator.Update(16.0f);
    EXPECT_EQ(object.mesh->positions, start);
    EXPECT_EQ(object.geometryChanged, 0);
    EXPECT_EQ(pulsator.timer(), 0.0f);
}

TEST_F(ObjectPulsatorTest, DestroyMovesWholeTrianglesAndFlagsTheUpload) {
    ObjectPulsator pulsator("P");
    pulsator.AddEntity(&object);
    setObjectVisible(&object, true);
    Mesh* copy = object.mesh;
    const std::vector<Vector> start = copy->positions;

    broadcastEvent("destroy");
    EXPECT_TRUE(pulsator.destroying());
    resetRandomSeed();
    const float r1 = nextRandom();
    const float r2 = nextRandom();
    const float r3 = nextRandom();
    const Vector d0 = Vector(r1, r2, r3).normalized();
    resetRandomSeed();
    pulsator.Update(10.0f);

    // Step length 100 / (Params.x * 0.0008 * timer + 1) * dt * 0.008 along a random direction.
    const float step = 100.0f / (1.0f * 0.0008f * 10.0f + 1.0f) * 10.0f * 0.008f;
    for (int v = 0; v < 3; ++v)
        EXPECT_VECTOR_NEAR(copy->positions[v] - start[v], d0 * step, 1e-3f);
    for (int v = 3; v < 6; ++v) {
        EXPECT_NEAR((copy->positions[v] - start[v]).length(), step, 1e-3f);
        EXPECT_VECTOR_NEAR(copy->positions[v] - start[v], copy->positions[3] - start[3], 1e-4f);
    }
    EXPECT_EQ(copy->positions[6], start[6]); // the odd vertex is never moved
    EXPECT_EQ(source->positions, makeNumberedMesh(7, "ding").positions) << "the source mesh stays unchanged";

    EXPECT_EQ(object.geometryChanged, 1);
    renderer().renderFrame(10.0f); // the renderer uploads the copy and clears the flag
    EXPECT_EQ(object.geometryChanged, 0);
}

TEST_F(ObjectPulsatorTest, TheExplosionSlowsDownFasterForALargerParamsX) {
    ObjectPulsator slow("Slow");
    slow.Params.x = 100.0f;
    slow.AddEntity(&object);
    slow.Trigger("destroy");
    slow.Update(1000.0f); // timer 1000: the step shrinks by 1 / (100 * 0.8 + 1)
    const float moved = (object.mesh->positions[0] - source->positions[0]).length();
    EXPECT_NEAR(moved, 100.0f / 81.0f * 1000.0f * 0.008f, 1e-3f);
}

TEST_F(ObjectPulsatorTest, ANegativeParamsXSpeedsTheExplosionUpAndOnlyTheCrossingOfZeroIsCapped) {
    // One frame of dt from a fresh "destroy": the triangle moves along the first random direction
    // by 100 / (Params.x x 0.0008 x dt + 1) x dt x 0.008.
    auto firstStep = [&](float paramsX, float dt) {
        ObjectPulsator pulsator("P");
        pulsator.Params.x = paramsX;
        pulsator.AddEntity(&object);
        pulsator.Trigger("destroy");
        const Vector before = object.mesh->positions[0];
        resetRandomSeed();
        pulsator.Update(dt);
        return object.mesh->positions[0] - before;
    };
    resetRandomSeed();
    const float r1 = nextRandom();
    const float r2 = nextRandom();
    const float r3 = nextRandom();
    const Vector direction = Vector(r1, r2, r3).normalized();
    auto along = [&](float divisor, float dt) { return direction * (100.0f / divisor * dt * 0.008f); };

    // Params.x = -1: the divisor falls from 1 through 0 at timer 1250 to -1 at 2500.
    const Vector faster = firstStep(-1.0f, 625.0f); // divisor 0.5: twice the speed
    EXPECT_VECTOR_NEAR(faster, along(0.5f, 625.0f), 1e-2f);
    const Vector nearTheBound = firstStep(-1.0f, 1230.0f); // divisor 0.016, as it is
    EXPECT_VECTOR_NEAR(nearTheBound, along(1.0f - 0.0008f * 1230.0f, 1230.0f), 1.0f);
    const Vector capped = firstStep(-1.0f, 1249.0f); // divisor 0.0008, held at 0.01
    EXPECT_VECTOR_NEAR(capped, along(ObjectPulsator::MinimumSlowdown, 1249.0f), 1.0f);
    const Vector turned = firstStep(-1.0f, 2500.0f); // divisor -1: back the other way
    EXPECT_VECTOR_NEAR(turned, along(-1.0f, 2500.0f), 1e-2f);
}

TEST_F(ObjectPulsatorTest, RestoreConvergesWithinASecondAndAHalfAndSwitchesOff) {
    ObjectPulsator pulsator("P");
    pulsator.AddEntity(&object);
    Mesh* copy = object.mesh;
    pulsator.Trigger("destroy");
    for (int i = 0; i < 60; ++i)
        pulsator.Update(1000.0f / 60.0f);
    const float blown = distance(*copy, *source);
    ASSERT_GT(blown, 20.0f);

    pulsator.Trigger("restore");
    EXPECT_FALSE(pulsator.destroying());
    EXPECT_TRUE(pulsator.restoring());
    float elapsed = 0.0f;
    int frames = 0;
    while (pulsator.restoring() && frames < 1000) {
        pulsator.Update(1000.0f / 60.0f);
        elapsed += 1000.0f / 60.0f;
        ++frames;
    }
    EXPECT_FALSE(pulsator.restoring());
    EXPECT_GE(elapsed, 1500.0f - 1e-2f);
    EXPECT_LT(elapsed, 1500.0f + 1000.0f / 60.0f);
    EXPECT_LT(distance(*copy, *source), blown * 0.001f);

    // Off means off: nothing moves any more.
    const std::vector<Vector> settled = copy->positions;
    object.geometryChanged = 0;
    pulsator.Update(16.0f);
    EXPECT_EQ(copy->positions, settled);
    EXPECT_EQ(object.geometryChanged, 0);
}

TEST_F(ObjectPulsatorTest, ALongFrameWhileRestoringLandsOnTheSourceInsteadOfOvershooting) {
    ObjectPulsator pulsator("P");
    pulsator.AddEntity(&object);
    pulsator.Trigger("destroy");
    pulsator.Update(100.0f);
    pulsator.Trigger("restore");
    pulsator.Update(3000.0f);
    EXPECT_FALSE(pulsator.restoring());
    EXPECT_LT(distance(*object.mesh, *source), 1e-3f);
}

TEST_F(ObjectPulsatorTest, ARestoreStepOvershootsBelowFourHundredMillisecondsAndLandsFromThereOn) {
    // From the origin, one step of dt reaches a x source with a = dt x 0.005.
    auto stepFromOrigin = [&](float dt) {
        Mesh copy = makeNumberedMesh(7, "ding_copy");
        for (Vector& p : copy.positions)
            p = Vector();
        ObjectPulsator::restoreStep(&copy, dt);
        return copy.positions[6];
    };
    const Vector target = source->positions[6];
    EXPECT_VECTOR_NEAR(stepFromOrigin(100.0f), target * 0.5f, 1e-2f);
    EXPECT_VECTOR_NEAR(stepFromOrigin(300.0f), target * 1.5f, 1e-2f);   // past the source, still closing in
    EXPECT_VECTOR_NEAR(stepFromOrigin(399.0f), target * 1.995f, 1e-2f); // the last frame that does
    EXPECT_EQ(stepFromOrigin(400.0f), target);                          // would never settle: lands
    EXPECT_EQ(stepFromOrigin(5000.0f), target);                         // would fly apart: lands
}

TEST_F(ObjectPulsatorTest, RestoreStepNeedsACopyNameAndARegisteredSource) {
    Mesh orphan = makeNumberedMesh(3, "lost_copy");
    const std::vector<Vector> before = orphan.positions;
    ObjectPulsator::restoreStep(&orphan, 100.0f);
    EXPECT_EQ(orphan.positions, before);

    Mesh plain = makeNumberedMesh(3, "ding");
    plain.positions[0] = Vector();
    ObjectPulsator::restoreStep(&plain, 100.0f);
    EXPECT_EQ(plain.positions[0], Vector());

    // The source is the name up to the first "_copy": a copy of a copy finds the original.
    Mesh twice = makeNumberedMesh(7, "ding_copy_copy");
    for (Vector& p : twice.positions)
        p = Vector();
    ObjectPulsator::restoreStep(&twice, 100.0f); // a = 0.5
    EXPECT_VECTOR_NEAR(twice.positions[6], source->positions[6] * 0.5f, 1e-3f);
}

TEST_F(ObjectPulsatorTest, PauseFreezesAndStopTakesOneSmallRestoreStep) {
    ObjectPulsator pulsator("P");
    pulsator.AddEntity(&object);
    pulsator.Trigger("destroy");
    pulsator.Update(100.0f);
    broadcastEvent("pause");
    EXPECT_FALSE(pulsator.playing());
    const std::vector<Vector> frozen = object.mesh->positions;
    pulsator.Update(100.0f);
    EXPECT_EQ(object.mesh->positions, frozen);
    broadcastEvent("pause");
    EXPECT_TRUE(pulsator.playing());

    object.geometryChanged = 0;
    const Vector before = object.mesh->positions[0];
    broadcastEvent("stop");
    EXPECT_FALSE(pulsator.destroying());
    EXPECT_FALSE(pulsator.playing());
    EXPECT_EQ(pulsator.timer(), 0.0f);
    EXPECT_EQ(object.geometryChanged, 1);
    EXPECT_VECTOR_NEAR(object.mesh->positions[0], source->positions[0] * 0.005f + before * 0.995f, 1e-3f);
    // A later "destroy" does nothing until "play".
    pulsator.Trigger("destroy");
    const std::vector<Vector> stopped = object.mesh->positions;
    pulsator.Update(100.0f);
    EXPECT_EQ(object.mesh->positions, stopped);
    broadcastEvent("play");
    pulsator.Update(100.0f);
    EXPECT_NE(object.mesh->positions, stopped);
}

TEST_F(ObjectPulsatorTest, PlayFromTheLoaderThreadWhileTheMainThreadUpdates) {
    ObjectPulsator pulsator("P");
    pulsator.AddEntity(&object);
    pulsator.Trigger("destroy");
    std::thread loader([] {
        for (int i = 0; i < 100; ++i)
            broadcastEvent("play");
    });
    for (int i = 0; i < 100; ++i)
        pulsator.Update(1.0f);
    loader.join();
    EXPECT_TRUE(pulsator.playing());
}

} // namespace
