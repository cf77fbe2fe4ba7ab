// Reads the engine's binary mesh format: a little-endian vertex count N, the magic 0x1337, then
// N records of 14 floats (position 3, texture coordinate 2, normal 3, tangent 3, binormal 3).
// No value is changed on the way: no normalisation, no flip, no recomputation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct CachedFile;
struct Mesh;

constexpr uint32_t MeshFileMagic = 0x1337;
constexpr uint32_t MeshFileRecordSize = 56;

// 0 and the new mesh in `out`; -1 for an empty name, or with one line naming the mesh for a
// file shorter than its header, a wrong magic, or a file that does not hold all N records (such
// a mesh is rejected whole, never read past the end). A vertex count that is not a multiple of 3
// loads with a line, and the partial triangle at the end is never drawn. Every line is also
// noted as a problem.
int createMeshFromFile(const CachedFile& file, const std::string& name, std::unique_ptr<Mesh>& out);
int createMeshFromBytes(const uint8_t* data, size_t size, const std::string& name,
                        std::unique_ptr<Mesh>& out);

// The bytes of a mesh file holding the mesh's vertices (absent arrays are written as zeros).
std::vector<uint8_t> encodeMeshFile(const Mesh& mesh);
