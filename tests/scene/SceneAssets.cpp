#include "tests/scene/SceneAssets.h"

#include "render/Bitmap.h"
#include "render/Mesh.h"
#include "render/MeshFile.h"
#include "tests/support/TestSupport.h"

#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

void writeBytes(const fs::path& file, const std::vector<uint8_t>& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void writeMeshFile(const fs::path& sceneDir, const std::string& name, uint32_t vertices) {
    writeBytes(sceneDir / "model" / (name + ".obj"), encodeMeshFile(makeNumberedMesh(vertices, name)));
}

void writeBitmapFile(const fs::path& sceneDir, const std::string& name, uint32_t width, uint32_t height,
                     const std::vector<uint8_t>& rgb) {
    writeBytes(sceneDir / "tex" / (name + ".bmp"), encodeBitmap(rgb, width, height));
}

fs::path testDataDirectory() {
    return BEATSHOW_TEST_DATA;
}

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

void writeFullSceneAssets(const fs::path& dir) {
    writeMeshFile(dir, "cube", 36);
    writeMeshFile(dir, "plate", 6);
    writeBitmapFile(dir, "stone", 4, 2, makeNumberedImage(4, 2));
    writeBitmapFile(dir, "stone_normal", 4, 2, std::vector<uint8_t>(4 * 2 * 3, 200));
    writeBitmapFile(dir, "stone_emissive", 4, 2, std::vector<uint8_t>(4 * 2 * 3, 9));
    writeBitmapFile(dir, "wood", 2, 2, makeNumberedImage(2, 2));
    writeBytes(dir / "audio" / "song.ogg", bytesOf("OggS and then the rest of a stream"));
}

void writeBrokenSceneAssets(const fs::path& dir) {
    writeMeshFile(dir, "cube", 3);
    std::vector<uint8_t> bad = encodeMeshFile(makeNumberedMesh(3, "bad"));
    bad[4] = 0x38; // magic 0x1338
    writeBytes(dir / "model" / "bad.obj", bad);
    writeBitmapFile(dir, "stone", 2, 1, makeNumberedImage(2, 1));
    std::vector<uint8_t> cracked = encodeBitmap(makeNumberedImage(2, 2), 2, 2);
    cracked.resize(20);
    writeBytes(dir / "tex" / "cracked.bmp", cracked);
    writeBytes(dir / "audio" / "noise.ogg", bytesOf("RIFF....WAVEfmt "));
}

void writeActorSceneAssets(const fs::path& dir) {
    for (const char* mesh : {"eckig", "ding02", "Tunnel01", "ball"})
        writeMeshFile(dir, mesh, 36);
    for (const char* material : {"concrete", "stonewall", "metal4", "map02", "logo2"})
        writeBitmapFile(dir, material, 4, 2, makeNumberedImage(4, 2));
    writeBytes(dir / "audio" / "song.ogg", bytesOf("OggS and then the rest of a stream"));
}

} // namespace

void assembleTestScene(const std::string& scene, const fs::path& dataDir, const fs::path& target) {
    fs::create_directories(target);
    fs::copy(dataDir / scene, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    if (scene == "full")
        writeFullSceneAssets(target);
    else if (scene == "broken")
        writeBrokenSceneAssets(target);
    else if (scene == "actors")
        writeActorSceneAssets(target);
    else
        throw std::invalid_argument("no test scene named " + scene);
}
