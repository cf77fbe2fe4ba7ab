// The CPU-side copy of one model: a flat triangle list with five parallel vertex arrays.
// Every present array has exactly vertexCount elements; an empty array is absent, and the
// device vertex layout leaves it out. Every three consecutive vertices form one triangle.
#pragma once

#include "math/Vector.h"

#include <cstdint>
#include <string>
#include <vector>

struct TexCoord {
    float u = 0.0f;
    float v = 0.0f;
};

struct Mesh {
    uint32_t vertexCount = 0;
    uint32_t stride = 0; // bytes per vertex on the device; written by the renderer on registration
    std::vector<Vector> positions;
    std::vector<Vector> normals;
    std::vector<TexCoord> texCoords;
    std::vector<Vector> tangents;
    std::vector<Vector> binormals;
    std::string name;
};
