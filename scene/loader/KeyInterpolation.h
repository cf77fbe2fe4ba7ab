// A key's interpolation attribute as the scene's automation keys and the look's tracks both read
// it: after the key's values, one of the interpolation names; anything else is noted as a problem
// and the key keeps moving on the Catmull-Rom curve.
#pragma once

#include "scene/AutomationPath.h"

#include <cstddef>
#include <string>

struct XMLTag;

// `values` is how many leading attributes are the key's values, `valuesNamed` how a line names
// them ("4 values (time, x, y, z)"), `where` the key's place in the file.
Interpolation readKeyInterpolation(const XMLTag* key, size_t values, const std::string& valuesNamed,
                                   const std::string& where);
