// The running show following the editor's document: an edited value or key frame reaches the
// registry at once; anything else (a new object, a moved event) asks for the scene to be loaded
// again from the document, which the caller does between frames.
#pragma once

#include "editor/model/EditHistory.h"
#include "editor/model/SceneDocument.h"

#include <string>
#include <vector>

class entity_base;

// The object, light or actor of that name in the registry, or null.
entity_base* findSceneEntity(const std::string& name);

// Takes the touched values and paths over from the document; false when the scene must be loaded
// again (a Structure touch, or a binding the registry does not have yet).
bool applyTouches(const SceneDocument& document, const std::vector<Touch>& touches);

// The curve of a path's keys as the show plays it: at each of these music times (in increasing
// order) the value the engine's own AutomationPath gives. `byTime` orders the keys by time, equal
// times in file order. Each time is evaluated on the few keys around it only, so that a path of
// thousands of keys costs what its samples cost.
void sampleCurve(const std::vector<DocumentKey>& keys, const std::vector<size_t>& byTime,
                 const std::vector<float>& times, std::vector<float> (&out)[3]);

// The registry as text, one line per thing, in a fixed order: meshes, materials, objects with
// their mesh, material and vectors, lights, actors with class and parameters, automation paths
// with every point, and timed events. Two loads of equal scenes give equal text.
std::string registryText();
