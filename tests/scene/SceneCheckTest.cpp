// `beatshow --check [DIR]` run in-process on scenes that have each kind of problem: the check's
// front end with the real loader and registry, its report captured. Each finding must name the
// scene's line and, for a misspelt name, the name meant.
#include "app/SceneCheck.h"
#include "app/CommandLine.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// What `beatshow ARGUMENTS` prints and returns, for "--check [DIR]", in the directory.
ProgramRun run(const std::string& arguments, const std::string& inDirectory = ".",
               const SceneCheckOptions& base = SceneCheckOptions{}) {
    ProgramOptions options;
    std::string error;
    std::vector<std::string> words;
    std::istringstream split(arguments);
    for (std::string word; split >> word;)
        words.push_back(word.size() > 1 && word.front() == '\'' ? word.substr(1, word.size() - 2) : word);
    EXPECT_EQ(parseCommandLine(words, options, error), 0) << error;
    EXPECT_TRUE(options.check) << arguments;

    resetEngineRegistry();
    resetProblems();
    WorkingDirectory back(fs::current_path());
    fs::current_path(inDirectory);
    LogCapture log;
    ProgramRun result;
    SceneCheckOptions check = base;
    check.verbose = options.verbose;
    result.status = runSceneCheck(options.checkDirectory, check);
    result.lines = log.lines();
    resetEngineRegistry();
    return result;
}

// The report's findings: its lines up to the summary, without the engine's log (which a run
// without --verbose does not print) and without the notices that start "check: ".
std::vector<std::string> findings(const ProgramRun& check) {
    std::vector<std::string> lines;
    for (const std::string& line : check.lines)
        if (!line.starts_with("check: ")) lines.push_back(line);
    return lines;
}

// Every shader file the player compiles, empty: a check without a compiler only looks for them.
void writeShaderFiles(const fs::path& dir) {
    for (const ShaderFileCheck& shader : showShaderFiles())
        writeBytes(dir / shader.file, {'/', '/', '\n'});
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The line (from 1) of the first occurrence of `needle` in the text.
size_t lineOf(const std::string& text, const std::string& needle) {
    const size_t at = text.find(needle);
    EXPECT_NE(at, std::string::npos) << needle;
    return at == std::string::npos
               ? 0
               : 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + at, '\n'));
}

// A scene directory with the assets of the "full" test scene and every shader file, its scene
// replaced by `scene`; findings are "epicrealtimetest.xml:LINE: text".
class CheckedScene {
public:
    explicit CheckedScene(const std::string& scene) : scene_(scene) {
        assembleTestScene("full", testDataDirectory(), dir_.path());
        writeShaderFiles(dir_.path());
        dir_.write("epicrealtimetest.xml", scene);
    }
    const fs::path& path() const { return dir_.path(); }
    ProgramRun check(const std::string& extra = "") const {
        return run("--check " + shellQuoted(dir_.path().string()) + extra);
    }
    // The finding for the line where `needle` stands.
    std::string at(const std::string& needle, const std::string& text) const {
        return "epicrealtimetest.xml:" + std::to_string(lineOf(scene_, needle)) + ": " + text;
    }

private:
    ScratchDirectory dir_;
    std::string scene_;
};

// A sound scene over the "full" assets, to break one thing at a time.
const std::string soundScene = R"(<?xml version="1.0"?>
<base>
  <scene>
    <!-- a scene of every section, with nothing to fix /-->
    <meshes>
      <cube />
      <plate />
    </meshes>
    <materials>
      <stone />
      <wood />
    </materials>
    <objects>
      <crate>
        <Position x="1" y="2" z="3" />
        <Scale x="1" y="1" z="1" />
        <Mesh MeshName="cube" />
        <Material MaterialName="stone" />
      </crate>
    </objects>
    <lights>
      <lamp>
        <Color x="1" y="0.5" z="0.25" />
        <Position x="1.5" y="-2" z="3" />
      </lamp>
    </lights>
    <actors>
      <cam classname="Camera">
        <Position x="0" y="1" z="-5" />
      </cam>
      <fader classname="Fader" />
      <words classname="Greeter">
        <line text="live from the party, and more!" hold="3" />
      </words>
    </actors>
    <automations>
      <cam::Position>
        <key v0="0" v1="0" v2="1" v3="-5" />
        <key v0="4" v1="0" v2="1" v3="5" />
      </cam::Position>
    </automations>
    <eventtrigger>
      <activate eventTime="0.5" target="cam" />
      <fadein eventTime="0.5" />
      <activate eventTime="1" target="words" />
      <exit eventTime="30" />
    </eventtrigger>
    <audio>
      <song file="song.ogg" />
    </audio>
  </scene>
</base>
)";

std::string changed(std::string scene, const std::string& from, const std::string& to) {
    const size_t at = scene.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) scene.replace(at, from.size(), to);
    return scene;
}

TEST(SceneCheck, ASoundSceneHasNothingToFixAndPrintsOnlyItsSummary) {
    CheckedScene scene(soundScene);
    const ProgramRun check = scene.check();
    EXPECT_EQ(check.status, 0) << ::testing::PrintToString(check.lines);
    EXPECT_EQ(findings(check), std::vector<std::string>{});
    ASSERT_EQ(check.lines.size(), 2u) << ::testing::PrintToString(check.lines);
    EXPECT_EQ(check.lines[0], "check: the shaders were looked for, not compiled (no OpenGL here)");
    EXPECT_TRUE(check.lines[1].ends_with("/epicrealtimetest.xml loads without problems")) << check.lines[1];

    // The engine's load log comes with --verbose, before the report.
    const ProgramRun verbose = scene.check(" --verbose");
    EXPECT_EQ(verbose.status, 0);
    EXPECT_TRUE(verbose.has("Light: lamp Position: { 1.5 , -2 , 3 }"));
    EXPECT_TRUE(verbose.has("loading actors"));
    EXPECT_TRUE(verbose.has("automated param: Position of entity cam"));
    EXPECT_TRUE(verbose.hasEnding("/epicrealtimetest.xml loads without problems"));
}

// The music loops at the song's end, and the show's clock with it.
TEST(SceneCheck, AnEventAfterTheSongsEndIsNamedAndAnExitThereSaysTheShowNeverEnds) {
    const std::string text = changed(soundScene, "<fadein eventTime=\"0.5\" />",
                                     "<fadein eventTime=\"0.5\" />\n      <fadein eventTime=\"21.5\" />");
    CheckedScene scene(text);
    std::vector<std::string> asked;
    SceneCheckOptions options;
    double songSeconds = 20.0;
    options.musicSeconds = [&](const std::string& path) {
        asked.push_back(path);
        return songSeconds;
    };
    const ProgramRun check = run("--check " + shellQuoted(scene.path().string()), ".", options);
    EXPECT_EQ(check.status, 1);
    const std::string song = "audio" + std::string(1, fs::path::preferred_separator) + "song.ogg";
    EXPECT_EQ(asked, std::vector<std::string>{song});
    EXPECT_EQ(findings(check),
              (std::vector<std::string>{
                  scene.at("<fadein eventTime=\"21.5\"",
                           "event 'fadein' at 21.5 s lies after the end of the song (" + song +
                               ", 20.00 s), where the music starts over: it never fires"),
                  scene.at("<exit eventTime=\"30\"",
                           "event 'exit' at 30 s lies after the end of the song (" + song +
                               ", 20.00 s), where the music starts over: it never fires, and the show never "
                               "ends by itself")}));

    // A longer song, or one whose length cannot be told, has nothing to say about them.
    songSeconds = 40.0;
    EXPECT_EQ(findings(run("--check " + shellQuoted(scene.path().string()), ".", options)),
              std::vector<std::string>{});
    songSeconds = 0.0;
    EXPECT_EQ(findings(run("--check " + shellQuoted(scene.path().string()), ".", options)),
              std::vector<std::string>{});
}

TEST(SceneCheck, AMisspeltElementOrAttributeIsNamedWithTheOneMeant) {
    std::string text =
        changed(soundScene, "<Position x=\"1\" y=\"2\" z=\"3\" />", "<Postion x=\"1\" y=\"2\" z=\"3\" />");
    text = changed(text, "<Color x=\"1\" y=\"0.5\" z=\"0.25\" />", "<Color X=\"1\" y=\"0.5\" z=\"0.25\" />");
    text = changed(text, "<fader classname=\"Fader\" />", "<fader classname=\"Fader\" speed=\"2\" />");
    text = changed(text, "<fadein eventTime=\"0.5\" />", "<fadein eventtime=\"0.5\" />");
    text = changed(text, "<automations>", "<automation>\n    </automation>\n    <automations>");
    text = changed(text, "<song file=\"song.ogg\" />",
                   "<song file=\"song.ogg\" />\n      <sound file=\"x.ogg\" />");
    CheckedScene scene(text);
    const ProgramRun check = scene.check();
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(
        findings(check),
        (std::vector<std::string>{
            scene.at("<Postion", "object 'crate': <Postion> is none of Position, Rotation, Scale, Mesh, "
                                 "Material and Parent; ignored; did you mean <Position>?"),
            scene.at(
                "<Color X",
                "light 'lamp' <Color>: attribute 'X' is not read (it takes x, y and z); did you mean 'x'?"),
            scene.at("<fader", "actor 'fader': attribute 'speed' is not read; an actor is set up by the "
                               "elements inside it"),
            scene.at("<automation>", "<automation> is not a section of the scene and is not read; did you "
                                     "mean <automations>? (the sections are meshes, materials, objects, "
                                     "lights, actors, automations, eventtrigger, audio, tracks and "
                                     "postchain)"),
            scene.at("<fadein", "event 'fadein': attribute 'eventtime' is not read (it takes eventTime and "
                                "target); did you mean 'eventTime'? Without eventTime the event is ignored"),
            scene.at("<sound",
                     "<sound> in <audio> is not read (it takes <song file=\"NAME.ogg\" /> and <tempo "
                     "bpm=\"BPM\" />); did you mean <song>?"),
        }));
}

TEST(SceneCheck, NamesTheReaderCutsShortAreShownAsWrittenAndAsRead) {
    std::string text = changed(soundScene, "<crate>", "<my crate>");
    text = changed(text, "<song file=\"song.ogg\" />", "<song file=\"audio/song.ogg\" />");
    CheckedScene scene(text);
    const ProgramRun check = scene.check();
    EXPECT_EQ(check.status, 1);
    const std::vector<std::string> found = findings(check);
    // The text line's words keep their spaces and punctuation: nothing to say about them.
    EXPECT_EQ(
        found,
        (std::vector<std::string>{
            scene.at("<my crate>", "<my crate> is read as <my>: names and values may hold only letters, "
                                   "digits and _ . - : and a space ends a value"),
            scene.at("<song", "the show has no music: the song audio/audiosong.ogg does not exist; did you "
                              "mean 'song.ogg'?"),
            scene.at("<song",
                     "<song file=\"audio/song.ogg\" /> is read as <song file=audiosong.ogg>: names "
                     "and values may hold only letters, digits and _ . - : and a space ends a value"),
        }));
}

TEST(SceneCheck, ACommentWithoutItsSlashIsShownWithWhatItSwallowed) {
    CheckedScene scene(changed(soundScene, "<!-- a scene of every section, with nothing to fix /-->",
                               "<!-- an ordinary comment -->"));
    const ProgramRun check = scene.check();
    EXPECT_EQ(check.status, 1);
    const std::vector<std::string> found = findings(check);
    ASSERT_GE(found.size(), 3u) << ::testing::PrintToString(found);
    // The scene's line first: its sections, missing because the comment took them in, point at it.
    EXPECT_EQ(found[0],
              scene.at("<base>", "<base> is still open at the end of the file; an end tag is missing "
                                 "inside it, so what follows the missing one was read one level too deep"));
    EXPECT_EQ(found[1], scene.at("<scene>", "no <meshes> section in <base><scene>; the <meshes> on line " +
                                                std::to_string(lineOf(soundScene, "<meshes>")) +
                                                " is read inside the comment on line 4"));
    EXPECT_TRUE(
        std::count(found.begin(), found.end(),
                   scene.at("<!--", "a comment must end with \"/-->\" in a scene file (<!-- like this "
                                    "/-->): this one stays open and takes in <meshes> (line 5), <materials> "
                                    "(line 9), <objects> (line 13) and 5 more, which the loader never sees, "
                                    "until </scene> on line " +
                                        std::to_string(lineOf(soundScene, "</scene>")) +
                                        " closes it in place of <scene>, so what follows is read one level "
                                        "too deep")))
        << ::testing::PrintToString(found);
    EXPECT_EQ(std::count_if(found.begin(), found.end(),
                            [](const std::string& f) {
                                return f.find(" is read inside the comment on line 4") != std::string::npos;
                            }),
              8);
}

TEST(SceneCheck, AnObjectWithoutScaleIsNamedUnlessAPathScalesIt) {
    std::string text = changed(soundScene, "        <Scale x=\"1\" y=\"1\" z=\"1\" />\n", "");
    CheckedScene scene(text);
    const ProgramRun check = scene.check();
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(findings(check),
              std::vector<std::string>{
                  scene.at("<crate>", "object 'crate' has no <Scale>, so it is drawn with zero size and "
                                      "never seen; add <Scale x=\"1\" y=\"1\" z=\"1\" /> (1 is the mesh's "
                                      "own size)")});

    CheckedScene automated(
        changed(text, "<automations>",
                "<automations>\n      <crate::Scale>\n        <key v0=\"0\" v1=\"1\" v2=\"1\" "
                "v3=\"1\" />\n      </crate::Scale>"));
    EXPECT_EQ(automated.check().status, 0);
}

TEST(SceneCheck, UnknownClassesParametersAndEventsGetTheNearestKnownName) {
    std::string text = changed(soundScene, "classname=\"Fader\"", "classname=\"fader\"");
    text = changed(text, "<words classname=\"Greeter\">", "<words classname=\"Announcer\">");
    text = changed(text, "<Position x=\"0\" y=\"1\" z=\"-5\" />", "<Rotaton x=\"0\" y=\"1\" z=\"0\" />");
    text = changed(text, "<exit eventTime=\"30\" />",
                   "<activte eventTime=\"2\" target=\"cam\" />\n      <exti eventTime=\"30\" />");
    text = changed(text, "<cam::Position>", "<cam::Postion>");
    text = changed(text, "</cam::Position>", "</cam::Postion>");
    CheckedScene scene(text);
    const ProgramRun check = scene.check();
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(
        findings(check),
        (std::vector<std::string>{
            scene.at("<Rotaton", "actor 'cam' (Camera) has no parameter 'Rotaton'; did you mean <Rotation>?"),
            scene.at("<fader",
                     "actor 'fader': unknown class 'fader'; skipped; did you mean 'Fader'? (beatshow "
                     "--classes lists them)"),
            scene.at("<words", "actor 'words': unknown class 'Announcer'; skipped; did you mean 'Anouncer'? "
                               "(beatshow --classes lists them)"),
            scene.at("<cam::Postion>",
                     "automation 'cam::Postion': cam has no parameter 'Postion'; did you mean "
                     "'Position'?"),
            scene.at("<fadein",
                     "event 'fadein': no actor answers it; the scene has no actor of a class that does "
                     "(Fader)"),
            scene.at("target=\"words\"",
                     "event 'activate': target 'words' is not an actor; the event goes to every "
                     "subscriber; 'words' on line " +
                         std::to_string(lineOf(soundScene, "<words")) + " was skipped (see there)"),
            scene.at("<activte", "event 'activte': actor 'cam' (Camera) does not answer it; did you mean "
                                 "'activate'? (it answers activate, pause, play and stop)"),
            scene.at("<exti", "event 'exti': no actor answers it; did you mean 'exit'?"),
        }));
}

TEST(SceneCheck, AMissingMeshOrMaterialSaysWhetherTheEntryOrTheFileIsMissing) {
    std::string text = changed(soundScene, "<plate />", "<plate />\n      <toruss />");
    text = changed(text, "<wood />", "<wood />\n      <glass />");
    text = changed(
        text, "</objects>",
        "  <ring>\n        <Scale x=\"1\" y=\"1\" z=\"1\" />\n        <Mesh MeshName=\"toruss\" />\n"
        "        <Material MaterialName=\"stone\" />\n      </ring>\n"
        "      <slab>\n        <Scale x=\"1\" y=\"1\" z=\"1\" />\n        <Mesh MeshName=\"plates\" />\n"
        "        <Material MaterialName=\"wod\" />\n      </slab>\n"
        "      <pane>\n        <Scale x=\"1\" y=\"1\" z=\"1\" />\n        <Mesh MeshName=\"cube\" />\n"
        "        <Material MaterialName=\"glass\" />\n      </pane>\n    </objects>");
    CheckedScene scene(text);
    writeMeshFile(scene.path(), "torus", 3);
    const ProgramRun check = scene.check();
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(
        findings(check),
        (std::vector<std::string>{
            scene.at("<toruss />", "mesh 'toruss': its file model/toruss.obj does not exist; did you mean "
                                   "'torus' (model/torus.obj)?"),
            scene.at("<glass />", "material 'glass': its file tex/glass.bmp does not exist"),
            scene.at("<ring>",
                     "object 'ring' is not placed: its mesh 'toruss' is listed in <meshes> on line " +
                         std::to_string(lineOf(text, "<toruss />")) + " but did not load (see there)"),
            scene.at("<slab>", "object 'slab' is not placed: its mesh 'plates' is not in <meshes>; did you "
                               "mean 'plate'?"),
            scene.at("<slab>",
                     "object 'slab' is not placed: its material 'wod' is not in <materials>; did you "
                     "mean 'wood'?"),
            scene.at("<pane>",
                     "object 'pane' is not placed: its material 'glass' is listed in <materials> on "
                     "line " +
                         std::to_string(lineOf(text, "<glass />")) + " but did not load (see there)"),
        }));
}

TEST(SceneCheck, AMeshFileThatIsNotTheEnginesFormatSaysWhatItIs) {
    CheckedScene scene(soundScene);
    writeBytes(scene.path() / "model" / "cube.obj",
               {'#', ' ', 'o', 'b', 'j', '\n', 'v', ' ', '0', ' ', '0', ' ', '0', '\n'});
    const ProgramRun check = scene.check();
    EXPECT_EQ(check.status, 1);
    const std::vector<std::string> found = findings(check);
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found[0],
              scene.at("<cube />", "mesh 'cube': model/cube.obj cannot be used: mesh cube: a Wavefront OBJ "
                                   "text file, not the engine's binary mesh format (beatshow-import "
                                   "converts one)"));
}

TEST(SceneCheck, TheShowsFilesAreChecked) {
    CheckedScene scene(soundScene);
    fs::remove(scene.path() / "lighting_shader.psh");
    fs::remove(scene.path() / "blurY.psh");
    writeBytes(scene.path() / "soundtrack.ogg", {'R', 'I', 'F', 'F'});
    writeBytes(scene.path() / "audio" / "song.ogg", {'I', 'D', '3', 0});
    SceneCheckOptions options;
    // A compiler that refuses the depth shader, as a driver would with its log.
    options.compileShaders = [](std::vector<ShaderFileCheck>& files, std::string&) {
        for (ShaderFileCheck& file : files)
            if (file.file == "depth_shader.psh") {
                file.compiles = false;
                file.error = "0:12(3): error: `depht' undeclared\n0:12(3): error: type mismatch\n";
            }
        return true;
    };
    const ProgramRun check = run("--check " + shellQuoted(scene.path().string()), ".", options);
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(
        findings(check),
        (std::vector<std::string>{
            scene.at("<song", "the show has no music: the song audio/song.ogg cannot be played (not an Ogg "
                              "Vorbis file)"),
            "lighting_shader.psh: is missing: the player does not start without it",
            "blurY.psh: is missing: the player shows an error and its picture lacks that filter stage",
            "depth_shader.psh: does not compile:\n    0:12(3): error: `depht' undeclared\n    0:12(3): "
            "error: "
            "type mismatch",
            "soundtrack.ogg: cannot be played (not an Ogg Vorbis file)",
        }));
    EXPECT_TRUE(check.hasEnding(": 5 problems"));

    // Without OpenGL the shaders are only looked for, and the report says so.
    options.compileShaders = [](std::vector<ShaderFileCheck>&, std::string& why) {
        why = "no display and no offscreen driver";
        return false;
    };
    const ProgramRun blind = run("--check " + shellQuoted(scene.path().string()), ".", options);
    EXPECT_TRUE(
        blind.has("check: the shaders were looked for, not compiled: no display and no offscreen driver"));
}

TEST(SceneCheck, TheShaderListIsTheRenderersAndTheFilterChainsEachOnce) {
    std::vector<std::string> files;
    for (const ShaderFileCheck& shader : showShaderFiles())
        files.push_back(shader.file);
    EXPECT_EQ(files.size(), 16u);
    EXPECT_EQ(files.front(), "diffuse_shader.psh");
    EXPECT_EQ(std::vector<std::string>(files.end() - 4, files.end()),
              (std::vector<std::string>{"inputCombiner.psh", "blurX.psh", "blurY.psh", "distort01.psh"}));
    // Each is in the default show.
    for (const std::string& file : files)
        EXPECT_TRUE(fs::exists(fs::path(BEATSHOW_SHOW_DIR) / file)) << file;
}

// ---- the hand-written test scenes ----

TEST(SceneCheck, TheFullTestSceneHasOnlyItsEventsThatNoActorAnswers) {
    ScratchDirectory dir;
    assembleTestScene("full", testDataDirectory(), dir.path());
    writeShaderFiles(dir.path());
    const std::string scene = readFile(dir.path() / "epicrealtimetest.xml");
    const ProgramRun check = run("--check " + shellQuoted(dir.path().string()));
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(findings(check),
              (std::vector<std::string>{
                  "epicrealtimetest.xml:" + std::to_string(lineOf(scene, "<fadein")) +
                      ": event 'fadein': actor 'Cam1' (Camera) does not answer it (it answers activate, "
                      "pause, play "
                      "and stop)",
                  "epicrealtimetest.xml:" + std::to_string(lineOf(scene, "<nextstage")) +
                      ": event 'nextstage': no actor answers it; the scene has no actor of a class that does "
                      "(EpicRealtimeHelper and CubeFun)"}));

    // The engine's log comes first with --verbose.
    const ProgramRun verbose = run("--check --verbose " + shellQuoted(dir.path().string()));
    EXPECT_EQ(verbose.status, 1);
    for (const char* line :
         {"Light: lamp Position: { 1.5 , -2 , 3 }", "loading actors", "Adding Light: lamp to Actor: Cam1",
          "automated param: Position of entity Cam1", "loading event trigger"})
        EXPECT_TRUE(verbose.has(line)) << line;
    EXPECT_LT(verbose.find("loading event trigger"), verbose.find(findings(check).front()));

    // Without a directory the working directory is checked.
    const ProgramRun here = run("--check", dir.path().string());
    EXPECT_EQ(here.status, 1);
    EXPECT_EQ(findings(here), findings(check));
}

TEST(SceneCheck, ASceneOfEveryActorClassChecksClean) {
    ScratchDirectory dir;
    assembleTestScene("actors", testDataDirectory(), dir.path());
    writeShaderFiles(dir.path());
    const ProgramRun check = run("--check " + shellQuoted(dir.path().string()));
    EXPECT_EQ(check.status, 0) << ::testing::PrintToString(check.lines);
}

TEST(SceneCheck, ABrokenSceneExitsOneAndSaysWhatIsWrongWhere) {
    ScratchDirectory dir;
    assembleTestScene("broken", testDataDirectory(), dir.path());
    writeShaderFiles(dir.path());
    const std::string scene = readFile(dir.path() / "epicrealtimetest.xml");
    auto at = [&](const std::string& needle, const std::string& text) {
        return "epicrealtimetest.xml:" + std::to_string(lineOf(scene, needle)) + ": " + text;
    };
    const ProgramRun check = run("--check " + shellQuoted(dir.path().string()));
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(
        findings(check),
        (std::vector<std::string>{
            at("<scene>", "no <lights> section in <base><scene>: the scene has none"),
            at("<bad />", "mesh 'bad': model/bad.obj cannot be used: mesh bad: magic 0x1338 is not 0x1337"),
            at("<ghost />", "mesh 'ghost': its file model/ghost.obj does not exist"),
            at("<cracked />",
               "material 'cracked': tex/cracked.bmp cannot be used: bitmap cracked: header cut "
               "short (20 bytes)"),
            at("<missing />", "material 'missing': its file tex/missing.bmp does not exist"),
            at("<ruin>", "object 'ruin' is not placed: its mesh 'bad' is listed in <meshes> on line " +
                             std::to_string(lineOf(scene, "<bad />")) + " but did not load (see there)"),
            at("<ruin>",
               "object 'ruin' is not placed: its material 'missing' is listed in <materials> on line " +
                   std::to_string(lineOf(scene, "<missing />")) + " but did not load (see there)"),
            at("<Dancer",
               "actor 'Dancer': unknown class 'Moonwalker'; skipped (beatshow --classes lists them)"),
            at("<child name=\"nobody\"",
               "actor 'Cam1': child 'nobody' is neither a placed object nor a light"),
            at("<Colour", "actor 'Cam1' (Camera) has no parameter 'Colour'"),
            at("<CameraPosition>", "automation 'CameraPosition': the name is not <entity>::<parameter>"),
            at("<Cam2::Position>", "automation of 'Cam2': no object, actor or light has that name; did you "
                                   "mean 'Cam1'?"),
            at("<crate::Colour>", "automation 'crate::Colour': crate has no parameter 'Colour'"),
            at("<fadein", "event fadein has no eventTime; ignored"),
            at("<song", "the show has no music: the song audio/noise.ogg cannot be played (not an Ogg Vorbis "
                        "file)"),
        }));
}

TEST(SceneCheck, WhatTheLoaderPassesOverSilentlyIsNamedAndTheShowsLogStaysAsItWas) {
    ScratchDirectory dir;
    assembleTestScene("full", testDataDirectory(), dir.path());
    writeShaderFiles(dir.path());
    const ProgramRun clean = run("--check --verbose " + shellQuoted(dir.path().string()));

    const fs::path file = dir.path() / "epicrealtimetest.xml";
    std::string scene = readFile(file);
    auto change = [&scene](const std::string& from, const std::string& to) {
        scene = changed(scene, from, to);
    };
    change("<Rotation x=\"0\" y=\"1.5\" z=\"0\" />", "<Rotation x=\"0\"\ty=\"1.5\" z=\"0\" />");
    change("<Mesh MeshName=\"cube\" />", "<Mesh MeshName=\"cube\" />\n<Positon x=\"9\" />");
    change("<Scale x=\"10\" y=\"1\" z=\"10\" />", "<Scale x=\"10\" y=\"1e39\" z=\"10\" />");
    change("<Cutoff x=\"8\" y=\"0\" z=\"0\" />", "<Cutoff x=\"8\" y=\"0\" z=\"0\" />\n<Colour x=\"1\" />");
    change("<Position x=\"0\" y=\"4\" z=\"0\" />",
           "<Position x=\"0\" y=\"4\" z=\"0\" />\n<Color x=\"nan\" />");
    change("</lights>", "</lights>\n<lights><spare><Position x=\"1\" /></spare></lights>");
    change("<Rotation x=\"0.1\" y=\"0.2\" z=\"0\" />", "<Rotation x=\"0.1\" y=\"0.2\" z=\"-inf\" />");
    change("v3=\"0\" />\n      </Cam1::Position>", "v3=\"inf\" />\n      </Cam1::Position>");
    change("</crate::Rotation>", "<pathpoint t=\"nan\" x=\"1\" y=\"1\" z=\"1\" />\n</crate::Rotation>");
    change("<exit eventTime=\"30\" />",
           "<exit eventTime=\"30\" />\n<fadein eventTime=\"0\" />\n<flash eventTime=\"nan\" />");
    change("</base>", "");
    std::ofstream(file) << scene;
    auto at = [&](const std::string& needle, const std::string& text) {
        return "epicrealtimetest.xml:" + std::to_string(lineOf(scene, needle)) + ": " + text;
    };

    const ProgramRun check = run("--check --verbose " + shellQuoted(dir.path().string()));
    EXPECT_EQ(check.status, 1);
    const std::string fadeinToCam =
        "event 'fadein': actor 'Cam1' (Camera) does not answer it (it answers activate, "
        "pause, play and stop)";
    const std::vector<std::string> expected = {
        at("<base>",
           "<base> is still open at the end of the file; an end tag is missing inside it, so what follows "
           "the missing one was read one level too deep"),
        at("<Rotation x=\"0\"\t",
           "a tab or line break inside the tag runs two names into one, read as <Rotation "
           "x=0y1.5 z=0>; only a space separates names and values"),
        at("<Positon", "object 'crate': <Positon> is none of Position, Rotation, Scale, Mesh, Material and "
                       "Parent; ignored; "
                       "did you mean <Position>?"),
        at("y=\"1e39\"", "object 'floor' <Scale>: y=1e39 reads as inf; the show uses it as it reads"),
        at("<Colour",
           "light 'lamp': <Colour> is none of Color, Position and Cutoff; ignored; did you mean <Color>?"),
        at("x=\"nan\"", "light 'glow' <Color>: x=nan reads as nan; the show uses it as it reads"),
        at("<lights><spare>", "a second <lights> section; it is ignored with its 1 element"),
        at("z=\"-inf\"", "actor 'Cam1' <Rotation>: z=-inf reads as -inf; the show uses it as it reads"),
        at("v3=\"inf\"",
           "automation 'Cam1::Position' point 3: v3=inf reads as inf; the show uses it as it reads"),
        at("t=\"nan\"", "automation 'crate::Rotation' point 3: time nan reads as nan; the point is dropped"),
        at("<fadein target", fadeinToCam),
        at("<nextstage",
           "event 'nextstage': no actor answers it; the scene has no actor of a class that does "
           "(EpicRealtimeHelper and CubeFun)"),
        at("<fadein eventTime=\"0\"",
           "event 'fadein': eventTime 0 is not after the start of the music; it never "
           "fires"),
        at("<fadein eventTime=\"0\"",
           "event 'fadein': no actor answers it; the scene has no actor of a class that "
           "does (Fader)"),
        at("<flash", "event 'flash': eventTime nan reads as nan; the event is dropped"),
    };
    EXPECT_EQ(std::vector<std::string>(check.lines.end() - static_cast<std::ptrdiff_t>(expected.size()) - 2,
                                       check.lines.end() - 2),
              expected)
        << ::testing::PrintToString(check.lines);
    EXPECT_TRUE(check.lines.back().ends_with("/epicrealtimetest.xml: 15 problems")) << check.lines.back();

    // The show's log: line for line what the sound scene gave (but for the addresses of pixels).
    auto showLog = [](const ProgramRun& r) {
        std::vector<std::string> lines;
        for (const std::string& line : r.lines) {
            if (line.starts_with("epicrealtimetest.xml:") || line.starts_with("check: ")) break;
            lines.push_back(std::regex_replace(line, std::regex("dataptr: [0-9a-f]+"), "dataptr: ADDR"));
        }
        return lines;
    };
    EXPECT_EQ(showLog(check), showLog(clean));
}

TEST(SceneCheck, AMissingSceneOrDirectoryIsAProblem) {
    ScratchDirectory dir;
    const ProgramRun empty = run("--check " + shellQuoted(dir.path().string()));
    EXPECT_EQ(empty.status, 1);
    EXPECT_TRUE(
        empty.has("epicrealtimetest.xml: there is no scene file here (beatshow --new DIR writes a show to "
                  "start from)"));
    EXPECT_TRUE(empty.has("lighting_shader.psh: is missing: the player does not start without it"));

    const ProgramRun nowhere = run("--check " + shellQuoted((dir.path() / "not-there").string()));
    EXPECT_EQ(nowhere.status, 1);
    ASSERT_EQ(nowhere.lines.size(), 1u);
    EXPECT_TRUE(nowhere.lines[0].starts_with("check: cannot enter ")) << nowhere.lines[0];
}

TEST(SceneCheck, HelpListsTheCheckTheReferenceAndANewShow) {
    const std::string usage = usageText();
    EXPECT_NE(usage.find("\n  --check [DIR]        check the show of DIR"), std::string::npos);
    EXPECT_NE(usage.find("\n  --new DIR            write a small show to start from"), std::string::npos);
    EXPECT_NE(usage.find("\n  --classes            list every actor class"), std::string::npos);
    EXPECT_NE(usage.find("docs/scene.md"), std::string::npos);
}

} // namespace
