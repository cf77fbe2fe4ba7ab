// Keys and typed text for Dear ImGui, which reads a key as held or not when its frame starts. At a
// few frames a second a key pressed and released between two frames would never be seen, and a
// modifier's release would take Ctrl away from a Ctrl+A before the frame saw it. So the release of
// a key that acts (a modifier, an editing or moving key, a letter with Ctrl, Alt or the system
// key) waits for the next frame once the coming frame has seen it go down, and every key and
// character after it waits too, in their order. Plain typing never waits: ImGui takes the
// characters, not the keys.
//
// Each key reaches ImGui with the modifiers it was pressed with, not with the keyboard's state
// when it is handed over: a second shortcut that waited a frame keeps its Ctrl.
#pragma once

#include <SDL_events.h>

#include <vector>

class GuiKeyFeed {
public:
    // Whether the event is one the feed takes: a key, typed text, text being composed.
    static bool takes(const SDL_Event& event);
    // Hands the event to the current ImGui context's input now, or keeps it for after the frame.
    void take(const SDL_Event& event);
    // After ImGui's frame: what waited goes in for the next one, in order.
    void frameDone();

private:
    void feed(const SDL_Event& event);

    std::vector<SDL_Scancode> pressedThisFrame_;
    std::vector<SDL_Event> waiting_;
};
