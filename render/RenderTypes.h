// Records that cross the renderer interface. The engine owns them; the renderer keeps pointers
// and writes only the fields marked as its own.
#pragma once

#include "math/Matrix.h"
#include "math/Vector.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct Mesh;
struct MeshEntry; // the renderer's record of a registered mesh

// The transform of an object's parent, as pointers into it like the object's own.
struct ParentTransform {
    const Vector* position = nullptr;
    const Vector* rotation = nullptr;
    const Vector* scale = nullptr;
};

// What the renderer draws for one placed object. Vectors are pointers into the object, so
// moving or recolouring the object changes what is drawn without registering it again.
struct RenderInstance {
    Mesh* mesh = nullptr;
    Vector* position = nullptr;
    Vector* scale = nullptr;
    Vector* rotation = nullptr;
    Vector* colour = nullptr;
    Vector* emissiveScale = nullptr;
    uint32_t objectValue = 0;
    uint8_t* dirty = nullptr; // non-zero: the mesh's arrays changed and must be uploaded again
    // An object in a group: its parents, nearest first. It is drawn at its own transform followed
    // by each of theirs, so moving a parent moves it. Set before the instance is handed over.
    std::vector<ParentTransform> parents;

    // The renderer's own fields.
    MeshEntry* meshEntry = nullptr;
    bool hasModelMatrix = false;
    Matrix modelMatrix;

    // Written by the loader thread (hiding a new object) while the frame reads it.
    std::atomic<uint8_t> visible{1};
    std::string materialName;
};

// Opaque handle of a device texture owned by the renderer (0: none).
using TextureHandle = uintptr_t;

struct LightRecord {
    int32_t id = 0;
    Vector* position = nullptr;
    Vector* colour = nullptr;
    float* cutoff = nullptr; // the first cut-off value
    TextureHandle shadowCube = 0;
};

// A 2D text overlay. The text buffer belongs to the label.
struct TextLabel {
    std::vector<char> text = std::vector<char>(128, '\0'); // zero-terminated
    int32_t fontChoice = 0;                                // non-zero: the large overlay font
    int32_t x = 0;
    int32_t y = 0;
    uint32_t colour = 0xFFFFFFFF;

    const char* c_str() const { return text.data(); }
};

// Points drawn as a point list in world coordinates.
struct LineSet {
    Vector* points = nullptr;
    int32_t pointCount = 0;
    Vector unused;
};
