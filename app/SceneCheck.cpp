#include "app/SceneCheck.h"

#include "engine/loop/Startup.h"

#include "actors/ActorClasses.h"
#include "actors/ActorFactory.h"
#include "actors/EngineCamera.h"
#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "engine/base/MusicPlayer.h"
#include "engine/base/Viewport.h"
#include "render/FilterChain.h"
#include "render/RecordingRenderer.h"
#include "render/gl/ShaderFiles.h"
#include "scene/XMLDocument.h"
#include "scene/loader/SceneLoader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace {

// Accepts a music file that decodes (or, without a decoder, exists and starts with an Ogg page);
// plays nothing. When it refuses a file it notes why, for the loader to pass on.
class CheckingAudioBackend : public AudioBackend {
public:
    explicit CheckingAudioBackend(std::function<std::string(const std::string&)> decode)
        : decode_(std::move(decode)) {}

    uint32_t createStream(const std::string& path, bool) override {
        opened_ = true;
        song_.clear();
        const std::string why = musicProblem(path, decode_);
        if (!why.empty()) {
            lastError_ = FileFormatError;
            noteProblem(why);
            return 0;
        }
        lastError_ = 0;
        song_ = path;
        return ++lastStream_;
    }
    // Whether the scene asked for a song, and the file of the one it got ("" for none).
    bool songAsked() const { return opened_; }
    const std::string& song() const { return song_; }
    bool play(uint32_t) override { return false; }
    double position(uint32_t) override { return 0.0; }
    int lastError() override { return lastError_; }

    static std::string musicProblem(const std::string& path,
                                    const std::function<std::string(const std::string&)>& decode) {
        std::ifstream file(path, std::ios::binary);
        if (!file) return "the file cannot be opened";
        if (decode) return decode(path);
        char magic[4] = {};
        file.read(magic, sizeof magic);
        if (file.gcount() != 4 || std::string(magic, 4) != "OggS") return "not an Ogg Vorbis file";
        return {};
    }

private:
    // The audio library's code for "not a supported format".
    static constexpr int FileFormatError = 41;
    std::function<std::string(const std::string&)> decode_;
    int lastError_ = 0;
    uint32_t lastStream_ = 0;
    bool opened_ = false;
    std::string song_;
};

struct Finding {
    std::string file;
    size_t line = 0;
    std::string text;
};

std::string findingText(const Finding& finding) {
    std::string where = finding.file;
    if (finding.line > 0) where += ":" + std::to_string(finding.line);
    return where.empty() ? finding.text : where + ": " + finding.text;
}

SceneVocabulary checkVocabulary() {
    SceneVocabulary vocabulary;
    vocabulary.actorClasses = knownActorClasses();
    vocabulary.actorElements = [](const std::string& className) {
        std::vector<std::string> names;
        if (const ActorClassInfo* info = findActorClassInfo(className))
            for (const auto& element : info->elements)
                if (element.name != "child") names.push_back(element.name);
        return names;
    };
    for (const ActorClassInfo& info : actorClassReference()) {
        std::vector<std::string> events;
        for (const auto& event : info.events)
            events.push_back(event.name);
        vocabulary.classEvents.emplace_back(info.className, events);
    }
    return vocabulary;
}

// Events after the end of the song the show plays: the music loops there, and the show's clock
// with it, so they never fire. The scene's song when it names one that opens; the start-up music
// when it names none; nothing loops without music.
void checkEventsAgainstSong(const SceneCheckOptions& options, const CheckingAudioBackend& music,
                            std::vector<Finding>& findings) {
    if (!options.musicSeconds) return;
    std::error_code error;
    const std::string song = music.songAsked()                               ? music.song()
                             : std::filesystem::exists(showMusicFile, error) ? std::string(showMusicFile)
                                                                             : std::string();
    if (song.empty()) return;
    const double seconds = options.musicSeconds(song);
    if (!(seconds > 0.0)) return;

    // The lines of the events: the scene read again, quietly (its load said what it had to say).
    XMLDocument document;
    {
        ProblemsMuted quiet;
        LogSink sink = setLogSink([](const std::string&) {});
        document.load(showSceneFile);
        setLogSink(std::move(sink));
    }
    const XMLTag* events = document.findTag("base::scene::eventtrigger");
    char length[32];
    std::snprintf(length, sizeof length, "%.2f", seconds);
    for (const auto& event : childrenOf(events)) {
        if (event->name.rfind("--", 0) == 0) continue; // a comment, named by the load already
        for (const auto& [key, value] : event->attributes) {
            if (key != "eventTime") continue;
            const float time = attributeFloat(value);
            if (!(static_cast<double>(time) > seconds) || std::isinf(time)) break;
            std::string text = "event '" + event->name + "' at " + value +
                               " s lies after the end of the song (" + platformPath(song) + ", " + length +
                               " s), where the music starts over: it never fires";
            if (event->name == "exit") text += ", and the show never ends by itself";
            findings.push_back({showSceneFile, event->line, text});
            break;
        }
    }
}

// The scene, loaded as the show loads it; its problems as findings.
void checkScene(const SceneCheckOptions& options, std::vector<Finding>& findings) {
    EngineRegistry& r = engine();
    r.assets.registerKind("tex\\", "bmp", AssetKindBitmap);
    r.assets.registerKind("model\\", "obj", AssetKindMesh);
    r.assets.registerKind("audio\\", "ogg", AssetKindMusic);
    r.cameraFollow = true;
    EngineCamera* editorCamera = keepAlive(std::make_unique<EngineCamera>("EditorCam"));
    r.editorCamera = editorCamera;
    r.activeCamera = editorCamera;

    Viewport window;
    window.width = 1920;
    window.height = 1080;
    window.title = "default";
    RecordingRenderer renderer;
    renderer.initialize(&window);
    r.window = &window;
    r.renderer = &renderer;
    renderer.setFilterChain(&r.postChain);
    auto music = std::make_shared<CheckingAudioBackend>(options.decodeMusic);
    r.music.setBackend(music);

    resetProblems();
    if (loadScene(showSceneFile, &createActor, checkVocabulary()) != 0) {
        logStream << "Cannot read scene file " << showSceneFile << std::endl;
        findings.push_back(
            {showSceneFile, 0,
             std::filesystem::exists(showSceneFile)
                 ? "cannot be read"
                 : "there is no scene file here (beatshow --new DIR writes a show to start from)"});
    }
    // The scene's findings in the order of the file; those of no line first.
    std::vector<NotedProblem> problems = problemRecords();
    std::stable_sort(problems.begin(), problems.end(),
                     [](const NotedProblem& a, const NotedProblem& b) { return a.line < b.line; });
    for (const NotedProblem& problem : problems)
        findings.push_back(
            {problem.file.empty() ? std::string(showSceneFile) : problem.file, problem.line, problem.text});
    // In the order of the file with the rest.
    std::vector<Finding> late;
    checkEventsAgainstSong(options, *music, late);
    for (Finding& finding : late) {
        auto at = std::find_if(findings.begin(), findings.end(), [&](const Finding& f) {
            return f.file == showSceneFile && f.line > finding.line;
        });
        findings.insert(at, std::move(finding));
    }

    // What the loader handed over stays registered, but the renderer and window end here.
    r.renderer = nullptr;
    r.window = nullptr;
}

// The files the player reads at start-up, beside the scene.
void checkShowFiles(const SceneCheckOptions& options, std::vector<Finding>& findings,
                    std::vector<std::string>& notices) {
    std::vector<ShaderFileCheck> present;
    for (const ShaderFileCheck& shader : showShaderFiles()) {
        std::error_code error;
        if (std::filesystem::is_regular_file(shader.file, error)) {
            present.push_back(shader);
            continue;
        }
        const bool renderer = std::any_of(std::begin(rendererShaderFiles), std::end(rendererShaderFiles),
                                          [&](const RendererShaderFile& f) { return shader.file == f.file; });
        findings.push_back({shader.file, 0,
                            renderer
                                ? "is missing: the player does not start without it"
                                : "is missing: the player shows an error and its picture lacks that filter "
                                  "stage"});
    }
    if (!present.empty()) {
        std::string why;
        if (!options.compileShaders) {
            notices.push_back("check: the shaders were looked for, not compiled (no OpenGL here)");
        } else if (!options.compileShaders(present, why)) {
            notices.push_back("check: the shaders were looked for, not compiled: " + why);
        } else {
            for (const ShaderFileCheck& shader : present)
                if (!shader.compiles) {
                    std::string text = "does not compile:";
                    std::istringstream log(shader.error);
                    for (std::string line; std::getline(log, line);)
                        if (!line.empty()) text += "\n    " + line;
                    findings.push_back({shader.file, 0, text});
                }
        }
    }

    // The start-up music: optional, since a scene's song replaces it; but a file that is there
    // and does not play is a mistake.
    std::error_code error;
    if (std::filesystem::exists(showMusicFile, error)) {
        const std::string why = CheckingAudioBackend::musicProblem(
            showMusicFile, options.probeMusic ? options.probeMusic : options.decodeMusic);
        if (!why.empty()) findings.push_back({showMusicFile, 0, "cannot be played (" + why + ")"});
    }
}

} // namespace

std::vector<ShaderFileCheck> showShaderFiles() {
    std::vector<ShaderFileCheck> files;
    for (const RendererShaderFile& file : rendererShaderFiles)
        files.push_back({file.file, file.vertexStage, true, {}});
    FilterChain chain;
    buildDefaultFilterChain(chain);
    for (int i = 0; i < chain.count(); ++i) {
        const std::string& file = chain.stage(i).shaderFile;
        if (std::none_of(files.begin(), files.end(),
                         [&](const ShaderFileCheck& f) { return f.file == file; }))
            files.push_back({file, false, true, {}});
    }
    return files;
}

int runSceneCheck(const std::string& directory, const SceneCheckOptions& options) {
    // The engine's log shows only when asked for; the report itself goes where the log would.
    LogSink previous;
    previous = setLogSink([&options, &previous](const std::string& line) {
        if (!options.verbose) return;
        if (previous)
            previous(line);
        else
            std::printf("%s\n", line.c_str());
    });
    auto print = [&previous](const std::string& line) {
        if (previous) {
            previous(line);
        } else {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
    };
    auto finish = [&](int status) {
        setLogSink(std::move(previous));
        return status;
    };

    std::error_code error;
    std::filesystem::current_path(directory, error);
    if (error) {
        print("check: cannot enter " + directory + ": " + error.message());
        return finish(1);
    }

    std::vector<Finding> findings;
    std::vector<std::string> notices;
    checkScene(options, findings);
    checkShowFiles(options, findings, notices);

    for (const Finding& finding : findings)
        print(findingText(finding));
    for (const std::string& notice : notices)
        print(notice);
    const std::string where = (std::filesystem::current_path() / showSceneFile).string();
    if (findings.empty()) {
        print("check: " + where + " loads without problems");
        return finish(0);
    }
    print("check: " + where + ": " + std::to_string(findings.size()) +
          (findings.size() == 1 ? " problem" : " problems"));
    return finish(1);
}
