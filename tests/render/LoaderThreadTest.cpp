// Registration from another thread while frames run, and what happens when a list's lock stays
// busy: the frame leaves the list out, a registration gives up, a removal waits.
#include "tests/render/GlTestSupport.h"

#include "engine/EngineRegistry.h"
#include "engine/loop/LoaderThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <thread>

namespace {

using Target = RendererGL::Target;
using namespace std::chrono_literals;

// Holds one of the renderer's list locks on its own thread until released.
class LockHolder {
public:
    explicit LockHolder(TimedLock& mutex) {
        thread_ = std::thread([this, &mutex] {
            std::unique_lock held(mutex);
            std::unique_lock lock(m_);
            holding_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return released_; });
        });
        std::unique_lock lock(m_);
        changed_.wait(lock, [&] { return holding_; });
    }
    ~LockHolder() { release(); }
    void release() {
        {
            std::lock_guard lock(m_);
            released_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

private:
    std::mutex m_;
    std::condition_variable changed_;
    bool holding_ = false;
    bool released_ = false;
    std::thread thread_;
};

class LockedListTest : public GlRendererTest {
protected:
    void SetUp() override {
        GlRendererTest::SetUp();
        ASSERT_EQ(open(), 0);
        renderer().setLockWaits(20ms, 40ms);
        quad_ = makeQuadMesh("quad");
        red_ = makeSolidMaterial("red", 255, 0, 0);
        ASSERT_EQ(renderer().addMesh(&quad_), 0);
        ASSERT_EQ(renderer().addMaterial(red_.get()), 0);
        plane_ = std::make_unique<Placed>(&quad_, "red", Vector{0, 0, 2}, Vector{2, 2, 1});
        ASSERT_EQ(renderer().addRenderInstance(&plane_->instance), 0);
        light_ = std::make_unique<PlacedLight>(0, Vector{0, 0, 0});
        ASSERT_EQ(renderer().addLight(&light_->record), 0);
        lookAlongZ({0, 0, -2});
        frame(); // everything made and drawn once
        ASSERT_GT(targetAt(Target::Lighting, Width / 2, Height / 2).sum(), 0.5f);
    }
    Rgb centre(Target target) { return targetAt(target, Width / 2, Height / 2); }

    Mesh quad_;
    std::unique_ptr<Material> red_;
    std::unique_ptr<Placed> plane_;
    std::unique_ptr<PlacedLight> light_;
};

TEST_F(LockedListTest, ABusyInstanceListLeavesTheGeometryOutOfThatFrameOnly) {
    {
        LockHolder busy(renderer().listLock(RendererGL::List::Instances));
        frame();
        EXPECT_EQ(litPixels(Target::Diffuse), 0);
        EXPECT_EQ(
            log().count("frame: the instances list stayed busy for 40 ms; it is left out of this frame"), 1);
    }
    frame();
    EXPECT_NEAR(centre(Target::Diffuse).r, 1.0f, 0.01f);
}

TEST_F(LockedListTest, ABusyLightListLeavesTheLightsOut) {
    {
        LockHolder busy(renderer().listLock(RendererGL::List::Lights));
        frame();
        EXPECT_EQ(centre(Target::Lighting).sum(), 0.0f);
        EXPECT_NEAR(centre(Target::Diffuse).r, 1.0f, 0.01f); // the geometry is still drawn
        EXPECT_EQ(log().count("frame: the lights list stayed busy"), 1);
    }
    frame();
    EXPECT_GT(centre(Target::Lighting).sum(), 0.5f);
}

TEST_F(LockedListTest, ABusyMaterialListDrawsWithNeutralTextures) {
    {
        LockHolder busy(renderer().listLock(RendererGL::List::Materials));
        frame();
        EXPECT_NEAR(centre(Target::Diffuse).sum(), 3.0f, 0.01f); // white, not red
    }
    frame();
    EXPECT_NEAR(centre(Target::Diffuse).g, 0.0f, 0.01f);
}

TEST_F(LockedListTest, ABusyMeshListLeavesTheGeometryOut) {
    LockHolder busy(renderer().listLock(RendererGL::List::Meshes));
    frame();
    EXPECT_EQ(litPixels(Target::Diffuse), 0);
}

TEST_F(LockedListTest, ARegistrationGivesUpWhenItsListStaysBusy) {
    Mesh other = makeQuadMesh("other");
    PlacedLight second(1, {0, 0, 0});
    auto green = makeSolidMaterial("red", 0, 255, 0);
    {
        LockHolder meshes(renderer().listLock(RendererGL::List::Meshes));
        LockHolder lights(renderer().listLock(RendererGL::List::Lights));
        LockHolder materials(renderer().listLock(RendererGL::List::Materials));
        EXPECT_EQ(renderer().addMesh(&other), -1);
        EXPECT_EQ(renderer().addLight(&second.record), -1);
        EXPECT_EQ(renderer().addMaterial(green.get()), -1);
        EXPECT_EQ(log().count("addMesh: the meshes list stayed busy for 20 ms; nothing was registered"), 1);
    }
    // Nothing of it was registered: no instance of the mesh, no newer material of the name.
    Placed instance(&other, "", {0, 0, 2});
    EXPECT_EQ(renderer().addRenderInstance(&instance.instance), -1);
    EXPECT_EQ(renderer().removeLight(&second.record), 1);
    frame();
    EXPECT_NEAR(centre(Target::Diffuse).r, 1.0f, 0.01f);
}

TEST_F(LockedListTest, ARemovalWaitsForItsListRatherThanGiveUp) {
    auto busy = std::make_unique<LockHolder>(renderer().listLock(RendererGL::List::Instances));
    auto removal =
        std::async(std::launch::async, [&] { return renderer().removeRenderInstance(&plane_->instance); });
    // Its caller frees the instance as soon as it returns, so it must outwait the holder.
    while (log().count("removeRenderInstance: the instances list has been busy for 20 ms; still waiting") ==
           0)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(removal.wait_for(0ms), std::future_status::timeout);
    busy.reset();
    EXPECT_EQ(removal.get(), 0);
    frame();
    EXPECT_EQ(litPixels(Target::Diffuse), 0);
}

// A loader thread registers and removes while the main thread renders; at the end the frame
// draws exactly what is still registered.
TEST_F(GlRendererTest, RegistrationFromALoaderThreadWhileFramesRun) {
    ASSERT_EQ(open(), 0);
    lookAlongZ({0, 0, -2});
    constexpr int Objects = 40;
    std::deque<Mesh> meshes;
    std::deque<std::unique_ptr<Material>> materials;
    std::deque<std::unique_ptr<Placed>> placed;
    std::deque<std::unique_ptr<PlacedLight>> lights;
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};

    std::thread loader([&] {
        for (int i = 0; i < Objects; ++i) {
            Mesh& mesh = meshes.emplace_back(makeQuadMesh("quad" + std::to_string(i)));
            if (renderer().addMesh(&mesh) != 0) ++failures;
            materials.push_back(makeSolidMaterial("m" + std::to_string(i), 0, 255, 0));
            if (renderer().addMaterial(materials.back().get()) != 0) ++failures;
            // Small quads in a grid of 8 x 5 over the picture; every other one is removed again.
            const float x = -1.05f + 0.3f * static_cast<float>(i % 8);
            const float y = -0.6f + 0.3f * static_cast<float>(i / 8);
            placed.push_back(std::make_unique<Placed>(&mesh, "m" + std::to_string(i), Vector{x, y, 2},
                                                      Vector{0.08f, 0.08f, 1}));
            if (renderer().addRenderInstance(&placed.back()->instance) != 0) ++failures;
            if (i % 10 == 0) {
                lights.push_back(std::make_unique<PlacedLight>(i, Vector{0, 0, 0}));
                if (renderer().addLight(&lights.back()->record) != 0) ++failures;
            }
            if (i % 2 == 1) {
                // As the registry does: remove, then free at once.
                if (renderer().removeRenderInstance(&placed.back()->instance) != 0) ++failures;
                placed.back().reset();
                if (renderer().removeMaterial(materials.back().get()) != 0) ++failures;
                materials.back().reset();
            }
            std::this_thread::sleep_for(1ms);
        }
        done = true;
    });
    int frames = 0;
    while (!done || frames < 3) {
        frame();
        ++frames;
    }
    loader.join();
    EXPECT_EQ(failures, 0);
    frame();
    // Twenty quads remain, each a few pixels of green.
    int drawn = 0;
    for (const auto& p : placed) {
        if (!p) continue;
        const auto at = pixelOf(p->position);
        if (targetAt(Target::Diffuse, at[0], at[1]).g > 0.9f) ++drawn;
    }
    EXPECT_EQ(drawn, Objects / 2);
    for (const auto& light : lights)
        EXPECT_NE(light->record.shadowCube, 0u);
}

// A vertex buffer the device refuses is reported once, and the mesh is dropped: its instances
// draw nothing, and it counts as never registered.
TEST_F(GlRendererTest, AVertexBufferTheDeviceRefusesIsReportedOnceAndItsMeshDropped) {
    ASSERT_EQ(open(), 0);
    lookAlongZ({0, 0, -2});
    Mesh quad = makeQuadMesh("quad");
    renderer().simulateDeviceFailures(RendererGL::DeviceObject::VertexBuffer, 1);
    EXPECT_EQ(renderer().addMesh(&quad), 0); // as for a device that made it
    Placed early(&quad, "", {0, 0, 2});
    ASSERT_EQ(renderer().addRenderInstance(&early.instance), 0);
    for (int i = 0; i < 3; ++i)
        frame();
    EXPECT_EQ(log().count("VertexBuffer creation failed"), 1);
    // The registration was logged as it happened; the refusal follows once.
    EXPECT_EQ(log().count("created vbuffer"), 1);
    EXPECT_EQ(early.instance.meshEntry, nullptr);
    EXPECT_EQ(litPixels(Target::Diffuse), 0);
    Placed late(&quad, "", {0, 0, 2});
    EXPECT_EQ(renderer().addRenderInstance(&late.instance), -1);
    EXPECT_EQ(renderer().releaseMesh(&quad), -1);
    EXPECT_EQ(renderer().removeRenderInstance(&early.instance), 0);

    // Offered again to a device that makes it, the mesh draws.
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    ASSERT_EQ(renderer().addRenderInstance(&late.instance), 0);
    frame();
    EXPECT_GT(litPixels(Target::Diffuse), 0);
    EXPECT_EQ(log().count("VertexBuffer creation failed"), 1);
}

// A shadow cube the device refuses fails addLight, on the thread that renders and on another.
TEST_F(GlRendererTest, AShadowCubeTheDeviceRefusesFailsAddLight) {
    ASSERT_EQ(open(), 0);
    PlacedLight refused(0, {0, 0, 0});
    PlacedLight accepted(1, {0, 0, 0});
    renderer().simulateDeviceFailures(RendererGL::DeviceObject::ShadowCube, 1);
    EXPECT_EQ(renderer().addLight(&refused.record), -1);
    EXPECT_EQ(refused.record.shadowCube, 0u);
    EXPECT_EQ(renderer().removeLight(&refused.record), 1); // never registered
    ASSERT_EQ(renderer().addLight(&accepted.record), 0);
    frame();
    EXPECT_NE(accepted.record.shadowCube, 0u);
    EXPECT_EQ(log().count("shadow cube creation failed"), 1);

    // From a loader thread the answer waits for a frame to make the cube.
    PlacedLight second(2, {0, 0, 0});
    PlacedLight third(3, {0, 0, 0});
    renderer().simulateDeviceFailures(RendererGL::DeviceObject::ShadowCube, 1);
    auto registration = std::async(std::launch::async, [&] {
        const int first = renderer().addLight(&second.record);
        return std::make_pair(first, renderer().addLight(&third.record));
    });
    while (registration.wait_for(0ms) != std::future_status::ready)
        frame();
    const auto [secondResult, thirdResult] = registration.get();
    EXPECT_EQ(secondResult, -1);
    EXPECT_EQ(thirdResult, 0);
    EXPECT_NE(third.record.shadowCube, 0u); // made before addLight returned
    EXPECT_EQ(renderer().removeLight(&second.record), 1);
    EXPECT_EQ(log().count("shadow cube creation failed"), 2);
}

// A registration waiting for a frame gives up when frames end.
TEST_F(GlRendererTest, ARegistrationWaitingForAFrameGivesUpWhenFramesEnd) {
    ASSERT_EQ(open(), 0);
    Mesh quad = makeQuadMesh("quad");
    ASSERT_EQ(renderer().addMesh(&quad), 0);
    PlacedLight light(0, {0, 0, 0});
    renderer().setLockWaits(1000ms, 3600s); // only framesEnded can end these waits
    auto registration = std::async(std::launch::async, [&] { return renderer().addLight(&light.record); });
    auto resources = std::async(std::launch::async, [&] { return renderer().waitForResources(3600 * 1000); });
    EXPECT_EQ(registration.wait_for(50ms), std::future_status::timeout);
    renderer().framesEnded();
    ASSERT_EQ(registration.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(registration.get(), -1);
    EXPECT_EQ(light.record.shadowCube, 0u);
    EXPECT_EQ(log().count("addLight: no frame is drawn to make the shadow cube; light 0 is not registered"),
              1);
    ASSERT_EQ(resources.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(resources.get(), -1); // the mesh is still to be made
}

// Without framesEnded, a wait ends once no frame has begun for the frame wait.
TEST_F(GlRendererTest, ARegistrationWaitsForAFrameNoLongerThanTheFrameWait) {
    ASSERT_EQ(open(), 0);
    renderer().setLockWaits(1000ms, 50ms);
    PlacedLight late(1, {0, 0, 0});
    EXPECT_EQ(std::async(std::launch::async, [&] { return renderer().addLight(&late.record); }).get(), -1);
    // On the thread that renders nothing waits: the cube is made there and then.
    EXPECT_EQ(renderer().addLight(&late.record), 0);
    EXPECT_NE(late.record.shadowCube, 0u);
}

// What an offline run does while it waits for the show: on the thread that renders, the wait
// makes everything at once, and answers a light registered from another thread, without a frame.
TEST_F(GlRendererTest, WaitingOnTheThreadThatRendersMakesEverythingWithoutAFrame) {
    ASSERT_EQ(open(), 0);
    lookAlongZ({0, 0, -2});
    Mesh quad = makeQuadMesh("quad");
    auto red = makeSolidMaterial("red", 255, 0, 0, 512, 512);
    auto green = makeSolidMaterial("green", 0, 255, 0, 512, 512);
    Placed left(&quad, "red", {-0.5f, 0, 2}, {0.3f, 0.3f, 1});
    Placed right(&quad, "green", {0.5f, 0, 2}, {0.3f, 0.3f, 1});
    PlacedLight light(0, {0, 0, 0});
    auto registration = std::async(std::launch::async, [&] {
        renderer().addMesh(&quad);
        renderer().addMaterial(red.get());
        renderer().addMaterial(green.get());
        renderer().addRenderInstance(&left.instance);
        renderer().addRenderInstance(&right.instance);
        return renderer().addLight(&light.record);
    });
    while (registration.wait_for(1ms) != std::future_status::ready)
        EXPECT_EQ(renderer().waitForResources(0), 0);
    EXPECT_EQ(registration.get(), 0);
    EXPECT_NE(light.record.shadowCube, 0u);
    EXPECT_EQ(renderer().waitForResources(0), 0);

    frame(); // the first frame has all of it
    const auto l = pixelOf(left.position);
    const auto r = pixelOf(right.position);
    EXPECT_NEAR(targetAt(Target::Diffuse, l[0], l[1]).r, 1.0f, 0.01f);
    EXPECT_NEAR(targetAt(Target::Diffuse, r[0], r[1]).g, 1.0f, 0.01f);
    EXPECT_GT(targetAt(Target::Lighting, l[0], l[1]).sum(), 0.5f);
}

// The loader thread starts the show only once the renderer has made everything the scene
// registered, so that the show's first frame has all of it.
TEST_F(GlRendererTest, TheShowStartsWithEverythingTheSceneRegisteredMadeOnTheDevice) {
    ASSERT_EQ(open(), 0);
    lookAlongZ({0, 0, -2});
    constexpr int Objects = 4;
    const uint8_t colours[Objects][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    Mesh quad = makeQuadMesh("quad");
    std::vector<std::unique_ptr<Material>> materials;
    std::vector<std::unique_ptr<Placed>> placed;
    for (int i = 0; i < Objects; ++i) {
        // Large enough that the device gets one of them a frame.
        const std::string name = "m" + std::to_string(i);
        materials.push_back(makeSolidMaterial(name, colours[i][0], colours[i][1], colours[i][2], 512, 512));
        placed.push_back(std::make_unique<Placed>(
            &quad, name, Vector{-0.75f + 0.5f * static_cast<float>(i), 0, 2}, Vector{0.2f, 0.2f, 1}));
    }
    PlacedLight light(0, {0, 0, 0});
    std::atomic<bool> registered{false};

    struct Show {
        Show() {
            EngineRegistry& r = engine();
            r.mainLoopStarted = true;
            r.mainLoopThread = std::this_thread::get_id();
            r.setPendingSceneFile("scene.xml");
        }
        ~Show() {
            engine().quitRequested = true;
            joinLoaderThread();
            setSceneLoadFunction(nullptr);
            resetEngineRegistry();
        }
    } show;
    EngineRegistry& r = engine();
    r.renderer = &renderer();
    setSceneLoadFunction([&](const std::string&) {
        // All at once, while no frame runs.
        renderer().addMesh(&quad);
        for (auto& material : materials)
            renderer().addMaterial(material.get());
        for (auto& p : placed)
            renderer().addRenderInstance(&p->instance);
        registered = true;
        renderer().addLight(&light.record);
        return 0;
    });
    startLoaderThread();
    while (!registered)
        std::this_thread::sleep_for(1ms);
    const auto limit = std::chrono::steady_clock::now() + 60s;
    while (!r.playing && std::chrono::steady_clock::now() < limit)
        frame();
    ASSERT_TRUE(r.playing);

    frame(); // the show's first frame
    for (int i = 0; i < Objects; ++i) {
        const auto at = pixelOf(placed[static_cast<size_t>(i)]->position);
        const Rgb c = targetAt(Target::Diffuse, at[0], at[1]);
        EXPECT_NEAR(c.r, colours[i][0] / 255.0f, 0.01f) << "object " << i;
        EXPECT_NEAR(c.g, colours[i][1] / 255.0f, 0.01f) << "object " << i;
        EXPECT_NEAR(c.b, colours[i][2] / 255.0f, 0.01f) << "object " << i;
    }
    EXPECT_NE(light.record.shadowCube, 0u);
    const auto first = pixelOf(placed[0]->position);
    EXPECT_GT(targetAt(Target::Lighting, first[0], first[1]).sum(), 0.5f);
}

} // namespace
