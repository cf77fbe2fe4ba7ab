#include "engine/base/Viewport.h"

#include <gtest/gtest.h>

namespace {

WindowMessage keyDown(int key) {
    return {WindowMessage::KeyDown, key, 0};
}
WindowMessage keyUp(int key) {
    return {WindowMessage::KeyUp, key, 0};
}

std::string typedText(Viewport& v) {
    std::string s(v.typed.begin(), v.typed.end());
    v.typed.clear();
    return s;
}

TEST(Viewport, KeyTranslationTable) {
    EXPECT_EQ(translateKey(8, false), 8);
    EXPECT_EQ(translateKey(27, false), 27);
    EXPECT_EQ(translateKey(32, false), 32);
    EXPECT_EQ(translateKey('7', false), '7');
    EXPECT_EQ(translateKey(VirtualKey::F1, false), 112);
    EXPECT_EQ(translateKey(VirtualKey::F2, true), 113);
    EXPECT_EQ(translateKey(VirtualKey::Insert, false), '-');
    EXPECT_EQ(translateKey(VirtualKey::Separator, false), '-');
    EXPECT_EQ(translateKey(VirtualKey::Subtract, false), '-');
    EXPECT_EQ(translateKey(189, false), 0); // the main keyboard's minus key queues nothing
    EXPECT_EQ(translateKey(VirtualKey::Period, false), '.');
    EXPECT_EQ(translateKey('A', false), 'a');
    EXPECT_EQ(translateKey('Z', true), 'Z');
    EXPECT_EQ(translateKey(114, false), 0); // F3
    EXPECT_EQ(translateKey(13, false), 0);  // Enter
}

TEST(Viewport, ShiftSelectsUpperCaseAndIsNotQueued) {
    Viewport v;
    v.handleMessage(keyDown('A'));
    v.handleMessage(keyDown(VirtualKey::Shift));
    EXPECT_TRUE(v.shiftDown);
    v.handleMessage(keyDown('A'));
    v.handleMessage(keyUp(VirtualKey::Shift));
    v.handleMessage(keyDown('A'));
    EXPECT_EQ(typedText(v), "aAa");
    EXPECT_EQ(v.keyDown[VirtualKey::Shift], 0);
}

TEST(Viewport, EscapeStopsRunningAndIsQueued) {
    Viewport v;
    v.running = 1;
    v.handleMessage(keyDown(VirtualKey::Escape));
    EXPECT_EQ(v.running, 0);
    EXPECT_EQ(typedText(v), "\x1b");
    EXPECT_EQ(v.keyDown[VirtualKey::Escape], 1);
}

TEST(Viewport, RepeatedKeyDownQueuesAgainAndKeyUpClearsTheFlag) {
    Viewport v;
    v.handleMessage(keyDown('1'));
    v.handleMessage(keyDown('1'));
    EXPECT_EQ(typedText(v), "11");
    EXPECT_EQ(v.keyDown['1'], 1);
    v.handleMessage(keyUp('1'));
    EXPECT_EQ(v.keyDown['1'], 0);
}

TEST(Viewport, MousePositionIsSignExtended) {
    Viewport v;
    const int32_t packed = static_cast<int32_t>((static_cast<uint32_t>(0xFFF6u) << 16) | 0x0123u);
    v.handleMessage({WindowMessage::MouseMove, 0, packed});
    EXPECT_EQ(v.mouseX, 0x123);
    EXPECT_EQ(v.mouseY, -10);
}

TEST(Viewport, ButtonChangesRaiseTheMouseEventFlag) {
    Viewport v;
    v.handleMessage({WindowMessage::LeftButtonUp, 0, 0});
    EXPECT_FALSE(v.mouseEvent);
    v.handleMessage({WindowMessage::LeftButtonDown, 0, 0});
    EXPECT_TRUE(v.leftDown);
    EXPECT_TRUE(v.mouseEvent);
    v.mouseEvent = false;
    v.handleMessage({WindowMessage::LeftButtonDown, 0, 0});
    EXPECT_FALSE(v.mouseEvent);
    v.handleMessage({WindowMessage::RightButtonDown, 0, 0});
    v.handleMessage({WindowMessage::RightButtonUp, 0, 0});
    EXPECT_FALSE(v.rightDown);
    EXPECT_TRUE(v.mouseEvent);
}

TEST(Viewport, CloseIsRecorded) {
    Viewport v;
    v.handleMessage({WindowMessage::Close, 0, 0});
    EXPECT_TRUE(v.closeRequested);
}

} // namespace
