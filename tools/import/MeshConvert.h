// Turns an indexed triangle mesh as modelling tools keep it into the records of an engine mesh file.
//
// Modelling tools (and Assimp, which reads their files) work right-handed with y up, counter-
// clockwise front faces and texture coordinates whose v grows up the picture. The engine is
// left-handed with clockwise front faces, and a bitmap saved upright shows on a mesh unmirrored
// when u grows towards the picture's left edge and v towards its top. So, on the way:
//   - positions are placed by the node's transform, then scaled, then z is negated (a model seen
//     from the front in its tool, from +z, is seen from the front by an engine camera looking
//     along +z; left stays left and up stays up);
//   - each triangle's winding is reversed, so cross(p1 - p0, p2 - p0) points along the normal;
//   - u becomes 1 - u, v stays;
//   - normals follow the transform's inverse transpose; the tangent points along +u and the
//     binormal along +v of the final texture coordinates, both at right angles to the normal.
// A mesh without normals gets them made up from its faces, smooth across gentle edges and split at
// sharp ones whether or not the file shares the corner between the faces; one without texture
// coordinates gets a flat projection from the side it is thinnest on (the front when in doubt), so
// its tangent frame still works with a normal map.
#pragma once

#include "math/Vector.h"
#include "render/Mesh.h"

#include <cstdint>
#include <vector>

// One vertex record of a mesh file, in file order.
struct MeshRecord {
    Vector position;
    TexCoord uv;
    Vector normal;
    Vector tangent;
    Vector binormal;
};
static_assert(sizeof(MeshRecord) == 56, "a record is 14 floats with no padding");

// p' = m p + t, column vectors: the rows of a node's 4 x 4 matrix without the last.
struct Affine {
    float m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

    Vector point(const Vector& p) const;
    Vector direction(const Vector& d) const;
    // The inverse transpose of the linear part, for normals (the identity for a singular one).
    Affine normalTransform() const;
    float determinant() const;
};

// An indexed mesh in the tool's conventions (see above).
struct SourceMesh {
    std::vector<Vector> positions;
    std::vector<Vector> normals;     // empty: the file has none
    std::vector<TexCoord> uvs;       // empty: the file has none (v grows up the picture)
    std::vector<Vector> tangents;    // empty: the file has none
    std::vector<Vector> bitangents;  // with tangents
    std::vector<uint32_t> triangles; // three indices a triangle
};

struct ConvertSettings {
    float scale = 1.0f;
    bool zUp = false; // the model stands on z (CAD, STL): turned to stand on y first
    // Made-up normals are smooth across edges where faces meet at less than this, and split
    // (flat on each side) at sharper ones.
    float creaseDegrees = 60.0f;
};

struct ConvertReport {
    bool planarMapping = false;    // there were no texture coordinates
    uint64_t droppedTriangles = 0; // triangles with an index out of range or a position not finite
};

// Appends the mesh's triangles to `out`, placed by `transform` (model to scene, in the tool's
// conventions).
void appendEngineTriangles(const SourceMesh& mesh, const Affine& transform, const ConvertSettings& settings,
                           std::vector<MeshRecord>& out, ConvertReport& report);

// The bytes of a mesh file holding the records.
std::vector<uint8_t> meshFileBytes(const std::vector<MeshRecord>& records);
