#include "tools/import/MeshConvert.h"

#include "render/MeshFile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

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
        const uint32_t corners[3] = {kept[t], kept[t + 1], kept[t + 2]};
        const Vector face = unitOrZero(cross(positions[corners[1]] - positions[corners[0]],
                                             positions[corners[2]] - positions[corners[0]]));
        for (uint32_t v : corners) {
            MeshRecord record;
            record.position = positions[v];
            record.uv = uvs[v];
            Vector n = normals[v];
            if (n.lengthSquared() < 0.5f) n = face;
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
