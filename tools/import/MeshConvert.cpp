#include "tools/import/MeshConvert.h"

#include "render/MeshFile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace {

bool finite(const Vector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The unit vector, or zero for a vector too short (or not finite) to have a direction.
Vector unitOrZero(const Vector& v) {
    const float length = v.length();
    if (!(length > 1e-20f) || !std::isfinite(length)) return {};
    return v * (1.0f / length);
}

// From the tool's space to the engine's: stand a z-up model on y, then mirror z.
Vector toEngine(Vector v, bool zUp) {
    if (zUp) v = Vector{v.x, v.z, -v.y};
    return Vector{v.x, v.y, -v.z};
}

// Any unit vector at right angles to a unit vector.
Vector perpendicular(const Vector& n) {
    const Vector axis = std::fabs(n.x) < 0.9f ? Vector{1, 0, 0} : Vector{0, 1, 0};
    return unitOrZero(cross(axis, n));
}

// Texture coordinates projected flat onto the plane the mesh is thinnest across, in the engine's
// convention (u grows to the left of the view, v upwards), the picture stretched over the extent.
std::vector<TexCoord> planarMapping(const std::vector<Vector>& positions) {
    Vector low{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
               std::numeric_limits<float>::max()};
    Vector high = low * -1.0f;
    for (const Vector& p : positions) {
        if (!finite(p)) continue;
        low = Vector{std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = Vector{std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const Vector extent = high - low;
    auto span = [](float e) { return e > 1e-12f && std::isfinite(e) ? e : 1.0f; };
    std::vector<TexCoord> uvs(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        const Vector& p = positions[i];
        if (!finite(p)) continue;
        if (extent.y < extent.z && extent.y < extent.x) // lying flat: seen from above, front down
            uvs[i] = {(high.x - p.x) / span(extent.x), (p.z - low.z) / span(extent.z)};
        else if (extent.x < extent.z) // standing sideways: seen from +x
            uvs[i] = {(high.z - p.z) / span(extent.z), (p.y - low.y) / span(extent.y)};
        else // seen from the front, the engine camera looking along +z
            uvs[i] = {(high.x - p.x) / span(extent.x), (p.y - low.y) / span(extent.y)};
    }
    return uvs;
}

// The angle at corner `at` of a triangle, between the edges to the two others (0 for a
// degenerate one).
float cornerAngle(const Vector& at, const Vector& next, const Vector& previous) {
    const Vector a = unitOrZero(next - at), b = unitOrZero(previous - at);
    if (a.lengthSquared() < 0.5f || b.lengthSquared() < 0.5f) return 0.0f;
    return std::acos(std::clamp(a.dot(b), -1.0f, 1.0f));
}

// Normals made up for every corner of the triangles: the faces around the corner's position that
// meet its own face at less than the crease angle, each counted by its angle at that position.
// Faces meet at a position, not at a vertex index: a file may share one vertex between the faces
// of a sharp edge (a cube of eight corners) or split a smooth surface's vertices for their texture
// coordinates, and neither decides where the surface is smooth. So a cube stays a cube and a
// sphere stays round, whichever way the file keeps its corners.
std::vector<Vector> madeUpNormals(const std::vector<Vector>& positions,
                                  const std::vector<uint32_t>& triangles, float creaseDegrees) {
    const float smoothAbove = std::cos(std::clamp(creaseDegrees, 0.0f, 180.0f) * 3.14159265f / 180.0f);
    const size_t corners = triangles.size();
    std::vector<Vector> faces(corners / 3);
    for (size_t t = 0; t < faces.size(); ++t) {
        const Vector& p0 = positions[triangles[3 * t]];
        faces[t] =
            unitOrZero(cross(positions[triangles[3 * t + 1]] - p0, positions[triangles[3 * t + 2]] - p0));
    }

    // One number per distinct position (0.0 and -0.0 alike).
    struct PositionKey {
        uint32_t x, y, z;
        bool operator==(const PositionKey&) const = default;
    };
    struct PositionHash {
        size_t operator()(const PositionKey& k) const {
            return std::hash<uint64_t>{}((static_cast<uint64_t>(k.x) << 32 | k.y) ^
                                         (static_cast<uint64_t>(k.z) * 0x9E3779B97F4A7C15ull));
        }
    };
    auto bits = [](float f) { return f == 0.0f ? 0u : std::bit_cast<uint32_t>(f); };
    std::unordered_map<PositionKey, uint32_t, PositionHash> places;
    std::vector<uint32_t> placeOfCorner(corners);
    for (size_t c = 0; c < corners; ++c) {
        const Vector& p = positions[triangles[c]];
        const auto [it, added] = places.try_emplace(PositionKey{bits(p.x), bits(p.y), bits(p.z)},
                                                    static_cast<uint32_t>(places.size()));
        placeOfCorner[c] = it->second;
    }

    // The corners at each position, grouped (a counting sort by position).
    std::vector<size_t> first(places.size() + 1, 0);
    for (uint32_t place : placeOfCorner)
        ++first[place + 1];
    for (size_t i = 1; i < first.size(); ++i)
        first[i] += first[i - 1];
    std::vector<size_t> cornersAt(corners);
    std::vector<size_t> fill(first.begin(), first.end() - 1);
    for (size_t c = 0; c < corners; ++c)
        cornersAt[fill[placeOfCorner[c]]++] = c;

    std::vector<float> angles(corners);
    for (size_t c = 0; c < corners; ++c) {
        const size_t t = c / 3, k = c % 3;
        angles[c] = cornerAngle(positions[triangles[3 * t + k]], positions[triangles[3 * t + (k + 1) % 3]],
                                positions[triangles[3 * t + (k + 2) % 3]]);
    }

    std::vector<Vector> normals(corners);
    for (size_t c = 0; c < corners; ++c) {
        const Vector& own = faces[c / 3];
        if (own.lengthSquared() < 0.5f) continue;
        Vector sum;
        const uint32_t place = placeOfCorner[c];
        for (size_t i = first[place]; i < first[place + 1]; ++i) {
            const size_t other = cornersAt[i];
            const Vector& face = faces[other / 3];
            if (face.dot(own) >= smoothAbove) sum += face * angles[other];
        }
        normals[c] = unitOrZero(sum);
        if (normals[c].lengthSquared() < 0.5f) normals[c] = own;
    }
    return normals;
}

} // namespace

Vector Affine::point(const Vector& p) const {
    return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
            m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
            m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
}

Vector Affine::direction(const Vector& d) const {
    return {m[0][0] * d.x + m[0][1] * d.y + m[0][2] * d.z, m[1][0] * d.x + m[1][1] * d.y + m[1][2] * d.z,
            m[2][0] * d.x + m[2][1] * d.y + m[2][2] * d.z};
}

float Affine::determinant() const {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Affine Affine::normalTransform() const {
    const float det = determinant();
    Affine out;
    if (!(std::fabs(det) > 1e-30f) || !std::isfinite(det)) return out;
    // The inverse transpose is the cofactor matrix divided by the determinant; the sign of the
    // determinant matters (a mirroring node turns its normals the other way round).
    auto c = [&](int r0, int r1, int c0, int c1) { return m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]; };
    out.m[0][0] = c(1, 2, 1, 2) / det;
    out.m[0][1] = -c(1, 2, 0, 2) / det;
    out.m[0][2] = c(1, 2, 0, 1) / det;
    out.m[1][0] = -c(0, 2, 1, 2) / det;
    out.m[1][1] = c(0, 2, 0, 2) / det;
    out.m[1][2] = -c(0, 2, 0, 1) / det;
    out.m[2][0] = c(0, 1, 1, 2) / det;
    out.m[2][1] = -c(0, 1, 0, 2) / det;
    out.m[2][2] = c(0, 1, 0, 1) / det;
    return out;
}

void appendEngineTriangles(const SourceMesh& mesh, const Affine& transform, const ConvertSettings& settings,
                           std::vector<MeshRecord>& out, ConvertReport& report) {
    const size_t count = mesh.positions.size();
    const Affine normalTransform = transform.normalTransform();

    std::vector<Vector> positions(count), normals(count);
    for (size_t i = 0; i < count; ++i) {
        positions[i] = toEngine(transform.point(mesh.positions[i]) * settings.scale, settings.zUp);
        if (i < mesh.normals.size())
            normals[i] = unitOrZero(toEngine(normalTransform.direction(mesh.normals[i]), settings.zUp));
    }
    std::vector<TexCoord> uvs;
    if (mesh.uvs.size() >= count && count > 0) {
        uvs.resize(count);
        for (size_t i = 0; i < count; ++i)
            uvs[i] = {1.0f - mesh.uvs[i].u, mesh.uvs[i].v};
    } else {
        uvs = planarMapping(positions);
        report.planarMapping = count > 0;
    }
    const bool fileTangents = mesh.tangents.size() >= count && mesh.bitangents.size() >= count && count > 0;

    // A triangle keeps its corners' order through a mirroring node and the mirror into the
    // engine's space together, and is reversed by the mirror alone.
    const bool reverse = transform.determinant() >= 0.0f;
    std::vector<uint32_t> kept;
    kept.reserve(mesh.triangles.size());
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        uint32_t a = mesh.triangles[t], b = mesh.triangles[t + 1], c = mesh.triangles[t + 2];
        if (a >= count || b >= count || c >= count || !finite(positions[a]) || !finite(positions[b]) ||
            !finite(positions[c])) {
            ++report.droppedTriangles;
            continue;
        }
        if (reverse) std::swap(b, c);
        kept.insert(kept.end(), {a, b, c});
    }

    // Corners the file gives no usable normal get one made up from the faces around them.
    std::vector<Vector> madeUp;
    if (std::any_of(kept.begin(), kept.end(), [&](uint32_t v) { return normals[v].lengthSquared() < 0.5f; }))
        madeUp = madeUpNormals(positions, kept, settings.creaseDegrees);

    // Tangent and binormal directions of each vertex: the slopes of u and v over the triangles
    // around it, each triangle counting by its size.
    std::vector<Vector> alongU(count), alongV(count);
    for (size_t t = 0; t < kept.size(); t += 3) {
        const uint32_t a = kept[t], b = kept[t + 1], c = kept[t + 2];
        const Vector e1 = positions[b] - positions[a], e2 = positions[c] - positions[a];
        const float du1 = uvs[b].u - uvs[a].u, dv1 = uvs[b].v - uvs[a].v;
        const float du2 = uvs[c].u - uvs[a].u, dv2 = uvs[c].v - uvs[a].v;
        const float r = du1 * dv2 - du2 * dv1;
        if (!(std::fabs(r) > 1e-20f)) continue;
        const float s = r > 0 ? 1.0f : -1.0f;
        const Vector tu = (e1 * dv2 - e2 * dv1) * s, tv = (e2 * du1 - e1 * du2) * s;
        if (!finite(tu) || !finite(tv)) continue;
        for (uint32_t v : {a, b, c}) {
            alongU[v] += tu;
            alongV[v] += tv;
        }
    }

    out.reserve(out.size() + kept.size());
    for (size_t t = 0; t < kept.size(); t += 3) {
        for (size_t corner = t; corner < t + 3; ++corner) {
            const uint32_t v = kept[corner];
            MeshRecord record;
            record.position = positions[v];
            record.uv = uvs[v];
            Vector n = normals[v];
            if (n.lengthSquared() < 0.5f) n = madeUp[corner];
            if (n.lengthSquared() < 0.5f) n = Vector{0, 0, -1};
            record.normal = n;

            Vector tangent = unitOrZero(alongU[v] - n * n.dot(alongU[v]));
            Vector binormal = alongV[v];
            if (fileTangents) {
                // The file's own frame (from the tool that baked its normal maps), turned to point
                // along the engine's +u and +v.
                Vector fileTangent =
                    unitOrZero(toEngine(transform.direction(mesh.tangents[v]), settings.zUp));
                Vector fileBinormal =
                    unitOrZero(toEngine(transform.direction(mesh.bitangents[v]), settings.zUp));
                if (fileTangent.dot(tangent) < 0) fileTangent = -fileTangent;
                if (fileBinormal.dot(binormal) < 0) fileBinormal = -fileBinormal;
                if (const Vector f = unitOrZero(fileTangent - n * n.dot(fileTangent));
                    f.lengthSquared() > 0.5f)
                    tangent = f;
                if (fileBinormal.lengthSquared() > 0.5f) binormal = fileBinormal;
            }
            if (tangent.lengthSquared() < 0.5f) tangent = perpendicular(n);
            binormal = unitOrZero(binormal - n * n.dot(binormal) - tangent * tangent.dot(binormal));
            if (binormal.lengthSquared() < 0.5f) binormal = cross(n, tangent);
            record.tangent = tangent;
            record.binormal = binormal;
            out.push_back(record);
        }
    }
}

std::vector<uint8_t> meshFileBytes(const std::vector<MeshRecord>& records) {
    static_assert(std::endian::native == std::endian::little, "mesh files are little-endian");
    const uint32_t header[2] = {static_cast<uint32_t>(records.size()), MeshFileMagic};
    std::vector<uint8_t> bytes(sizeof header + records.size() * sizeof(MeshRecord));
    std::memcpy(bytes.data(), header, sizeof header);
    if (!records.empty())
        std::memcpy(bytes.data() + sizeof header, records.data(), records.size() * sizeof(MeshRecord));
    return bytes;
}
