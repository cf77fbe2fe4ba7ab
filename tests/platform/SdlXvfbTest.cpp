// A real X window on a virtual 1920 x 1080 display: CTest runs this binary under
// xvfb-run -a -s "-screen 0 1920x1080x24". Full screen gets the display's own mode, a size the
// display lacks is refused with the message box, and an Escape typed by xdotool reaches the
// window as a key-down of virtual key 27.
#include "platform/SdlWindow.h"

#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

bool haveProgram(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

class XvfbWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no DISPLAY: run under xvfb-run";
        if (!haveProgram("xdotool")) GTEST_SKIP() << "xdotool is not installed";
        if (const char* driver = std::getenv("SDL_VIDEODRIVER"); driver && std::string(driver) != "x11")
            GTEST_SKIP() << "SDL_VIDEODRIVER=" << driver << " is not a display";
    }
};

std::vector<std::string> boxes;
void recordBox(const std::string& caption, const std::string& text, bool error) {
    boxes.push_back(caption + "|" + text + (error ? "|error" : ""));
}

// Runs a shell command and returns what it printed.
std::string run(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        pclose(pipe);
    }
    return output;
}

// Polls messages until `wanted` arrives or the time runs out (a bound, not a measurement).
bool waitForMessage(SystemWindow& window, WindowMessage::Type type, int key, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        WindowMessage message;
        if (!window.pollMessage(message)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (message.type == type && message.key == key) return true;
    }
    return false;
}

TEST_F(XvfbWindow, FullScreenWindowReceivesEscapeFromXdotool) {
    boxes.clear();
    const MessageBoxFunction previous = platform::setMessageBoxFunction(&recordBox);
    platform::WindowResult result = platform::WindowNoVideo;
    std::string error;
    auto window = platform::createWindow({"beatshow xvfb escape", 1920, 1080, true}, result, error);
    platform::setMessageBoxFunction(previous);
    ASSERT_NE(window, nullptr) << error;
    EXPECT_FALSE(platform::isHeadless());
    EXPECT_TRUE(boxes.empty());
    window->showWindow();
    EXPECT_EQ(window->drawableWidth(), 1920);
    EXPECT_EQ(window->drawableHeight(), 1080);
    ASSERT_TRUE(window->makeContextCurrent());
    window->swapBuffers();

    // xdotool waits for the window to be mapped, reports its geometry, gives it the keyboard
    // focus and types Escape.
    auto xdotool = std::async(std::launch::async, [] {
        return run("timeout 10 xdotool search --sync --name '^beatshow xvfb escape$' "
                   "getwindowgeometry --shell windowfocus --sync key Escape");
    });
    const bool escape = waitForMessage(*window, WindowMessage::KeyDown, 27, std::chrono::seconds(10));
    const std::string geometry = xdotool.get();
    EXPECT_NE(geometry.find("X=0\nY=0\nWIDTH=1920\nHEIGHT=1080\n"), std::string::npos) << geometry;
    EXPECT_TRUE(escape) << "no key-down 27 arrived";
}

TEST_F(XvfbWindow, SizeTheDisplayLacksIsRefusedWithTheMessageBox) {
    boxes.clear();
    const MessageBoxFunction previous = platform::setMessageBoxFunction(&recordBox);
    platform::WindowResult result = platform::WindowCreated;
    std::string error;
    auto window = platform::createWindow({"beatshow xvfb refused", 1000, 700, true}, result, error);
    platform::setMessageBoxFunction(previous);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(result, platform::WindowModeRefused);
    EXPECT_EQ(static_cast<int>(result), -2);
    EXPECT_EQ(boxes, std::vector<std::string>{"ERROR|Can't set mode to fullscreen|error"});
}

} // namespace
