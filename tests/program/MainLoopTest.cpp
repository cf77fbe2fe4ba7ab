#include "engine/loop/MainLoop.h"
#include "actors/ActorFactory.h"
#include "actors/EngineCamera.h"
#include "engine/base/Log.h"
#include "engine/loop/SceneReload.h"
#include "engine/loop/Transport.h"
#include "scene/loader/SceneLoader.h"
#include "tests/program/ProgramTestSupport.h"
#include "tests/support/TestSupport.h"

#include <thread>

namespace {

class MainLoop : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        music = std::make_shared<ScriptedMusic>();
        registry().music.setBackend(music);
        registry().music.load("song.ogg");
        registry().music.play();
        engine().window->system = &system;
    }
    void TearDown() override {
        engine().window->system = nullptr;
        RegistryTest::TearDown();
    }
    void frame(double milliseconds, double musicPosition) {
        counter.advanceMilliseconds(milliseconds);
        music->positionSeconds = musicPosition;
        runFrame(timer);
    }

    std::shared_ptr<ScriptedMusic> music;
    ScriptedWindow system;
    ManualCounter counter;
    FrameTimer timer{counter};
};

TEST(BeatTest, FirstSixteenthOfEachBeatAt141Bpm) {
    EXPECT_TRUE(isBeatFrame(0.0f));
    EXPECT_TRUE(isBeatFrame(0.026f));  // inside the 26.6 ms window
    EXPECT_FALSE(isBeatFrame(0.027f)); // just after it
    EXPECT_FALSE(isBeatFrame(0.2f));
    const float beat = 60.0f / 141.0f;
    EXPECT_TRUE(isBeatFrame(beat * 3 + 0.001f));
    EXPECT_FALSE(isBeatFrame(beat * 3 - 0.001f));
    EXPECT_TRUE(isBeatFrame(beat * 200 + 0.01f));
    EXPECT_FALSE(isBeatFrame(-1.0f)); // an error position of the audio device
}

TEST_F(MainLoop, ActorsSeeThePreviousFrameTime) {
    JournalActor actor("a", nullptr);
    addActor(&actor);
    frame(40, 0.2);
    frame(16.5, 0.2);
    frame(20, 0.2);
    EXPECT_EQ(actor.updates, (std::vector<float>{0.0f, 40.0f, 16.5f}));
    EXPECT_EQ(registry().frameTime.load(), 20.0f);
}

TEST_F(MainLoop, OnBeatOnlyInTheBeatWindow) {
    JournalActor actor("a", nullptr);
    addActor(&actor);
    frame(10, 0.0);   // beat
    frame(10, 0.010); // beat window
    frame(10, 0.100); // no
    frame(10, 0.430); // next beat (0.4255 s) + 4.5 ms
    EXPECT_EQ(actor.beats, 3);
}

TEST_F(MainLoop, MusicTimeFollowsThePositionOnlyWhilePlaying) {
    frame(10, 5.0);
    EXPECT_EQ(registry().musicTime.load(), 0.0f);
    registry().playing = true;
    frame(10, 5.0);
    EXPECT_EQ(registry().musicTime.load(), 5.0f);
}

TEST_F(MainLoop, EventsUseThePreviousFramesMusicTime) {
    std::vector<std::string> journal;
    JournalActor actor("a", &journal);
    subscribeEvent(&actor, "go");
    addEventTrigger("go", 1.0f, nullptr);
    registry().playing = true;
    frame(10, 1.5); // musicTime was 0 when the events were checked
    EXPECT_TRUE(journal.empty());
    frame(10, 1.6);
    EXPECT_EQ(journal, (std::vector<std::string>{"a go"}));
}

TEST_F(MainLoop, FrameOrderIsCameraThenRender) {
    EngineCamera camera("cam");
    camera.Position = {1, 2, 3};
    registry().activeCamera = &camera;
    renderer().clearCalls();
    frame(10, 0.1);
    EXPECT_EQ(renderer().calls(), (std::vector<std::string>{"setCameraPosition", "multiplyView",
                                                            "setViewDirection", "renderFrame"}));
    EXPECT_EQ(renderer().cameraPosition(), Vector(-1, -2, -3));
    EXPECT_EQ(renderer().viewDirection(), Vector(0, 0, -1));
}

TEST_F(MainLoop, OneWindowMessagePerFrameAndEscapeEndsTheShow) {
    system.push({WindowMessage::KeyDown, 'A', 0});
    system.push({WindowMessage::KeyDown, VirtualKey::Escape, 0});
    frame(10, 0.1);
    EXPECT_FALSE(registry().quitRequested);
    EXPECT_TRUE(engine().window->typed.empty()); // drained every frame
    frame(10, 0.1);
    EXPECT_TRUE(registry().quitRequested);
}

TEST_F(MainLoop, MouseMotionNeverHoldsAKeyBack) {
    for (int i = 0; i < 40; ++i)
        system.push({WindowMessage::MouseMove, 0, (i << 16) | (2 * i)});
    system.push({WindowMessage::KeyDown, VirtualKey::Escape, 0});
    frame(10, 0.1);
    EXPECT_TRUE(registry().quitRequested) << "Escape waited behind the motion";
    EXPECT_EQ(engine().window->mouseX, 78);
    EXPECT_EQ(engine().window->mouseY, 39);
}

TEST_F(MainLoop, ClosingTheWindowEndsTheShow) {
    system.push({WindowMessage::Close, 0, 0});
    frame(10, 0.1);
    EXPECT_TRUE(registry().quitRequested);
}

TEST_F(MainLoop, AutomationFollowsMusicTime) {
    entity_base box("box");
    addAutomation(&box, "Position");
    PathPoint a, b;
    a.count = b.count = 3;
    b.time = 10;
    b.values = {10, 0, 0};
    findAutomation(&box, "Position")->addPoint(a);
    findAutomation(&box, "Position")->addPoint(b);
    registry().playing = true;
    frame(10, 5.0); // the step uses musicTime from before this frame: 0
    EXPECT_EQ(box.Position.x, 0.0f);
    frame(10, 6.0);
    EXPECT_EQ(box.Position.x, catmullRom(0, 0, 10, 10, 0.5f));
}

TEST_F(MainLoop, FullScreenRecentresTheCursorTwice) {
    engine().window->fullscreen = true;
    frame(10, 0.1);
    EXPECT_EQ(system.moves, (std::vector<std::pair<int, int>>{{960, 540}, {960, 540}}));
}

} // namespace

namespace {

TEST_F(MainLoop, PlayFromTheLoaderThreadReachesActorsOnTheMainThread) {
    std::vector<std::string> journal;
    JournalActor actor("a", &journal);
    addActor(&actor);
    registry().mainLoopThread = std::this_thread::get_id();
    registry().mainLoopStarted = true;
    std::thread loader([] { startPlayback(); });
    loader.join();
    EXPECT_TRUE(journal.empty());
    EXPECT_TRUE(registry().playing);
    frame(10, 0.1);
    EXPECT_EQ(journal, (std::vector<std::string>{"a update", "a play"}));
}

TEST_F(MainLoop, SeeksDoNotNoteTheScenesLoadProblemsAgain) {
    const std::string scene = "<base><scene></scene></base>"; // no meshes, lights, ...: problems
    rememberShowSceneBytes(scene);
    loadSceneFromBytes(scene, "show.xml", &createActor);
    const std::vector<std::string> noted = problemsNoted();
    ASSERT_FALSE(noted.empty());
    registry().playing = true;
    for (int seek = 0; seek < 3; ++seek) {
        bool moved = false;
        seekShow(0.0f, &moved);
        ASSERT_TRUE(moved);
    }
    EXPECT_EQ(problemsNoted(), noted);
}

} // namespace

namespace {

TEST(TransportBars, SeeksLandOnBarLines) {
    const double bar = transport::BarSeconds;
    EXPECT_DOUBLE_EQ(transport::barTarget(1.99 * bar, 1), 2 * bar); // on to the next line
    EXPECT_DOUBLE_EQ(transport::barTarget(2.01 * bar, 1), 3 * bar);
    EXPECT_DOUBLE_EQ(transport::barTarget(3.3 * bar, -1), 3 * bar);  // back to the bar's own start
    EXPECT_DOUBLE_EQ(transport::barTarget(3.01 * bar, -1), 2 * bar); // on its line: the one before
    EXPECT_DOUBLE_EQ(transport::barTarget(11.7 * bar, 8), 19 * bar);
    EXPECT_DOUBLE_EQ(transport::barTarget(11.7 * bar, -8), 4 * bar);
    EXPECT_DOUBLE_EQ(transport::barTarget(0.3 * bar, -8), 0.0); // never before the start
}

} // namespace
