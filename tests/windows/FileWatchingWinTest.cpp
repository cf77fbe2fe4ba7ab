// Hot reload's file watching on Windows: the system's change notifications, reported once a file
// has been quiet for a moment, as paths relative to the show's folder.
#include "platform/FileWatching.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

struct ShowFolder {
    ShowFolder() {
        path = fs::temp_directory_path() / ("beatshow-watch-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(path);
        fs::create_directories(path / "tex");
        std::ofstream(path / "scene.xml") << "old";
    }
    ~ShowFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

// Every change reported within `seconds`, gathered until nothing more comes for half a second.
std::vector<std::string> changesWithin(FileWatcher& watcher, double seconds) {
    std::vector<std::string> all;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    auto lastSeen = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < end) {
        for (const std::string& change : watcher.takeChanges()) {
            all.push_back(change);
            lastSeen = std::chrono::steady_clock::now();
        }
        if (!all.empty() && std::chrono::steady_clock::now() - lastSeen > std::chrono::milliseconds(500))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return all;
}

TEST(FileWatchingWindows, SavedFilesAreReportedOnceWithTheirPathInTheShow) {
    ShowFolder show;
    auto watcher = platform::makeFileWatcher(show.path);
    ASSERT_TRUE(watcher);
    EXPECT_TRUE(watcher->takeChanges().empty());

    {
        // A save in several writes is one change.
        std::ofstream out(show.path / "scene.xml", std::ios::binary);
        for (int i = 0; i < 20; ++i) {
            out << "part " << i << "\n";
            out.flush();
        }
    }
    std::ofstream(show.path / "tex" / "new.bmp") << "bitmap";
    const auto changes = changesWithin(*watcher, 5.0);
    EXPECT_EQ(changes, (std::vector<std::string>{"scene.xml", "tex/new.bmp"}));

    // A folder made after the watch began is watched too, with what it brought.
    fs::create_directories(show.path / "model" / "parts");
    std::ofstream(show.path / "model" / "parts" / "wheel.obj") << "mesh";
    EXPECT_EQ(changesWithin(*watcher, 5.0), (std::vector<std::string>{"model/parts/wheel.obj"}));
    std::ofstream(show.path / "model" / "parts" / "wheel.obj") << "another mesh";
    EXPECT_EQ(changesWithin(*watcher, 5.0), (std::vector<std::string>{"model/parts/wheel.obj"}));
}

TEST(FileWatchingWindows, AFileRenamedIntoPlaceCountsAndAWriteInProgressWaits) {
    ShowFolder show;
    auto watcher = platform::makeFileWatcher(show.path);
    ASSERT_TRUE(watcher);
    // An editor's save: a temporary file, renamed over the scene.
    std::ofstream(show.path / "scene.xml.part") << "new";
    fs::rename(show.path / "scene.xml.part", show.path / "scene.xml");
    const auto renamed = changesWithin(*watcher, 5.0);
    EXPECT_NE(std::find(renamed.begin(), renamed.end(), "scene.xml"), renamed.end());

    // Still being written: not reported while the writes go on.
    std::ofstream slow(show.path / "shader.psh", std::ios::binary);
    for (int i = 0; i < 6; ++i) {
        slow << "line " << i << "\n";
        slow.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(watcher->takeChanges().empty()) << "write " << i;
    }
    slow.close();
    EXPECT_EQ(changesWithin(*watcher, 5.0), (std::vector<std::string>{"shader.psh"}));
}

} // namespace
