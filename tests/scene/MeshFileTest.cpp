#include "render/MeshFile.h"
#include "render/Mesh.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <cstring>

namespace {

void putMeshU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A mesh file written byte by byte: record i holds the floats i * 100 + 0 ... i * 100 + 13 in
// file order, so every field shows where it was read from.
std::vector<uint8_t> handWrittenMeshFile(uint32_t count, uint32_t records, uint32_t magic = 0x1337) {
    std::vector<uint8_t> bytes(8 + static_cast<size_t>(records) * 56);
    putMeshU32(bytes, 0, count);
    putMeshU32(bytes, 4, magic);
    for (uint32_t i = 0; i < records; ++i)
        for (uint32_t k = 0; k < 14; ++k) {
            const float f = static_cast<float>(i * 100 + k);
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            putMeshU32(bytes, 8 + i * 56 + k * 4, bits);
        }
    return bytes;
}

int decode(const std::vector<uint8_t>& bytes, std::unique_ptr<Mesh>& mesh, const std::string& name = "m") {
    return createMeshFromBytes(bytes.data(), bytes.size(), name, mesh);
}

class MeshFiles : public ::testing::Test {
protected:
    void SetUp() override { resetProblems(); }
    LogCapture log;
};

TEST_F(MeshFiles, RecordsAreSplitIntoTheFiveArraysAsTheyStand) {
    std::unique_ptr<Mesh> mesh;
    // One record more than the count: bytes after the last vertex are not read.
    ASSERT_EQ(decode(handWrittenMeshFile(3, 4), mesh, "tri"), 0);
    EXPECT_EQ(mesh->name, "tri");
    EXPECT_EQ(mesh->vertexCount, 3u);
    EXPECT_EQ(mesh->stride, 0u);
    ASSERT_EQ(mesh->texCoords.size(), 3u);
    const Vector p = mesh->positions[2];
    EXPECT_EQ((std::vector<float>{p.x, p.y, p.z}), (std::vector<float>{200, 201, 202}));
    // Texture coordinates are bytes 12 to 19 of a record, normals bytes 20 to 31.
    EXPECT_EQ(mesh->texCoords[2].u, 203.0f);
    EXPECT_EQ(mesh->texCoords[2].v, 204.0f);
    EXPECT_EQ(mesh->normals[2].x, 205.0f);
    EXPECT_EQ(mesh->normals[2].z, 207.0f);
    EXPECT_EQ(mesh->tangents[2].x, 208.0f);
    EXPECT_EQ(mesh->binormals[2].z, 213.0f);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(MeshFiles, NoVerticesIsAnEmptyMesh) {
    std::unique_ptr<Mesh> mesh;
    ASSERT_EQ(decode(handWrittenMeshFile(0, 0), mesh), 0);
    EXPECT_EQ(mesh->vertexCount, 0u);
    EXPECT_TRUE(mesh->positions.empty());
}

TEST_F(MeshFiles, WrongMagicEmptyNameAndShortHeaderAreRefused) {
    std::unique_ptr<Mesh> mesh;
    EXPECT_EQ(decode(handWrittenMeshFile(3, 3, 0x1338), mesh), -1);
    EXPECT_TRUE(log.contains("mesh m: magic 0x1338 is not 0x1337"));
    EXPECT_EQ(decode(handWrittenMeshFile(3, 3), mesh, ""), -1);
    const std::vector<uint8_t> header{3, 0, 0, 0, 0x37};
    EXPECT_EQ(decode(header, mesh), -1);
    EXPECT_TRUE(log.contains("mesh m: file of 5 bytes is shorter than the 8-byte header"));
    EXPECT_EQ(createMeshFromBytes(nullptr, 0, "m", mesh), -1);
    EXPECT_EQ(mesh, nullptr);
}

TEST_F(MeshFiles, AFileShorterThanItsRecordsIsRejectedWhole) {
    std::unique_ptr<Mesh> mesh;
    std::vector<uint8_t> cut = handWrittenMeshFile(3, 3);
    cut.resize(cut.size() - 1);
    EXPECT_EQ(decode(cut, mesh), -1);
    EXPECT_TRUE(log.contains("mesh m: 3 vertices need 176 bytes, the file holds 175; mesh rejected"));
    EXPECT_EQ(mesh, nullptr);
    EXPECT_EQ(problemsNoted().size(), 1u);
}

TEST_F(MeshFiles, AVertexCountNearTwoToThe32IsRejectedWithoutAllocating) {
    std::unique_ptr<Mesh> mesh;
    EXPECT_EQ(decode(handWrittenMeshFile(0xFFFFFFFFu, 3), mesh), -1);
    EXPECT_TRUE(log.contains(
        "mesh m: 4294967295 vertices need 240518168528 bytes, the file holds 176; mesh rejected"));
}

TEST_F(MeshFiles, APartialTriangleLoadsAndIsReported) {
    std::unique_ptr<Mesh> mesh;
    ASSERT_EQ(decode(handWrittenMeshFile(4, 4), mesh), 0);
    EXPECT_EQ(mesh->vertexCount, 4u);
    EXPECT_EQ(mesh->positions[3].x, 300.0f);
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{
                  "mesh m: 4 vertices is not a whole number of triangles; the last 1 are not drawn"});
    EXPECT_EQ(problemsNoted().size(), 1u);
}

TEST_F(MeshFiles, AWavefrontObjFileIsNamedForWhatItIs) {
    std::unique_ptr<Mesh> mesh;
    for (const char* text : {"# Blender export\nmtllib ring.mtl\no Ring\nv 1.0 0.0 0.0\n",
                             "v 1 2 3\nv 4 5 6\nv 7 8 9\nf 1 2 3\n"}) {
        log.clear();
        const std::string obj = text;
        EXPECT_EQ(decode(std::vector<uint8_t>(obj.begin(), obj.end()), mesh), -1);
        EXPECT_EQ(log.lines(), std::vector<std::string>{"mesh m: a Wavefront OBJ text file, not the engine's "
                                                        "binary mesh format (beatshow-import converts one)"});
    }
    // A binary file with another magic is still told by its magic.
    log.clear();
    std::vector<uint8_t> wrong = handWrittenMeshFile(3, 3);
    wrong[4] = 0x38;
    EXPECT_EQ(decode(wrong, mesh), -1);
    EXPECT_TRUE(log.contains("mesh m: magic 0x1338 is not 0x1337"));
}

class MeshLoading : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        registerShowAssetKinds();
        cwd_ = std::make_unique<WorkingDirectory>(dir_.path());
    }
    void TearDown() override {
        cwd_.reset();
        RegistryTest::TearDown();
    }
    ScratchDirectory dir_;
    std::unique_ptr<WorkingDirectory> cwd_;
};

TEST_F(MeshLoading, AnEmptyMeshRegistersAndAWrongMagicFails) {
    writeBytes(dir_.path() / "model" / "none.obj", handWrittenMeshFile(0, 0));
    writeBytes(dir_.path() / "model" / "odd.obj", handWrittenMeshFile(3, 3, 0x1338));
    Mesh* none = loadMesh("none");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(renderer().meshes(), std::vector<Mesh*>{none});
    EXPECT_EQ(loadMesh("odd"), nullptr);
    EXPECT_EQ(log().lines(),
              (std::vector<std::string>{"mesh odd: magic 0x1338 is not 0x1337", "Creating Mesh failure"}));
    EXPECT_EQ(findMesh("odd"), nullptr);
}

} // namespace
