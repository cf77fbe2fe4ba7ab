// Bounding spheres of meshes and the frusta they are tested against, so that the renderer can
// leave out what cannot reach a picture. Every test errs on the side of drawing: a sphere is
// only ever reported outside when no point of it can be inside, and anything not finite counts
// as inside.
#pragma once

#include "math/Matrix.h"
#include "math/Vector.h"

struct Mesh;

struct Sphere {
    Vector centre;
    float radius = 0.0f; // infinite: it reaches everywhere
};

// A sphere around every vertex the mesh draws: the centre of their box and the farthest vertex
// from it. Vertices past the end of a shorter position array are drawn at the origin, so the
// origin is included then. Positions that are not finite give an infinite radius.
Sphere boundingSphereOf(const Mesh& mesh);

// The sphere that holds the mesh's sphere after `model` (row vectors): the centre transformed,
// the radius grown by the largest stretch the matrix's 3 x 3 part can give any direction.
Sphere transformSphere(const Sphere& sphere, const Matrix& model);

// The six half-spaces of what a view x projection matrix shows (Direct3D clip space: -w <= x, y
// <= w, 0 <= z <= w).
class Frustum {
public:
    explicit Frustum(const Matrix& viewProjection);
    // True only when the whole sphere lies outside one of the half-spaces.
    bool excludes(const Sphere& sphere) const;

private:
    float planes_[6][4] = {}; // a x + b y + c z + d >= 0 inside, (a, b, c) of unit length
    bool usable_[6] = {};     // a degenerate plane excludes nothing
};
