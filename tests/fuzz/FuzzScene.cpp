// A scene file through the XML reader and the scene loader into the registry, on a recording
// renderer, then a second of the show replayed: the actors, automations and events it built run
// on whatever the file gave them. The folder holds one mesh and one bitmap for the scene to find.
#include "actors/ActorFactory.h"
#include "engine/EngineRegistry.h"
#include "engine/loop/MainLoop.h"
#include "render/Bitmap.h"
#include "render/Mesh.h"
#include "render/MeshFile.h"
#include "scene/loader/SceneLoader.h"
#include "tests/fuzz/FuzzSupport.h"

#include <filesystem>
#include <string>

namespace {

void writeShowAssets() {
    Mesh cube;
    cube.vertexCount = 3;
    cube.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    cube.normals.assign(3, Vector{0, 0, -1});
    cube.texCoords.assign(3, TexCoord{0, 0});
    cube.tangents.assign(3, Vector{1, 0, 0});
    cube.binormals.assign(3, Vector{0, 1, 0});
    const std::vector<uint8_t> mesh = encodeMeshFile(cube);
    writeScratchFile("model/cube.obj", mesh.data(), mesh.size());
    const std::vector<uint8_t> bitmap = encodeBitmap(std::vector<uint8_t>(4 * 4 * 3, 200), 4, 4);
    writeScratchFile("tex/stone.bmp", bitmap.data(), bitmap.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        writeShowAssets();
        std::filesystem::current_path(scratchFolder());
        return true;
    }();
    (void)ready;
    freshRegistry();
    engine().assets.registerKind("tex\\", "bmp", AssetKindBitmap);
    engine().assets.registerKind("model\\", "obj", AssetKindMesh);
    engine().assets.registerKind("audio\\", "ogg", AssetKindMusic);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (loadSceneFromBytes(bytes, "epicrealtimetest.xml", &createActor) == 0) {
        engine().replayFramesPerSecond = 30;
        replayTo(1.0f);
    }
    return 0;
}
