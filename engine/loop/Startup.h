// Start-up: the fixed sequence that builds the asset table, the cameras, the loading label, the
// window and the renderer, the music stream, queues the show's scene for the loader thread and
// runs the frame loop.
//
// What the platform provides (the system window, the renderer, the audio backend, the clock)
// comes in through EngineServices, so the same sequence runs the real program, offline
// rendering and tests with a recording renderer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AudioBackend;
class FrameObserver;
class FrameTimer;
class PerformanceCounter;
class RenderInterface;
class SystemWindow;

// The window a show asks for: 1920 x 1080 full screen unless told otherwise.
struct WindowSettings {
    bool windowed = false;
    unsigned width = 1920;
    unsigned height = 1080;
};

class FileWatcher;

struct EngineServices {
    // Opens the system window; null (with a line on the log saying why) when it cannot.
    std::function<std::unique_ptr<SystemWindow>(const std::string& title, unsigned width, unsigned height,
                                                bool fullscreen)>
        openWindow;
    std::function<std::unique_ptr<RenderInterface>()> makeRenderer;
    std::shared_ptr<AudioBackend> audio;
    FrameTimer* timer = nullptr; // the main loop's timer (required)
    // The clock the music follows while it has no stream (null: the steady clock). Offline runs
    // hand in their own, so that a show without music is as repeatable as one with it.
    const PerformanceCounter* musicClock = nullptr;
    FrameObserver* observer = nullptr; // optional
    std::function<int()> random;       // the loading animation's generator (null: seeded rand)
    FileWatcher* watcher = nullptr;    // the show's directory, for hot reload (null: not watched)
    // Decodes a song as one channel for its spectrum (null: the shaders read the music as silence).
    std::function<bool(const std::string& path, int& rate, std::vector<int16_t>& mono, std::string& why)>
        decodeSong;
};

// The scene file and the music file of a show.
extern const char showSceneFile[];
extern const char showMusicFile[];

// Runs the whole program: 0 after the loop ended, -1 when the window or renderer cannot be set up,
// 1 when the start time lies past the show's end (nothing of the show was drawn).
int engineMain(const std::string& commandLine, const WindowSettings& window, EngineServices& services);

// Opens the window and initialises the renderer on it; -1 (after "add vport failed <code>") when
// the renderer cannot start.
int setUpWindowAndRenderer(const std::string& title, unsigned width, unsigned height, bool fullscreen,
                           EngineServices& services);
// Shuts the renderer down and destroys it, then the window (nothing else is released).
void releaseWindowAndRenderer();
