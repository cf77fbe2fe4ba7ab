// launch.txt: a release's launch settings, read as options typed before the command line's, and
// the window options a party needs (--fullscreen exact|desktop, --vsync).
#include "app/LaunchFile.h"
#include "app/CommandLine.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> launchArguments(const std::string& text, std::string* error = nullptr) {
    ScratchDirectory dir;
    dir.write("launch.txt", text);
    std::vector<std::string> arguments;
    std::string why;
    const bool ok = readLaunchFile(dir.path() / "launch.txt", arguments, why);
    if (error) *error = why;
    EXPECT_EQ(ok, why.empty()) << why;
    return arguments;
}

// The options a show starts with: launch.txt's, then the command line's.
ProgramOptions launched(const std::string& launch, std::vector<std::string> commandLine) {
    std::vector<std::string> arguments = launchArguments(launch);
    arguments.insert(arguments.end(), commandLine.begin(), commandLine.end());
    ProgramOptions options;
    std::string error;
    EXPECT_EQ(parseCommandLine(arguments, options, error), 0) << error;
    return options;
}

TEST(LaunchFile, OneOptionALineWithItsValueAndNothingElseCounts) {
    EXPECT_EQ(launchArguments("\xEF\xBB\xBF# the party's projector\r\n"
                              "--fullscreen desktop\r\n"
                              "\r\n"
                              "   --vsync   \r\n"
                              "--shot-dir  my shots  \r\n"),
              (std::vector<std::string>{"--fullscreen", "desktop", "--vsync", "--shot-dir", "my shots"}));
    EXPECT_TRUE(launchArguments("").empty());

    std::vector<std::string> none;
    std::string error;
    EXPECT_TRUE(readLaunchFile("no/such/folder/launch.txt", none, error)) << "no file: no options";
    EXPECT_TRUE(none.empty());
}

TEST(LaunchFile, ALineThatIsNoPlayingOptionIsRefusedWithItsNumber) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--vsync\nfullscreen\n", "launch.txt:2: 'fullscreen' is not an option"},
        {"--vsync\n\n--fullscreen sideways\n", "launch.txt:3: --fullscreen takes exact"},
        {"--size\n", "launch.txt:1: --size needs a value"},
        {"--windowed yes\n", "launch.txt:1: --windowed takes no value, not 'yes'"},
        {"--check\n", "launch.txt:1: --check does not belong in a launch file"},
        {"--edit\n", "launch.txt:1: --edit does not belong in a launch file"},
        {"--new there\n", "launch.txt:1: --new does not belong in a launch file"},
        {"--export-tracks tracks\n", "launch.txt:1: --export-tracks does not belong in a launch file"},
        {"--frobnicate\n", "launch.txt:1: unknown option '--frobnicate'"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_TRUE(launchArguments(text, &error).empty());
        EXPECT_EQ(error.rfind(expected, 0), 0u) << "for " << ::testing::PrintToString(text) << ": " << error;
    }
}

TEST(LaunchFile, TheCommandLineWins) {
    ProgramOptions o = launched("--fullscreen desktop\n--vsync\n--size 1280x720\n", {});
    EXPECT_FALSE(o.windowed);
    EXPECT_TRUE(o.desktopFullscreen);
    EXPECT_TRUE(o.vsync);
    EXPECT_EQ(o.width, 1280u);

    o = launched("--fullscreen desktop\n--vsync\n--size 1280x720\n",
                 {"--windowed", "--no-vsync", "--size", "320x180"});
    EXPECT_TRUE(o.windowed);
    EXPECT_FALSE(o.vsync);
    EXPECT_EQ(o.width, 320u);
    EXPECT_EQ(o.height, 180u);

    o = launched("--windowed\n", {"--fullscreen", "exact"});
    EXPECT_FALSE(o.windowed);
    EXPECT_FALSE(o.desktopFullscreen);
}

TEST(LaunchFile, WithoutThePartyOptionsTheProgramIsAsItWas) {
    ProgramOptions o;
    std::string error;
    ASSERT_EQ(parseCommandLine({}, o, error), 0);
    EXPECT_FALSE(o.vsync);
    EXPECT_FALSE(o.desktopFullscreen);
    EXPECT_FALSE(o.windowed);
    EXPECT_TRUE(playsShow(o));
    for (const char* mode : {"--check", "--edit", "--resave", "--classes", "--help"}) {
        ASSERT_EQ(parseCommandLine({mode}, o, error), 0) << mode;
        EXPECT_FALSE(playsShow(o)) << mode;
    }
    ASSERT_EQ(parseCommandLine({"--capture", "x.mp4", "--size", "320x180"}, o, error), 0) << error;
    EXPECT_TRUE(playsShow(o)) << "a capture plays the show";
}

} // namespace
