#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

ProgramOptions parse(std::vector<std::string> args) {
    ProgramOptions options;
    std::string error;
    EXPECT_EQ(parseCommandLine(args, options, error), 0) << error;
    return options;
}

std::string parseError(std::vector<std::string> args) {
    ProgramOptions options;
    std::string error;
    EXPECT_EQ(parseCommandLine(args, options, error), -1);
    return error;
}

TEST(CommandLine, NoArgumentsPlaysTheShowFullScreen) {
    const ProgramOptions o = parse({});
    EXPECT_FALSE(o.windowed);
    EXPECT_EQ(o.width, 1920u);
    EXPECT_EQ(o.height, 1080u);
    EXPECT_EQ(o.offlineFps, 0.0);
    EXPECT_FALSE(o.check);
}

TEST(CommandLine, EveryOptionIsRead) {
    const ProgramOptions o = parse({"--windowed", "--size", "640x360", "--offline", "30", "--frames", "90",
                                    "--until", "12.5", "--shots", "3,1,2.5", "--shot-dir", "out", "--stats"});
    EXPECT_TRUE(o.windowed);
    EXPECT_EQ(o.width, 640u);
    EXPECT_EQ(o.height, 360u);
    EXPECT_EQ(o.offlineFps, 30.0);
    EXPECT_EQ(o.frameLimit, 90);
    EXPECT_EQ(o.untilSeconds, 12.5);
    EXPECT_EQ(o.shotTimes, (std::vector<double>{1, 2.5, 3}));
    EXPECT_EQ(o.shotDirectory, "out");
    EXPECT_TRUE(o.stats);
}

TEST(CommandLine, CheckTakesAnOptionalDirectory) {
    EXPECT_EQ(parse({"--check"}).checkDirectory, ".");
    EXPECT_EQ(parse({"--check", "build/show"}).checkDirectory, "build/show");
    const ProgramOptions o = parse({"--check", "--help"});
    EXPECT_TRUE(o.check);
    EXPECT_TRUE(o.help);
}

TEST(CommandLine, AFolderNamesTheShowToPlayOrCheck) {
    EXPECT_EQ(parse({}).showDirectory, "");
    ProgramOptions o = parse({"myshow", "--windowed"});
    EXPECT_EQ(o.showDirectory, "myshow");
    EXPECT_TRUE(o.windowed);
    EXPECT_FALSE(o.check);
    // `beatshow DIR --check` checks the show it names; --check DIR names its own.
    o = parse({"myshow", "--check", "--verbose"});
    EXPECT_TRUE(o.check);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.checkDirectory, "myshow");
    EXPECT_EQ(parse({"--check", "other"}).checkDirectory, "other");
    EXPECT_NE(parseError({"one", "two"}).find("one show at a time: 'one' and 'two'"), std::string::npos);
}

TEST(CommandLine, NewAndClassesAreReadWithTheirValues) {
    EXPECT_EQ(parse({"--new", "first"}).newShowDirectory, "first");
    EXPECT_TRUE(parse({"--classes"}).classes);
    EXPECT_FALSE(parse({}).classes);
    EXPECT_NE(parseError({"--new"}).find("--new needs the folder"), std::string::npos);
}

TEST(CommandLine, TheEditorIsAWindowOfItsOwnSizeAndResaveStandsAlone) {
    const ProgramOptions edit = parse({"--edit", "myshow"});
    EXPECT_TRUE(edit.edit);
    EXPECT_TRUE(edit.windowed);
    EXPECT_EQ(edit.width, 1600u);
    EXPECT_EQ(edit.height, 900u);
    EXPECT_EQ(edit.showDirectory, "myshow");
    const ProgramOptions sized = parse({"--size", "800x450", "--edit"});
    EXPECT_EQ(sized.width, 800u);
    EXPECT_EQ(sized.height, 450u);
    EXPECT_TRUE(parse({"--resave", "myshow"}).resave);
    EXPECT_FALSE(parse({"myshow"}).edit);
    EXPECT_FALSE(parse({"myshow"}).windowed);
    EXPECT_NE(parseError({"--edit", "--check"}).find("--edit"), std::string::npos);
    EXPECT_NE(parseError({"--edit", "--shots", "3"}).find("--edit"), std::string::npos);
}

TEST(CommandLine, BadValuesAreNamed) {
    EXPECT_NE(parseError({"--size", "640"}).find("--size"), std::string::npos);
    EXPECT_NE(parseError({"--size", "0x0"}).find("--size"), std::string::npos);
    EXPECT_NE(parseError({"--offline", "fast"}).find("--offline"), std::string::npos);
    EXPECT_NE(parseError({"--offline", "-3"}).find("--offline"), std::string::npos);
    EXPECT_NE(parseError({"--frames", "-1"}).find("--frames"), std::string::npos);
    EXPECT_NE(parseError({"--shots", "1,,2"}).find("--shots"), std::string::npos);
    EXPECT_NE(parseError({"--frames"}).find("needs a value"), std::string::npos);
    EXPECT_NE(parseError({"--fulscreen"}).find("unknown option"), std::string::npos);
}

TEST(CommandLine, StartTakesSecondsOrBarAndBeat) {
    const double beat = 60.0 / 141.0;
    double t = -1;
    EXPECT_TRUE(parseMusicTime("35.5", t));
    EXPECT_DOUBLE_EQ(t, 35.5);
    EXPECT_TRUE(parseMusicTime("b1", t));
    EXPECT_DOUBLE_EQ(t, 0.0);
    EXPECT_TRUE(parseMusicTime("b57", t));
    EXPECT_DOUBLE_EQ(t, 56 * 4 * beat);
    EXPECT_TRUE(parseMusicTime("b57.3", t));
    EXPECT_DOUBLE_EQ(t, (56 * 4 + 2) * beat);
    for (const char* bad : {"", "-1", "b0", "b57.5", "b57.0", "b", "bx", "57.3b", "nan"})
        EXPECT_FALSE(parseMusicTime(bad, t)) << bad;

    ProgramOptions options;
    std::string error;
    ASSERT_EQ(parseCommandLine({"--start", "b2"}, options, error), 0) << error;
    EXPECT_DOUBLE_EQ(options.startSeconds, 4 * beat);
    EXPECT_EQ(parseCommandLine({"--start", "soon"}, options, error), -1);
    EXPECT_NE(error.find("'soon'"), std::string::npos);
}

TEST(CommandLine, JoinedLineEndsWithABlank) {
    EXPECT_EQ(joinCommandLine({"beatshow", "--stats"}), "beatshow --stats ");
    EXPECT_EQ(joinCommandLine({}), "");
}

} // namespace
