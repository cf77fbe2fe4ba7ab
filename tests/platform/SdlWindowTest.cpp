// The SDL window as the engine sees it: real SDL events pushed into the queue come out of
// pollMessage as virtual-key and mouse messages, one event per call, and the Viewport's tables
// turn them into typed characters.
#include "platform/SdlWindow.h"

#include "engine/base/SystemWindow.h"
#include "engine/base/Viewport.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class SdlWindowEvents : public ::testing::Test {
protected:
    void SetUp() override {
        platform::WindowResult result = platform::WindowNoVideo;
        std::string error;
        window = platform::createWindow({"events", 320, 200, false}, result, error);
        ASSERT_NE(window, nullptr) << error;
        WindowMessage drained;
        while (window->pollMessage(drained)) {
        }
    }

    static void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

    static SDL_Event keyEvent(Uint32 type, SDL_Keycode sym, SDL_Scancode scancode, int repeat = 0) {
        SDL_Event event{};
        event.type = type;
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.repeat = static_cast<Uint8>(repeat);
        event.key.keysym.sym = sym;
        event.key.keysym.scancode = scancode;
        return event;
    }

    // Pushes one key-down and takes exactly one message back.
    WindowMessage pressed(SDL_Keycode sym, SDL_Scancode scancode) {
        push(keyEvent(SDL_KEYDOWN, sym, scancode));
        WindowMessage message;
        EXPECT_TRUE(window->pollMessage(message));
        return message;
    }

    int keyCode(SDL_Keycode sym, SDL_Scancode scancode) {
        const WindowMessage message = pressed(sym, scancode);
        return message.type == WindowMessage::KeyDown ? message.key : -1;
    }

    // Pumps until the queue is empty, returning the typed characters.
    std::string pumpAll(Viewport& viewport) {
        for (int i = 0; i < 100 && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); ++i)
            viewport.pumpOneMessage();
        std::string text(viewport.typed.begin(), viewport.typed.end());
        viewport.typed.clear();
        return text;
    }

    std::unique_ptr<SystemWindow> window;
};

TEST_F(SdlWindowEvents, KeysBecomeVirtualKeyCodes) {
    EXPECT_EQ(keyCode(SDLK_a, SDL_SCANCODE_A), 65);
    EXPECT_EQ(keyCode(SDLK_z, SDL_SCANCODE_Z), 90);
    EXPECT_EQ(keyCode(SDLK_0, SDL_SCANCODE_0), 48);
    EXPECT_EQ(keyCode(SDLK_9, SDL_SCANCODE_9), 57);
    EXPECT_EQ(keyCode(SDLK_SPACE, SDL_SCANCODE_SPACE), 32);
    EXPECT_EQ(keyCode(SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE), 8);
    EXPECT_EQ(keyCode(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), 27);
    EXPECT_EQ(keyCode(SDLK_LSHIFT, SDL_SCANCODE_LSHIFT), 16);
    EXPECT_EQ(keyCode(SDLK_RSHIFT, SDL_SCANCODE_RSHIFT), 16);
    EXPECT_EQ(keyCode(SDLK_F1, SDL_SCANCODE_F1), 112);
    EXPECT_EQ(keyCode(SDLK_F2, SDL_SCANCODE_F2), 113);
    EXPECT_EQ(keyCode(SDLK_F12, SDL_SCANCODE_F12), 123);
    EXPECT_EQ(keyCode(SDLK_INSERT, SDL_SCANCODE_INSERT), 45);
    EXPECT_EQ(keyCode(SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS), 109);
    EXPECT_EQ(keyCode(SDLK_KP_COMMA, SDL_SCANCODE_KP_COMMA), 108);
    EXPECT_EQ(keyCode(SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD), 110);
    EXPECT_EQ(keyCode(SDLK_PERIOD, SDL_SCANCODE_PERIOD), 190);
    EXPECT_EQ(keyCode(SDLK_MINUS, SDL_SCANCODE_MINUS), 189);
    EXPECT_EQ(keyCode(SDLK_RETURN, SDL_SCANCODE_RETURN), 13);
    EXPECT_EQ(keyCode(SDLK_LEFT, SDL_SCANCODE_LEFT), 37);
    EXPECT_EQ(keyCode(SDLK_KP_7, SDL_SCANCODE_KP_7), 103);
}

TEST_F(SdlWindowEvents, LayoutsWithoutLatinKeysFallBackToTheKeyPosition) {
    // A Cyrillic layout's key in the A position, and a French layout's "&" on the 1 key.
    EXPECT_EQ(keyCode(0x0444, SDL_SCANCODE_A), 65);
    EXPECT_EQ(keyCode(SDLK_AMPERSAND, SDL_SCANCODE_1), '1');
    // A layout's letter wins over the position: the A position of a French keyboard types Q.
    EXPECT_EQ(keyCode(SDLK_q, SDL_SCANCODE_A), 'Q');
}

TEST_F(SdlWindowEvents, KeysWithoutAVirtualKeyGiveNoMessage) {
    EXPECT_EQ(pressed(SDLK_VOLUMEUP, SDL_SCANCODE_VOLUMEUP).type, WindowMessage::None);
    WindowMessage message;
    EXPECT_FALSE(window->pollMessage(message)) << "the event was taken off the queue";
}

TEST_F(SdlWindowEvents, OneEventPerPoll) {
    push(keyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A));
    push(keyEvent(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A));
    push(keyEvent(SDL_KEYDOWN, SDLK_b, SDL_SCANCODE_B));
    WindowMessage message;
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.type, WindowMessage::KeyDown);
    EXPECT_EQ(message.key, 'A');
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.type, WindowMessage::KeyUp);
    EXPECT_EQ(message.key, 'A');
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.key, 'B');
    EXPECT_FALSE(window->pollMessage(message));
}

TEST_F(SdlWindowEvents, ViewportTypesThroughTheKeyTablesOneMessagePerPump) {
    Viewport viewport;
    viewport.system = window.get();
    viewport.running = 1;

    push(keyEvent(SDL_KEYDOWN, SDLK_h, SDL_SCANCODE_H));
    push(keyEvent(SDL_KEYDOWN, SDLK_i, SDL_SCANCODE_I));
    viewport.pumpOneMessage();
    EXPECT_EQ(std::string(viewport.typed.begin(), viewport.typed.end()), "h")
        << "a burst reaches typed over frames";
    EXPECT_EQ(pumpAll(viewport), "hi");

    push(keyEvent(SDL_KEYDOWN, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT));
    push(keyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A));
    push(keyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, 1)); // auto-repeat queues the character again
    push(keyEvent(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A));
    push(keyEvent(SDL_KEYUP, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT));
    push(keyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A));
    EXPECT_EQ(pumpAll(viewport), "AAa");
    EXPECT_FALSE(viewport.shiftDown);
    EXPECT_EQ(viewport.keyDown['A'], 1);

    push(keyEvent(SDL_KEYDOWN, SDLK_F1, SDL_SCANCODE_F1));
    push(keyEvent(SDL_KEYDOWN, SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS));
    push(keyEvent(SDL_KEYDOWN, SDLK_MINUS, SDL_SCANCODE_MINUS));
    push(keyEvent(SDL_KEYDOWN, SDLK_INSERT, SDL_SCANCODE_INSERT));
    push(keyEvent(SDL_KEYDOWN, SDLK_KP_COMMA, SDL_SCANCODE_KP_COMMA));
    push(keyEvent(SDL_KEYDOWN, SDLK_PERIOD, SDL_SCANCODE_PERIOD));
    push(keyEvent(SDL_KEYDOWN, SDLK_7, SDL_SCANCODE_7));
    push(keyEvent(SDL_KEYDOWN, SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE));
    EXPECT_EQ(pumpAll(viewport), "p---.7\b");
    EXPECT_EQ(viewport.running, 1);

    push(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE));
    EXPECT_EQ(pumpAll(viewport), "\x1b");
    EXPECT_EQ(viewport.running, 0);
}

TEST_F(SdlWindowEvents, ReleasingOneShiftKeepsUpperCaseWhileTheOtherIsHeld) {
    Viewport viewport;
    viewport.system = window.get();
    push(keyEvent(SDL_KEYDOWN, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT));
    push(keyEvent(SDL_KEYDOWN, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT));
    push(keyEvent(SDL_KEYUP, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT));
    push(keyEvent(SDL_KEYDOWN, SDLK_q, SDL_SCANCODE_Q));
    push(keyEvent(SDL_KEYUP, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT));
    push(keyEvent(SDL_KEYDOWN, SDLK_q, SDL_SCANCODE_Q));
    EXPECT_EQ(pumpAll(viewport), "Qq");
}

TEST_F(SdlWindowEvents, MousePositionIsPackedAsSixteenBitHalves) {
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = -5;
    motion.motion.y = -7;
    push(motion);
    WindowMessage message;
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.type, WindowMessage::MouseMove);
    EXPECT_EQ(static_cast<uint32_t>(message.param), 0xFFF9FFFBu);

    Viewport viewport;
    viewport.system = window.get();
    push(motion);
    viewport.pumpOneMessage();
    EXPECT_EQ(viewport.mouseX, -5);
    EXPECT_EQ(viewport.mouseY, -7);

    motion.motion.x = 1919;
    motion.motion.y = 1079;
    push(motion);
    viewport.pumpOneMessage();
    EXPECT_EQ(viewport.mouseX, 1919);
    EXPECT_EQ(viewport.mouseY, 1079);
}

// A mouse moved all the while fills SDL's queue with motion: it is one message with the latest
// position, and the key pressed meanwhile acts on the next frame. Other messages stay one a pump.
TEST_F(SdlWindowEvents, MotionIsFoldedIntoTheLatestPositionAndNeverDelaysAKey) {
    auto motion = [](int x, int y) {
        SDL_Event event{};
        event.type = SDL_MOUSEMOTION;
        event.motion.x = x;
        event.motion.y = y;
        return event;
    };
    for (int i = 0; i < 150; ++i)
        push(motion(10 + i, 300 - i));
    push(keyEvent(SDL_KEYDOWN, SDLK_SPACE, SDL_SCANCODE_SPACE));
    push(motion(400, 20));
    push(keyEvent(SDL_KEYDOWN, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE));

    WindowMessage message;
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.type, WindowMessage::MouseMove);
    EXPECT_EQ(message.param, (20 << 16) | 400) << "the latest position, also of motion after a key";
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.type, WindowMessage::KeyDown);
    EXPECT_EQ(message.key, VirtualKey::Space);
    push(motion(5, 6));
    push(motion(7, 8));

    Viewport viewport;
    viewport.system = window.get();
    viewport.running = 1;
    viewport.pumpOneMessage();
    EXPECT_EQ(viewport.mouseX, 7);
    EXPECT_EQ(viewport.mouseY, 8);
    EXPECT_EQ(viewport.running, 0) << "Escape was not behind the motion";
    EXPECT_FALSE(window->pollMessage(message));

    push(motion(1, 2));
    push(keyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A));
    push(keyEvent(SDL_KEYDOWN, SDLK_b, SDL_SCANCODE_B));
    viewport.pumpOneMessage();
    EXPECT_EQ(viewport.pressed.back(), 'A');
    EXPECT_EQ(viewport.mouseX, 1);
    viewport.pumpOneMessage();
    EXPECT_EQ(viewport.pressed.back(), 'B');
}

TEST_F(SdlWindowEvents, MouseButtons) {
    const auto button = [](Uint32 type, Uint8 which) {
        SDL_Event event{};
        event.type = type;
        event.button.button = which;
        event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.button.clicks = 1;
        return event;
    };
    const std::vector<std::pair<SDL_Event, WindowMessage::Type>> cases = {
        {button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT), WindowMessage::LeftButtonDown},
        {button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT), WindowMessage::LeftButtonUp},
        {button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT), WindowMessage::RightButtonDown},
        {button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT), WindowMessage::RightButtonUp},
        {button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE), WindowMessage::None},
    };
    for (const auto& [event, expected] : cases) {
        push(event);
        WindowMessage message;
        ASSERT_TRUE(window->pollMessage(message));
        EXPECT_EQ(message.type, expected);
    }

    // A double click is two ordinary presses.
    Viewport viewport;
    viewport.system = window.get();
    SDL_Event second = button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    second.button.clicks = 2;
    push(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT));
    push(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT));
    push(second);
    viewport.pumpOneMessage();
    viewport.pumpOneMessage();
    viewport.mouseEvent = false;
    viewport.pumpOneMessage();
    EXPECT_TRUE(viewport.leftDown);
    EXPECT_TRUE(viewport.mouseEvent);
}

TEST_F(SdlWindowEvents, CloseAndQuitRequestTheEnd) {
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    push(close);
    WindowMessage message;
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.type, WindowMessage::Close);

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    Viewport viewport;
    viewport.system = window.get();
    push(quit);
    viewport.pumpOneMessage();
    EXPECT_TRUE(viewport.closeRequested);
}

TEST_F(SdlWindowEvents, EventsOfAnotherWindowAreNotOurs) {
    SDL_Event close{};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = 0x7FFF;
    push(close);
    SDL_Event key = keyEvent(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A);
    key.key.windowID = 0x7FFF;
    push(key);
    WindowMessage message;
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.type, WindowMessage::None);
    ASSERT_TRUE(window->pollMessage(message));
    EXPECT_EQ(message.type, WindowMessage::None);
}

TEST_F(SdlWindowEvents, CursorCallsAreHarmlessHeadless) {
    window->setCursorVisible(false);
    int x = -1, y = -1;
    window->getCursorPosition(x, y);
    window->moveCursor(160, 100);
    window->setCursorVisible(true);
    WindowMessage message;
    EXPECT_FALSE(window->pollMessage(message)) << "re-centring queued an event";
}

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

// The variable as the test found it, put back when the test ends.
class SavedEnvironment {
public:
    explicit SavedEnvironment(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) value_ = value, set_ = true;
    }
    ~SavedEnvironment() {
        if (set_)
            ::setenv(name_, value_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string value_;
    bool set_ = false;
};

TEST(SdlWindow, AnInvisibleWindowIsMadeOnlyWhenAskedForOrAllowed) {
    SavedEnvironment saved("SDL_VIDEODRIVER");
    platform::WindowResult result = platform::WindowCreated;
    std::string error;
    ASSERT_NE(platform::createWindow({"asked", 64, 64, false}, result, error), nullptr) << error;
    ASSERT_TRUE(platform::isHeadless());

    // As if SDL had fallen back to the offscreen driver by itself, for want of a display.
    ::unsetenv("SDL_VIDEODRIVER");
    EXPECT_EQ(platform::createWindow({"fallback", 64, 64, true}, result, error), nullptr);
    EXPECT_EQ(result, platform::WindowNoVideo);
    EXPECT_NE(error.find("SDL_VIDEODRIVER=offscreen"), std::string::npos) << error;

    platform::WindowRequest recording{"recording", 64, 64, false};
    recording.invisibleAllowed = true;
    EXPECT_NE(platform::createWindow(recording, result, error), nullptr) << error;
    EXPECT_EQ(result, platform::WindowCreated);
}

std::vector<std::string> boxes;
void recordBox(const std::string& caption, const std::string& text, bool error) {
    boxes.push_back(caption + "|" + text + (error ? "|error" : ""));
}

TEST(SdlWindow, FullScreenHeadlessIsAWindowOfTheRequestedSizeWithoutABox) {
    boxes.clear();
    const MessageBoxFunction previous = platform::setMessageBoxFunction(&recordBox);
    platform::WindowResult result = platform::WindowNoVideo;
    std::string error;
    auto window = platform::createWindow({"default", 1920, 1080, true}, result, error);
    platform::setMessageBoxFunction(previous);
    ASSERT_NE(window, nullptr) << error;
    EXPECT_EQ(result, platform::WindowCreated);
    window->showWindow();
    EXPECT_EQ(window->drawableWidth(), 1920);
    EXPECT_EQ(window->drawableHeight(), 1080);
    EXPECT_TRUE(boxes.empty());
}

} // namespace
