#include "engine/loop/Startup.h"
#include "actors/EngineCamera.h"
#include "app/RunControl.h"
#include "engine/base/OfflineClock.h"
#include "engine/loop/LoaderThread.h"
#include "tests/program/ProgramTestSupport.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdio>

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

// Journals every frame's music time and the events it has had so far: the state a replay must
// reach exactly.
class PassProbe : public Actor {
public:
    explicit PassProbe(std::vector<std::string>* journal) : Actor("probe"), journal_(journal) {}
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "PassProbe"; }
    void Update(float) override {
        char line[64];
        std::snprintf(line, sizeof line, "%.5f %d", static_cast<double>(engine().musicTime.load()), events_);
        journal_->push_back(line);
    }
    void Trigger(const std::string&) override { ++events_; }

private:
    std::vector<std::string>* journal_;
    int events_ = 0;
};

// An offline run at 30 frames a second of a scene whose song loops every 2 s, from `start` to
// show time `until` (at most 400 frames).
struct LoopedRun {
    int status = 0;
    long long frames = 0;
    std::vector<std::string> journal;
    std::vector<std::string> log;
    int framesDrawn = 0;
};

class LoopedSong : public Startup {
protected:
    LoopedRun run(float start, float until, std::vector<std::pair<std::string, float>> events,
                  std::vector<double> shots = {}) {
        LoopedRun result;
        OfflineClock clock(30.0);
        timer.useCounter(clock.counter());
        services.audio = std::make_shared<OfflineAudioBackend>(clock, [](const std::string&) { return 2.0; });
        ProgramOptions options;
        options.offlineFps = 30.0;
        options.untilSeconds = until;
        options.frameLimit = 400;
        options.shotTimes = shots;
        registry().startTime = start;
        registry().replayFramesPerSecond = 30.0;
        RunControl control(
            options, &clock,
            [](std::vector<uint8_t>& rgb, int& width, int& height) {
                rgb.assign(3, 0);
                width = height = 1;
                return true;
            },
            [](const std::string&, const std::vector<uint8_t>&, int, int) { return true; });
        services.observer = &control;
        setSceneLoadFunction([&result, events](const std::string&) {
            auto* probe = keepAlive(std::make_unique<PassProbe>(&result.journal));
            for (const auto& [name, time] : events) {
                subscribeEvent(probe, name);
                addEventTrigger(name, time, nullptr);
            }
            addActor(probe);
            return 0;
        });
        ScratchDirectory dir;
        dir.write("soundtrack.ogg", std::string("OggS"));
        WorkingDirectory cwd(dir.path());
        result.status = engineMain("beatshow ", options, services);
        result.frames = control.framesRun();
        result.log = log().lines();
        result.framesDrawn =
            static_cast<int>(std::count(lastRendererCalls.begin(), lastRendererCalls.end(), "renderFrame"));
        return result;
    }
};

TEST_F(LoopedSong, AnExitInTheSongsLastFrameEndsTheShowAtTheLoopPoint) {
    // Frames fall at 1.9667 s and then 2.0 s, which the song reads as 0: 1.99 lies between them.
    const LoopedRun run = this->run(0.0f, -1.0f, {{"exit", 1.99f}});
    EXPECT_EQ(run.status, 0);
    EXPECT_GE(run.frames, 60);
    EXPECT_LE(run.frames, 62) << "the show played on past its exit";
}

TEST_F(LoopedSong, AStartPastTheLoopPointReachesWhatARunFromTheStartReaches) {
    // "late" lies after the song's end: a run from the start never fires it.
    const std::vector<std::pair<std::string, float>> events = {
        {"hello", 0.5f}, {"hello", 1.98f}, {"late", 2.2f}};
    const LoopedRun fromStart = run(0.0f, 3.0f, events);
    resetEngineRegistry();
    registry().window = nullptr;
    log().clear();
    const LoopedRun started = run(2.5f, 3.0f, events);
    EXPECT_EQ(fromStart.frames, 90);
    EXPECT_EQ(started.frames, 16); // 2.5 s to 3.0 s, both drawn
    // The replayed frames and the drawn ones saw the same music times and the same events.
    EXPECT_EQ(started.journal, fromStart.journal);
    for (const LoopedRun* r : {&fromStart, &started}) {
        EXPECT_EQ(std::count(r->log.begin(), r->log.end(), "Triggering Event: hello 1.98"), 1);
        EXPECT_EQ(std::count(r->log.begin(), r->log.end(), "Triggering Event: late 2.2"), 0);
    }
}

TEST_F(LoopedSong, AStartPastTheShowsEndSaysSoAndFailsWithoutDrawing) {
    const LoopedRun run = this->run(2.5f, -1.0f, {{"exit", 1.99f}}, {1.5, 2.6});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.framesDrawn, 0);
    EXPECT_EQ(run.frames, 0);
    EXPECT_EQ(std::count_if(run.log.begin(), run.log.end(),
                            [](const std::string& line) { return line.rfind("shot ", 0) == 0; }),
              0);
    EXPECT_NE(std::find(run.log.begin(), run.log.end(),
                        "beatshow: the start at 2.5 s lies past the show's end: its \"exit\" event at 1.99 s "
                        "ends it first"),
              run.log.end());
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
