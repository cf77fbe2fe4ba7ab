#include "render/MeshFile.h"

#include "engine/base/AssetStore.h"
#include "engine/base/Log.h"
#include "render/Mesh.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

uint32_t readLittleU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float readFloat(const uint8_t* p) {
    const uint32_t bits = readLittleU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void writeU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void writeFloat(std::vector<uint8_t>& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    writeU32(out, bits);
}

int reject(const std::string& line) {
    logStream << line << std::endl;
    noteProblem(line);
    return -1;
}

// The lines a Wavefront OBJ file starts with: comments, vertices, faces, groups, objects, material
// libraries. A binary mesh starts with a vertex count whose bytes are rarely all printable.
bool looksLikeWavefront(const uint8_t* data, size_t size) {
    static const char* const starts[] = {"# ", "#\n", "v ", "vt ",     "vn ",    "f ",
                                         "g ", "o ",  "s ", "mtllib ", "usemtl "};
    const size_t probe = std::min<size_t>(size, 256);
    for (size_t i = 0; i < probe; ++i)
        if (data[i] != '\n' && data[i] != '\r' && data[i] != '\t' && (data[i] < 32 || data[i] > 126))
            return false;
    for (const char* start : starts)
        if (size >= std::strlen(start) && std::memcmp(data, start, std::strlen(start)) == 0) return true;
    return false;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

} // namespace

int createMeshFromBytes(const uint8_t* data, size_t size, const std::string& name,
                        std::unique_ptr<Mesh>& out) {
    if (name.empty()) return -1;
    if (size < 8 || !data)
        return reject("mesh " + name + ": file of " + std::to_string(size) +
                      " bytes is shorter than the 8-byte header");
    const uint32_t magic = readLittleU32(data + 4);
    if (magic != MeshFileMagic && looksLikeWavefront(data, size))
        return reject("mesh " + name +
                      ": a Wavefront OBJ text file, not the engine's binary mesh format (beatshow-import "
                      "converts one)");
    if (magic != MeshFileMagic) return reject("mesh " + name + ": magic " + hex(magic) + " is not 0x1337");

    // Only whole files load: a file cut short has lost vertices from somewhere, and drawing the
    // rest would show a broken model as if it were fine.
    const uint32_t count = readLittleU32(data);
    const uint64_t needed = 8 + static_cast<uint64_t>(count) * MeshFileRecordSize;
    if (needed > size)
        return reject("mesh " + name + ": " + std::to_string(count) + " vertices need " +
                      std::to_string(needed) + " bytes, the file holds " + std::to_string(size) +
                      "; mesh rejected");
    if (count % 3 != 0) {
        const std::string line = "mesh " + name + ": " + std::to_string(count) +
                                 " vertices is not a whole number of triangles; the last " +
                                 std::to_string(count % 3) + " are not drawn";
        logStream << line << std::endl;
        noteProblem(line);
    }

    auto mesh = std::make_unique<Mesh>();
    mesh->name = name;
    mesh->vertexCount = count;
    mesh->positions.resize(count);
    mesh->normals.resize(count);
    mesh->texCoords.resize(count);
    mesh->tangents.resize(count);
    mesh->binormals.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* r = data + 8 + static_cast<size_t>(i) * MeshFileRecordSize;
        auto vec = [&](int firstFloat) {
            return Vector{readFloat(r + 4 * firstFloat), readFloat(r + 4 * (firstFloat + 1)),
                          readFloat(r + 4 * (firstFloat + 2))};
        };
        mesh->positions[i] = vec(0);
        mesh->texCoords[i] = TexCoord{readFloat(r + 12), readFloat(r + 16)};
        mesh->normals[i] = vec(5);
        mesh->tangents[i] = vec(8);
        mesh->binormals[i] = vec(11);
    }
    out = std::move(mesh);
    return 0;
}

int createMeshFromFile(const CachedFile& file, const std::string& name, std::unique_ptr<Mesh>& out) {
    return createMeshFromBytes(file.data(), file.size, name, out);
}

std::vector<uint8_t> encodeMeshFile(const Mesh& mesh) {
    std::vector<uint8_t> out;
    out.reserve(8 + static_cast<size_t>(mesh.vertexCount) * MeshFileRecordSize);
    writeU32(out, mesh.vertexCount);
    writeU32(out, MeshFileMagic);
    auto vecAt = [](const std::vector<Vector>& v, uint32_t i) { return i < v.size() ? v[i] : Vector{}; };
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        const Vector p = vecAt(mesh.positions, i);
        const TexCoord t = i < mesh.texCoords.size() ? mesh.texCoords[i] : TexCoord{};
        const Vector n = vecAt(mesh.normals, i);
        const Vector tg = vecAt(mesh.tangents, i);
        const Vector b = vecAt(mesh.binormals, i);
        for (float f : {p.x, p.y, p.z, t.u, t.v, n.x, n.y, n.z, tg.x, tg.y, tg.z, b.x, b.y, b.z})
            writeFloat(out, f);
    }
    return out;
}
