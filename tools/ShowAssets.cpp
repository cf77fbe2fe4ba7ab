#include "tools/ShowAssets.h"

#include "render/MeshFile.h"
#include "tools/MeshShapes.h"
#include "tools/Textures.h"

std::vector<AssetFile> makeShowAssets(const FontSet& fonts) {
    std::vector<AssetFile> files;
    for (const NamedMesh& m : makeShowMeshes())
        files.push_back({"model/" + m.name + ".obj", encodeMeshFile(m.mesh),
                         std::to_string(m.mesh.vertexCount) + " vertices"});
    for (TextureFile& t : makeShowTextures(fonts))
        files.push_back({"tex/" + t.name + ".bmp", std::move(t.bytes),
                         std::to_string(t.width) + " x " + std::to_string(t.height)});
    return files;
}
