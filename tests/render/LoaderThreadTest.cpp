// Registration from another thread while frames run, and what happens when a list's lock stays
// busy: the frame leaves the list out, a registration gives up, a removal waits.
#include "tests/render/GlTestSupport.h"

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

} // namespace
