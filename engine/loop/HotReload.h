// Reading the show's files again while it plays: a changed shader is built again and swapped
// in (the last good one stays when it does not compile); a changed scene file, mesh or bitmap
// loads the scene again and replays to the current music time; a changed song is opened again
// and goes on at the same time. What could not be taken is shown on screen until the next good
// save, and written to the log.
//
// Main thread only, once per frame.
#pragma once

#include "render/RenderInterface.h"

#include <string>
#include <vector>

class FileWatcher;

namespace hotreload {

// The watcher of the show's directory (not owned; null: nothing is watched).
void setWatcher(FileWatcher* watcher);

// Acts on the files that changed since the last frame. True when the show was moved (a scene
// reload replays): the frame timer starts afresh.
bool run();

// Acts on the named files (paths relative to the show's directory) as if they had changed.
bool reload(const std::vector<std::string>& files);

// What the last reloads could not take, in red, for the screen.
std::vector<ScreenLine> problemLines();

struct Timing {
    double shaderMs = -1.0; // the last shader built again, from reading its file to swapping it in
    double sceneMs = -1.0;  // the last scene loaded again, with its replay
    int reloads = 0;
};
Timing lastTiming();

// Forgets the problems and timings (tests).
void reset();

} // namespace hotreload
