#include "platform/SdlWindow.h"

#include <SDL2/SDL.h>

#include <cstring>

namespace platform {

namespace {

bool ensureVideo(std::string& error) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    error = std::string("no display: ") + SDL_GetError() +
            " (run headless with SDL_VIDEODRIVER=offscreen, or under Xvfb)";
    return false;
}

class SdlWindow : public SystemWindow {
public:
    SdlWindow(SDL_Window* window, SDL_GLContext context) : window_(window), context_(context) {}
    ~SdlWindow() override {
        if (context_) SDL_GL_DeleteContext(context_);
        if (window_) SDL_DestroyWindow(window_);
    }

    bool pollMessage(WindowMessage& message) override {
        SDL_Event event;
        if (!SDL_PollEvent(&event)) return false;
        message = WindowMessage{};
        if (event.type == SDL_QUIT ||
            (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE))
            message.type = WindowMessage::Close;
        return true;
    }

    bool makeContextCurrent() override { return SDL_GL_MakeCurrent(window_, context_) == 0; }
    void swapBuffers() override { SDL_GL_SwapWindow(window_); }
    int drawableWidth() const override {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window_, &w, &h);
        return w;
    }
    int drawableHeight() const override {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window_, &w, &h);
        return h;
    }
    void showWindow() override { SDL_ShowWindow(window_); }
    void setCursorVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }
    void getCursorPosition(int& x, int& y) override { SDL_GetMouseState(&x, &y); }
    void moveCursor(int x, int y) override {
        if (!isHeadless()) SDL_WarpMouseInWindow(window_, x, y);
    }

private:
    SDL_Window* window_;
    SDL_GLContext context_;
};

} // namespace

bool isHeadless() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

void showMessageBox(const std::string& caption, const std::string& text, bool error) {
    if (!SDL_WasInit(SDL_INIT_VIDEO) || isHeadless()) return;
    SDL_ShowSimpleMessageBox(error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION, caption.c_str(),
                             text.c_str(), nullptr);
}

std::unique_ptr<SystemWindow> createWindow(const WindowRequest& request, WindowResult& result,
                                           std::string& error) {
    if (!ensureVideo(error)) {
        result = WindowNoVideo;
        return nullptr;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0); // the renderer makes its own depth buffers

    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (request.fullscreen) flags |= SDL_WINDOW_FULLSCREEN;
    SDL_Window* window = SDL_CreateWindow(request.title.c_str(), 0, 0, request.width, request.height, flags);
    if (!window) {
        error = std::string("cannot create the window: ") + SDL_GetError();
        result = WindowNoVideo;
        return nullptr;
    }
    if (request.fullscreen) {
        SDL_DisplayMode mode{};
        mode.format = SDL_PIXELFORMAT_RGB888; // 32 bits per pixel
        mode.w = request.width;
        mode.h = request.height;
        if (SDL_SetWindowDisplayMode(window, &mode) != 0) {
            SDL_DestroyWindow(window);
            showMessageBox("ERROR", "Can't set mode to fullscreen", true);
            error = "Can't set mode to fullscreen";
            result = WindowModeRefused;
            return nullptr;
        }
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        error = std::string("no OpenGL 4.5 core context: ") + SDL_GetError() +
                " (headless machines: SDL_VIDEODRIVER=offscreen with Mesa's llvmpipe)";
        SDL_DestroyWindow(window);
        result = WindowNoContext;
        return nullptr;
    }
    SDL_GL_SetSwapInterval(0); // never wait for the vertical retrace
    result = WindowCreated;
    return std::make_unique<SdlWindow>(window, context);
}

} // namespace platform
