// The Windows side of the system interface: new files, the program's folder, Ctrl+C.
#include "platform/System.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

TEST(SystemWindows, ANewFileIsMadeOnlyWhenItIsNotThere) {
    const fs::path file = fs::temp_directory_path() / ("beatshow-new-" + std::to_string(GetCurrentProcessId()));
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

std::atomic<int> interrupts{0};

TEST(SystemWindows, CtrlCReachesTheHandlerOnce) {
    // This process's console group gets the event, as from a Ctrl+C typed at its console.
    if (!GetConsoleWindow() && !AllocConsole()) GTEST_SKIP() << "no console to send Ctrl+C in";
    interrupts = 0;
    platform::catchInterrupt([] { ++interrupts; });
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    for (int i = 0; i < 100 && interrupts == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(interrupts, 1);
    platform::releaseInterrupt();
}

} // namespace
