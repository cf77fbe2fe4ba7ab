// A scene naming every actor class, loaded through the real loader: each class is built by its
// name, takes its parameters and children from the file, and the frame loop's calls reach it.
#include "actors/ActorFactory.h"
#include "actors/EngineCamera.h"
#include "actors/MusicReactive.h"
#include "actors/StageScripts.h"
#include "engine/base/OfflineClock.h"
#include "scene/AutomationPath.h"
#include "scene/loader/SceneLoader.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <set>

namespace {

class ActorScene : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        registerShowAssetKinds();
        assembleTestScene("actors", testDataDirectory(), dir.path());
        registry().music.setBackend(std::make_shared<OfflineAudioBackend>(clock, nullptr));
    }
    ScratchDirectory dir;
    OfflineClock clock{30};
};

TEST_F(ActorScene, EveryClassIsBuiltConfiguredAndRun) {
    WorkingDirectory cwd(dir.path());
    ASSERT_EQ(loadScene("epicrealtimetest.xml", &createActor), 0);
    EXPECT_TRUE(problemsNoted().empty()) << ::testing::PrintToString(problemsNoted());

    std::set<std::string> classes;
    for (Actor* actor : actorsSnapshot())
        classes.insert(actor->GetClassName());
    for (const std::string& name : knownActorClasses())
        EXPECT_TRUE(classes.count(name)) << name;

    auto* pulsator = dynamic_cast<ObjectPulsator*>(findActor("pulsator"));
    ASSERT_NE(pulsator, nullptr);
    EXPECT_EQ(pulsator->Params, Vector(50, 0, 0));
    EXPECT_EQ(pulsator->GetEntityCount(), 1);
    EXPECT_EQ(findObject("breakable")->mesh->name, "ball_copy");
    EXPECT_EQ(findRenderInstance(findObject("breakable"))->visible, 0);

    Actor* bouncer = findActor("bouncer");
    EXPECT_EQ(bouncer->Scale.x, 2.0f);
    EXPECT_EQ(bouncer->GetEntity(0), findObject("bouncy"));
    EXPECT_TRUE(log().contains("Adding Light: red to Actor: flicker"));
    EXPECT_EQ(findActor("flicker")->GetEntityCount(), 1);

    // The stage scripts found their assets: the tunnel built its object and pulsator.
    auto* tunnel = dynamic_cast<EpicRealtimeHelper*>(findActor("tunnel"));
    ASSERT_NE(tunnel, nullptr);
    EXPECT_NE(tunnel->object(), nullptr);
    EXPECT_NE(tunnel->pulsator(), nullptr);
    EXPECT_NE(findActor("CubeCam"), nullptr);
    EXPECT_NE(findActor("ERTCam"), nullptr);

    // Canvases of the four drawing actors, and the line figure's set, reached the renderer.
    EXPECT_EQ(renderer().canvases().size(), 4u);
    EXPECT_EQ(renderer().lineSets().size(), 1u);

    // Two frames' worth of calls run without complaint and the timed announcement draws.
    registry().playing = true;
    for (Actor* actor : actorsSnapshot())
        actor->Update(16.0f);
    registry().musicTime = 1.5f;
    fireDueEvents();
    for (Actor* actor : actorsSnapshot()) {
        actor->Update(16.0f);
        actor->OnBeat(0);
    }
    renderer().renderFrame(16.0f);
    const auto drawing = renderer().lastFrameDrawing();
    ASSERT_EQ(drawing.size(), 1u);
    EXPECT_EQ(drawing[0].type, DrawCommand::Text);
    EXPECT_EQ(static_cast<Actor*>(registry().activeCamera.load()), findActor("Cam1"));
}

} // namespace
