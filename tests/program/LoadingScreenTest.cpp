// The loading screen in real pixels: the real program sequence with the OpenGL renderer in an
// offscreen window, a scene load that waits for the test, and the frames captured meanwhile.
#include "engine/EngineRegistry.h"
#include "engine/base/FrameTimer.h"
#include "engine/loop/LoaderThread.h"
#include "engine/loop/MainLoop.h"
#include "engine/loop/Startup.h"
#include "platform/SdlWindow.h"
#include "render/gl/DeviceRenderer.h"
#include "tests/program/ProgramTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr unsigned Width = 640;
constexpr unsigned Height = 360;

struct Picture {
    std::vector<uint8_t> rgb;
    int width = 0;
    int height = 0;

    // Pixels brighter than mid-grey inside [x0, x1) x [y0, y1).
    int brightPixels(int x0, int y0, int x1, int y1) const {
        int count = 0;
        for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x1); ++x) {
                const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                if (p[0] + p[1] + p[2] > 3 * 128) ++count;
            }
        return count;
    }
    // Whether [x0, x1) x [y0, y1) of this picture, moved right by dx, equals other's.
    bool sameIn(const Picture& other, int x0, int y0, int x1, int y1, int dx = 0) const {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                for (int c = 0; c < 3; ++c) {
                    const size_t mine = (static_cast<size_t>(y) * width + x - dx) * 3 + c;
                    const size_t theirs = (static_cast<size_t>(y) * width + x) * 3 + c;
                    if (rgb[mine] != other.rgb[theirs]) return false;
                }
        return true;
    }
};

// Captures a loading frame in which the first letter is still on its way, then the first one
// after it arrived; then lets the load finish and captures the show's second frame (the first
// may have been drawn while the loader thread was still taking the label away).
class LoadingWatcher : public FrameObserver {
public:
    void afterFrame(double) override {
        EngineRegistry& r = engine();
        ++frames;
        const LoadingAnimationState animation = loadingAnimationState();
        if (r.loading && !loadMayFinish) {
            if (firstLoading.rgb.empty() && animation.rolling &&
                animation.rollLetter != loadingMessage[animation.rollPosition]) {
                Picture picture;
                capture(picture);
                if (picture.brightPixels(0, 0, picture.width, picture.height) > 0) firstLoading = picture;
            } else if (!firstLoading.rgb.empty() && !animation.rolling) {
                capture(settledLoading);
                loadMayFinish = true;
            }
        } else if (!r.loading && r.playing && ++playingFrames == 2) {
            capture(showFrame);
            r.quitRequested = true;
        }
        if (frames > 2000) r.quitRequested = true; // a broken run must still end
    }

    Picture firstLoading, settledLoading, showFrame;
    std::atomic<bool> loadMayFinish{false};
    int frames = 0;
    int playingFrames = 0;

private:
    static void capture(Picture& picture) {
        ASSERT_TRUE(captureDeviceFrame(getRenderer(), picture.rgb, picture.width, picture.height));
    }
};

class LoadingScreen : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        resetLoadingAnimation();
        for (const auto& entry : std::filesystem::directory_iterator(BEATSHOW_SHOW_DIR)) {
            const std::string ext = entry.path().extension().string();
            if (ext == ".psh" || ext == ".vsh")
                std::filesystem::copy_file(entry.path(), show.path() / entry.path().filename());
        }
        show.write("soundtrack.ogg", std::string("OggS"));
    }
    void TearDown() override {
        setSceneLoadFunction(nullptr);
        setLoadingAnimationRandom(nullptr);
        RegistryTest::TearDown();
    }

    ScratchDirectory show;
};

TEST_F(LoadingScreen, TheLabelRollsItsLetterInWhileTheSceneLoadsAndGoesWithTheLoad) {
    LoadingWatcher watcher;
    setSceneLoadFunction([&watcher](const std::string&) {
        while (!watcher.loadMayFinish && !engine().quitRequested)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return 0;
    });

    EngineServices services;
    services.openWindow = [](const std::string& title, unsigned width, unsigned height, bool fullscreen) {
        platform::WindowResult result = platform::WindowCreated;
        std::string error;
        auto window = platform::createWindow(
            {title, static_cast<int>(width), static_cast<int>(height), fullscreen}, result, error);
        EXPECT_TRUE(window) << error;
        return window;
    };
    services.makeRenderer = makeDeviceRenderer;
    services.audio = std::make_shared<ScriptedMusic>();
    FrameTimer timer;
    services.timer = &timer;
    services.observer = &watcher;
    // The first pick rolls the 'L' in from 29 codes below; every later pick is a blank, which
    // changes nothing, so the label then stays whole.
    int draws = 0;
    services.random = [&draws] {
        const int n = draws++;
        return n == 0 ? 0 : n == 1 ? 29 : 7;
    };

    WindowSettings options;
    options.windowed = true;
    options.width = Width;
    options.height = Height;
    WorkingDirectory cwd(show.path());
    ASSERT_EQ(engineMain("beatshow ", options, services), 0);

    // Set BEATSHOW_LOADING_SHOTS to a directory to look at the frames.
    if (const char* dir = std::getenv("BEATSHOW_LOADING_SHOTS")) {
        for (const auto& [name, picture] :
             {std::pair{"first", &watcher.firstLoading}, std::pair{"settled", &watcher.settledLoading},
              std::pair{"show", &watcher.showFrame}})
            if (!picture->rgb.empty())
                writePngFile(std::string(dir) + "/loading-" + name + ".png", picture->rgb, picture->width,
                             picture->height);
    }
    ASSERT_FALSE(watcher.firstLoading.rgb.empty());
    ASSERT_FALSE(watcher.settledLoading.rgb.empty()) << "the rolling letter never arrived";
    ASSERT_FALSE(watcher.showFrame.rgb.empty()) << "the show never started";
    ASSERT_EQ(watcher.firstLoading.width, static_cast<int>(Width));

    // The label starts at (width / 2 - 300, height / 2), white, in the large font.
    const int labelX = static_cast<int>(Width) / 2 - 300, labelY = static_cast<int>(Height) / 2;
    const Picture& first = watcher.firstLoading;
    const Picture& settled = watcher.settledLoading;
    EXPECT_GT(settled.brightPixels(labelX, labelY, labelX + 600, labelY + 60), 300);
    EXPECT_EQ(settled.brightPixels(0, 0, static_cast<int>(Width), labelY - 10), 0)
        << "something above the label";
    EXPECT_EQ(settled.brightPixels(0, labelY + 80, static_cast<int>(Width), static_cast<int>(Height)), 0)
        << "something below the label";

    // Only the first letter changed while it rolled in: the rest of the line is the same, moved
    // by the difference of the two letters' advances.
    const int firstGlyphEnd = labelX + 30;
    EXPECT_FALSE(first.sameIn(settled, labelX, labelY, firstGlyphEnd, labelY + 60));
    bool restUnchanged = false;
    for (int dx = -20; dx <= 20 && !restUnchanged; ++dx)
        restUnchanged = first.sameIn(settled, firstGlyphEnd + 20, labelY - 10, labelX + 560, labelY + 80, dx);
    EXPECT_TRUE(restUnchanged);

    // Once loaded, the label is gone.
    EXPECT_EQ(watcher.showFrame.brightPixels(labelX, labelY, labelX + 600, labelY + 60), 0);
}

} // namespace
