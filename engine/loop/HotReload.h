// Reading the show's files again while it plays: a changed shader is built again and swapped
// in (the last good one stays when it does not compile); a changed scene file loads the scene
// again and replays to the current show time; a changed mesh or bitmap alone is read (that file
// only) on a thread of its own while the show goes on, and swapped in between two frames once it
// is whole, so the old one stays on screen until the new one is on the device, nothing is
// replayed and the clock is never set back; a changed song is opened again and goes on at the
// same time. What could not be taken is shown on screen until the next good save, and written to
// the log.
//
// A bitmap counts for the material of its name, or as the "_normal" or "_emissive" image of the
// material of the name before that. A diffuse image saved at another size brings its companions
// with it (they are read again, as a load reads them); a companion must keep the material's size.
// Meshes an actor made from a reloaded mesh (a copy it deforms) keep their shape until the next
// seek or reload.
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

// Waits for the meshes and bitmaps being read and swaps them in (tests).
void finishReads();
// Waits for them and forgets them (the end of a run: nothing is drawn any more).
void dropReads();

// What the last reloads could not take, in red, for the screen.
std::vector<ScreenLine> problemLines();

struct Timing {
    double shaderMs = -1.0; // the last shader built again, from reading its file to swapping it in
    double sceneMs = -1.0;  // the last scene loaded again, with its replay
    double assetMs = -1.0;  // the frame thread's part of the last mesh or bitmap swapped in
    int reloads = 0;
};
Timing lastTiming();

// Forgets the problems and timings (tests).
void reset();

} // namespace hotreload
