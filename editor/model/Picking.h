// Which object is under the mouse, and where things land on the screen: the renderer's camera
// and projection (row vectors, left-handed, 70 degrees of vertical field of view) redone on the
// CPU, a ray through a pixel against each object's box in its own space, placed as the renderer
// places it (through its parents, for an object in a group).
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
// Where an entity stands in the world: its own transform followed by its parents' (groups), as
// the renderer places it.
Matrix worldMatrix(const entity_base& entity);
// The entity's parent's world matrix (the identity at the root): a move in the world becomes a
// move of the entity's Position through its inverse.
Matrix parentWorldMatrix(const entity_base& entity);
// The group an entity belongs to at the top (its top-most parent), or the entity itself.
entity_base* topMostParent(entity_base* entity);
// True when `entity` is `group` or one of the objects placed relative to it, however deep.
bool isPartOf(const entity_base* entity, const entity_base* group);
// True when objects of the registry are placed relative to the entity.
bool isGroupWithParts(const entity_base& entity);
// A move in the world as a change of the entity's own Position (through its parents' transforms).
Vector worldToParentMove(const entity_base& entity, const Vector& move);
// The world-space box around every drawn object of the group (the entity and all placed under
// it); invalid when none is drawn.
Bounds groupWorldBounds(const entity_base& group);

// The ray through the pixel (x right, y down, from the top left corner of the picture).
Ray rayThroughPixel(const ViewSetup& view, float x, float y);
// The distance along the ray (in ray lengths) where it enters the box under the matrix; false
// when it misses or the box lies behind.
bool hitBounds(const Ray& ray, const Bounds& bounds, const Matrix& model, float& distance);
// A world point's pixel; false when it lies behind the camera.
bool projectToScreen(const ViewSetup& view, const Vector& point, float& x, float& y);

// The nearest visible object of the registry that the ray hits, or null. Groups are hit through
// their parts: the part is what this returns.
entity_base* pickObject(const Ray& ray);
// What a click in the picture selects: the whole group (the top-most parent of the part hit); a
// double click (`part`) the part itself. Null when the ray hits nothing.
entity_base* pickForClick(const Ray& ray, bool part);
