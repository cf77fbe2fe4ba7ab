#include "tests/import/ImportTestFiles.h"

#include "engine/base/Log.h"
#include "render/Bitmap.h"
#include "render/MaterialBuilder.h"
#include "render/MeshFile.h"
#include "tools/import/ImportCommand.h"

#include <gtest/gtest.h>

#include <png.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct Face {
    float centre[3], normal[3], right[3], up[3];
};

// Seen from outside each face: right x up = normal.
const Face CubeFaces[6] = {
    {{0, 0, 1}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},    // front
    {{0, 0, -1}, {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}}, // back
    {{1, 0, 0}, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},   // right
    {{-1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},  // left
    {{0, 1, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}},   // top
    {{0, -1, 0}, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},  // bottom
};

// Corners bottom left, bottom right, top right, top left, with their (u, v up the picture).
const float CornerSigns[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string floats(const float* values, size_t n) {
    std::ostringstream text;
    text << "[";
    for (size_t i = 0; i < n; ++i)
        text << (i ? "," : "") << values[i];
    text << "]";
    return text.str();
}

void pad(std::vector<uint8_t>& bytes, uint8_t with = 0) {
    while (bytes.size() % 4 != 0)
        bytes.push_back(with);
}

// The glTF document and its binary buffer; pictures go into the buffer when `embed`.
std::string gltfDocument(const TestGltf& model, std::vector<uint8_t>& bin, bool embed,
                         const fs::path& pictures, const std::string& binUri) {
    std::ostringstream views, accessors, meshes;
    int viewCount = 0, accessorCount = 0;
    auto addView = [&](const void* data, size_t size) {
        pad(bin);
        views << (viewCount ? "," : "") << "{\"buffer\":0,\"byteOffset\":" << bin.size()
              << ",\"byteLength\":" << size << "}";
        const auto* bytes = static_cast<const uint8_t*>(data);
        bin.insert(bin.end(), bytes, bytes + size);
        return viewCount++;
    };
    auto addFloats = [&](const std::vector<float>& values, int components, const char* type, bool bounds) {
        const int view = addView(values.data(), values.size() * sizeof(float));
        accessors << (accessorCount ? "," : "") << "{\"bufferView\":" << view
                  << ",\"componentType\":5126,\"count\":" << values.size() / components << ",\"type\":\""
                  << type << "\"";
        if (bounds) {
            float low[3] = {1e30f, 1e30f, 1e30f}, high[3] = {-1e30f, -1e30f, -1e30f};
            for (size_t i = 0; i < values.size(); ++i) {
                low[i % 3] = std::min(low[i % 3], values[i]);
                high[i % 3] = std::max(high[i % 3], values[i]);
            }
            accessors << ",\"min\":" << floats(low, 3) << ",\"max\":" << floats(high, 3);
        }
        accessors << "}";
        return accessorCount++;
    };
    for (size_t m = 0; m < model.meshes.size(); ++m) {
        const TestPrimitive& p = model.meshes[m];
        std::ostringstream attributes;
        attributes << "\"POSITION\":" << addFloats(p.positions, 3, "VEC3", true);
        if (!p.normals.empty()) attributes << ",\"NORMAL\":" << addFloats(p.normals, 3, "VEC3", false);
        if (!p.uvs.empty()) attributes << ",\"TEXCOORD_0\":" << addFloats(p.uvs, 2, "VEC2", false);
        const int view = addView(p.indices.data(), p.indices.size() * sizeof(uint16_t));
        accessors << ",{\"bufferView\":" << view << ",\"componentType\":5123,\"count\":" << p.indices.size()
                  << ",\"type\":\"SCALAR\"}";
        const int indices = accessorCount++;
        meshes << (m ? "," : "") << "{\"primitives\":[{\"attributes\":{" << attributes.str()
               << "},\"indices\":" << indices;
        if (p.material >= 0) meshes << ",\"material\":" << p.material;
        meshes << "}]}";
    }
    std::ostringstream images, textures;
    for (size_t i = 0; i < model.imageFiles.size(); ++i) {
        if (embed) {
            const std::vector<uint8_t> bytes = readBytes(pictures / model.imageFiles[i]);
            const int view = addView(bytes.data(), bytes.size());
            images << (i ? "," : "") << "{\"bufferView\":" << view << ",\"mimeType\":\"image/png\"}";
        } else {
            images << (i ? "," : "") << "{\"uri\":\"" << model.imageFiles[i] << "\"}";
        }
        textures << (i ? "," : "") << "{\"source\":" << i << "}";
    }
    std::ostringstream materials;
    for (size_t i = 0; i < model.materials.size(); ++i) {
        const TestMaterial& m = model.materials[i];
        materials << (i ? "," : "") << "{\"name\":\"" << m.name
                  << "\",\"pbrMetallicRoughness\":{\"baseColorFactor\":" << floats(m.factor.data(), 4)
                  << ",\"metallicFactor\":0";
        if (m.baseColour >= 0) materials << ",\"baseColorTexture\":{\"index\":" << m.baseColour << "}";
        materials << "}";
        if (m.normal >= 0) materials << ",\"normalTexture\":{\"index\":" << m.normal << "}";
        if (m.emissive >= 0) materials << ",\"emissiveTexture\":{\"index\":" << m.emissive << "}";
        materials << ",\"emissiveFactor\":" << floats(m.emissiveFactor.data(), 3) << "}";
    }
    std::ostringstream nodes, roots;
    for (size_t i = 0; i < model.nodes.size(); ++i) {
        const TestNode& n = model.nodes[i];
        nodes << (i ? "," : "") << "{\"name\":\"" << n.name << "\",\"mesh\":" << n.mesh
              << ",\"translation\":" << floats(n.translation.data(), 3)
              << ",\"rotation\":" << floats(n.rotation.data(), 4)
              << ",\"scale\":" << floats(n.scale.data(), 3) << "}";
        roots << (i ? "," : "") << i;
    }
    pad(bin);
    std::ostringstream doc;
    doc << "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[" << roots.str() << "]}],"
        << "\"nodes\":[" << nodes.str() << "],\"meshes\":[" << meshes.str() << "],"
        << "\"accessors\":[" << accessors.str() << "],\"bufferViews\":[" << views.str() << "],"
        << "\"buffers\":[{" << (binUri.empty() ? "" : "\"uri\":\"" + binUri + "\",")
        << "\"byteLength\":" << bin.size() << "}]";
    if (!model.materials.empty()) doc << ",\"materials\":[" << materials.str() << "]";
    if (!model.imageFiles.empty())
        doc << ",\"images\":[" << images.str() << "],\"textures\":[" << textures.str() << "]";
    doc << "}";
    return doc.str();
}

void appendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

} // namespace

TestPrimitive cubePrimitive(bool gltfV, int material) {
    TestPrimitive p;
    p.material = material;
    for (const Face& f : CubeFaces) {
        const auto base = static_cast<uint16_t>(p.positions.size() / 3);
        for (const auto& s : CornerSigns) {
            for (int k = 0; k < 3; ++k)
                p.positions.push_back(f.centre[k] + s[0] * f.right[k] + s[1] * f.up[k]);
            p.normals.insert(p.normals.end(), f.normal, f.normal + 3);
            const float u = (s[0] + 1) / 2, v = (s[1] + 1) / 2;
            p.uvs.push_back(u);
            p.uvs.push_back(gltfV ? 1 - v : v);
        }
        for (uint16_t i : {0, 1, 2, 0, 2, 3})
            p.indices.push_back(static_cast<uint16_t>(base + i));
    }
    return p;
}

TestPrimitive trianglePrimitive(int material) {
    TestPrimitive p;
    p.material = material;
    p.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    p.normals = {0, 0, 1, 0, 0, 1, 0, 0, 1};
    p.uvs = {0, 1, 1, 1, 0, 0};
    p.indices = {0, 1, 2};
    return p;
}

void writeGltf(const fs::path& path, const TestGltf& model) {
    std::vector<uint8_t> bin;
    const std::string binName = path.stem().string() + ".bin";
    const std::string doc = gltfDocument(model, bin, false, path.parent_path(), binName);
    writeBytes(path.parent_path() / binName, bin);
    writeBytes(path, std::vector<uint8_t>(doc.begin(), doc.end()));
}

void writeGlb(const fs::path& path, const TestGltf& model, const fs::path& pictureFolder) {
    std::vector<uint8_t> bin;
    const std::string doc = gltfDocument(model, bin, true, pictureFolder, "");
    std::vector<uint8_t> json(doc.begin(), doc.end());
    pad(json, ' ');
    std::vector<uint8_t> out;
    appendU32(out, 0x46546C67); // "glTF"
    appendU32(out, 2);
    appendU32(out, static_cast<uint32_t>(12 + 8 + json.size() + 8 + bin.size()));
    appendU32(out, static_cast<uint32_t>(json.size()));
    appendU32(out, 0x4E4F534A); // "JSON"
    out.insert(out.end(), json.begin(), json.end());
    appendU32(out, static_cast<uint32_t>(bin.size()));
    appendU32(out, 0x004E4942); // "BIN"
    out.insert(out.end(), bin.begin(), bin.end());
    writeBytes(path, out);
}

void writeObjCube(const fs::path& path, const std::string& picture, bool withNormals, bool withUvs,
                  bool frontMaterial) {
    const std::string mtl = path.stem().string() + ".mtl";
    std::ostringstream obj, lib;
    obj << "# a cube\nmtllib " << mtl << "\no cube\n";
    lib << "newmtl body\nKd 0.8 0.8 0.8\nmap_Kd " << picture << "\n";
    if (frontMaterial) lib << "newmtl front\nKd 0.2 0.4 0.6\n";
    for (const Face& f : CubeFaces)
        for (const auto& s : CornerSigns) {
            obj << "v";
            for (int k = 0; k < 3; ++k)
                obj << " " << f.centre[k] + s[0] * f.right[k] + s[1] * f.up[k];
            obj << "\nvt " << (s[0] + 1) / 2 << " " << (s[1] + 1) / 2 << "\n";
            obj << "vn " << f.normal[0] << " " << f.normal[1] << " " << f.normal[2] << "\n";
        }
    for (int face = 0; face < 6; ++face) {
        if (face == 0 || face == 1)
            obj << "usemtl " << (face == 0 && frontMaterial ? "front" : "body") << "\n";
        obj << "f";
        for (int c = 1; c <= 4; ++c) {
            const int i = face * 4 + c;
            obj << " " << i;
            if (withUvs || withNormals) obj << "/" << (withUvs ? std::to_string(i) : "");
            if (withNormals) obj << "/" << i;
        }
        obj << "\n";
    }
    const std::string o = obj.str(), l = lib.str();
    writeBytes(path, std::vector<uint8_t>(o.begin(), o.end()));
    writeBytes(path.parent_path() / mtl, std::vector<uint8_t>(l.begin(), l.end()));
}

Image quartersPicture(int width, int height) {
    Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            static const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
            const uint8_t* colour = colours[(bottom ? 2 : 0) + (right ? 1 : 0)];
            std::copy(colour, colour + 3, &image.rgb[(static_cast<size_t>(y) * width + x) * 3]);
        }
    return image;
}

void writePicturePng(const fs::path& path, const Image& image) {
    fs::create_directories(path.parent_path());
    stbi_write_png(path.c_str(), image.width, image.height, 3, image.rgb.data(), image.width * 3);
}

void writePictureRgbaPng(const fs::path& path, const Image& image, uint8_t alpha) {
    std::vector<uint8_t> rgba;
    for (size_t i = 0; i < image.rgb.size(); i += 3)
        rgba.insert(rgba.end(), {image.rgb[i], image.rgb[i + 1], image.rgb[i + 2], alpha});
    fs::create_directories(path.parent_path());
    stbi_write_png(path.c_str(), image.width, image.height, 4, rgba.data(), image.width * 4);
}

namespace {

// libpng for the layouts stb_image_write does not write.
void writeWithLibpng(const fs::path& path, int width, int height, int depth, int colourType,
                     const std::vector<std::vector<uint8_t>>& rows, const std::vector<png_color>& palette) {
    FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), depth,
                 colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(png, info);
    for (const auto& row : rows)
        png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

} // namespace

void writePicture16BitPng(const fs::path& path, const Image& image) {
    std::vector<std::vector<uint8_t>> rows;
    for (int y = 0; y < image.height; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < image.width * 3; ++x) {
            const uint8_t v = image.rgb[static_cast<size_t>(y) * image.width * 3 + x];
            row.insert(row.end(), {v, v}); // big-endian v * 257
        }
        rows.push_back(row);
    }
    writeWithLibpng(path, image.width, image.height, 16, PNG_COLOR_TYPE_RGB, rows, {});
}

void writePicturePalettePng(const fs::path& path, const Image& image) {
    std::vector<png_color> palette;
    std::vector<std::vector<uint8_t>> rows;
    for (int y = 0; y < image.height; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
            auto it = std::find_if(palette.begin(), palette.end(), [&](const png_color& c) {
                return c.red == p[0] && c.green == p[1] && c.blue == p[2];
            });
            if (it == palette.end()) it = palette.insert(palette.end(), png_color{p[0], p[1], p[2]});
            row.push_back(static_cast<uint8_t>(it - palette.begin()));
        }
        rows.push_back(row);
    }
    writeWithLibpng(path, image.width, image.height, 8, PNG_COLOR_TYPE_PALETTE, rows, palette);
}

void writePictureJpeg(const fs::path& path, const Image& image) {
    stbi_write_jpg(path.c_str(), image.width, image.height, 3, image.rgb.data(), 100);
}

void writePictureTga(const fs::path& path, const Image& image) {
    stbi_write_tga(path.c_str(), image.width, image.height, 3, image.rgb.data());
}

std::unique_ptr<Mesh> engineMesh(const fs::path& show, const std::string& name) {
    const std::vector<uint8_t> bytes = readBytes(show / "model" / (name + ".obj"));
    std::unique_ptr<Mesh> mesh;
    if (createMeshFromBytes(bytes.data(), bytes.size(), name, mesh) != 0) return nullptr;
    return mesh;
}

std::unique_ptr<Material> engineMaterial(const fs::path& show, const std::string& name) {
    DecodedBitmap images[3];
    bool present[3] = {false, false, false};
    const char* suffixes[3] = {"", "_normal", "_emissive"};
    for (int i = 0; i < 3; ++i) {
        const fs::path path = show / "tex" / (name + suffixes[i] + ".bmp");
        if (!fs::exists(path)) continue;
        const std::vector<uint8_t> bytes = readBytes(path);
        present[i] = decodeBitmapBytes(bytes.data(), bytes.size(), name, images[i]) == 0;
    }
    if (!present[0]) return nullptr;
    return makeMaterial(images[0].channels, &images[0].pixels, present[1] ? &images[1].pixels : nullptr,
                        present[2] ? &images[2].pixels : nullptr, static_cast<int32_t>(images[0].width),
                        static_cast<int32_t>(images[0].height), name);
}

std::array<uint8_t, 3> texelAt(const std::vector<uint8_t>& buffer, int width, int height, TexCoord uv) {
    const int x = std::clamp(static_cast<int>(std::floor(uv.u * width)), 0, width - 1);
    const int y = std::clamp(static_cast<int>(std::floor(uv.v * height)), 0, height - 1);
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {buffer[i], buffer[i + 1], buffer[i + 2]};
}

std::vector<std::string> filesUnder(const fs::path& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

namespace {

Vector engineVector(const float* v) {
    return Vector{v[0], v[1], -v[2]};
}

bool near(const Vector& a, const Vector& b, float tolerance = 1e-4f) {
    return (a - b).length() < tolerance;
}

} // namespace

void expectEngineCube(const Mesh& mesh, float half, Vector centre, const Material* quarters) {
    ASSERT_EQ(mesh.vertexCount, 36u);
    for (uint32_t t = 0; t < mesh.vertexCount; t += 3) {
        const Vector n = mesh.normals[t];
        const Face* face = nullptr;
        for (const Face& f : CubeFaces)
            if (near(engineVector(f.normal), n)) face = &f;
        ASSERT_NE(face, nullptr) << "triangle " << t / 3 << " has the normal " << n.x << "," << n.y << ","
                                 << n.z;
        const Vector right = engineVector(face->right), up = engineVector(face->up);
        const Vector p0 = mesh.positions[t], p1 = mesh.positions[t + 1], p2 = mesh.positions[t + 2];
        EXPECT_GT(cross(p1 - p0, p2 - p0).dot(n), 0.0f) << "triangle " << t / 3 << " is not wound clockwise";
        Vector middle;
        TexCoord middleUv;
        for (uint32_t i = t; i < t + 3; ++i) {
            EXPECT_TRUE(near(mesh.normals[i], n)) << "vertex " << i;
            const Vector local = (mesh.positions[i] - centre) * (1.0f / half);
            EXPECT_NEAR(local.dot(n), 1.0f, 1e-4f) << "vertex " << i << " is off its face";
            const float a = local.dot(right), b = local.dot(up);
            EXPECT_NEAR(mesh.texCoords[i].u, 1.0f - (a + 1.0f) / 2.0f, 1e-4f) << "vertex " << i;
            EXPECT_NEAR(mesh.texCoords[i].v, (b + 1.0f) / 2.0f, 1e-4f) << "vertex " << i;
            EXPECT_TRUE(near(mesh.tangents[i], right * -1.0f)) << "vertex " << i << " tangent";
            EXPECT_TRUE(near(mesh.binormals[i], up)) << "vertex " << i << " binormal";
            middle += local * (1.0f / 3.0f);
            middleUv.u += mesh.texCoords[i].u / 3.0f;
            middleUv.v += mesh.texCoords[i].v / 3.0f;
        }
        if (!quarters) continue;
        const bool onRight = middle.dot(right) > 0, onTop = middle.dot(up) > 0;
        static const std::array<uint8_t, 3> colours[4] = {
            {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
        EXPECT_EQ(texelAt(quarters->diffuse, quarters->width, quarters->height, middleUv),
                  colours[(onTop ? 0 : 2) + (onRight ? 1 : 0)])
            << "triangle " << t / 3 << " shows the wrong quarter of the picture";
    }
}

bool ImportRun::says(const std::string& part) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

ImportRun runImportWords(const std::vector<std::string>& words) {
    ImportRun run;
    ImportRequest request;
    std::string error;
    std::ostringstream snippet, messages;
    if (parseImportArguments(words, request, error) != 0) {
        run.status = 2;
        run.lines.push_back(error);
        return run;
    }
    run.status = runImport(request, snippet, messages);
    run.snippet = snippet.str();
    std::istringstream in(messages.str());
    for (std::string line; std::getline(in, line);)
        run.lines.push_back(line);
    return run;
}
