// The show directory's watcher on the kernel's notifications: files written by other programs
// are reported once they are whole, and only then, wherever they are in the show's tree.
#include "platform/FileWatching.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class InotifyWatching : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("beatshow-watch-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "tex");
        std::ofstream(dir / "tex" / "stone.bmp") << "old";
        watcher = platform::makeFileWatcher(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Another program does it, as a paint program or an editor would.
    void outside(const std::string& command) const {
        const std::string line = "cd '" + dir.string() + "' && " + command;
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
    }

    // What the watcher reports within `wait`, gathered over several calls.
    std::set<std::string> changes(std::chrono::milliseconds wait = std::chrono::milliseconds(1500)) const {
        std::set<std::string> seen;
        const auto until = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < until) {
            for (const std::string& file : watcher->takeChanges())
                seen.insert(file);
            if (!seen.empty()) {
                // Whatever the same save still makes arrives with it.
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                for (const std::string& file : watcher->takeChanges())
                    seen.insert(file);
                return seen;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return seen;
    }

    fs::path dir;
    std::unique_ptr<FileWatcher> watcher;
};

TEST_F(InotifyWatching, AFileWrittenByAnotherProgramIsReportedOnceItIsClosed) {
    EXPECT_TRUE(watcher->takeChanges().empty());
    outside("printf 'new pixels' > tex/stone.bmp");
    EXPECT_EQ(changes(), std::set<std::string>{"tex/stone.bmp"});
    EXPECT_TRUE(watcher->takeChanges().empty()) << "each change once";

    // A save in progress is not whole: nothing until its writer closes the file (a watcher that
    // compares modification times would report it half-written after its interval).
    std::FILE* file = std::fopen((dir / "tex" / "stone.bmp").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("half of it", file);
    std::fflush(file);
    EXPECT_TRUE(changes(std::chrono::milliseconds(400)).empty());
    std::fclose(file);
    EXPECT_EQ(changes(), std::set<std::string>{"tex/stone.bmp"});
}

TEST_F(InotifyWatching, ASaveThatRenamesIntoPlaceAndATouchAreChanges) {
    outside("printf 'whole' > tex/.stone.bmp.part && mv tex/.stone.bmp.part tex/stone.bmp");
    EXPECT_TRUE(changes().count("tex/stone.bmp"));
    // Touching a file is how a person asks for it to be read again.
    outside("touch -m -d '2030-01-01 00:00' tex/stone.bmp");
    EXPECT_EQ(changes(), std::set<std::string>{"tex/stone.bmp"});
}

TEST_F(InotifyWatching, FilesInAFolderMadeWhileTheShowPlaysAreReported) {
    // The folder and its files come in one go, before the watcher can watch the folder.
    outside("mkdir -p model/parts && printf 'a' > model/parts/wheel.obj && printf 'b' > model/hull.obj");
    EXPECT_EQ(changes(), (std::set<std::string>{"model/hull.obj", "model/parts/wheel.obj"}));
    outside("printf 'c' > model/parts/wheel.obj");
    EXPECT_EQ(changes(), std::set<std::string>{"model/parts/wheel.obj"});
}

} // namespace
