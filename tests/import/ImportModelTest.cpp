// Models written by the tests in glTF and OBJ come out as engine mesh files and materials that
// the engine's own readers load: the records of a known cube, winding and handedness, node
// transforms, units, merged parts, made-up normals and texture coordinates.
#include "engine/base/Log.h"
#include "render/MeshFile.h"
#include "tests/fuzz/ModelHint.h"
#include "tests/import/ImportTestFiles.h"
#include "tests/support/TestSupport.h"
#include "tools/import/MeshConvert.h"
#include "tools/import/ModelImport.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class ModelImport : public ::testing::Test {
protected:
    fs::path in(const std::string& name) const { return source_.path() / name; }
    fs::path show() const { return show_.path(); }
    ImportRun import(std::vector<std::string> words) {
        words.insert(words.end(), {"--into", show().string()});
        return runImportWords(words);
    }
    // A glTF cube with the quarters picture beside it.
    TestGltf texturedCube() {
        writePicturePng(in("quarters.png"), quartersPicture());
        TestGltf model;
        model.meshes.push_back(cubePrimitive(true));
        model.nodes.push_back({"Cube"});
        model.materials.push_back({"Paint", 0});
        model.imageFiles = {"quarters.png"};
        return model;
    }

    LogCapture log_;
    ScratchDirectory source_, show_;
};

TEST_F(ModelImport, AGltfCubeBecomesTheEngineCubeWithItsPictureTheRightWayRound) {
    writeGltf(in("crate.gltf"), texturedCube());
    const ImportRun run = import({in("crate.gltf").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_EQ(filesUnder(show()),
              (std::vector<std::string>{"model/crate.imported", "model/crate.obj", "tex/crate.bmp"}));
    EXPECT_TRUE(run.says("wrote model/crate.obj (12 triangles, material crate)"));
    EXPECT_TRUE(run.says("wrote tex/crate.bmp (8 x 8)"));
    const auto mesh = engineMesh(show(), "crate");
    const auto material = engineMaterial(show(), "crate");
    ASSERT_TRUE(mesh && material);
    expectEngineCube(*mesh, 1.0f, {0, 0, 0}, material.get());
}

TEST_F(ModelImport, AnObjCubeWithItsMtlComesOutTheSame) {
    writePicturePng(in("pics/quarters.png"), quartersPicture());
    writeObjCube(in("box.obj"), "pics/quarters.png");
    const ImportRun run = import({in("box.obj").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    const auto mesh = engineMesh(show(), "box");
    const auto material = engineMaterial(show(), "box");
    ASSERT_TRUE(mesh && material);
    expectEngineCube(*mesh, 1.0f, {0, 0, 0}, material.get());
    // The grey Kd beside map_Kd does not darken the picture.
    EXPECT_EQ(texelAt(material->diffuse, 8, 8, {0.9f, 0.9f}), (std::array<uint8_t, 3>{255, 0, 0}));
}

TEST_F(ModelImport, NodeTransformsAndScaleApplyAndAMirroringNodeKeepsTheWinding) {
    TestGltf model = texturedCube();
    model.nodes[0].translation = {4, 2, 10};
    model.nodes[0].scale = {0.5f, 0.5f, 0.5f};
    model.meshes.push_back(trianglePrimitive());
    TestNode mirrored{"Mirrored", 1};
    mirrored.scale = {-1, 1, 1};
    model.nodes.push_back(mirrored);
    writeGltf(in("scene.gltf"), model);
    const ImportRun run = import({in("scene.gltf").string(), "--scale", "2"});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_EQ(filesUnder(show()), (std::vector<std::string>{"model/scene.imported", "model/scene_Cube.obj",
                                                            "model/scene_Mirrored.obj", "tex/scene.bmp"}));
    // Half size, then twice: edge 2 again, centred on (4, 2, 10) x 2 with z into the screen.
    expectEngineCube(*engineMesh(show(), "scene_Cube"), 1.0f, {8, 4, -20});

    // (0,0,0), (1,0,0), (0,1,0) facing +z, mirrored in x, doubled, then z negated: it faces the
    // engine camera (-z) still, on the left, and is wound clockwise towards its normal.
    const auto triangle = engineMesh(show(), "scene_Mirrored");
    ASSERT_TRUE(triangle);
    ASSERT_EQ(triangle->vertexCount, 3u);
    for (const Vector& n : triangle->normals)
        EXPECT_EQ(n, (Vector{0, 0, -1}));
    const auto& p = triangle->positions;
    EXPECT_GT(cross(p[1] - p[0], p[2] - p[0]).dot(Vector{0, 0, -1}), 0.0f);
    std::vector<Vector> corners(p.begin(), p.end());
    for (const Vector& expected : {Vector{0, 0, 0}, Vector{-2, 0, 0}, Vector{0, 2, 0}})
        EXPECT_NE(std::find(corners.begin(), corners.end(), expected), corners.end());
}

TEST_F(ModelImport, ALoneTriangleKeepsItsSideAndFaceTowardsTheFront) {
    // Asymmetric on purpose: a mirror in x instead of z would put it on the left.
    TestGltf model;
    model.meshes.push_back(trianglePrimitive(-1));
    model.nodes.push_back({"T"});
    writeGltf(in("tri.gltf"), model);
    ASSERT_EQ(import({in("tri.gltf").string()}).status, 0);
    const auto mesh = engineMesh(show(), "tri");
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->positions, (std::vector<Vector>{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}));
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(mesh->normals[i], (Vector{0, 0, -1}));
        EXPECT_EQ(mesh->tangents[i], (Vector{-1, 0, 0})); // u grows to the left as seen from the front
        EXPECT_EQ(mesh->binormals[i], (Vector{0, 1, 0}));
    }
    // glTF's v = 1 at (0,0,0) is the picture's bottom; u becomes 1 - u.
    EXPECT_NEAR(mesh->texCoords[0].u, 1.0f, 1e-6f);
    EXPECT_NEAR(mesh->texCoords[0].v, 0.0f, 1e-6f);
    EXPECT_NEAR(mesh->texCoords[2].u, 0.0f, 1e-6f);
}

TEST_F(ModelImport, ZUpTurnsAModelUpright) {
    TestGltf model;
    model.meshes.push_back(trianglePrimitive(-1));
    model.nodes.push_back({"T"});
    writeGltf(in("cad.gltf"), model);
    ASSERT_EQ(import({in("cad.gltf").string(), "--z-up"}).status, 0);
    // Its +z normal was up: it now points along +y; its +y corner now lies towards the viewer.
    const auto mesh = engineMesh(show(), "cad");
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->normals[0], (Vector{0, 1, 0}));
    EXPECT_NE(std::find(mesh->positions.begin(), mesh->positions.end(), Vector(0, 0, 1)),
              mesh->positions.end());
}

TEST_F(ModelImport, SeveralMaterialsGiveAMeshEachAndMergeJoinsPartsOfOneMaterial) {
    writePicturePng(in("quarters.png"), quartersPicture());
    writeObjCube(in("two.obj"), "quarters.png", true, true, true);
    const ImportRun run = import({in("two.obj").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_EQ(filesUnder(show()),
              (std::vector<std::string>{"model/two.imported", "model/two_body.obj", "model/two_front.obj",
                                        "tex/two_body.bmp", "tex/two_front.bmp"}));
    EXPECT_EQ(engineMesh(show(), "two_front")->vertexCount, 6u);
    EXPECT_EQ(engineMesh(show(), "two_body")->vertexCount, 30u);
    // The front's material has no picture: its colour (0.2, 0.4, 0.6).
    const auto front = engineMaterial(show(), "two_front");
    ASSERT_TRUE(front);
    EXPECT_EQ(texelAt(front->diffuse, front->width, front->height, {0.5f, 0.5f}),
              (std::array<uint8_t, 3>{51, 102, 153}));
    EXPECT_NE(run.snippet.find("<Material MaterialName=\"two_front\" />"), std::string::npos);

    // Two nodes of one material: two meshes, or one merged.
    TestGltf model = texturedCube();
    model.nodes.push_back({"Copy"});
    model.nodes[1].translation = {3, 0, 0};
    writeGltf(in("pair.gltf"), model);
    ScratchDirectory merged;
    ASSERT_EQ(runImportWords({in("pair.gltf").string(), "--merge", "--into", merged.path().string()}).status,
              0);
    EXPECT_EQ(filesUnder(merged.path()),
              (std::vector<std::string>{"model/pair.imported", "model/pair.obj", "tex/pair.bmp"}));
    EXPECT_EQ(engineMesh(merged.path(), "pair")->vertexCount, 72u);
}

TEST_F(ModelImport, MissingNormalsAreMadeFlatPerFaceAndMissingTextureCoordinatesMappedFlat) {
    writePicturePng(in("quarters.png"), quartersPicture());
    writeObjCube(in("bare.obj"), "quarters.png", false, false);
    const ImportRun run = import({in("bare.obj").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_TRUE(run.says("bare: no texture coordinates; the picture is mapped flat"));
    const auto mesh = engineMesh(show(), "bare");
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->vertexCount, 36u);
    for (uint32_t i = 0; i < mesh->vertexCount; ++i) {
        const Vector n = mesh->normals[i], t = mesh->tangents[i], b = mesh->binormals[i];
        // A cube's faces keep their edges: each normal is one of the six axes.
        EXPECT_NEAR(std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z), 1.0f, 1e-4f) << "vertex " << i;
        EXPECT_NEAR(t.length(), 1.0f, 1e-4f);
        EXPECT_NEAR(b.length(), 1.0f, 1e-4f);
        EXPECT_NEAR(t.dot(n), 0.0f, 1e-4f);
        EXPECT_NEAR(b.dot(n), 0.0f, 1e-4f);
        EXPECT_GE(mesh->texCoords[i].u, 0.0f);
        EXPECT_LE(mesh->texCoords[i].u, 1.0f);
    }
    // Seen from the front, the projection shows the picture upright: +u to the left, +v up.
    for (uint32_t i = 0; i < mesh->vertexCount; ++i)
        if (mesh->normals[i] == Vector(0, 0, -1)) {
            EXPECT_TRUE(mesh->tangents[i] == Vector(-1, 0, 0));
            EXPECT_NEAR(mesh->texCoords[i].v, (mesh->positions[i].y + 1) / 2, 1e-5f);
        }
}

TEST_F(ModelImport, PicturesAreFoundInAnyLetterCaseThroughWindowsAndBlenderPaths) {
    // project/models/ holds the models, project/models/pics/ and project/textures/ the pictures.
    const fs::path models = in("project/models");
    writePicturePng(models / "pics/quarters.png", quartersPicture());
    writePicturePng(in("project/textures/Wood.png"), quartersPicture());
    const std::vector<std::string> written = {
        "PICS\\QUARTERS.PNG",                               // Windows separators, another case
        "//pics/Quarters.png",                              // Blender: beside the .blend file
        "C:\\Users\\ann\\work\\models\\pics\\quarters.png", // another machine's folders
        "D:\\art\\textures\\wood.png",                      // beside the models' folder
    };
    for (size_t i = 0; i < written.size(); ++i)
        writeObjCube(models / ("cube" + std::to_string(i) + ".obj"), written[i]);
    TestGltf gltf = texturedCube();
    gltf.imageFiles = {"Pics/QUARTERS.png"};
    writeGltf(models / "cube4.gltf", gltf);

    for (const std::string file : {"cube0.obj", "cube1.obj", "cube2.obj", "cube3.obj", "cube4.gltf"}) {
        const ImportRun run = import({(models / file).string(), "--name", "box"});
        ASSERT_EQ(run.status, 0) << file << ": " << run.lines.front();
        const auto material = engineMaterial(show(), "box");
        ASSERT_TRUE(material);
        EXPECT_EQ(material->width, 8) << file;
        EXPECT_EQ(texelAt(material->diffuse, 8, 8, {0.9f, 0.9f}), (std::array<uint8_t, 3>{255, 0, 0}))
            << file;
    }
}

TEST_F(ModelImport, AMissingPictureLeavesItsMaterialWithoutItAndALineUnlessStrict) {
    writeObjCube(in("lost.obj"), "nowhere/missing.png");
    const ImportRun run = import({in("lost.obj").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    EXPECT_EQ(filesUnder(show()),
              (std::vector<std::string>{"model/lost.imported", "model/lost.obj", "tex/lost.bmp"}));
    EXPECT_EQ(std::count_if(run.lines.begin(), run.lines.end(),
                            [](const std::string& l) { return l.find("missing.png") != std::string::npos; }),
              1);
    EXPECT_TRUE(run.says("lost.obj: material body: the picture nowhere/missing.png is not found (looked "
                         "beside the model, in " +
                         source_.path().string() + "); plain colour instead"));
    EXPECT_TRUE(run.says("wrote tex/lost.bmp (4 x 4, its colour)"));
    const auto material = engineMaterial(show(), "lost");
    ASSERT_TRUE(material);
    EXPECT_EQ(texelAt(material->diffuse, 4, 4, {0.5f, 0.5f}), (std::array<uint8_t, 3>{204, 204, 204}));
    expectEngineCube(*engineMesh(show(), "lost"), 1.0f, {0, 0, 0});

    // A missing normal map leaves the material its picture, and no normal map.
    TestGltf model = texturedCube();
    model.materials[0].normal = 1;
    model.imageFiles.push_back("gone_normal.png");
    writeGltf(in("bumpy.gltf"), model);
    const ImportRun bumpy = import({in("bumpy.gltf").string()});
    ASSERT_EQ(bumpy.status, 0) << bumpy.lines.front();
    EXPECT_TRUE(bumpy.says("material Paint: the picture gone_normal.png is not found"));
    EXPECT_TRUE(bumpy.says("gone_normal.png is not found (looked beside the model, in " +
                           source_.path().string() + "); no normal map"));
    EXPECT_TRUE(fs::exists(show() / "tex/bumpy.bmp"));
    EXPECT_FALSE(fs::exists(show() / "tex/bumpy_normal.bmp"));

    // --strict refuses the model as a whole, writing nothing.
    ScratchDirectory strict;
    const ImportRun refused =
        runImportWords({in("lost.obj").string(), "--strict", "--into", strict.path().string()});
    EXPECT_EQ(refused.status, 1);
    ASSERT_EQ(refused.lines.size(), 1u);
    EXPECT_TRUE(refused.says("the picture nowhere/missing.png is not found")) << refused.lines.front();
    EXPECT_TRUE(refused.says("nothing written for it"));
    EXPECT_EQ(filesUnder(strict.path()), std::vector<std::string>{});
}

// The cube of edge 2 with its eight corners shared by its faces, as glTF with indices, PLY and OFF
// keep it: corner i at x, y, z = -1 or +1 by its bits 0, 1, 2; each face counter-clockwise seen
// from outside.
const uint16_t SharedCubeFaces[6][4] = {{5, 1, 3, 7}, {0, 4, 6, 2}, {6, 7, 3, 2},
                                        {0, 1, 5, 4}, {4, 5, 7, 6}, {1, 0, 2, 3}};

std::vector<float> sharedCubeCorners() {
    std::vector<float> corners;
    for (int i = 0; i < 8; ++i)
        corners.insert(corners.end(), {i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    return corners;
}

void writeModelText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Every triangle of an imported cube centred on the origin: its corners carry its face's own
// normal, which points out of the cube along one of the axes.
void expectFlatOutwardFaces(const Mesh& mesh, const std::string& label) {
    ASSERT_EQ(mesh.vertexCount, 36u) << label;
    int right = 0;
    for (uint32_t t = 0; t < mesh.vertexCount; t += 3) {
        const Vector p0 = mesh.positions[t], p1 = mesh.positions[t + 1], p2 = mesh.positions[t + 2];
        const Vector face = cross(p1 - p0, p2 - p0).normalized();
        const Vector middle = (p0 + p1 + p2) * (1.0f / 3.0f);
        EXPECT_NEAR(std::fabs(face.x) + std::fabs(face.y) + std::fabs(face.z), 1.0f, 1e-4f) << label;
        EXPECT_GT(face.dot(middle), 0.0f) << label << ": triangle " << t / 3 << " faces inwards";
        bool flat = true;
        for (uint32_t i = t; i < t + 3; ++i)
            flat = flat && (mesh.normals[i] - face).length() < 1e-4f;
        right += flat ? 1 : 0;
    }
    EXPECT_EQ(right, 12) << label << ": triangles whose corners carry their own face's normal";
}

TEST_F(ModelImport, MadeUpNormalsSplitAtACubesEdgesWhereverItsCornersAreShared) {
    TestPrimitive cube;
    cube.positions = sharedCubeCorners();
    cube.material = -1;
    for (const auto& f : SharedCubeFaces)
        for (int i : {0, 1, 2, 0, 2, 3})
            cube.indices.push_back(f[i]);
    TestGltf model;
    model.meshes.push_back(cube);
    model.nodes.push_back({"Cube"});
    writeGltf(in("indexed.gltf"), model);

    std::ostringstream ply, off;
    ply << "ply\nformat ascii 1.0\nelement vertex 8\nproperty float x\nproperty float y\nproperty float z\n"
           "element face 6\nproperty list uchar int vertex_indices\nend_header\n";
    off << "OFF\n8 6 12\n";
    for (size_t i = 0; i < 24; i += 3) {
        const std::vector<float> c = sharedCubeCorners();
        ply << c[i] << " " << c[i + 1] << " " << c[i + 2] << "\n";
        off << c[i] << " " << c[i + 1] << " " << c[i + 2] << "\n";
    }
    for (const auto& f : SharedCubeFaces) {
        ply << "4 " << f[0] << " " << f[1] << " " << f[2] << " " << f[3] << "\n";
        off << "4 " << f[0] << " " << f[1] << " " << f[2] << " " << f[3] << "\n";
    }
    writeModelText(in("cube.ply"), ply.str());
    writeModelText(in("cube.off"), off.str());

    for (const std::string file : {"indexed.gltf", "cube.ply", "cube.off"}) {
        const ImportRun run = import({in(file).string(), "--name", "box"});
        ASSERT_EQ(run.status, 0) << file << ": " << run.lines.front();
        const auto mesh = engineMesh(show(), "box");
        ASSERT_TRUE(mesh) << file;
        expectFlatOutwardFaces(*mesh, file);
    }
}

TEST_F(ModelImport, MadeUpNormalsAreSmoothWhereFacesMeetGently) {
    // A sphere of 24 x 12 faces (15 degrees apart), every vertex shared by the faces around it.
    TestPrimitive sphere;
    sphere.material = -1;
    const int rings = 12, segments = 24;
    const float pi = 3.14159265f;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const float polar = pi * static_cast<float>(r) / rings,
                        around = 2 * pi * static_cast<float>(s) / segments;
            sphere.positions.insert(
                sphere.positions.end(),
                {std::sin(polar) * std::cos(around), std::cos(polar), -std::sin(polar) * std::sin(around)});
        }
    // Each pole is one vertex, as modelling tools keep it.
    auto at = [&](int r, int s) {
        return static_cast<uint16_t>(r == 0 || r == rings ? r * segments : r * segments + s % segments);
    };
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            // Counter-clockwise seen from outside; at the poles, one triangle a segment.
            if (r > 0) sphere.indices.insert(sphere.indices.end(), {at(r, s), at(r + 1, s), at(r, s + 1)});
            if (r + 1 < rings)
                sphere.indices.insert(sphere.indices.end(), {at(r, s + 1), at(r + 1, s), at(r + 1, s + 1)});
        }
    TestGltf model;
    model.meshes.push_back(sphere);
    model.nodes.push_back({"Ball"});
    writeGltf(in("ball.gltf"), model);
    const ImportRun run = import({in("ball.gltf").string()});
    ASSERT_EQ(run.status, 0) << run.lines.front();
    const auto mesh = engineMesh(show(), "ball");
    ASSERT_TRUE(mesh);
    ASSERT_EQ(mesh->vertexCount, static_cast<uint32_t>(3 * 2 * segments * (rings - 1)));
    int smooth = 0;
    for (uint32_t i = 0; i < mesh->vertexCount; ++i)
        smooth += mesh->normals[i].dot(mesh->positions[i].normalized()) > 0.999f ? 1 : 0;
    EXPECT_EQ(smooth, static_cast<int>(mesh->vertexCount))
        << "corners whose normal points away from the centre";
}

// The model fuzz target starts from these: each must be a model its reader takes, or the fuzzer
// would spend its time on refusals at the door of that format.
TEST(ModelFuzzSeeds, EachSeedIsReadAsTheFormatItsFirstLineNames) {
    ScratchDirectory scratch;
    size_t formats = 0;
    for (const auto& entry : fs::directory_iterator(BEATSHOW_MODEL_SEEDS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                         std::istreambuf_iterator<char>()};
        const ModelInput input = splitModelHint(bytes.data(), bytes.size());
        formats += input.extension.empty() ? 0 : 1;
        const fs::path path =
            scratch.path() / ("model" + (input.extension.empty() ? "" : "." + input.extension));
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data() + input.offset),
                   static_cast<std::streamsize>(bytes.size() - input.offset));
        ImportedModel model;
        std::string error;
        EXPECT_EQ(readModel(path.string(), "seed", ModelSettings{}, model, error), 0)
            << entry.path().filename() << ": " << error;
        EXPECT_FALSE(model.parts.empty()) << entry.path().filename();
        fs::remove(path);
    }
    EXPECT_GE(formats, 20u);
}

TEST(MeshConvert, BadCornersAreLeftOutAndCounted) {
    SourceMesh source;
    source.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {NAN, 0, 0}};
    source.triangles = {0, 1, 2, 0, 1, 3, 0, 1, 9};
    std::vector<MeshRecord> records;
    ConvertReport report;
    appendEngineTriangles(source, Affine{}, ConvertSettings{}, records, report);
    EXPECT_EQ(records.size(), 3u);
    EXPECT_EQ(report.droppedTriangles, 2u);
    EXPECT_TRUE(report.planarMapping);
    // Without normals, the face's own; the written bytes read back through the engine's reader.
    EXPECT_EQ(records[0].normal, (Vector{0, 0, -1}));
    const std::vector<uint8_t> bytes = meshFileBytes(records);
    std::unique_ptr<Mesh> mesh;
    LogCapture log;
    ASSERT_EQ(createMeshFromBytes(bytes.data(), bytes.size(), "m", mesh), 0);
    EXPECT_EQ(mesh->positions[1], records[1].position);
    EXPECT_EQ(mesh->binormals[2], records[2].binormal);
}

} // namespace
