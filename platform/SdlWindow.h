// The program window on SDL2 with an OpenGL 4.5 core context. This folder is the only code
// that includes SDL; the rest of the engine sees a SystemWindow.
//
// What the window does:
// - one SDL event per pollMessage, turned into at most one WindowMessage; keys arrive as Windows
//   virtual-key codes (letters 65..90 whatever the Shift state, digits 48..57, F1 112, ...), so
//   the Viewport's key tables hold unchanged; all the mouse motion waiting is one message with
//   the latest position, handed over first;
// - full screen asks the display for exactly the requested size at 32 bits per pixel, and reports
//   a refusal with the "Can't set mode to fullscreen" box; or, asked for the desktop, covers it
//   at the desktop's own mode;
// - cursor read, re-centre (only when the cursor is elsewhere, so that a resting mouse does not
//   queue a motion event every frame) and hide.
//
// Headless machines use SDL's offscreen video driver (SDL_VIDEODRIVER=offscreen), which gives a
// real OpenGL context on Mesa's software rasteriser: the same code renders in tests and CI. There
// is no display mode to change there, so a full-screen request gets a drawable of the requested
// size and no mode change.
#pragma once

#include "engine/base/SystemWindow.h"

#include <memory>
#include <string>

namespace platform {

enum WindowResult {
    WindowCreated = 0,
    WindowNoVideo = -1,     // no display and no offscreen driver
    WindowModeRefused = -2, // the full-screen mode change was refused
    WindowNoContext = -3,   // no OpenGL 4.5 core context
};

struct WindowRequest {
    std::string title;
    int width = 1920;
    int height = 1080;
    bool fullscreen = true;
    // Without a display SDL falls back to its offscreen driver, whose window nobody sees. That
    // is taken only when asked for (SDL_VIDEODRIVER names the driver) or allowed here (a run that
    // writes its frames to files needs no display); otherwise creation fails saying so.
    bool invisibleAllowed = false;
    // Full screen on the desktop at its own mode (the request's size should be the desktop's,
    // see desktopSize) rather than a mode change to the requested size.
    bool desktop = false;
    // Present once per display refresh instead of as soon as a frame is drawn.
    bool vsync = false;
};

// The size of the desktop the window opens on; false where there is none (headless drivers).
bool desktopSize(int& width, int& height);

// On failure returns null, sets `result`, and describes the cause in `error` (what is missing
// and what to do about it). A refused full-screen mode also shows the "Can't set mode to
// fullscreen" message box with the caption "ERROR".
// The window starts hidden; SystemWindow::showWindow shows it (and enters full screen).
std::unique_ptr<SystemWindow> createWindow(const WindowRequest& request, WindowResult& result,
                                           std::string& error);

// A modal message box where a display exists; nothing on headless drivers. The box blocks until
// someone closes it, so unattended runs on a virtual display (Xvfb) should install their own
// function with setMessageBoxFunction.
void showMessageBox(const std::string& caption, const std::string& text, bool error);

// Replaces what showMessageBox does (null restores SDL's box); returns the previous function, or
// null when SDL's box was in use.
MessageBoxFunction setMessageBoxFunction(MessageBoxFunction function);

// Queues a key press (down, then up) in the window system's event queue, as a person would
// make it; `name` is the window system's key name ("Space", "Left", "PageUp", "L", "[", "F1").
// False for a name it does not know.
bool pushKeyPress(const std::string& name);

// The window system's text input (SDL_TEXTINPUT: characters as the keyboard layout and input
// method compose them). Off from the start: the show reads keys, not text, and an event nobody
// reads costs a frame of latency. An editor turns it on while one of its text fields has the
// keyboard, and off again after.
void setTextInput(bool on);

// True when SDL's video driver draws nowhere a person can see (offscreen or dummy).
bool isHeadless();

} // namespace platform
