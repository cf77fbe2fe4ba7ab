// Models made with other tools, read through Assimp (glTF 2.0, OBJ, FBX, COLLADA, PLY, STL and
// whatever else it reads) into engine mesh records and the materials they use.
//
// The node graph is flattened: every mesh a node shows becomes a part placed by the node's whole
// transform, or, merged, the parts of one material become one. Assimp keeps one material per
// mesh, so a model of several materials always gives one part per material at least. The
// pictures a material names (files beside the model, or embedded in it) are found here and
// decoded by materialPictures.
#pragma once

#include "tools/Picture.h"
#include "tools/import/MeshConvert.h"

#include <optional>
#include <string>
#include <vector>

struct PictureSource {
    bool present = false;
    std::string file;             // a picture file on disk, or
    std::vector<uint8_t> encoded; // a picture file embedded in the model, or
    Image texels;                 // an embedded picture given as pixels
    std::string label;            // how messages name it
};

struct ModelMaterial {
    std::string sourceName; // as the model names it
    std::string name;       // the engine material's name
    PictureSource diffuse, normal, bump, emissive;
    std::optional<Color> diffuseTint; // a glTF base colour factor other than white
    Color colour{1, 1, 1};            // the diffuse colour when there is no picture
    Color emissiveColour{0, 0, 0};
};

struct ModelPart {
    std::string name; // the engine mesh's name
    size_t material = 0;
    std::vector<MeshRecord> records;
};

struct ModelSettings {
    ConvertSettings convert;
    bool merge = false;
    // A picture the model names that cannot be found refuses the model; otherwise the material
    // goes without it (its plain colour for a diffuse picture), with a note.
    bool strict = false;
};

struct ImportedModel {
    std::vector<ModelPart> parts;
    std::vector<ModelMaterial> materials; // those the parts use
    std::vector<std::string> notes;       // what was made up or left out
};

namespace Assimp {
class Importer;
}
struct aiScene;

// Assimp's reading of the file, as readModel asks for it: the scene (kept by the importer), or
// null with the importer's error string.
const aiScene* readAssimpScene(Assimp::Importer& importer, const std::string& path);

// Reads the model and names its parts and materials after `name`: the name itself when there is
// one of them, else name_<the model's own name for it>. 0, or -1 and a message (a file Assimp
// cannot read, a scene without triangles, a picture that cannot be found when strict).
int readModel(const std::string& path, const std::string& name, const ModelSettings& settings,
              ImportedModel& out, std::string& error);

// A material's pictures, ready for the bitmap files: the diffuse picture (the colour when there
// is none), the normal map in the engine's convention and the emissive picture when the material
// has them, all three at one size: the diffuse picture's, or without one, the largest map's. 0, or
// -1 and a message naming the picture.
struct ImportedPictures {
    Image diffuse;
    std::optional<Image> normal;
    std::optional<Image> emissive;
};
int materialPictures(const ModelMaterial& material, ImportedPictures& out, std::vector<std::string>& notes,
                     std::string& error);
