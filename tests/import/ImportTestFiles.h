// Files of other tools, written by the tests themselves: glTF (text with a .bin, or binary with
// embedded pictures), Wavefront OBJ with its .mtl, pictures through stb_image_write and libpng,
// and what the engine makes of imported files, read back through its own readers.
#pragma once

#include "render/Material.h"
#include "render/Mesh.h"
#include "tools/Picture.h"

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// ---- models ----

struct TestPrimitive {
    std::vector<float> positions, normals, uvs; // uvs as the file keeps them
    std::vector<uint16_t> indices;
    int material = -1;
};
struct TestNode {
    std::string name;
    int mesh = 0;
    std::array<float, 3> translation{0, 0, 0};
    std::array<float, 4> rotation{0, 0, 0, 1};
    std::array<float, 3> scale{1, 1, 1};
};
struct TestMaterial {
    std::string name;
    int baseColour = -1, normal = -1, emissive = -1; // image indices
    std::array<float, 4> factor{1, 1, 1, 1};
    std::array<float, 3> emissiveFactor{0, 0, 0};
};
struct TestGltf {
    std::vector<TestPrimitive> meshes;
    std::vector<TestNode> nodes; // all at the scene's root
    std::vector<TestMaterial> materials;
    std::vector<std::string> imageFiles; // beside the model (.gltf), or embedded (.glb)
};

// The six faces of a cube of edge 2 centred on the origin, as a modelling tool keeps it: right-
// handed, y up, counter-clockwise seen from outside, each face showing the whole picture upright
// (top and bottom faces upright when the cube is tipped towards the viewer). `gltfV`: v = 0 at
// the picture's top (glTF), else at its bottom (OBJ).
TestPrimitive cubePrimitive(bool gltfV, int material = 0);
// One triangle, counter-clockwise from +z: (0,0,0), (1,0,0), (0,1,0).
TestPrimitive trianglePrimitive(int material = 0);

void writeGltf(const std::filesystem::path& path, const TestGltf& model); // .gltf with a .bin beside it
void writeGlb(const std::filesystem::path& path, const TestGltf& model,
              const std::filesystem::path& pictureFolder);

// The cube as OBJ faces (v/vt/vn) with its .mtl naming `picture` as map_Kd; `withNormals` and
// `withUvs` leave those out when false. `frontMaterial`: the +z face gets a material of its own.
void writeObjCube(const std::filesystem::path& path, const std::string& picture, bool withNormals = true,
                  bool withUvs = true, bool frontMaterial = false);

// ---- pictures ----

// A w x h picture of four quarters: top left red, top right green, bottom left blue, bottom right
// yellow.
Image quartersPicture(int width = 8, int height = 8);
void writePicturePng(const std::filesystem::path& path, const Image& image);
void writePictureRgbaPng(const std::filesystem::path& path, const Image& image, uint8_t alpha);
void writePicture16BitPng(const std::filesystem::path& path, const Image& image);
void writePicturePalettePng(const std::filesystem::path& path, const Image& image);
void writePictureJpeg(const std::filesystem::path& path, const Image& image);
void writePictureTga(const std::filesystem::path& path, const Image& image);

// ---- the engine's view of what was imported ----

std::unique_ptr<Mesh> engineMesh(const std::filesystem::path& show, const std::string& name);
// The material as the engine builds it from tex/NAME*.bmp (null when the diffuse file is missing).
std::unique_ptr<Material> engineMaterial(const std::filesystem::path& show, const std::string& name);
// The texel a texture coordinate lands on in one of a material's buffers (what the renderer
// uploads, row 0 at v = 0), nearest, clamped.
std::array<uint8_t, 3> texelAt(const std::vector<uint8_t>& buffer, int width, int height, TexCoord uv);

// Checks every triangle of an imported cubePrimitive or writeObjCube (edge 2 x `half`, centred on
// `centre` in the engine's space): on its face, the face's normal, wound clockwise (cross(p1 - p0,
// p2 - p0) along the normal), the tangent along the engine's +u and the binormal along its +v, and
// the texture coordinate where the picture shows upright and unmirrored. With a material, the
// texel at each triangle's middle must be the colour of quartersPicture's quarter there.
void expectEngineCube(const Mesh& mesh, float half, Vector centre, const Material* quarters = nullptr);

// beatshow-import run in-process on command-line words: its exit status, standard output (the
// snippet) and message lines.
struct ImportRun {
    int status = -1;
    std::string snippet;
    std::vector<std::string> lines;
    bool says(const std::string& part) const; // a line contains `part`
};
ImportRun runImportWords(const std::vector<std::string>& words);

// Every file under a folder, relative to it, sorted.
std::vector<std::string> filesUnder(const std::filesystem::path& folder);
