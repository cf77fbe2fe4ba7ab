// The default show's release (`make release`) where it will run: each archive holds one folder
// with the program, the show and what the program needs, and nothing of the build tree; the Linux
// program plays in a minimal Debian 12 that has only Mesa's OpenGL added, the Windows program
// under Wine, each started from a folder of its own, with the frames the build gives.
#include "render/gl/PngFile.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path Dist = BEATSHOW_DIST_DIR;
const fs::path LinuxArchive = Dist / "show-linux-x86_64.tar.gz";
const fs::path WindowsArchive = Dist / "show-windows-x64.zip";
const std::vector<int> ShotTimes = {4, 20, 35, 44};
const std::string PlayOptions = "--windowed --size 320x180 --offline 2 --until 44 --shots 4,20,35,44";

std::string shotName(int seconds) {
    char name[64];
    std::snprintf(name, sizeof name, "shot-%09.3f.png", static_cast<double>(seconds));
    return name;
}

std::vector<std::string> archiveEntries(const fs::path& archive) {
    const ProgramRun list = runShellCommand("cmake -E tar tf " + shellQuoted(archive.string()));
    EXPECT_EQ(list.status, 0) << ::testing::PrintToString(list.lines);
    return list.lines;
}

// Each shot against the golden frame of its time: the golden frames' own tolerance for another
// machine (2/255 on all but 0.1 % of the pixels); the count of frames equal byte for byte.
int compareWithGoldens(const fs::path& shots) {
    int identical = 0;
    for (int t : ShotTimes) {
        SCOPED_TRACE("music time " + std::to_string(t));
        std::vector<uint8_t> frame, golden;
        int fw = 0, fh = 0, gw = 0, gh = 0;
        if (!readPng((shots / shotName(t)).string(), frame, fw, fh)) {
            ADD_FAILURE() << "no shot";
            continue;
        }
        EXPECT_TRUE(readPng((fs::path(BEATSHOW_GOLDEN_DIR) / shotName(t)).string(), golden, gw, gh));
        if (fw != gw || fh != gh) {
            ADD_FAILURE() << "the shot is " << fw << "x" << fh;
            continue;
        }
        size_t over = 0;
        for (size_t i = 0; i + 2 < frame.size(); i += 3) {
            int worst = 0;
            for (size_t c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(int(frame[i + c]) - int(golden[i + c])));
            if (worst > 2) ++over;
        }
        EXPECT_LE(over * 1000, frame.size() / 3) << over << " pixels differ by more than 2/255";
        if (frame == golden) ++identical;
    }
    return identical;
}

TEST(ReleaseArchives, HoldTheProgramTheShowAndWhatTheProgramNeedsInOneFolder) {
    ASSERT_TRUE(fs::exists(LinuxArchive) && fs::exists(WindowsArchive)) << "make release writes them";
    // Everything of a release, by kind; anything else would be something of the build tree.
    const std::regex show(
        "show/(|epicrealtimetest\\.xml|[A-Za-z0-9_]+\\.(vsh|psh)|soundtrack\\.ogg|launch\\.txt|"
        "readme\\.txt|model/|model/[A-Za-z0-9_]+\\.obj|tex/|tex/[A-Za-z0-9_]+\\.bmp|audio/|"
        "audio/[A-Za-z0-9_]+\\.ogg|fonts/|fonts/DejaVuSans(Mono)?\\.ttf|licences/|"
        "licences/[A-Za-z0-9_.+-]+\\.txt)");
    const std::regex linuxOnly("show/(beatshow|lib/|lib/lib[A-Za-z0-9_.+-]+\\.so\\.[0-9]+)");
    const std::regex windowsOnly("show/beatshow\\.exe");
    for (const auto& [archive, own] :
         {std::pair{LinuxArchive, linuxOnly}, std::pair{WindowsArchive, windowsOnly}}) {
        SCOPED_TRACE(archive.filename().string());
        const std::vector<std::string> entries = archiveEntries(archive);
        for (const std::string& entry : entries)
            EXPECT_TRUE(std::regex_match(entry, show) || std::regex_match(entry, own)) << entry;
        for (const char* needed :
             {"show/epicrealtimetest.xml", "show/launch.txt", "show/readme.txt", "show/audio/soundtrack.ogg",
              "show/tex/logo2.bmp", "show/model/Tunnel01.obj", "show/blurX.psh", "show/fonts/DejaVuSans.ttf"})
            EXPECT_NE(std::find(entries.begin(), entries.end(), needed), entries.end()) << needed;
    }
    const std::vector<std::string> onLinux = archiveEntries(LinuxArchive);
    EXPECT_NE(std::find(onLinux.begin(), onLinux.end(), "show/lib/libSDL2-2.0.so.0"), onLinux.end());
    const std::vector<std::string> windows = archiveEntries(WindowsArchive);
    EXPECT_EQ(std::count_if(windows.begin(), windows.end(),
                            [](const std::string& e) { return e.ends_with(".dll"); }),
              0)
        << "one program, its libraries inside";
}

TEST(LinuxRelease, PlaysInAMinimalDebianWithTheFramesOfTheBuild) {
    ASSERT_EQ(geteuid(), 0u) << "the minimal root needs root (debootstrap, chroot): sudo make test-release";
    const ProgramRun made = runShellCommand(std::string(BEATSHOW_RELEASE_SCRIPTS) + "/minimal-root 2>&1");
    ASSERT_EQ(made.status, 0) << ::testing::PrintToString(made.lines);
    const fs::path root = made.lines.back();
    const fs::path unpacked = root / "opt" / "release";
    fs::remove_all(unpacked);
    fs::remove_all(root / "tmp" / "release-shots");
    fs::create_directories(unpacked);
    ASSERT_EQ(runShellCommand("tar -C " + shellQuoted(unpacked.string()) + " -xzf " +
                              shellQuoted(LinuxArchive.string()))
                  .status,
              0);
    // Nothing but the minimal system and the release's own lib/: ldd finds everything.
    const std::string run = shellQuoted(std::string(BEATSHOW_RELEASE_SCRIPTS) + "/run-in-root") + " " +
                            shellQuoted(root.string()) + " ";
    const ProgramRun libraries = runShellCommand(run + "'ldd /opt/release/show/beatshow'");
    ASSERT_EQ(libraries.status, 0) << ::testing::PrintToString(libraries.lines);
    for (const std::string& line : libraries.lines)
        EXPECT_EQ(line.find("not found"), std::string::npos) << line;

    // Started from another folder: the program plays the show beside it, with its launch.txt
    // (full screen on the desktop, vsync) under what is typed.
    const ProgramRun played = runShellCommand(run +
                                              "'mkdir -p /tmp/release-shots && cd /tmp && "
                                              "timeout 600 /opt/release/show/beatshow " +
                                              PlayOptions + " --shot-dir /tmp/release-shots'");
    ASSERT_EQ(played.status, 0) << ::testing::PrintToString(played.lines);
    const int identical = compareWithGoldens(root / "tmp" / "release-shots");
    std::cout << identical << " of " << ShotTimes.size() << " frames equal the goldens byte for byte"
              << std::endl;
}

TEST(WindowsRelease, PlaysUnderWineFromItsOwnFolderWithTheFramesOfTheBuild) {
    ScratchDirectory unpacked, elsewhere;
    ASSERT_EQ(runShellCommand("cd " + shellQuoted(unpacked.path().string()) + " && cmake -E tar xf " +
                              shellQuoted(WindowsArchive.string()))
                  .status,
              0);
    const fs::path program = unpacked.path() / "show" / "beatshow.exe";
    const ProgramRun played = runShellCommand("cd " + shellQuoted(elsewhere.path().string()) +
                                              " && env -u DISPLAY SDL_AUDIODRIVER=dummy timeout 900 " +
                                              shellQuoted(BEATSHOW_WINE_RUN) + " " +
                                              shellQuoted(program.string()) + " " + PlayOptions + " 2>&1");
    ASSERT_EQ(played.status, 0) << ::testing::PrintToString(played.lines);
    // The shots land where it was started; its log beside it.
    compareWithGoldens(elsewhere.path());
    EXPECT_TRUE(fs::exists(unpacked.path() / "show" / "beatshow.log"));
}

} // namespace
