// The default show's meshes, built from parametric surfaces into the engine's flat triangle lists.
//
// Frame convention (what the lighting shader relies on): the tangent points along +u, the binormal
// along +v, the normal out of the visible side, and cross(tangent, binormal) = normal. Triangles are
// wound clockwise as seen from the visible side, so cross(p1 - p0, p2 - p0) points along the normal,
// as in any left-handed, y-up world. Texture coordinates are chosen so that a picture saved as an
// ordinary bitmap appears upright and unmirrored on the visible side: the engine keeps bitmap rows in
// file order (v = 0 is the picture's bottom row) and mirrors diffuse rows, so u grows towards the
// picture's left edge and v towards its top.
//
// Sizes are in modelling units of about a centimetre: the show's actors scale them by 0.008 to 0.05.
// Every array of a returned mesh is filled; nothing here allocates per frame or touches the registry.
#pragma once

#include "render/Mesh.h"

#include <string>
#include <vector>

// A cube of edge 50 centred on the origin, one full picture per face ("eckig").
Mesh makeCube(const std::string& name, float edge = 50.0f);
// A latitude-longitude sphere of radius 40; u wraps twice around, v runs south to north.
Mesh makeSphere(const std::string& name, float radius = 40.0f, int segments = 48, int rings = 24);
// A ring torus around the y axis: major radius 35, tube radius 12.
Mesh makeTorus(const std::string& name, float major = 35.0f, float minor = 12.0f, int segments = 48,
               int sides = 24);
// A (2, 3) torus knot tube of about 4,600 triangles and 100 units across ("ding02"); the object
// that explodes triangle by triangle, so it has many small triangles of similar size.
Mesh makeTorusKnot(const std::string& name, int segments = 192, int sides = 12);
// A tube around the z axis seen from inside ("Tunnel01"): radius 100 with shallow ribs every 100
// units, from z = -350 to 350, normals facing the axis, open at both ends.
Mesh makeTunnel(const std::string& name, int sides = 40, int segments = 100);
// A square in the xz plane at y = 0, facing +y, edge 400, the picture repeated `repeat` times.
Mesh makeFloor(const std::string& name, float edge = 400.0f, int repeat = 8);
// A 16:9 upright rectangle (160 x 90) in the xy plane facing +z, towards a camera that looks along
// -z from in front of it; one full picture.
Mesh makePanel(const std::string& name, float width = 160.0f, float height = 90.0f);

struct NamedMesh {
    std::string name;
    Mesh mesh;
};

// Every mesh of the default show, in a fixed order.
std::vector<NamedMesh> makeShowMeshes();
