// The Windows side of the system interface: new files, the program's folder. (Ctrl+C needs a
// console, which a test under Wine does not have.)
#include "platform/System.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

TEST(SystemWindows, ANewFileIsMadeOnlyWhenItIsNotThere) {
    const fs::path file =
        fs::temp_directory_path() / ("beatshow-new-" + std::to_string(GetCurrentProcessId()));
    fs::remove(file);
    std::string error;
    EXPECT_TRUE(platform::createNewFile(file, error)) << error;
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_FALSE(platform::createNewFile(file, error));
    EXPECT_FALSE(error.empty());
    fs::remove(file);
    EXPECT_FALSE(platform::createNewFile(file / "below" / "a file", error));
}

TEST(SystemWindows, TheProgramFolderHoldsThisProgram) {
    const fs::path folder = platform::programFolder();
    EXPECT_TRUE(fs::is_regular_file(folder / "windows_tests.exe")) << folder.string();
}

} // namespace
