// Imported models in a real frame of the OpenGL renderer: a glTF and an OBJ cube, written by the
// tests, show the front of their picture upright and unmirrored to an engine camera looking along
// +z, are lit by a light in front of them, and an asymmetric part stays on its side.
#include "render/Material.h"
#include "tests/import/ImportTestFiles.h"
#include "tests/render/GlTestSupport.h"

namespace fs = std::filesystem;

namespace {

using Target = RendererGL::Target;

class ImportedOnScreen : public GlRendererTest {
protected:
    // Imports the files and hands the named meshes and materials to the renderer.
    void importAndRegister(const std::vector<std::string>& files, const std::vector<std::string>& meshes,
                           const std::vector<std::string>& materials) {
        std::vector<std::string> words = files;
        words.insert(words.end(), {"--into", show_.path().string()});
        const ImportRun run = runImportWords(words);
        ASSERT_EQ(run.status, 0) << (run.lines.empty() ? "" : run.lines.front());
        for (const std::string& name : meshes) {
            meshes_.push_back(engineMesh(show_.path(), name));
            ASSERT_TRUE(meshes_.back()) << name;
            ASSERT_EQ(renderer().addMesh(meshes_.back().get()), 0);
        }
        for (const std::string& name : materials) {
            materials_.push_back(engineMaterial(show_.path(), name));
            ASSERT_TRUE(materials_.back()) << name;
            ASSERT_EQ(renderer().addMaterial(materials_.back().get()), 0);
        }
    }
    Rgb at(Target target, const Vector& world) {
        const auto p = pixelOf(world);
        return targetAt(target, p[0], p[1]);
    }
    // The front face (engine z = -1) shows the picture's quarters where they belong, and faces
    // the camera.
    void expectFrontUpright(const std::string& label) {
        const Rgb tl = at(Target::Diffuse, {-0.5f, 0.5f, -1}), tr = at(Target::Diffuse, {0.5f, 0.5f, -1});
        const Rgb bl = at(Target::Diffuse, {-0.5f, -0.5f, -1}), br = at(Target::Diffuse, {0.5f, -0.5f, -1});
        EXPECT_TRUE(tl.r > 0.9f && tl.g < 0.1f && tl.b < 0.1f) << label << ": top left should be red";
        EXPECT_TRUE(tr.g > 0.9f && tr.r < 0.1f && tr.b < 0.1f) << label << ": top right should be green";
        EXPECT_TRUE(bl.b > 0.9f && bl.r < 0.1f && bl.g < 0.1f) << label << ": bottom left should be blue";
        EXPECT_TRUE(br.r > 0.9f && br.g > 0.9f && br.b < 0.1f) << label << ": bottom right should be yellow";
        const Rgb normal = at(Target::Normal, {0.2f, 0.2f, -1});
        EXPECT_NEAR(normal.b, -1.0f, 0.01f) << label << ": the front faces the camera";
    }
    // Lit by a light in front, dark with the same light behind.
    void expectLitFromTheFront(PlacedLight& light, const std::string& label) {
        light.position = {0, 0.5f, -4};
        frame();
        const float front = at(Target::Composite, {0.5f, -0.5f, -1}).sum();
        light.position = {0, 0.5f, 4};
        frame();
        const float behind = at(Target::Composite, {0.5f, -0.5f, -1}).sum();
        EXPECT_GT(front, 0.8f) << label;
        EXPECT_GT(front, behind + 0.6f)
            << label << ": lit from the front " << front << ", from behind " << behind;
    }

    ScratchDirectory source_, show_;
    std::vector<std::unique_ptr<Mesh>> meshes_;
    std::vector<std::unique_ptr<Material>> materials_;
};

TEST_F(ImportedOnScreen, AGltfCubeShowsItsFrontUprightLitFromTheFrontWithItsMarkerOnTheRight) {
    ASSERT_EQ(open(), 0);
    writePicturePng(source_.path() / "quarters.png", quartersPicture(64, 64));
    TestGltf model;
    model.meshes.push_back(cubePrimitive(true));
    model.meshes.push_back(trianglePrimitive(1));
    model.nodes.push_back({"Cube"});
    TestNode marker{"Marker", 1};
    marker.translation = {1.5f, 1.5f, 0};
    marker.scale = {0.5f, 0.5f, 0.5f};
    model.nodes.push_back(marker);
    model.materials.push_back({"Paint", 0});
    model.materials.push_back({"Plain"});
    model.imageFiles = {"quarters.png"};
    writeGltf(source_.path() / "crate.gltf", model);
    importAndRegister({(source_.path() / "crate.gltf").string()}, {"crate_Cube", "crate_Marker"},
                      {"crate_Paint", "crate_Plain"});
    Placed cube(meshes_[0].get(), "crate_Paint", {0, 0, 0});
    Placed mark(meshes_[1].get(), "crate_Plain", {0, 0, 0});
    ASSERT_EQ(renderer().addRenderInstance(&cube.instance), 0);
    ASSERT_EQ(renderer().addRenderInstance(&mark.instance), 0);
    PlacedLight light(0, {0, 0.5f, -4});
    ASSERT_EQ(renderer().addLight(&light.record), 0);
    lookAlongZ({0, 0, -5});
    frame();
    saveFrameForInspection(renderer(), "imported-gltf-cube");
    expectFrontUpright("glTF");
    // The marker sat at the top right seen from the front in its tool, and still does.
    EXPECT_GT(at(Target::Diffuse, {1.6f, 1.6f, 0}).sum(), 1.5f);
    EXPECT_EQ(at(Target::Diffuse, {-1.6f, 1.6f, 0}).sum(), 0.0f);
    expectLitFromTheFront(light, "glTF");
}

TEST_F(ImportedOnScreen, AnObjCubeShowsItsFrontUprightAndLitFromTheFront) {
    ASSERT_EQ(open(), 0);
    writePicturePng(source_.path() / "quarters.png", quartersPicture(64, 64));
    writeObjCube(source_.path() / "box.obj", "quarters.png");
    importAndRegister({(source_.path() / "box.obj").string()}, {"box"}, {"box"});
    Placed cube(meshes_[0].get(), "box", {0, 0, 0});
    ASSERT_EQ(renderer().addRenderInstance(&cube.instance), 0);
    PlacedLight light(0, {0, 0.5f, -4});
    ASSERT_EQ(renderer().addLight(&light.record), 0);
    lookAlongZ({0, 0, -5});
    frame();
    saveFrameForInspection(renderer(), "imported-obj-cube");
    expectFrontUpright("OBJ");
    expectLitFromTheFront(light, "OBJ");
}

} // namespace
