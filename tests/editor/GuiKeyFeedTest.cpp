// Keys as a slow frame sees them: everything typed between two frames of the editor arrives in
// one go, and each frame must still see every shortcut whole, with its own modifiers, in order.
#include "editor/GuiKeyFeed.h"
#include "editor/EditorUi.h"

#include <gtest/gtest.h>
#include <imgui.h>

#include <string>
#include <vector>

namespace {

SDL_Event keyEvent(bool down, SDL_Scancode code, Uint16 mod) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.keysym.scancode = code;
    event.key.keysym.mod = mod;
    return event;
}

SDL_Event textEvent(const char* text) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    SDL_strlcpy(event.text.text, text, sizeof event.text.text);
    return event;
}

// What one frame of ImGui sees as it starts.
struct Seen {
    bool ctrl = false;
    std::vector<SDL_Scancode> pressed; // went down for this frame
    std::vector<SDL_Scancode> down;
    std::string typed;
};

class GuiKeys : public testing::Test {
protected:
    void SetUp() override { createWindowlessImGuiContext(640, 360); }
    void TearDown() override { ImGui::DestroyContext(); }

    void type(std::initializer_list<SDL_Event> events) {
        for (const SDL_Event& event : events)
            feed_.take(event);
    }
    Seen frame() {
        ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
        ImGui::NewFrame();
        const ImGuiIO& io = ImGui::GetIO();
        Seen seen;
        seen.ctrl = io.KeyCtrl;
        for (SDL_Scancode code : {SDL_SCANCODE_A, SDL_SCANCODE_Z, SDL_SCANCODE_X, SDL_SCANCODE_BACKSPACE}) {
            if (ImGui::IsKeyPressed(code, false)) seen.pressed.push_back(code);
            if (ImGui::IsKeyDown(code)) seen.down.push_back(code);
        }
        for (ImWchar c : io.InputQueueCharacters)
            seen.typed += static_cast<char>(c);
        ImGui::Render();
        feed_.frameDone();
        return seen;
    }

    GuiKeyFeed feed_;
};

using Codes = std::vector<SDL_Scancode>;

TEST_F(GuiKeys, ShortcutsTypedWithinOneFrameAreSeenOneAFrameWithTheirOwnModifiersThenTheTextAfterThem) {
    // Ctrl+A, Ctrl+Z and an "x", all between two frames.
    type({keyEvent(true, SDL_SCANCODE_LCTRL, KMOD_LCTRL), keyEvent(true, SDL_SCANCODE_A, KMOD_LCTRL),
          keyEvent(false, SDL_SCANCODE_A, KMOD_LCTRL), keyEvent(false, SDL_SCANCODE_LCTRL, 0),
          keyEvent(true, SDL_SCANCODE_LCTRL, KMOD_LCTRL), keyEvent(true, SDL_SCANCODE_Z, KMOD_LCTRL),
          keyEvent(false, SDL_SCANCODE_Z, KMOD_LCTRL), keyEvent(false, SDL_SCANCODE_LCTRL, 0),
          keyEvent(true, SDL_SCANCODE_X, 0), textEvent("x"), keyEvent(false, SDL_SCANCODE_X, 0)});
    Seen seen = frame();
    EXPECT_TRUE(seen.ctrl);
    EXPECT_EQ(seen.pressed, Codes{SDL_SCANCODE_A});
    EXPECT_EQ(seen.typed, "");
    // The second shortcut waited a frame and still has its Ctrl, whatever the keyboard holds now.
    seen = frame();
    EXPECT_TRUE(seen.ctrl);
    EXPECT_EQ(seen.pressed, Codes{SDL_SCANCODE_Z});
    EXPECT_EQ(seen.down, Codes{SDL_SCANCODE_Z});
    EXPECT_EQ(seen.typed, "");
    seen = frame();
    EXPECT_FALSE(seen.ctrl);
    EXPECT_TRUE(seen.down.empty());
    EXPECT_EQ(seen.typed, "x");
    seen = frame();
    EXPECT_TRUE(seen.pressed.empty());
    EXPECT_EQ(seen.typed, "");
}

TEST_F(GuiKeys, PlainTypingNeverWaitsAndAQuickEditingKeyIsSeenOnce) {
    type({keyEvent(true, SDL_SCANCODE_X, 0), textEvent("x"), keyEvent(false, SDL_SCANCODE_X, 0),
          keyEvent(true, SDL_SCANCODE_Z, KMOD_LSHIFT), textEvent("Z"),
          keyEvent(false, SDL_SCANCODE_Z, KMOD_LSHIFT)});
    Seen seen = frame();
    EXPECT_EQ(seen.typed, "xZ");
    EXPECT_TRUE(seen.down.empty());
    // Backspace tapped between two frames: one frame sees it go down, the next sees it up.
    type({keyEvent(true, SDL_SCANCODE_BACKSPACE, 0), keyEvent(false, SDL_SCANCODE_BACKSPACE, 0)});
    seen = frame();
    EXPECT_EQ(seen.pressed, Codes{SDL_SCANCODE_BACKSPACE});
    seen = frame();
    EXPECT_TRUE(seen.down.empty());
    // Held over frames, it is let go in the frame after its release, without waiting more.
    type({keyEvent(true, SDL_SCANCODE_BACKSPACE, 0)});
    frame();
    EXPECT_EQ(frame().down, Codes{SDL_SCANCODE_BACKSPACE});
    type({keyEvent(false, SDL_SCANCODE_BACKSPACE, 0)});
    EXPECT_TRUE(frame().down.empty());
}

} // namespace
