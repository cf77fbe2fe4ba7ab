// `beatshow --check [DIR]` on assembled test scenes, run in-process: the check's front end with
// the real loader and registry, its log and summary captured.
#include "app/SceneCheck.h"
#include "app/CommandLine.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

// What `beatshow ARGUMENTS` prints and returns, for "--check [DIR]", in the directory.
ProgramRun run(const std::string& arguments, const std::string& inDirectory = ".") {
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
    WorkingDirectory back(std::filesystem::current_path());
    std::filesystem::current_path(inDirectory);
    LogCapture log;
    ProgramRun result;
    result.status = runSceneCheck(options.checkDirectory);
    result.lines = log.lines();
    resetEngineRegistry();
    return result;
}

TEST(SceneCheck, AFullSceneChecksCleanAndExitsZero) {
    ScratchDirectory dir;
    assembleTestScene("full", testDataDirectory(), dir.path());
    const ProgramRun check = run("--check " + shellQuoted(dir.path().string()));
    EXPECT_EQ(check.status, 0) << ::testing::PrintToString(check.lines);
    EXPECT_TRUE(check.has("Light: lamp Position: { 1.5 , -2 , 3 }"));
    EXPECT_TRUE(check.has("loading actors"));
    EXPECT_TRUE(check.has("Adding Light: lamp to Actor: Cam1"));
    EXPECT_TRUE(check.has("automated param: Position of entity Cam1"));
    EXPECT_TRUE(check.has("loading event trigger"));
    EXPECT_TRUE(check.hasEnding("/epicrealtimetest.xml loads without problems"));

    // Without a directory the working directory is checked.
    const ProgramRun here = run("--check", dir.path().string());
    EXPECT_EQ(here.status, 0);
    EXPECT_TRUE(here.has("loading actors"));
}

TEST(SceneCheck, ASceneOfEveryActorClassChecksClean) {
    ScratchDirectory dir;
    assembleTestScene("actors", testDataDirectory(), dir.path());
    const ProgramRun check = run("--check " + shellQuoted(dir.path().string()));
    EXPECT_EQ(check.status, 0) << ::testing::PrintToString(check.lines);
    EXPECT_TRUE(check.has("ObjectPulsator::AddEntity: Adding mesh breakable to pulsator"));
}

TEST(SceneCheck, ABrokenSceneExitsOneAndSaysWhatIsWrong) {
    ScratchDirectory dir;
    assembleTestScene("broken", testDataDirectory(), dir.path());
    const ProgramRun check = run("--check " + shellQuoted(dir.path().string()));
    EXPECT_EQ(check.status, 1);
    for (const char* line : {
             "mesh bad: magic 0x1338 is not 0x1337",
             "Creating Mesh failure",
             "Cannot open file: model/ghost.obj",
             "Cannot load file ghost",
             "bitmap cracked: header cut short (20 bytes)",
             "Loading Material failure",
             "Can't get meshinstance(bad) for object(ruin)",
             "Can't get materialinstance(missing) for object(ruin)",
             "epicrealtimetest.xml: no lights found",
             "loading actors",
             "automation CameraPosition",
             "parsing error",
             "entity was not found in light list",
             "param Colour not found",
             "event fadein has no eventTime; ignored",
             "Cannot load music noise.ogg",
             // What the show skips silently is listed in the summary.
             "  actor 'Dancer': unknown class 'Moonwalker'; skipped",
             "  actor 'Cam1': child 'nobody' is neither a placed object nor a light",
             "  actor 'Cam1' (Camera) has no parameter 'Colour'",
         })
        EXPECT_TRUE(check.has(line)) << line << "\n" << ::testing::PrintToString(check.lines);
    EXPECT_TRUE(check.hasEnding("/epicrealtimetest.xml: 17 problems"))
        << ::testing::PrintToString(check.lines);
}

// What the show passes over without a word: the check names each with what happens to it, and
// the show's own log stays what it was for the sound scene.
TEST(SceneCheck, WhatTheLoaderPassesOverSilentlyIsNamed) {
    ScratchDirectory dir;
    assembleTestScene("full", testDataDirectory(), dir.path());
    const ProgramRun clean = run("--check " + shellQuoted(dir.path().string()));
    ASSERT_EQ(clean.status, 0) << ::testing::PrintToString(clean.lines);

    const std::filesystem::path file = dir.path() / "epicrealtimetest.xml";
    std::ifstream in(file);
    std::string scene{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    auto change = [&scene](const std::string& from, const std::string& to) {
        const size_t at = scene.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        scene.replace(at, from.size(), to);
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

    const ProgramRun check = run("--check " + shellQuoted(dir.path().string()));
    EXPECT_EQ(check.status, 1);
    const std::vector<std::string> expected = {
        "  epicrealtimetest.xml: line 15: a tab or line break inside the tag runs two names into one, read "
        "as "
        "<Rotation x=0y1.5 z=0>; only a space separates names and values",
        "  epicrealtimetest.xml: <base> from line 2 is still open at the end of the file; an end tag is "
        "missing "
        "inside it, so what follows the missing one was read one level too deep",
        "  object 'crate': <Positon> is none of Position, Rotation, Scale, Mesh and Material; ignored",
        "  object 'floor' <Scale>: y=1e39 reads as inf; the show uses it as it reads",
        "  light 'lamp': <Colour> is none of Color, Position and Cutoff; ignored",
        "  light 'glow' <Color>: x=nan reads as nan; the show uses it as it reads",
        "  actor 'Cam1' <Rotation>: z=-inf reads as -inf; the show uses it as it reads",
        "  automation 'Cam1::Position' point 3: v3=inf reads as inf; the show uses it as it reads",
        "  automation 'crate::Rotation' point 3: time nan reads as nan; the point is dropped",
        "  event 'fadein': eventTime 0 is not after the start of the music; it never fires",
        "  event 'flash': eventTime nan reads as nan; the event is dropped",
        "  epicrealtimetest.xml: a second <lights> section; it is ignored with its 1 element",
    };
    const auto summary = std::find_if(check.lines.begin(), check.lines.end(),
                                      [](const std::string& l) { return l.starts_with("check: "); });
    ASSERT_NE(summary, check.lines.end()) << ::testing::PrintToString(check.lines);
    EXPECT_TRUE(summary->ends_with("/epicrealtimetest.xml: 12 problems")) << *summary;
    EXPECT_EQ(std::vector<std::string>(summary + 1, check.lines.end()), expected);

    // The show's log: line for line what the sound scene gave (but for the addresses of pixels).
    auto showLog = [](const ProgramRun& r) {
        std::vector<std::string> lines;
        for (const std::string& line : r.lines) {
            if (line.starts_with("check: ")) break;
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
    EXPECT_TRUE(empty.has("Cannot read scene file epicrealtimetest.xml"));
    EXPECT_TRUE(empty.has("  the scene file epicrealtimetest.xml cannot be read"));

    const ProgramRun nowhere = run("--check " + shellQuoted((dir.path() / "not-there").string()));
    EXPECT_EQ(nowhere.status, 1);
    ASSERT_EQ(nowhere.lines.size(), 1u);
    EXPECT_TRUE(nowhere.lines[0].starts_with("check: cannot enter ")) << nowhere.lines[0];
}

TEST(SceneCheck, HelpListsTheCheck) {
    EXPECT_NE(
        usageText().find(
            "\n  --check [DIR]        load the scene of DIR (default: the working directory) without a\n"),
        std::string::npos);
}

} // namespace
