// What a show needs at a party, with the real program: its launch.txt, a release's program
// started from elsewhere (it plays the show beside it), and shaders other drivers take too.
#include "render/gl/PngFile.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

ProgramRun run(const fs::path& directory, const std::string& program, const std::string& arguments,
               const std::string& environment = "") {
    return runShellCommand("cd " + shellQuoted(directory.string()) +
                           " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy timeout 120 env " +
                           environment + " " + shellQuoted(program) + " " + arguments);
}

bool shotSize(const fs::path& file, int& width, int& height) {
    std::vector<uint8_t> rgb;
    return readPng(file.string(), rgb, width, height);
}

class LaunchProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        assembleTestScene("actors", testDataDirectory(), show.path());
        for (const auto& entry : fs::directory_iterator(BEATSHOW_SHOW_DIR))
            if (entry.path().extension() == ".vsh" || entry.path().extension() == ".psh")
                fs::copy_file(entry.path(), show.path() / entry.path().filename());
        show.write("launch.txt", "# as a release starts\n--windowed\n--size 160x90\n--offline 20\n--until 1\n"
                                 "--shots 0.5\n");
    }
    ScratchDirectory show;
};

TEST_F(LaunchProgramTest, TheShowStartsWithItsLaunchOptionsAndTheCommandLineWins) {
    const ProgramRun plain = run(show.path(), BEATSHOW_PROGRAM, "");
    ASSERT_EQ(plain.status, 0) << ::testing::PrintToString(plain.lines);
    int width = 0, height = 0;
    ASSERT_TRUE(shotSize(show.path() / "shot-00000.500.png", width, height));
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 90);

    const ProgramRun overridden = run(show.path(), BEATSHOW_PROGRAM, "--size 320x180 --shot-dir mine");
    ASSERT_EQ(overridden.status, 0) << ::testing::PrintToString(overridden.lines);
    ASSERT_TRUE(shotSize(show.path() / "mine" / "shot-00000.500.png", width, height));
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 180);
}

TEST_F(LaunchProgramTest, ABadLaunchFileStopsTheStartWithItsLine) {
    show.write("launch.txt", "--windowed\n--fullscreen sideways\n");
    const ProgramRun bad = run(show.path(), BEATSHOW_PROGRAM, "--offline 20 --frames 2");
    EXPECT_EQ(bad.status, 2);
    ASSERT_FALSE(bad.lines.empty());
    EXPECT_EQ(bad.lines[0].rfind("beatshow: launch.txt:2: --fullscreen takes exact", 0), 0u) << bad.lines[0];
    // --check reads the show, not how it starts.
    EXPECT_NE(run(show.path(), BEATSHOW_PROGRAM, "--check").status, 2);
}

TEST_F(LaunchProgramTest, AProgramBesideTheShowPlaysItFromAnyFolder) {
    const fs::path program = show.path() / "beatshow";
    fs::copy_file(BEATSHOW_PROGRAM, program);
    ScratchDirectory elsewhere;
    const ProgramRun started = run(elsewhere.path(), program.string(), "");
    ASSERT_EQ(started.status, 0) << ::testing::PrintToString(started.lines);
    EXPECT_TRUE(started.has("loading actors")) << ::testing::PrintToString(started.lines);
    // What the options name stays where it was typed: the shot lands in the starting folder.
    EXPECT_TRUE(fs::exists(elsewhere.path() / "shot-00000.500.png"));
    EXPECT_FALSE(fs::exists(show.path() / "shot-00000.500.png"));
}

} // namespace

namespace {

// A shader this driver (Mesa) takes but another may not: it requires one of Mesa's own
// extensions. Khronos' reference compiler refuses it, so --check does.
TEST_F(LaunchProgramTest, CheckRefusesAShaderOnlyThisDriverTakes) {
    // (The test scene's song is no Ogg file: that finding is the one other problem of each check.
    // The show's own shaders pass both compilers: the default show's check says so.)
    show.write("blurX.psh", "#version 450\n#extension GL_MESA_shader_integer_functions : require\n"
                            "layout(location = 0) out vec4 color;\nvoid main() { color = vec4(1.0); }\n");
    const ProgramRun refused = run(show.path(), BEATSHOW_PROGRAM, "--check");
    EXPECT_TRUE(refused.hasEnding(": 2 problems")) << ::testing::PrintToString(refused.lines);
    const int line = refused.find("blurX.psh: does not compile:");
    ASSERT_GE(line, 0) << ::testing::PrintToString(refused.lines);
    ASSERT_LT(static_cast<size_t>(line + 2), refused.lines.size());
    EXPECT_EQ(refused.lines[line + 1].find("    Khronos' reference compiler (glslangValidator) refuses"), 0u);
    EXPECT_NE(refused.lines[line + 2].find("GL_MESA_shader_integer_functions"), std::string::npos)
        << refused.lines[line + 2];

    // Without the reference compiler the driver's word stands, and the check says so.
    const ProgramRun alone = run(show.path(), BEATSHOW_PROGRAM, "--check", "PATH=/nonexistent");
    EXPECT_TRUE(alone.hasEnding(": 1 problem")) << ::testing::PrintToString(alone.lines);
    EXPECT_TRUE(
        alone.has("check: glslangValidator (Debian's glslang-tools) is not installed: the shaders were "
                  "compiled by this OpenGL driver only, not by Khronos' reference compiler"))
        << ::testing::PrintToString(alone.lines);
}

} // namespace
