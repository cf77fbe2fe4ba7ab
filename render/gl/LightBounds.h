// Where on the picture a light can add anything, when its fall-off ends at a known distance: the
// screen rectangle around its sphere and a bound on the depth of the surfaces it can reach. The
// lighting pass draws such a light over that rectangle only, lets the depth test leave out what
// lies beyond the bound, and leaves the light out altogether (shadow faces included) when its
// sphere is wholly out of view.
//
// Every bound errs on the side of drawing: a pixel is only ever left out when no point of the
// sphere can be seen there. Depth bounds keep a few steps of the depth buffer clear of the sphere,
// so its rounding never leaves out a pixel the light reaches. The one exception is the last
// bound, the far plane: it leaves out the background, which a light with a reach never lights,
// and with it whatever lies within the depth buffer's last step of the far plane (about 0.3
// units at 30 with 16 bits), which the depth buffer cannot tell from it.
#pragma once

#include "math/Matrix.h"
#include "render/Bounds.h"

struct LightBounds {
    // False: the sphere lies wholly outside the view, so the light adds nothing to the picture.
    bool onScreen = true;
    // The pixels the light may reach: x0, y0 inclusive, x1, y1 exclusive, rows counted from the top
    // (window rows, as the clip control sets them).
    int rect[4] = {0, 0, 0, 0};
    // Which surfaces the light may reach by their depth: any, those nearer than `depth` (the
    // sphere's far side), or those farther than `depth` (its near side).
    enum class Depth { Any, NearerThan, FartherThan };
    Depth depthTest = Depth::Any;
    float depth = 1.0f; // window depth, 0..1
};

// The bounds of `sphere` (world space) on a picture of width x height pixels seen through `view`
// and `projection` (row vectors, Direct3D clip space, depth 0..1 growing with the distance along
// the view axis alone, as a perspective projection gives it). `depthStep` is the depth buffer's
// resolution (1 / 65535 for 16 bits). A sphere that is not finite reaches everywhere.
LightBounds lightBounds(const Sphere& sphere, const Matrix& view, const Matrix& projection, int width,
                        int height, float depthStep);

// Whether a surface inside a box (its 8 corners, world space), grown by `margin` each way, may look
// up the light's shadow cube through the face whose axis is `direction` (a unit axis): whether
// the box reaches into that face's quarter-turn pyramid from `light`. Only faces that something
// lit in view looks through need drawing; the others may keep what they hold.
bool boxMayLookThroughFace(const Vector corners[8], const Vector& light, const Vector& direction,
                           float margin);
