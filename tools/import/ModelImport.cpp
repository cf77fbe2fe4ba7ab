#include "tools/import/ModelImport.h"

#include "tools/import/ImageImport.h"
#include "tools/import/ImportNames.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

Affine toAffine(const aiMatrix4x4& m) {
    Affine a;
    const float rows[3][4] = {{m.a1, m.a2, m.a3, m.a4}, {m.b1, m.b2, m.b3, m.b4}, {m.c1, m.c2, m.c3, m.c4}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            a.m[r][c] = rows[r][c];
    return a;
}

struct Instance {
    const aiNode* node;
    unsigned mesh;
    aiMatrix4x4 transform;
};

void collect(const aiNode* node, const aiMatrix4x4& parent, std::vector<Instance>& out, int depth) {
    if (!node || depth > 1000) return;
    const aiMatrix4x4 global = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i)
        out.push_back({node, node->mMeshes[i], global});
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        collect(node->mChildren[i], global, out, depth + 1);
}

uint64_t triangleCount(const aiMesh* mesh) {
    uint64_t n = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f)
        if (mesh->mFaces[f].mNumIndices == 3) ++n;
    return n;
}

SourceMesh sourceOf(const aiMesh* mesh) {
    SourceMesh source;
    auto vectors = [&](const aiVector3D* from) {
        std::vector<Vector> v(mesh->mNumVertices);
        for (unsigned i = 0; i < mesh->mNumVertices; ++i)
            v[i] = Vector{from[i].x, from[i].y, from[i].z};
        return v;
    };
    source.positions = vectors(mesh->mVertices);
    if (mesh->HasNormals()) source.normals = vectors(mesh->mNormals);
    if (mesh->HasTextureCoords(0)) {
        source.uvs.resize(mesh->mNumVertices);
        for (unsigned i = 0; i < mesh->mNumVertices; ++i)
            source.uvs[i] = TexCoord{mesh->mTextureCoords[0][i].x, mesh->mTextureCoords[0][i].y};
    }
    if (mesh->HasTangentsAndBitangents()) {
        source.tangents = vectors(mesh->mTangents);
        source.bitangents = vectors(mesh->mBitangents);
    }
    source.triangles.reserve(static_cast<size_t>(triangleCount(mesh)) * 3);
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices == 3)
            source.triangles.insert(source.triangles.end(), face.mIndices, face.mIndices + 3);
    }
    return source;
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The file reached from `folder` through `parts`, each taken as written or else as the entry of
// its folder whose name differs only in letter case (models made on Windows or macOS name their
// pictures without minding it). Empty when one part is missing or the end is not a file.
fs::path followIgnoringCase(fs::path folder, const std::vector<std::string>& parts, size_t from) {
    std::error_code ec;
    for (size_t i = from; i < parts.size(); ++i) {
        fs::path next = folder / parts[i];
        if (parts[i] != "." && parts[i] != ".." && !fs::exists(next, ec)) {
            std::vector<fs::path> alike;
            for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
                 it.increment(ec))
                if (sameIgnoringCase(it->path().filename().string(), parts[i])) alike.push_back(it->path());
            if (alike.empty()) return {};
            next = *std::min_element(alike.begin(), alike.end());
        }
        folder = std::move(next);
    }
    return fs::is_regular_file(folder, ec) ? folder : fs::path();
}

// Where a picture a model names lies. Tried in turn, each part in any letter case, as written and
// URL-decoded:
//   - the path itself: absolute, or relative to the model's folder (Blender writes that as
//     "//textures/wood.png");
//   - with Windows separators and drive letters read as such;
//   - every shorter tail of it (textures/wood.png, then wood.png) in the model's folder and in
//     the folder above, since pictures exported from another machine keep that machine's
//     folders, and a project's textures often lie beside its models' folder.
std::string findPicture(const fs::path& modelFolder, std::string written) {
    if (written.rfind("file://", 0) == 0) written = written.substr(7);
    for (std::string form : {written, percentDecoded(written)}) {
        for (char& c : form)
            if (c == '\\') c = '/';
        const bool blender = form.rfind("//", 0) == 0;
        const bool drive =
            form.size() >= 2 && std::isalpha(static_cast<unsigned char>(form[0])) && form[1] == ':';
        const bool absolute = !blender && !drive && !form.empty() && form[0] == '/';
        std::vector<std::string> parts;
        for (size_t at = 0; at <= form.size();) {
            const size_t end = std::min(form.find('/', at), form.size());
            if (end > at) parts.push_back(form.substr(at, end - at));
            at = end + 1;
        }
        if (drive && !parts.empty()) parts.erase(parts.begin());
        if (parts.empty()) continue;
        std::vector<fs::path> found;
        if (absolute) found.push_back(followIgnoringCase("/", parts, 0));
        found.push_back(followIgnoringCase(modelFolder, parts, 0));
        for (const fs::path& f : found)
            if (!f.empty()) return f.string();
        for (size_t from = 1; from < parts.size(); ++from) {
            if (parts[from] == ".." || parts[from] == ".") continue;
            for (const fs::path& folder : {modelFolder, modelFolder.parent_path()})
                if (fs::path f = followIgnoringCase(folder, parts, from); !f.empty()) return f.string();
        }
    }
    return {};
}

// A picture a material names that is not there, and what the material does without it.
struct MissingPicture {
    std::string why;     // "the picture P is not found (...)"
    std::string without; // what the material has instead
    std::string material;
};

// The first picture of the type the material names, found on disk or in the scene. One it names
// that cannot be found is false and a message when `strict`, else added to `missing`, the
// material going without it.
bool pictureOf(const aiScene* scene, const aiMaterial* material, aiTextureType type, const fs::path& folder,
               bool strict, MissingPicture lost, PictureSource& out, std::vector<MissingPicture>& missing,
               std::string& error) {
    aiString written;
    if (material->GetTextureCount(type) == 0 || material->GetTexture(type, 0, &written) != AI_SUCCESS)
        return true;
    const std::string path = written.C_Str();
    if (path.empty()) return true;
    out.label = path;
    if (const aiTexture* embedded = scene->GetEmbeddedTexture(written.C_Str())) {
        out.present = true;
        if (embedded->mHeight == 0) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(embedded->pcData);
            out.encoded.assign(bytes, bytes + embedded->mWidth);
        } else {
            out.texels.width = static_cast<int>(embedded->mWidth);
            out.texels.height = static_cast<int>(embedded->mHeight);
            const size_t count = static_cast<size_t>(embedded->mWidth) * embedded->mHeight;
            out.texels.rgb.reserve(count * 3);
            for (size_t i = 0; i < count; ++i)
                out.texels.rgb.insert(out.texels.rgb.end(),
                                      {embedded->pcData[i].r, embedded->pcData[i].g, embedded->pcData[i].b});
        }
        out.label = "embedded picture " + path;
        return true;
    }
    if (path[0] == '*') {
        lost.why = "the embedded picture " + path + " is missing from the file";
    } else {
        out.file = findPicture(folder, path);
        if (!out.file.empty()) {
            out.present = true;
            return true;
        }
        lost.why =
            "the picture " + path + " is not found (looked beside the model, in " + folder.string() + ")";
    }
    if (strict) {
        error = "material " + lost.material + ": " + lost.why;
        return false;
    }
    missing.push_back(std::move(lost));
    return true;
}

Color colourOf(const aiColor4D& c) {
    return Color{c.r, c.g, c.b};
}

bool isWhite(const Color& c) {
    return c.r == 1.0f && c.g == 1.0f && c.b == 1.0f;
}

bool readMaterial(const aiScene* scene, unsigned index, const fs::path& folder, bool strict,
                  ModelMaterial& out, std::vector<MissingPicture>& missing, std::string& error) {
    if (index >= scene->mNumMaterials) return true;
    const aiMaterial* material = scene->mMaterials[index];
    aiString name;
    if (material->Get(AI_MATKEY_NAME, name) == AI_SUCCESS) out.sourceName = name.C_Str();
    const std::string which = out.sourceName.empty() ? std::to_string(index) : out.sourceName;
    auto picture = [&](aiTextureType type, PictureSource& to, const char* without) {
        return pictureOf(scene, material, type, folder, strict, {"", without, which}, to, missing, error);
    };
    if (!picture(aiTextureType_BASE_COLOR, out.diffuse, "plain colour instead")) return false;
    if (!out.diffuse.present && !picture(aiTextureType_DIFFUSE, out.diffuse, "plain colour instead"))
        return false;
    if (!picture(aiTextureType_NORMALS, out.normal, "no normal map")) return false;
    if (!out.normal.present && !picture(aiTextureType_HEIGHT, out.bump, "no normal map")) return false;
    if (!picture(aiTextureType_EMISSIVE, out.emissive, "no glow picture")) return false;

    aiColor4D colour;
    // A PBR base colour multiplies its picture; a plain diffuse colour stands only for a missing
    // picture (OBJ files keep a grey Kd beside their map_Kd, which is not meant to darken it).
    if (material->Get(AI_MATKEY_BASE_COLOR, colour) == AI_SUCCESS) {
        out.colour = colourOf(colour);
        if (!isWhite(out.colour)) out.diffuseTint = out.colour;
    } else if (material->Get(AI_MATKEY_COLOR_DIFFUSE, colour) == AI_SUCCESS) {
        out.colour = colourOf(colour);
    }
    if (material->Get(AI_MATKEY_COLOR_EMISSIVE, colour) == AI_SUCCESS) out.emissiveColour = colourOf(colour);
    return true;
}

// What a part is called after the model's name: its node's name; the material's too when the node
// shows several meshes (one model object of several materials); the material's alone when the
// whole model is one such object.
std::string partLabel(const aiScene* scene, const std::vector<Instance>& instances, size_t which,
                      const std::vector<ModelMaterial>& materials, size_t material) {
    const Instance& instance = instances[which];
    const aiMesh* mesh = scene->mMeshes[instance.mesh];
    const std::string materialName = materials[material].sourceName.empty()
                                         ? "material" + std::to_string(material)
                                         : materials[material].sourceName;
    size_t sameNode = 0;
    bool oneNode = true;
    for (const Instance& other : instances) {
        if (other.node == instance.node) ++sameNode;
        oneNode = oneNode && other.node == instance.node;
    }
    if (sameNode > 1 && oneNode) return materialName;
    std::string label = instance.node && instance.node->mName.length > 0 && instance.node != scene->mRootNode
                            ? instance.node->mName.C_Str()
                        : mesh->mName.length > 0 ? mesh->mName.C_Str()
                                                 : "part";
    if (sameNode > 1) label += "_" + materialName;
    return label;
}

} // namespace

const aiScene* readAssimpScene(Assimp::Importer& importer, const std::string& path) {
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    // Normals a file lacks are made up in the conversion, not by Assimp: its steps give a corner
    // that faces on both sides of a sharp edge share the normal of only one of them.
    return importer.ReadFile(path,
                             aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_ValidateDataStructure);
}

int readModel(const std::string& path, const std::string& name, const ModelSettings& settings,
              ImportedModel& out, std::string& error) {
    Assimp::Importer importer;
    const aiScene* scene = readAssimpScene(importer, path);
    if (!scene) {
        error = std::string("not a model Assimp can read (") + importer.GetErrorString() + ")";
        return -1;
    }
    if ((scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode) {
        error = "the scene holds no meshes";
        return -1;
    }

    std::vector<Instance> instances;
    collect(scene->mRootNode, aiMatrix4x4(), instances, 0);
    std::erase_if(instances, [&](const Instance& i) {
        return i.mesh >= scene->mNumMeshes || triangleCount(scene->mMeshes[i.mesh]) == 0;
    });
    if (instances.empty()) {
        error = "the scene holds no triangles (points and lines are not drawn)";
        return -1;
    }

    // Materials in the order the parts first use them; named after the model.
    std::map<unsigned, size_t> materialSlot;
    std::vector<MissingPicture> missing;
    for (const Instance& instance : instances) {
        const unsigned index = scene->mMeshes[instance.mesh]->mMaterialIndex;
        if (materialSlot.count(index)) continue;
        ModelMaterial material;
        if (!readMaterial(scene, index, fs::path(path).parent_path(), settings.strict, material, missing,
                          error))
            return -1;
        materialSlot[index] = out.materials.size();
        out.materials.push_back(std::move(material));
    }
    // One line a missing picture, naming the materials that go without it.
    std::vector<std::pair<std::string, std::vector<std::string>>> lines; // in the order first met
    for (const MissingPicture& m : missing) {
        const std::string line = m.why + "; " + m.without;
        auto it = std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.first == line; });
        if (it == lines.end()) it = lines.insert(lines.end(), {line, {}});
        if (std::find(it->second.begin(), it->second.end(), m.material) == it->second.end())
            it->second.push_back(m.material);
    }
    for (const auto& [line, materials] : lines) {
        std::string names;
        for (const std::string& material : materials)
            names += (names.empty() ? "" : ", ") + material;
        out.notes.push_back((materials.size() == 1 ? "material " : "materials ") + names + ": " + line);
    }
    NameBook materialNames;
    for (size_t i = 0; i < out.materials.size(); ++i) {
        ModelMaterial& m = out.materials[i];
        m.name =
            out.materials.size() == 1
                ? materialNames.claim(name)
                : materialNames.claim(assetName(
                      name + "_" + (m.sourceName.empty() ? "material" + std::to_string(i) : m.sourceName)));
    }

    // Parts: one per instance, or one per material when merged.
    std::vector<std::vector<size_t>> groups; // instances of each part
    std::vector<std::string> labels;
    if (settings.merge) {
        std::map<size_t, size_t> groupOfMaterial;
        for (size_t i = 0; i < instances.size(); ++i) {
            const size_t slot = materialSlot[scene->mMeshes[instances[i].mesh]->mMaterialIndex];
            auto [it, added] = groupOfMaterial.emplace(slot, groups.size());
            if (added) {
                groups.emplace_back();
                labels.push_back(out.materials[slot].sourceName.empty() ? "material" + std::to_string(slot)
                                                                        : out.materials[slot].sourceName);
            }
            groups[it->second].push_back(i);
        }
    } else {
        for (size_t i = 0; i < instances.size(); ++i) {
            groups.push_back({i});
            labels.push_back(partLabel(scene, instances, i, out.materials,
                                       materialSlot[scene->mMeshes[instances[i].mesh]->mMaterialIndex]));
        }
    }

    NameBook partNames;
    ConvertReport report;
    for (size_t g = 0; g < groups.size(); ++g) {
        ModelPart part;
        part.name =
            groups.size() == 1 ? partNames.claim(name) : partNames.claim(assetName(name + "_" + labels[g]));
        part.material = materialSlot[scene->mMeshes[instances[groups[g].front()].mesh]->mMaterialIndex];
        uint64_t triangles = 0;
        for (size_t i : groups[g])
            triangles += triangleCount(scene->mMeshes[instances[i].mesh]);
        if (triangles * 3 > UINT32_MAX) {
            error = "part " + part.name + " has " + std::to_string(triangles) +
                    " triangles, more than a mesh file can count";
            return -1;
        }
        part.records.reserve(static_cast<size_t>(triangles) * 3);
        for (size_t i : groups[g]) {
            const aiMesh* mesh = scene->mMeshes[instances[i].mesh];
            appendEngineTriangles(sourceOf(mesh), toAffine(instances[i].transform), settings.convert,
                                  part.records, report);
            if (!mesh->HasTextureCoords(0))
                out.notes.push_back(part.name +
                                    ": no texture coordinates; the picture is mapped flat across the "
                                    "mesh from the side it is thinnest on");
        }
        if (part.records.empty()) continue;
        out.parts.push_back(std::move(part));
    }
    if (report.droppedTriangles > 0)
        out.notes.push_back(std::to_string(report.droppedTriangles) +
                            " triangles left out: a corner out of range or not a finite number");
    if (out.parts.empty()) {
        error = "the scene holds no triangles that can be drawn";
        return -1;
    }
    return 0;
}

namespace {

int decodeSource(const PictureSource& source, Image& out, std::vector<std::string>& notes,
                 std::string& error) {
    std::vector<std::string> own;
    int result = 0;
    if (!source.file.empty())
        result = decodePictureFile(source.file, out, own, error);
    else if (!source.encoded.empty())
        result = decodePicture(source.encoded.data(), source.encoded.size(), out, own, error);
    else
        out = source.texels;
    if (result != 0) {
        error = source.label + ": " + error;
        return -1;
    }
    if (out.width <= 0 || out.height <= 0) {
        error = source.label + ": the picture is empty";
        return -1;
    }
    for (const std::string& note : own)
        notes.push_back(source.label + ": " + note);
    return 0;
}

} // namespace

int materialPictures(const ModelMaterial& material, ImportedPictures& out, std::vector<std::string>& notes,
                     std::string& error) {
    if (material.diffuse.present && decodeSource(material.diffuse, out.diffuse, notes, error) != 0) return -1;
    std::optional<Image> normal, bump, emissive;
    auto decoded = [&](const PictureSource& source, std::optional<Image>& to) {
        if (!source.present) return true;
        to.emplace();
        return decodeSource(source, *to, notes, error) == 0;
    };
    if (!decoded(material.normal, normal) || (!normal && !decoded(material.bump, bump)) ||
        !decoded(material.emissive, emissive))
        return -1;

    // The engine keeps a material's three pictures at one size: the diffuse picture's, or without
    // one, the largest of the maps (a plain colour loses nothing at any size).
    if (material.diffuse.present) {
        if (material.diffuseTint) tint(out.diffuse, *material.diffuseTint);
    } else {
        int w = 0, h = 0;
        for (const std::optional<Image>* map : {&normal, &bump, &emissive})
            if (*map && static_cast<int64_t>((*map)->width) * (*map)->height > static_cast<int64_t>(w) * h) {
                w = (*map)->width;
                h = (*map)->height;
            }
        out.diffuse = w > 0 ? solidPicture(material.colour, w, h) : solidPicture(material.colour);
    }
    const int w = out.diffuse.width, h = out.diffuse.height;
    const char* against = material.diffuse.present ? "the diffuse picture's" : "the material's";
    auto sized = [&](const Image& image, const std::string& label, const char* what) {
        if (image.width != w || image.height != h)
            notes.push_back(label + ": " + what + " scaled from " + std::to_string(image.width) + " x " +
                            std::to_string(image.height) + " to " + against + " " + std::to_string(w) +
                            " x " + std::to_string(h));
        return resampled(image, w, h);
    };
    if (normal) {
        out.normal = engineNormalMap(sized(*normal, material.normal.label, "normal map"));
    } else if (bump) {
        // OBJ files name normal maps and height maps alike as bump maps.
        if (looksLikeNormalMap(*bump)) {
            out.normal = engineNormalMap(sized(*bump, material.bump.label, "normal map"));
        } else {
            out.normal = normalMapFromBump(sized(*bump, material.bump.label, "bump map"));
            notes.push_back(material.bump.label + ": a height map, turned into a normal map");
        }
    }
    const Color& glow = material.emissiveColour;
    const bool glows = glow.r > 0 || glow.g > 0 || glow.b > 0;
    if (emissive) {
        if (glows && !isWhite(glow)) tint(*emissive, glow);
        out.emissive = sized(*emissive, material.emissive.label, "emissive picture");
    } else if (glows) {
        out.emissive = solidPicture(glow, w, h);
    }
    return 0;
}
