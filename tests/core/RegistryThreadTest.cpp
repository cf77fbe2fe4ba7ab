// The loader thread fills the registry while the main thread runs frames; these tests do the
// same from two threads, and the thread-sanitizer build runs them to prove the hand-over safe.
#include "render/Mesh.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <thread>

namespace {

class TickingActor : public Actor {
public:
    using Actor::Actor;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "TickingActor"; }
    void Update(float) override { updates.fetch_add(1, std::memory_order_relaxed); }
    void Trigger(const std::string&) override { triggers.fetch_add(1, std::memory_order_relaxed); }
    std::atomic<int> updates{0};
    std::atomic<int> triggers{0};
};

class RegistryThreads : public RegistryTest {};

TEST_F(RegistryThreads, LoaderAddsWhileTheMainLoopWalks) {
    constexpr int count = 200;
    auto* mesh = new Mesh(makeNumberedMesh(3, "m"));
    addMesh(mesh);
    registry().playing = true;
    std::atomic<bool> loaderDone{false};

    std::thread loader([&] {
        for (int i = 0; i < count; ++i) {
            auto* actor = keepAlive(std::make_unique<TickingActor>("actor" + std::to_string(i)));
            subscribeEvent(actor, "tick");
            addActor(actor);
            auto* object = keepAlive(std::make_unique<entity_base>("object" + std::to_string(i)));
            object->mesh = mesh;
            addObject(object);
            auto* light = keepAlive(std::make_unique<Light>("light" + std::to_string(i)));
            addLight(light);
            addAutomation(actor, "Position");
            AutomationPath* path = findAutomation(actor, "Position");
            for (int k = 0; k < 4; ++k) {
                PathPoint p;
                p.time = static_cast<float>(k) * 1000.0f;
                p.count = 3;
                p.values = {static_cast<float>(k), 0, 0};
                path->addPoint(p);
            }
            addEventTrigger("tick", 0.001f * static_cast<float>(i + 1), nullptr);
        }
        loaderDone = true;
    });

    int frames = 0;
    while (!loaderDone || frames < 10) {
        for (Actor* actor : actorsSnapshot())
            actor->Update(1.0f);
        registry().musicTime = 0.001f * static_cast<float>(frames);
        runAutomationStep();
        fireDueEvents();
        findObject("object0");
        findLight("light0");
        ++frames;
    }
    loader.join();
    registry().musicTime = 10.0f;
    fireDueEvents();

    EXPECT_EQ(actorsSnapshot().size(), static_cast<size_t>(count));
    EXPECT_NE(findObject("object199"), nullptr);
    EXPECT_NE(findLight("light199"), nullptr);
    EXPECT_EQ(renderer().instances().size(), static_cast<size_t>(count));
    auto* last = static_cast<TickingActor*>(findActor("actor199"));
    ASSERT_NE(last, nullptr);
    // Every actor has received its own trigger plus all later ones: actor i was subscribed
    // before trigger i + 1 was added, and triggers fire once each.
    EXPECT_GE(last->triggers.load(), 1);
    EXPECT_EQ(registry().triggers.lastEventTime(), 0.001f * count);
}

TEST_F(RegistryThreads, LogLinesFromBothThreadsStayWhole) {
    std::thread loader([] {
        for (int i = 0; i < 300; ++i)
            loadMesh("missing" + std::to_string(i));
    });
    for (int i = 0; i < 300; ++i)
        logStream << "frame " << i << std::endl;
    loader.join();
    EXPECT_EQ(log().count("frame "), 300);
    EXPECT_EQ(log().count("Cannot load file missing"), 300);
}

} // namespace
