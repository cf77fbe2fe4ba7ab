#include "platform/SdlWindow.h"

#include "engine/base/Log.h"

#include <SDL2/SDL.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

bool ensureVideo(std::string& error) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
        // One event per frame reaches the viewport: events that no handler reads would each cost
        // a frame of input latency, so they are kept out of the queue. The show's typed characters
        // come from key-downs through the key tables, not from SDL's text input, which stays off
        // until a text field asks for it (setTextInput).
        setTextInput(false);
        for (Uint32 type :
             {SDL_KEYMAPCHANGED, SDL_CLIPBOARDUPDATE, SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED})
            SDL_EventState(type, SDL_IGNORE);
        return true;
    }
    error = std::string("no display: ") + SDL_GetError() +
            " (run headless with SDL_VIDEODRIVER=offscreen, or under Xvfb)";
    return false;
}

// Windows virtual-key code of an SDL key, 0 for keys without one. Letters and digits follow the
// key's meaning in the active layout where SDL knows it, and its position otherwise (a digit
// key on a French layout, a letter key on a Cyrillic one), as Windows assigns its key codes.
int virtualKeyFor(SDL_Keycode sym, SDL_Scancode scancode) {
    if (sym >= SDLK_a && sym <= SDLK_z) return 'A' + (sym - SDLK_a);
    if (sym >= SDLK_0 && sym <= SDLK_9) return '0' + (sym - SDLK_0);
    switch (sym) {
    case SDLK_BACKSPACE:
        return 8;
    case SDLK_TAB:
        return 9;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return 13;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return 16;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return 17;
    case SDLK_LALT:
    case SDLK_RALT:
        return 18;
    case SDLK_PAUSE:
        return 19;
    case SDLK_CAPSLOCK:
        return 20;
    case SDLK_ESCAPE:
        return 27;
    case SDLK_SPACE:
        return 32;
    case SDLK_PAGEUP:
        return 33;
    case SDLK_PAGEDOWN:
        return 34;
    case SDLK_END:
        return 35;
    case SDLK_HOME:
        return 36;
    case SDLK_LEFT:
        return 37;
    case SDLK_UP:
        return 38;
    case SDLK_RIGHT:
        return 39;
    case SDLK_DOWN:
        return 40;
    case SDLK_PRINTSCREEN:
        return 44;
    case SDLK_INSERT:
        return 45;
    case SDLK_DELETE:
        return 46;
    case SDLK_LGUI:
        return 91;
    case SDLK_RGUI:
        return 92;
    case SDLK_APPLICATION:
        return 93;
    case SDLK_KP_0:
        return 96;
    case SDLK_KP_1:
        return 97;
    case SDLK_KP_2:
        return 98;
    case SDLK_KP_3:
        return 99;
    case SDLK_KP_4:
        return 100;
    case SDLK_KP_5:
        return 101;
    case SDLK_KP_6:
        return 102;
    case SDLK_KP_7:
        return 103;
    case SDLK_KP_8:
        return 104;
    case SDLK_KP_9:
        return 105;
    case SDLK_KP_MULTIPLY:
        return 106;
    case SDLK_KP_PLUS:
        return 107;
    case SDLK_KP_COMMA:
    case SDLK_SEPARATOR:
        return 108;
    case SDLK_KP_MINUS:
        return 109;
    case SDLK_KP_PERIOD:
    case SDLK_KP_DECIMAL:
        return 110;
    case SDLK_KP_DIVIDE:
        return 111;
    case SDLK_NUMLOCKCLEAR:
        return 144;
    case SDLK_SCROLLLOCK:
        return 145;
    case SDLK_SEMICOLON:
        return 186;
    case SDLK_EQUALS:
        return 187;
    case SDLK_COMMA:
        return 188;
    case SDLK_MINUS:
        return 189;
    case SDLK_PERIOD:
        return 190;
    case SDLK_SLASH:
        return 191;
    case SDLK_BACKQUOTE:
        return 192;
    case SDLK_LEFTBRACKET:
        return 219;
    case SDLK_BACKSLASH:
        return 220;
    case SDLK_RIGHTBRACKET:
        return 221;
    case SDLK_QUOTE:
        return 222;
    default:
        break;
    }
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return 112 + (sym - SDLK_F1);
    if (sym >= SDLK_F13 && sym <= SDLK_F24) return 124 + (sym - SDLK_F13);
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) return 'A' + (scancode - SDL_SCANCODE_A);
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) return '1' + (scancode - SDL_SCANCODE_1);
    if (scancode == SDL_SCANCODE_0) return '0';
    return 0;
}

// The left and right keys of a modifier share one virtual key; the pair counts as released
// only when both are up, so that letting go of one Shift while the other is held keeps upper case.
unsigned modifierBit(SDL_Keycode sym) {
    switch (sym) {
    case SDLK_LSHIFT:
        return 1u << 0;
    case SDLK_RSHIFT:
        return 1u << 1;
    case SDLK_LCTRL:
        return 1u << 2;
    case SDLK_RCTRL:
        return 1u << 3;
    case SDLK_LALT:
        return 1u << 4;
    case SDLK_RALT:
        return 1u << 5;
    default:
        return 0;
    }
}

unsigned modifierPair(unsigned bit) {
    if (bit & 0x3u) return 0x3u;
    if (bit & 0xCu) return 0xCu;
    return 0x30u;
}

int32_t packPosition(int x, int y) {
    const uint32_t low = static_cast<uint16_t>(x);
    const uint32_t high = static_cast<uint16_t>(y);
    return static_cast<int32_t>(low | (high << 16));
}

MessageBoxFunction messageBoxFunction = nullptr;

class SdlWindow : public SystemWindow {
public:
    SdlWindow(SDL_Window* window, SDL_GLContext context)
        : window_(window), context_(context), id_(SDL_GetWindowID(window)) {}
    ~SdlWindow() override {
        if (context_) SDL_GL_DeleteContext(context_);
        if (window_) SDL_DestroyWindow(window_);
    }

    bool pollMessage(WindowMessage& message) override {
        // Not SDL_PollEvent: it ends each batch of events with a marker that reads as an empty
        // queue, which would cost a frame of input even while events are waiting.
        SDL_PumpEvents();
        // Motion is folded into the latest position, as a Windows message queue folds its mouse
        // moves: one message, handed over before the next other event, so that a mouse moved
        // all the while never stands between a key and the frame that should act on it.
        SDL_Event motion[64];
        for (;;) {
            const int n = SDL_PeepEvents(motion, 64, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION);
            for (int i = 0; i < n; ++i)
                if (ours(motion[i].motion.windowID)) {
                    motionPending_ = true;
                    motionX_ = motion[i].motion.x;
                    motionY_ = motion[i].motion.y;
                }
            if (n < 64) break;
        }
        if (motionPending_) {
            motionPending_ = false;
            message = WindowMessage{};
            message.type = WindowMessage::MouseMove;
            message.param = packPosition(motionX_, motionY_);
            return true;
        }
        SDL_Event event;
        if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) != 1) return false;
        message = translate(event);
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
    void showWindow() override {
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
    }
    void setCursorVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }
    void getCursorPosition(int& x, int& y) override { SDL_GetMouseState(&x, &y); }
    void moveCursor(int x, int y) override {
        // A warp queues a motion event even when the cursor is already there; with one event
        // per frame that would delay every key press by a frame. A window without focus leaves
        // the cursor to the application that has it.
        if (isHeadless() || !(SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS)) return;
        int cx = 0, cy = 0;
        SDL_GetMouseState(&cx, &cy);
        if (cx != x || cy != y) SDL_WarpMouseInWindow(window_, x, y);
    }
    void showMessageBox(const std::string& caption, const std::string& text, bool error) override {
        platform::showMessageBox(caption, text, error);
    }

private:
    // Events of other windows give no message; synthetic events without a window count as ours.
    bool ours(Uint32 windowId) const { return windowId == 0 || windowId == id_; }

    WindowMessage translate(const SDL_Event& event) {
        WindowMessage message;
        switch (event.type) {
        case SDL_QUIT:
            message.type = WindowMessage::Close;
            break;
        case SDL_WINDOWEVENT:
            if (ours(event.window.windowID) && event.window.event == SDL_WINDOWEVENT_CLOSE)
                message.type = WindowMessage::Close;
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            if (!ours(event.key.windowID)) break;
            const int key = virtualKeyFor(event.key.keysym.sym, event.key.keysym.scancode);
            if (key == 0) break;
            const bool down = event.type == SDL_KEYDOWN;
            if (const unsigned bit = modifierBit(event.key.keysym.sym)) {
                if (down) {
                    modifiers_ |= bit;
                } else {
                    modifiers_ &= ~bit;
                    if (modifiers_ & modifierPair(bit)) break; // the other one is still held
                }
            }
            message.type = down ? WindowMessage::KeyDown : WindowMessage::KeyUp;
            message.key = key;
            break;
        }
        case SDL_MOUSEMOTION:
            if (!ours(event.motion.windowID)) break;
            message.type = WindowMessage::MouseMove;
            message.param = packPosition(event.motion.x, event.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            if (!ours(event.button.windowID)) break;
            const bool down = event.type == SDL_MOUSEBUTTONDOWN;
            if (event.button.button == SDL_BUTTON_LEFT)
                message.type = down ? WindowMessage::LeftButtonDown : WindowMessage::LeftButtonUp;
            else if (event.button.button == SDL_BUTTON_RIGHT)
                message.type = down ? WindowMessage::RightButtonDown : WindowMessage::RightButtonUp;
            break;
        }
        default:
            break;
        }
        return message;
    }

    SDL_Window* window_;
    SDL_GLContext context_;
    Uint32 id_;
    unsigned modifiers_ = 0; // modifierBit of each modifier key that is down
    bool motionPending_ = false;
    int motionX_ = 0;
    int motionY_ = 0;
};

// Finds the display mode of exactly the requested size with 32 bits per pixel; false when the
// display has none (the mode change is refused).
bool findFullscreenMode(SDL_Window* window, int width, int height, SDL_DisplayMode& mode) {
    int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0) display = 0;
    SDL_DisplayMode wanted{};
    wanted.format = SDL_PIXELFORMAT_RGB888; // 32 bits per pixel (8 unused)
    wanted.w = width;
    wanted.h = height;
    if (!SDL_GetClosestDisplayMode(display, &wanted, &mode)) return false;
    // The closest mode may be larger; the mode change asks for this size and nothing else.
    return mode.w == width && mode.h == height && SDL_BYTESPERPIXEL(mode.format) == 4;
}

} // namespace

bool pushKeyPress(const std::string& name) {
    const SDL_Keycode key = SDL_GetKeyFromName(name.c_str());
    if (key == SDLK_UNKNOWN) return false;
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
    if (SDL_PushEvent(&event) < 0) return false;
    event.type = SDL_KEYUP;
    event.key.state = SDL_RELEASED;
    return SDL_PushEvent(&event) >= 0;
}

void setTextInput(bool on) {
    // SDL_TEXTINPUT is only queued while its state is SDL_ENABLE, whatever SDL_StartTextInput says.
    for (Uint32 type : {SDL_TEXTINPUT, SDL_TEXTEDITING})
        SDL_EventState(type, on ? SDL_ENABLE : SDL_IGNORE);
    if (on)
        SDL_StartTextInput();
    else
        SDL_StopTextInput();
}

bool desktopSize(int& width, int& height) {
    std::string error;
    SDL_DisplayMode mode{};
    if (!ensureVideo(error) || isHeadless() || SDL_GetDesktopDisplayMode(0, &mode) != 0 || mode.w <= 0 ||
        mode.h <= 0)
        return false;
    width = mode.w;
    height = mode.h;
    return true;
}

bool isHeadless() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

MessageBoxFunction setMessageBoxFunction(MessageBoxFunction function) {
    const MessageBoxFunction previous = messageBoxFunction;
    messageBoxFunction = function;
    return previous;
}

void showMessageBox(const std::string& caption, const std::string& text, bool error) {
    if (messageBoxFunction) {
        messageBoxFunction(caption, text, error);
        return;
    }
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
    const char* requestedDriver = std::getenv("SDL_VIDEODRIVER");
    if (isHeadless() && !request.invisibleAllowed && (!requestedDriver || !*requestedDriver)) {
        error = "no display to show the show on (SDL found none and would draw invisibly); run it on a "
                "desktop, under Xvfb, or headless on purpose with SDL_VIDEODRIVER=offscreen";
        result = WindowNoVideo;
        return nullptr;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0); // the renderer makes its own depth buffers

    // Headless drivers have no display mode to change: the window simply gets the requested size.
    const bool changeMode = request.fullscreen && !request.desktop && !isHeadless();
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (changeMode) flags |= SDL_WINDOW_FULLSCREEN;
    if (request.fullscreen && request.desktop && !isHeadless()) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_Window* window = SDL_CreateWindow(request.title.c_str(), 0, 0, request.width, request.height, flags);
    if (!window) {
        error = std::string("cannot create the window: ") + SDL_GetError();
        result = WindowNoVideo;
        return nullptr;
    }
    if (changeMode) {
        // SDL changes the mode when the window is shown; asking now keeps the refusal where the
        // caller expects it, before any window appears.
        SDL_DisplayMode mode{};
        if (!findFullscreenMode(window, request.width, request.height, mode) ||
            SDL_SetWindowDisplayMode(window, &mode) != 0) {
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
    // Without vsync, never wait for the vertical retrace.
    if (SDL_GL_SetSwapInterval(request.vsync ? 1 : 0) != 0 && request.vsync)
        logStream << "vsync: this driver cannot wait for the display's refresh (" << SDL_GetError()
                  << "); frames are shown as soon as they are drawn" << std::endl;
    result = WindowCreated;
    return std::make_unique<SdlWindow>(window, context);
}

} // namespace platform
