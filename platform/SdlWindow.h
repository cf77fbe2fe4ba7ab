// The program window on SDL2 with an OpenGL 4.5 core context. This folder is the only code
// that includes SDL; the rest of the engine sees a SystemWindow.
//
// Headless machines use SDL's offscreen video driver (SDL_VIDEODRIVER=offscreen), which gives a
// real OpenGL context on Mesa's software rasteriser: the same code renders in tests and CI.
#pragma once

#include "engine/SystemWindow.h"

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
};

// On failure returns null, sets `result`, and describes the cause in `error` (what is missing
// and what to do about it). A refused full-screen mode also shows the "Can't set mode to
// fullscreen" message box.
std::unique_ptr<SystemWindow> createWindow(const WindowRequest& request, WindowResult& result,
                                           std::string& error);

// A modal message box where a display exists; nothing on headless drivers.
void showMessageBox(const std::string& caption, const std::string& text, bool error);

// True when SDL's video driver draws nowhere a person can see (offscreen or dummy).
bool isHeadless();

} // namespace platform
