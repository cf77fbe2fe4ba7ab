#include "editor/GuiKeyFeed.h"

#include <imgui.h>

#include <algorithm>

namespace {

// Whether ImGui acts on this key as a key, not as a character it types.
bool actsInGui(const SDL_Event& event) {
    const SDL_Scancode code = event.key.keysym.scancode;
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z)
        return (event.key.keysym.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) != 0;
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_0) return false;
    return code != SDL_SCANCODE_SPACE && (code < SDL_SCANCODE_MINUS || code > SDL_SCANCODE_SLASH);
}

} // namespace

bool GuiKeyFeed::takes(const SDL_Event& event) {
    return event.type == SDL_KEYDOWN || event.type == SDL_KEYUP || event.type == SDL_TEXTINPUT ||
           event.type == SDL_TEXTEDITING;
}

void GuiKeyFeed::take(const SDL_Event& event) {
    if (!takes(event)) return;
    const bool releaseSeenThisFrame = event.type == SDL_KEYUP && actsInGui(event) &&
                                      std::find(pressedThisFrame_.begin(), pressedThisFrame_.end(),
                                                event.key.keysym.scancode) != pressedThisFrame_.end();
    if (!waiting_.empty() || releaseSeenThisFrame) {
        waiting_.push_back(event);
        return;
    }
    feed(event);
}

void GuiKeyFeed::frameDone() {
    pressedThisFrame_.clear();
    std::vector<SDL_Event> waited;
    waited.swap(waiting_);
    for (const SDL_Event& event : waited)
        take(event);
}

void GuiKeyFeed::feed(const SDL_Event& event) {
    ImGuiIO& io = ImGui::GetIO();
    if (event.type == SDL_TEXTINPUT) {
        io.AddInputCharactersUTF8(event.text.text);
        return;
    }
    // Text being composed by an input method: this ImGui shows none of it, and its characters
    // come as text input when they are done.
    if (event.type == SDL_TEXTEDITING) return;
    const SDL_Scancode code = event.key.keysym.scancode;
    if (code < 0 || code >= static_cast<int>(IM_ARRAYSIZE(io.KeysDown))) return;
    const bool down = event.type == SDL_KEYDOWN;
    io.KeysDown[code] = down;
    const Uint16 mod = event.key.keysym.mod;
    io.KeyShift = (mod & KMOD_SHIFT) != 0;
    io.KeyCtrl = (mod & KMOD_CTRL) != 0;
    io.KeyAlt = (mod & KMOD_ALT) != 0;
#ifdef _WIN32
    io.KeySuper = false; // the Windows key belongs to the system, as ImGui's SDL back end has it
#else
    io.KeySuper = (mod & KMOD_GUI) != 0;
#endif
    if (down) pressedThisFrame_.push_back(code);
}
