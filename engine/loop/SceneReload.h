// Moving a running show to another time, and loading its scene again: both reset the scene to
// what its load made, load it again and replay the frames from 0 to the time wanted. Keeping the
// renderer, its shaders and the scene's meshes and materials, this is exact: actors keep state
// that no formula of time gives back.
//
// Main thread only, between frames, once the show plays.
#pragma once

#include <string>
#include <vector>

// Keeps the scene file's bytes, so that a seek loads the scene the show started with even when
// the file changes on disk meanwhile. The loader thread calls it before each load.
void rememberShowScene(const std::string& file);
std::string rememberedSceneFile();
// Scene bytes that stand for the file from now on (an editor's unsaved scene): later seeks and
// reloads from memory load these.
void rememberShowSceneBytes(const std::string& bytes);

// Replays the show from 0 to `target` (music seconds); returns the music time it goes on from.
// False in `moved` (and nothing changes) when no scene was loaded yet.
float seekShow(float target, bool* moved = nullptr);

struct SceneReloadResult {
    bool loaded = false;               // the file was read (else the show goes on unchanged)
    std::vector<std::string> problems; // what a scene check would say about the new file
    float position = 0.0f;             // the music time the show goes on from
};
// Reads the scene file again, loads it over a reset scene and replays to `target`. With
// `readAssets`, meshes and bitmaps are read again too (one of them changed).
SceneReloadResult reloadShowScene(float target, bool readAssets);
// The same from bytes held in memory, which are remembered as the show's scene.
SceneReloadResult reloadShowSceneBytes(const std::string& bytes, float target);
