#include "platform/SdlWindow.h"

#include <gtest/gtest.h>

namespace {

TEST(SdlWindow, OffscreenWindowHasAContextOfTheRequestedSize) {
    platform::WindowResult result = platform::WindowNoVideo;
    std::string error;
    auto window = platform::createWindow({"test", 320, 200, false}, result, error);
    ASSERT_NE(window, nullptr) << error;
    EXPECT_EQ(result, platform::WindowCreated);
    EXPECT_TRUE(window->makeContextCurrent());
    EXPECT_EQ(window->drawableWidth(), 320);
    EXPECT_EQ(window->drawableHeight(), 200);
    EXPECT_TRUE(platform::isHeadless());
    window->swapBuffers();
}

} // namespace
