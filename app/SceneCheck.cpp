#include "app/SceneCheck.h"

#include "engine/loop/Startup.h"

#include "actors/ActorClasses.h"
#include "actors/ActorFactory.h"
#include "actors/EngineCamera.h"
#include "engine/EngineRegistry.h"
#include "engine/FreeTracks.h"
#include "engine/base/Log.h"
#include "engine/base/MusicPlayer.h"
#include "engine/base/Viewport.h"
#include "render/FilterChain.h"
#include "render/RecordingRenderer.h"
#include "render/ShaderInputs.h"
#include "render/gl/ShaderFiles.h"
#include "scene/NameSuggestion.h"
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

// The shader files the show builds: the renderer's, the chain's (the scene's own when it declares
// one) and its materials'. Files the scene names are looked for by its load, which notes a missing
// one under its line: here they count only when they are there.
struct ShowShaders {
    std::vector<ShaderFileCheck> required; // the program needs them
    std::vector<ShaderFileCheck> named;    // the scene names them
};

ShowShaders showShaders() {
    ShowShaders shaders;
    EngineRegistry& r = engine();
    if (!r.postChain.declared()) {
        shaders.required = showShaderFiles();
    } else {
        for (const RendererShaderFile& file : rendererShaderFiles)
            shaders.required.push_back({file.file, file.vertexStage, true, {}, {}});
    }
    auto add = [&](const std::string& file, bool vertexStage) {
        auto same = [&](const ShaderFileCheck& f) { return f.file == file; };
        if (file.empty() || std::any_of(shaders.required.begin(), shaders.required.end(), same) ||
            std::any_of(shaders.named.begin(), shaders.named.end(), same))
            return;
        shaders.named.push_back({file, vertexStage, true, {}, {}});
    };
    if (r.postChain.declared())
        for (const FilterStage& stage : r.postChain.recipe())
            add(stage.shaderFile, false);
    for (const MaterialShaders& material : materialShaderTable()) {
        add(material.vertexFile, true);
        add(material.pixelFile, false);
    }
    return shaders;
}

// The files the player reads at start-up, beside the scene.
void checkShowFiles(const SceneCheckOptions& options, std::vector<Finding>& findings,
                    std::vector<std::string>& notices) {
    const ShowShaders shaders = showShaders();
    std::vector<ShaderFileCheck> present;
    for (const ShaderFileCheck& shader : shaders.required) {
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
    for (const ShaderFileCheck& shader : shaders.named) {
        std::error_code error;
        if (std::filesystem::is_regular_file(shader.file, error)) present.push_back(shader);
    }
    if (!present.empty()) {
        std::string why;
        if (!options.compileShaders) {
            notices.push_back("check: the shaders were looked for, not compiled (no OpenGL here)");
        } else if (!options.compileShaders(present, why)) {
            notices.push_back("check: the shaders were looked for, not compiled: " + why);
        } else {
            std::vector<std::pair<std::string, int>> tracks;
            for (const FreeTrackInfo& track : freeTracks())
                tracks.emplace_back(track.name, track.components);
            std::vector<std::string> parameters;
            for (const FilterStage& stage : engine().postChain.recipe())
                for (const auto& [name, value] : stage.parameters)
                    parameters.push_back(name);
            for (const ShaderFileCheck& shader : present) {
                if (!shader.compiles) {
                    std::string text = "does not compile:";
                    std::istringstream log(shader.error);
                    for (std::string line; std::getline(log, line);)
                        if (!line.empty()) text += "\n    " + line;
                    findings.push_back({shader.file, 0, text});
                    continue;
                }
                for (std::string& text : uniformFindings(shader, tracks, parameters))
                    findings.push_back({shader.file, 0, std::move(text)});
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

std::vector<std::string> uniformFindings(const ShaderFileCheck& shader,
                                         const std::vector<std::pair<std::string, int>>& tracks,
                                         const std::vector<std::string>& parameters) {
    std::vector<std::string> out;
    const std::vector<std::string>& builtIns = builtInShaderInputs();
    std::vector<std::string> offered; // what a misspelt name may have meant
    for (const auto& [name, components] : tracks)
        offered.push_back(name);
    offered.insert(offered.end(), builtIns.begin(), builtIns.end());
    offered.push_back(SpectrumSamplerName);
    auto among = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (const ShaderUniform& uniform : shader.uniforms) {
        const std::string& name = uniform.name;
        if (name.rfind("gl_", 0) == 0 || isRendererConstant(name) || among(parameters, name)) continue;
        const std::string quoted = "uniform '" + name + "'";
        if (name == SpectrumSamplerName) {
            if (uniform.sampler != "1D")
                out.push_back(quoted + " is the music's spectrum, a 1D texture: declare it as sampler1D");
            continue;
        }
        const auto track =
            std::find_if(tracks.begin(), tracks.end(), [&](const auto& t) { return t.first == name; });
        const int values = track != tracks.end() ? track->second : among(builtIns, name) ? 1 : 0;
        if (values == 0) {
            out.push_back(quoted +
                          (uniform.sampler.empty() ? " is set by no track of the scene nor by the renderer: "
                                                     "it keeps 0 (or the value the shader gives it)"
                                                   : " is a sampler nothing binds a texture to: it reads "
                                                     "black") +
                          didYouMean(name, offered));
            continue;
        }
        const std::string source = track != tracks.end() ? "track '" + name + "'" : "'" + name + "'";
        if (!uniform.sampler.empty() || uniform.components == 0) {
            out.push_back(quoted + " is not a float or vec2, vec3, vec4: " + source + " cannot set it");
        } else if (uniform.components != values) {
            const char* types[5] = {"", "a float", "a vec2", "a vec3", "a vec4"};
            out.push_back(quoted + " is " + types[uniform.components] + " but " + source + " has " +
                          std::to_string(values) + (values == 1 ? " value" : " values") +
                          (uniform.components < values ? ": it gets the first" : ": the others read 0"));
        }
    }
    return out;
}

std::vector<ShaderFileCheck> showShaderFiles() {
    std::vector<ShaderFileCheck> files;
    for (const RendererShaderFile& file : rendererShaderFiles)
        files.push_back({file.file, file.vertexStage, true, {}, {}});
    FilterChain chain;
    buildDefaultFilterChain(chain);
    for (int i = 0; i < chain.count(); ++i) {
        const std::string& file = chain.stage(i).shaderFile;
        if (std::none_of(files.begin(), files.end(),
                         [&](const ShaderFileCheck& f) { return f.file == file; }))
            files.push_back({file, false, true, {}, {}});
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
