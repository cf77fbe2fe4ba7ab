// The operating system's side of the program window, as the engine and the renderer need it.
// The platform layer implements it (an SDL window with an OpenGL context); tests and offline
// checks may implement it with a fake. Nothing here names a platform library.
#pragma once

#include "engine/base/Viewport.h"

#include <string>

class SystemWindow {
public:
    virtual ~SystemWindow() = default;

    // Takes at most one waiting message of this window (or of the application, such as a quit
    // request), translated to virtual-key codes; false when none was waiting.
    virtual bool pollMessage(WindowMessage& message) = 0;

    // The OpenGL context of the window is made current on the calling thread.
    virtual bool makeContextCurrent() = 0;
    // Presents the back buffer without waiting for the vertical retrace.
    virtual void swapBuffers() = 0;
    // Size of the drawable area in pixels.
    virtual int drawableWidth() const = 0;
    virtual int drawableHeight() const = 0;

    virtual void showWindow() = 0;
    virtual void setCursorVisible(bool visible) = 0;
    virtual void getCursorPosition(int& x, int& y) = 0;
    virtual void moveCursor(int x, int y) = 0;
    // A modal box where a person can see one; windows nobody sees (fakes, headless runs) only
    // return. The renderer reports shader errors this way without knowing the platform.
    virtual void showMessageBox(const std::string& caption, const std::string& text, bool error) {
        (void)caption, (void)text, (void)error;
    }
};

// Shows a modal message box where a display exists; always returns (headless: does nothing).
using MessageBoxFunction = void (*)(const std::string& caption, const std::string& text, bool error);
