#include "engine/loop/Startup.h"
#include "actors/EngineCamera.h"
#include "app/RunControl.h"
#include "engine/base/OfflineClock.h"
#include "engine/loop/LoaderThread.h"
#include "tests/program/ProgramTestSupport.h"
#include "tests/support/TestSupport.h"

#include <algorithm>

namespace {

// Keeps what the renderer saw after the program has destroyed it.
std::vector<std::string> lastRendererCalls;

class KeptRecordingRenderer : public RecordingRenderer {
public:
    explicit KeptRecordingRenderer(int initializeResult = 0) : result_(initializeResult) {}
    ~KeptRecordingRenderer() override { lastRendererCalls = calls(); }
    int initialize(Viewport* window) override {
        RecordingRenderer::initialize(window);
        return result_;
    }

private:
    int result_;
};

class Startup : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        lastRendererCalls.clear();
        services.openWindow = [this](const std::string& title, unsigned, unsigned, bool fullscreen) {
            openedTitle = title;
            openedFullscreen = fullscreen;
            auto window = std::make_unique<ScriptedWindow>();
            openedWindow = window.get(); // alive until the loop has ended
            return std::unique_ptr<SystemWindow>(std::move(window));
        };
        services.makeRenderer = [this] { return std::make_unique<KeptRecordingRenderer>(rendererResult); };
        services.timer = &timer;
        services.random = [] { return 3; };
    }
    void TearDown() override {
        setSceneLoadFunction(nullptr);
        RegistryTest::TearDown();
    }

    // A scene with one actor and an exit event at `exitTime`.
    void useScene(float exitTime, std::vector<std::string>* journal) {
        setSceneLoadFunction([this, exitTime, journal](const std::string& file) {
            loadedFiles.push_back(file);
            auto* actor = keepAlive(std::make_unique<JournalActor>("actor", journal));
            subscribeEvent(actor, "hello");
            addActor(actor);
            auto* camera = keepAlive(std::make_unique<EngineCamera>("SceneCam"));
            addActor(camera);
            makeCameraCurrent(camera);
            addEventTrigger("hello", exitTime / 2, nullptr);
            addEventTrigger("exit", exitTime, nullptr);
            return 0;
        });
    }

    std::vector<std::string> runOffline(double fps, float exitTime) {
        OfflineClock clock(fps);
        timer.useCounter(clock.counter());
        services.audio = std::make_shared<OfflineAudioBackend>(clock, nullptr);
        ProgramOptions options;
        options.offlineFps = fps;
        RunControl control(options, &clock, nullptr, nullptr);
        services.observer = &control;
        std::vector<std::string> journal;
        useScene(exitTime, &journal);
        ScratchDirectory dir;
        dir.write("soundtrack.ogg", std::string("OggS"));
        WorkingDirectory cwd(dir.path());
        EXPECT_EQ(engineMain("beatshow ", options, services), 0);
        frames = control.framesRun();
        return log().lines();
    }

    EngineServices services;
    ManualCounter counter;
    FrameTimer timer{counter};
    int rendererResult = 0;
    std::string openedTitle;
    bool openedFullscreen = false;
    ScriptedWindow* openedWindow = nullptr;
    std::vector<std::string> loadedFiles;
    long long frames = 0;
};

TEST_F(Startup, OfflineShowRunsToItsExitEvent) {
    const auto lines = runOffline(30, 2.0f);
    EXPECT_EQ(loadedFiles, std::vector<std::string>{"epicrealtimetest.xml"});
    EXPECT_EQ(openedTitle, "default");
    EXPECT_TRUE(openedFullscreen);
    // The exit event at 2 s comes due in the first frame whose stored music time reaches it.
    EXPECT_GE(frames, 60);
    EXPECT_LE(frames, 63);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Triggering Event: hello 1"), lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Cannot load music"), 0);
    EXPECT_EQ(registry().renderer, nullptr); // released at the end
    EXPECT_EQ(lastRendererCalls.front(), "initialize");
    EXPECT_EQ(lastRendererCalls[1], "setFilterChain");
    EXPECT_EQ(lastRendererCalls.back(), "destroy");
    // The loading label came and went around the load.
    EXPECT_EQ(std::count(lastRendererCalls.begin(), lastRendererCalls.end(), "addTextLabel"), 1);
    EXPECT_EQ(std::count(lastRendererCalls.begin(), lastRendererCalls.end(), "removeTextLabel"), 1);
}

TEST_F(Startup, OfflineRunsAreRepeatable) {
    const auto first = runOffline(25, 1.0f);
    const long long firstFrames = frames;
    resetEngineRegistry();
    registry().window = nullptr;
    log().clear();
    const auto second = runOffline(25, 1.0f);
    EXPECT_EQ(first, second);
    EXPECT_EQ(firstFrames, frames);
}

TEST_F(Startup, FailedRendererStopsStartUp) {
    rendererResult = -2;
    ProgramOptions options;
    EXPECT_EQ(engineMain("beatshow ", options, services), -1);
    EXPECT_TRUE(log().contains("add vport failed -2"));
    ASSERT_FALSE(lastRendererCalls.empty());
    EXPECT_EQ(lastRendererCalls.back(), "destroy");
    EXPECT_TRUE(loadedFiles.empty());
}

TEST_F(Startup, MissingMusicIsReportedAndTheShowGoesOn) {
    auto music = std::make_shared<ScriptedMusic>();
    music->exists = false;
    services.audio = music;
    ProgramOptions options;
    options.windowed = true;
    options.frameLimit = 3;
    RunControl control(options, nullptr, nullptr, nullptr);
    services.observer = &control;
    useScene(1000.0f, nullptr);
    EXPECT_EQ(engineMain("beatshow ", options, services), 0);
    EXPECT_FALSE(openedFullscreen);
    EXPECT_TRUE(log().contains("Cannot load music"));
    EXPECT_EQ(music->opened, std::vector<std::string>{"soundtrack.ogg"});
    EXPECT_EQ(control.framesRun(), 3);
}

TEST_F(Startup, LoadingLabelSitsLeftOfTheCentre) {
    ProgramOptions options;
    options.frameLimit = 1;
    RunControl control(options, nullptr, nullptr, nullptr);
    services.observer = &control;
    useScene(1000.0f, nullptr);
    engineMain("beatshow ", options, services);
    ASSERT_NE(registry().loadingLabel, nullptr);
    EXPECT_EQ(registry().loadingLabel->x, 660);
    EXPECT_EQ(registry().loadingLabel->y, 540);
    EXPECT_EQ(registry().loadingLabel->fontChoice, 1);
    EXPECT_EQ(registry().loadingLabel->text.size(), 80u);
}

// What start-up leaves for the loop, seen from inside it: ends the loop after a few frames.
class StartupProbe : public FrameObserver {
public:
    explicit StartupProbe(ScriptedWindow*& window) : window_(window) {}
    void afterFrame(double) override {
        EngineRegistry& r = engine();
        cursorHiddenInEveryFrame = cursorHiddenInEveryFrame && window_ && !window_->cursorVisible;
        EngineCamera* active = r.activeCamera;
        activeCameras.push_back(active ? active->name : "none");
        if (++frames == 3) r.quitRequested = true;
    }
    bool cursorHiddenInEveryFrame = true;
    std::vector<std::string> activeCameras;
    int frames = 0;

private:
    ScriptedWindow*& window_;
};

TEST_F(Startup, SetsUpAssetKindsEditorCameraAndCursorAndShutsTheRendererDownBeforeDestroyingIt) {
    setSceneLoadFunction([](const std::string&) { return 0; }); // a scene without a camera
    StartupProbe probe(openedWindow);
    services.observer = &probe;
    ProgramOptions options;
    ASSERT_EQ(engineMain("beatshow ", options, services), 0);

    const AssetStore& assets = registry().assets;
    EXPECT_EQ(assets.pathFor("stone", AssetKindBitmap), platformPath("tex\\stone.bmp"));
    EXPECT_EQ(assets.pathFor("cube", AssetKindMesh), platformPath("model\\cube.obj"));
    EXPECT_EQ(assets.pathFor("song", AssetKindMusic), platformPath("audio\\song.ogg"));

    EngineCamera* editor = registry().editorCamera;
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->name, "EditorCam");
    EXPECT_EQ(registry().activeCamera.load(), editor);
    EXPECT_EQ(probe.activeCameras, (std::vector<std::string>{"EditorCam", "EditorCam", "EditorCam"}));
    EXPECT_TRUE(probe.cursorHiddenInEveryFrame);

    ASSERT_GE(lastRendererCalls.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lastRendererCalls.end() - 2, lastRendererCalls.end()),
              (std::vector<std::string>{"shutdown", "destroy"}));
    EXPECT_EQ(std::count(lastRendererCalls.begin(), lastRendererCalls.end(), "shutdown"), 1);
}

} // namespace
