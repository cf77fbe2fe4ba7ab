// Program entry: reads the options, then checks a scene or plays the show. This is where the
// engine meets what the machine provides: the SDL window, the OpenGL renderer, the audio device
// and the clocks.
#include "actors/ActorClasses.h"
#include "actors/ActorFactory.h"
#include "app/Capture.h"
#include "app/CommandLine.h"
#include "app/DeviceCheck.h"
#include "app/LaunchFile.h"
#include "app/NewShow.h"
#include "app/RunControl.h"
#include "app/SceneCheck.h"
#include "app/SyncSession.h"
#include "editor/EditorSession.h"
#include "editor/model/SceneFile.h"
#include "engine/EngineRegistry.h"
#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "engine/base/OfflineClock.h"
#include "engine/loop/LoaderThread.h"
#include "engine/loop/Startup.h"
#include "engine/loop/Transport.h"
#include "platform/FileWatching.h"
#include "platform/SdlAudio.h"
#include "platform/SdlWindow.h"
#include "platform/System.h"
#include "platform/VorbisDecoder.h"
#include "render/gl/DeviceRenderer.h"
#include "render/gl/GlFont.h"
#include "scene/loader/SceneLoader.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// The frame loop's timer takes its first reading before the entry runs, so the first frame's
// duration covers the whole start-up.
FrameTimer mainTimer;

// `invisibleAllowed`: the run is for its files (offline or with shots), so it may go on
// without a display.
std::unique_ptr<SystemWindow> openWindow(const std::string& title, unsigned width, unsigned height,
                                         bool fullscreen, bool invisibleAllowed,
                                         const ProgramOptions& options) {
    platform::WindowResult result = platform::WindowCreated;
    std::string error;
    platform::WindowRequest request{title, static_cast<int>(width), static_cast<int>(height), fullscreen,
                                    invisibleAllowed};
    request.desktop = options.desktopFullscreen;
    request.vsync = options.vsync;
    auto window = platform::createWindow(request, result, error);
    if (!window) logStream << "beatshow: " << error << std::endl;
    return window;
}

// Offline runs repeat exactly, so their loading animation does too.
int repeatableRandom() {
    static uint32_t state = 12345;
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

// The song as one channel for the shaders' spectrum: the same decoder plays it, so every run of
// the show reads the same samples.
bool decodeSongMono(const std::string& path, int& rate, std::vector<int16_t>& mono, std::string& why) {
    platform::DecodedAudio audio;
    const int code = platform::decodeVorbisFile(path, audio);
    if (code != platform::AudioOk) {
        why = platform::audioErrorText(code);
        return false;
    }
    rate = audio.rate;
    const size_t channels = static_cast<size_t>(audio.channels);
    mono.resize(static_cast<size_t>(audio.frames()));
    for (size_t i = 0; i < mono.size(); ++i) {
        int sum = 0;
        for (size_t c = 0; c < channels; ++c)
            sum += audio.samples[i * channels + c];
        mono[i] = static_cast<int16_t>(sum / static_cast<int>(channels));
    }
    return true;
}

// `beatshow --new DIR`: the show, and what to do with it next.
int makeNewShow(const std::string& directory, double bpm = 141.0) {
    std::vector<std::string> written;
    std::string error;
    if (!writeNewShow(directory, written, error, bpm)) {
        std::fprintf(stderr, "beatshow: %s\n", error.c_str());
        return 1;
    }
    std::printf("beatshow: a new show in %s (%zu files)\n", directory.c_str(), written.size());
    std::printf("  play it:   beatshow %s\n  check it:  beatshow --check %s\n"
                "  then change %s/epicrealtimetest.xml; docs/scene.md is the reference and\n"
                "  beatshow --classes lists the actor classes\n",
                directory.c_str(), directory.c_str(), directory.c_str());
    return 0;
}

// `beatshow DIR`: the show in DIR plays as if started there. What the options name on this side
// of the command line (the shots' folder, the frame log, a capture's file) keeps meaning the
// folder it was typed in.
bool enterShowDirectory(ProgramOptions& options) {
    if (options.showDirectory.empty()) return true;
    anchorPathsToWorkingDirectory(options);
    std::error_code error;
    std::filesystem::current_path(options.showDirectory, error);
    if (error) {
        std::fprintf(stderr, "beatshow: cannot play the show in %s: %s\n", options.showDirectory.c_str(),
                     error.message().c_str());
        return false;
    }
    return true;
}

// A release's program plays the show beside it wherever it was started from; the show's
// launch.txt counts as options typed before the command line's. False after saying why.
bool takeLaunchSettings(const std::vector<std::string>& arguments, ProgramOptions& options) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (options.showDirectory.empty() && !fs::exists(showSceneFile, ec)) {
        const fs::path own = platform::programFolder();
        if (!own.empty() && fs::exists(own / showSceneFile, ec)) options.showDirectory = own.string();
    }
    const std::string directory = options.showDirectory;
    std::vector<std::string> launch;
    std::string error;
    if (!readLaunchFile(fs::path(directory.empty() ? "." : directory) / launchFileName, launch, error)) {
        std::fprintf(stderr, "beatshow: %s\n", error.c_str());
        return false;
    }
    if (launch.empty()) return true;
    launch.insert(launch.end(), arguments.begin(), arguments.end());
    if (parseCommandLine(launch, options, error) != 0) {
        std::fprintf(stderr, "beatshow: %s\n", error.c_str());
        return false;
    }
    if (options.showDirectory.empty()) options.showDirectory = directory;
    return true;
}

// `beatshow --edit DIR` on a folder that is missing or empty starts from the show `--new` writes,
// since a show needs its shaders before the editor can draw anything.
bool prepareShowToEdit(const std::string& directory) {
    std::error_code error;
    const bool empty =
        !std::filesystem::exists(directory, error) || std::filesystem::is_empty(directory, error);
    if (!empty) return true;
    std::printf("beatshow: %s is empty; starting from a new show\n", directory.c_str());
    return makeNewShow(directory) == 0;
}

} // namespace

int runProgram(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    ProgramOptions options;
    std::string error;
    if (parseCommandLine(arguments, options, error) != 0) {
        std::fprintf(stderr, "beatshow: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.classes) {
        std::fputs(actorClassReferenceText().c_str(), stdout);
        return 0;
    }
    if (!options.newShowDirectory.empty())
        return makeNewShow(options.newShowDirectory, options.sync.newShowBpm);
    if (options.check) {
        SceneCheckOptions check;
        check.verbose = options.verbose;
        check.compileShaders = compileShadersOffscreen;
        check.decodeMusic = decodeMusicFile;
        check.probeMusic = probeMusicFile;
        check.musicSeconds = platform::vorbisFileSeconds;
        return runSceneCheck(options.checkDirectory, check);
    }
    if (options.resave) {
        std::string message;
        const int saved = resaveShow(options.showDirectory.empty() ? "." : options.showDirectory, message);
        std::fprintf(saved == 0 ? stdout : stderr, "beatshow: %s\n", message.c_str());
        return saved;
    }
    if (playsShow(options) && !takeLaunchSettings(arguments, options)) return 2;
    if (options.edit && !options.showDirectory.empty() && !prepareShowToEdit(options.showDirectory)) return 1;
    // The folder the tracks go to means the one it was typed in, as the shots' folder does.
    if (!options.sync.exportDirectory.empty()) {
        std::error_code ignored;
        options.sync.exportDirectory =
            std::filesystem::absolute(options.sync.exportDirectory, ignored).string();
    }
    if (!enterShowDirectory(options)) return 1;
    if (!options.sync.exportDirectory.empty()) {
        std::string message;
        const int exported = exportShowTracks(options.sync, message);
        std::fprintf(exported == 0 ? stdout : stderr, "beatshow: %s\n", message.c_str());
        return exported;
    }
    if (!applySceneTempo(options, error)) {
        std::fprintf(stderr, "beatshow: %s\n", error.c_str());
        return 2;
    }
    // A release carries its fonts beside the program.
    addFontFolder((platform::programFolder() / "fonts").string());

    // A capture is an offline run at its own rate, in a window rather than full screen; it ends
    // itself at --until and after --frames, counting the frames it keeps.
    ProgramOptions runOptions = options;
    if (options.capture.enabled()) {
        options.offlineFps = runOptions.offlineFps = options.capture.fps;
        options.windowed = runOptions.windowed = true;
        runOptions.untilSeconds = -1.0;
        runOptions.frameLimit = 0;
    }

    // Full screen on the desktop renders at the desktop's size (where there is a desktop).
    int desktopWidth = 0, desktopHeight = 0;
    if (!runOptions.windowed && options.desktopFullscreen &&
        platform::desktopSize(desktopWidth, desktopHeight)) {
        options.width = runOptions.width = static_cast<unsigned>(desktopWidth);
        options.height = runOptions.height = static_cast<unsigned>(desktopHeight);
    }

    EngineServices services;
    const bool forFiles = options.offlineFps > 0 || !options.shotTimes.empty();
    std::unique_ptr<EditorSession> editor;
    std::unique_ptr<CaptureSession> capture;
    services.openWindow = [forFiles, &editor, &capture, &options](const std::string& title, unsigned width,
                                                                  unsigned height, bool fullscreen) {
        auto window = openWindow(title, width, height, fullscreen, forFiles, options);
        if (editor) return editor->wrap(std::move(window));
        return capture ? capture->wrapWindow(std::move(window)) : std::move(window);
    };
    services.makeRenderer = makeDeviceRenderer;
    services.timer = &mainTimer;
    services.decodeSong = decodeSongMono;
    std::unique_ptr<FileWatcher> watcher;
    if (options.watchesFiles()) {
        watcher = platform::makeFileWatcher(".");
        services.watcher = watcher.get();
    }

    engine().startTime = static_cast<float>(options.startSeconds);
    engine().repeatShow = options.repeat && !options.capture.enabled();
    std::unique_ptr<OfflineClock> offline;
    if (options.offlineFps > 0) {
        // Replayed at the run's own rate: every frame after the start is the one a run from 0 draws.
        engine().replayFramesPerSecond = options.offlineFps;
        offline = std::make_unique<OfflineClock>(options.offlineFps);
        mainTimer.useCounter(offline->counter());
        services.musicClock = &offline->counter();
        services.audio = std::make_shared<OfflineAudioBackend>(*offline, platform::vorbisFileSeconds);
        services.random = repeatableRandom;
        // Nobody watches an offline run: a message box would wait for a click forever.
        platform::setMessageBoxFunction([](const std::string&, const std::string&, bool) {});
    } else {
        services.audio = std::make_shared<platform::SdlAudio>();
    }

    RunControl control(
        runOptions, offline.get(),
        [](std::vector<uint8_t>& rgb, int& width, int& height) {
            return captureDeviceFrame(getRenderer(), rgb, width, height);
        },
        writePngFile);
    control.setKeyPresser(platform::pushKeyPress);
    services.observer = &control;
    if (options.edit) {
        editor = std::make_unique<EditorSession>(mainTimer, &control);
        std::string problem;
        if (!editor->open(problem)) {
            std::fprintf(stderr, "beatshow: %s\n", problem.c_str());
            return 1;
        }
        services.observer = editor.get();
        if (watcher) {
            watcher = editor->watch(std::move(watcher));
            services.watcher = watcher.get();
        }
        // Asked to end from outside (kill, a closing session, Ctrl+C in the terminal): the editor
        // keeps its unsaved changes beside the scene before it goes. SDL leaves these handlers be.
        platform::catchStopRequests(EditorSession::noteSignal, false);
    }
    transport::setHudVisible(options.hud);
    if (options.capture.enabled()) {
        capture = std::make_unique<CaptureSession>(options, control);
        std::string problem;
        if (!capture->prepare(problem)) {
            std::fprintf(stderr, "beatshow: %s\n", problem.c_str());
            return 1;
        }
        services.audio = capture->watchMusic(services.audio);
        services.observer = capture.get();
    }
    std::vector<std::unique_ptr<FrameObserver>> syncObservers;
    // With --edit the tracker's keys are edits of the editor's document, and its save the editor's.
    if (!makeSyncObservers(options.sync, mainTimer, services.observer, syncObservers, error, editor.get())) {
        std::fprintf(stderr, "beatshow: --sync: %s\n", error.c_str());
        return 1;
    }
    if (!syncObservers.empty()) services.observer = syncObservers.back().get();
    // Only a run asked for statistics times the load; otherwise the loader runs as it always has.
    if (options.stats) {
        setSceneLoadFunction(
            control.timeSceneLoads([](const std::string& file) { return loadScene(file, &createActor); }));
        control.setResourcesPending([] { return deviceUploadsPending(getRenderer()); });
    }

    const int result = engineMain(joinCommandLine(arguments), options, services);
    control.finish();
    const int captured = capture ? capture->finish() : 0;
    // A script that runs the show must see a failed start, and an editor ended by a signal.
    if (editor && editor->endedBySignal() != 0 && result == 0) return 128 + editor->endedBySignal();
    return result == 0 ? captured : 1;
}

int main(int argc, char** argv) {
    // Windows: no console of its own; the log goes to beatshow.log beside the program.
    platform::startProgramOutput("beatshow.log");
    const int status = runProgram(argc, argv);
    // Stopped on request (Ctrl+C: 130, or a closed console) is what the person asked for;
    // anything else unseen gets a box.
    const bool stopped = status == 128 + platform::StopInterrupt || status == 128 + platform::StopTerminate ||
                         status == 128 + platform::StopHangUp;
    if (status != 0 && !stopped) platform::showFailure("beatshow could not play the show.");
    return status;
}
