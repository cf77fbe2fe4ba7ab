// `beatshow --check [DIR]` on assembled test scenes, run in-process: the check's front end with
// the real loader and registry, its log and summary captured.
#include "app/SceneCheck.h"
#include "app/CommandLine.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

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
