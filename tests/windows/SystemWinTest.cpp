// The Windows side of the system interface: new files, the program's folder, and Ctrl+C and
// Ctrl+Break at a console (one of the test's own) as the request to stop that SIGINT is on Linux.
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

std::atomic<int> stopCaught{0};
std::atomic<int> stopCount{0};
std::atomic<int> testsOwnCount{0};

void onStop(int number) {
    stopCaught = number;
    ++stopCount;
}

BOOL WINAPI testsOwnHandler(DWORD) {
    ++testsOwnCount;
    return TRUE;
}

bool waitFor(const std::atomic<int>& count, int value) {
    for (int i = 0; i < 500 && count.load() < value; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return count.load() >= value;
}

// A console event as the console delivers it: a new thread running the system's dispatcher of
// the handlers (Wine cannot generate one for a test that has no console window).
void deliver(DWORD event) {
    const auto dispatcher = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    ASSERT_NE(dispatcher, nullptr);
    const HANDLE thread =
        CreateThread(nullptr, 0, dispatcher, reinterpret_cast<void*>(uintptr_t(event)), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    CloseHandle(thread);
}

TEST(SystemWindows, ConsoleEventsAreStopRequestsUntilReleased) {
    // Ours is asked after the platform's, and only once that has let go.
    ASSERT_TRUE(SetConsoleCtrlHandler(testsOwnHandler, TRUE));
    platform::catchStopRequests(onStop, true);
    // Each one is a request, not only the first: a capture keeps catching them until its file
    // is done.
    for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_C_EVENT}) {
        const int before = stopCount;
        stopCaught = 0;
        deliver(event);
        ASSERT_TRUE(waitFor(stopCount, before + 1)) << "event " << event;
        EXPECT_EQ(stopCaught, platform::StopInterrupt);
    }
    EXPECT_EQ(testsOwnCount, 0);

    platform::releaseStopRequests();
    const int caught = stopCount;
    deliver(CTRL_C_EVENT);
    ASSERT_TRUE(waitFor(testsOwnCount, 1));
    EXPECT_EQ(stopCount, caught);

    // The console closing is the hang-up; its handler holds on until the program ends, and
    // letting go meanwhile does not wait for it.
    platform::catchStopRequests(onStop, true);
    deliver(CTRL_CLOSE_EVENT);
    ASSERT_TRUE(waitFor(stopCount, caught + 1));
    EXPECT_EQ(stopCaught, platform::StopHangUp);
    platform::releaseStopRequests();
}

} // namespace
