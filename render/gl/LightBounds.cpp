#include "render/gl/LightBounds.h"

#include <algorithm>
#include <cmath>

namespace {

bool finite(const Vector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Window depth of a point on the view axis at distance z (view space), and whether it lies ahead
// of the eye.
bool depthAt(const Matrix& projection, float z, float& depth) {
    float w = 0.0f;
    const Vector clip = transformCoord({0.0f, 0.0f, z}, projection, &w);
    if (!(w > 0.0f)) return false;
    depth = clip.z / w;
    return std::isfinite(depth);
}

} // namespace

LightBounds lightBounds(const Sphere& sphere, const Matrix& view, const Matrix& projection, int width,
                        int height, float depthStep) {
    LightBounds bounds;
    bounds.rect[2] = width;
    bounds.rect[3] = height;
    if (!std::isfinite(sphere.radius) || !finite(sphere.centre)) return bounds;
    if (Frustum(matrixMultiply(view, projection)).excludes(sphere)) {
        bounds.onScreen = false;
        bounds.rect[2] = bounds.rect[3] = 0;
        return bounds;
    }
    // In view space; a view that stretches grows the radius with it.
    const Sphere seen = transformSphere(sphere, view);
    if (!std::isfinite(seen.radius) || !finite(seen.centre)) return bounds;
    const Vector c = seen.centre;
    const float r = seen.radius;

    // The box around the sphere projects within the hull of its corners, as long as the whole
    // box lies ahead of the eye; otherwise the light may reach any pixel.
    float left = 1.0f, right = -1.0f, bottom = 1.0f, top = -1.0f;
    bool ahead = true;
    for (int i = 0; i < 8 && ahead; ++i) {
        const Vector corner{c.x + ((i & 1) ? r : -r), c.y + ((i & 2) ? r : -r), c.z + ((i & 4) ? r : -r)};
        float w = 0.0f;
        const Vector clip = transformCoord(corner, projection, &w);
        ahead = w > 1e-6f;
        if (!ahead) break;
        left = std::min(left, clip.x / w);
        right = std::max(right, clip.x / w);
        bottom = std::min(bottom, clip.y / w);
        top = std::max(top, clip.y / w);
    }
    if (ahead && std::isfinite(left) && std::isfinite(right) && std::isfinite(bottom) && std::isfinite(top)) {
        // A pixel of margin on each side for the rasteriser's rounding; NDC y = +1 is row 0.
        const double w = width, h = height;
        const double x0 = std::floor((left + 1.0) * 0.5 * w) - 1.0;
        const double x1 = std::ceil((right + 1.0) * 0.5 * w) + 1.0;
        const double y0 = std::floor((1.0 - top) * 0.5 * h) - 1.0;
        const double y1 = std::ceil((1.0 - bottom) * 0.5 * h) + 1.0;
        bounds.rect[0] = static_cast<int>(std::clamp(x0, 0.0, w));
        bounds.rect[2] = static_cast<int>(std::clamp(x1, 0.0, w));
        bounds.rect[1] = static_cast<int>(std::clamp(y0, 0.0, h));
        bounds.rect[3] = static_cast<int>(std::clamp(y1, 0.0, h));
        if (bounds.rect[0] >= bounds.rect[2] || bounds.rect[1] >= bounds.rect[3]) {
            bounds.onScreen = false;
            return bounds;
        }
    }

    // One depth bound per light: the far side where it lies before the far plane (it leaves out
    // the background and everything behind the sphere), else the near side where it lies beyond the
    // near plane (everything in front of the sphere), else the far plane itself: what lies there
    // is the background.
    const float margin = 3.0f * depthStep;
    float depth = 0.0f;
    if (depthAt(projection, c.z + r, depth) && depth + margin < 1.0f) {
        bounds.depthTest = LightBounds::Depth::NearerThan;
        bounds.depth = std::max(0.0f, depth + margin);
    } else if (c.z - r > 0.0f && depthAt(projection, c.z - r, depth) && depth - margin > 0.0f &&
               depth - margin < 1.0f) {
        bounds.depthTest = LightBounds::Depth::FartherThan;
        bounds.depth = depth - margin;
    } else {
        bounds.depthTest = LightBounds::Depth::NearerThan;
        bounds.depth = 1.0f;
    }
    return bounds;
}

bool boxMayLookThroughFace(const Vector corners[8], const Vector& light, const Vector& direction,
                           float margin) {
    // The pyramid is where the axis is the largest component of the direction from the light:
    // its four sides, and the plane across the apex, each separate it from a box wholly behind.
    const Vector d = direction;
    const Vector a = d.x != 0.0f ? Vector{0, 1, 0} : Vector{1, 0, 0};
    const Vector b = d.z != 0.0f ? Vector{0, 1, 0} : Vector{0, 0, 1};
    const float half = 0.70710678f;
    const Vector planes[5] = {d, (d + a) * half, (d - a) * half, (d + b) * half, (d - b) * half};
    for (const Vector& n : planes) {
        bool behind = true;
        for (int i = 0; i < 8 && behind; ++i)
            behind = n.dot(corners[i] - light) < -margin;
        if (behind) return false;
    }
    return true;
}
