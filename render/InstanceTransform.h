// Where the renderer puts a placed object: its own scale, rotation and position, followed by
// those of its parents in a group (row vectors, the first applied first). The GL renderer and the
// recording renderer both compute their model matrices here, so tests see what the screen shows.
#pragma once

#include "math/Matrix.h"
#include "render/RenderTypes.h"

// A missing vector counts as no change (scale 1, rotation and position 0). An instance without
// parents gives exactly matrixObjectTransform of its own vectors.
Matrix instanceModelMatrix(const RenderInstance& instance);
