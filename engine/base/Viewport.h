// The program's window as the engine sees it: its size, and the keyboard and mouse state
// recorded from window messages, including the queue of typed characters from which the main
// loop reads Escape. Key codes are Windows virtual-key codes; the platform layer translates its
// own key codes into them before a message reaches the handler.
//
// This unit holds no platform code: messages arrive as WindowMessage records.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

struct WindowMessage {
    enum Type {
        None,
        KeyDown,
        KeyUp,
        MouseMove,
        LeftButtonDown,
        LeftButtonUp,
        RightButtonDown,
        RightButtonUp,
        Close, // the system asked the window to close
    };
    Type type = None;
    int key = 0;       // virtual-key code for KeyDown / KeyUp
    int32_t param = 0; // MouseMove: x in the low 16 bits, y in the high 16 bits
};

namespace VirtualKey {
constexpr int Backspace = 8;
constexpr int Shift = 16;
constexpr int Escape = 27;
constexpr int Space = 32;
constexpr int PageUp = 33;
constexpr int PageDown = 34;
constexpr int Home = 36;
constexpr int Left = 37;
constexpr int Right = 39;
constexpr int Insert = 45;
constexpr int Separator = 108;
constexpr int Subtract = 109;
constexpr int F1 = 112;
constexpr int F2 = 113;
constexpr int Period = 190;
constexpr int OpenBracket = 219;
constexpr int CloseBracket = 221;
} // namespace VirtualKey

class SystemWindow;

// The character a key-down queues: 0 means nothing is queued.
int translateKey(int virtualKey, bool shiftDown);

class Viewport {
public:
    Viewport() = default;
    Viewport(const Viewport&) = delete;
    Viewport& operator=(const Viewport&) = delete;

    // Records one message (see the message table of the window procedure).
    void handleMessage(const WindowMessage& message);
    // Takes at most one waiting message from the system window and records it, besides the mouse
    // motion waiting before it (which only moves mouseX and mouseY); returns 0.
    int pumpOneMessage();

    // The operating system's window behind this viewport; null for a window that only exists
    // as a size (tests, checking a scene).
    SystemWindow* system = nullptr;

    unsigned width = 0;
    unsigned height = 0;
    std::string title;
    int running = 0;
    bool fullscreen = false;
    uint8_t keyDown[256] = {};
    bool mouseEvent = false;
    bool leftDown = false;
    bool rightDown = false;
    bool shiftDown = false;
    int mouseX = 0;
    int mouseY = 0;
    bool closeRequested = false; // the system asked to close the window
    std::deque<char> typed;
    // Every key pressed, as virtual-key codes, for the show's transport; the oldest are dropped
    // beyond a few dozen, so a queue nobody reads stays small.
    std::deque<int> pressed;
    static constexpr size_t MaxPressed = 32;
};
