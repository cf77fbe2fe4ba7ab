// Which object is under the mouse, and where things land on the screen: the renderer's camera
// and projection (row vectors, left-handed, 70 degrees of vertical field of view) redone on the
// CPU, a ray through a pixel against each object's box in its own space.
#pragma once

#include "math/Matrix.h"
#include "math/Vector.h"

#include <string>

struct Mesh;
class entity_base;

struct Ray {
    Vector origin;
    Vector direction; // not normalised
};

struct Bounds {
    Vector min;
    Vector max;
    bool valid = false;
};

struct ViewSetup {
    Vector cameraPosition; // a camera's Position: the negated eye point
    Vector cameraRotation; // x pitch, y yaw
    float width = 1920.0f;
    float height = 1080.0f;

    Matrix view() const;
    Matrix projection() const;
    // Where the camera is and where it looks in the world (unit length), as the picture shows it.
    Vector eye() const;
    Vector forward() const;
};

Bounds meshBounds(const Mesh& mesh);
Matrix objectMatrix(const Vector& position, const Vector& rotation, const Vector& scale);

// The ray through the pixel (x right, y down, from the top left corner of the picture).
Ray rayThroughPixel(const ViewSetup& view, float x, float y);
// The distance along the ray (in ray lengths) where it enters the box under the matrix; false
// when it misses or the box lies behind.
bool hitBounds(const Ray& ray, const Bounds& bounds, const Matrix& model, float& distance);
// A world point's pixel; false when it lies behind the camera.
bool projectToScreen(const ViewSetup& view, const Vector& point, float& x, float& y);

// The nearest visible object of the registry that the ray hits, or null.
entity_base* pickObject(const Ray& ray);
