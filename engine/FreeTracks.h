// The scene's free tracks (a name, one to four values, keys over music time; bound to no entity)
// and its materials' own shaders, as the registry keeps them.
//
// The loader thread adds tracks while the frame loop reads them; the registry's lock guards the
// list, and each track's path guards its keys. A scene reset removes the tracks (the next load
// adds them again).
#pragma once

#include "engine/EngineRegistry.h"

#include <string>
#include <vector>

struct FreeTrackInfo {
    std::string name;
    int components = 1;
};

// A new track of that name with 1 to 4 values; null when the scene has one of that name already.
AutomationPath* addFreeTrack(const std::string& name, int components);
// The track of that name (and its value count), or null.
AutomationPath* findFreeTrack(const std::string& name, int* components = nullptr);
// Every track, in the scene's order.
std::vector<FreeTrackInfo> freeTracks();
// Puts every track's value at `time` into `inputs` (main thread: it moves the paths' time).
void evaluateFreeTracks(float time, ShaderInputs& inputs);

// The scene's materials with shaders of their own: kept, and handed to the renderer.
void setMaterialShaderTable(std::vector<MaterialShaders> table);
std::vector<MaterialShaders> materialShaderTable();
