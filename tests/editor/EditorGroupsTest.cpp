// Groups in the editor's panels (a bare ImGui context over a loaded scene): a click in the picture
// takes the whole group and a double click the part, the outliner lists the tree, and dragging a
// handle moves a group whole or a part along the world's axis, each drag one step of the history.
#include "actors/ActorFactory.h"
#include "editor/EditorUi.h"
#include "editor/model/Picking.h"
#include "engine/EngineRegistry.h"
#include "render/Bitmap.h"
#include "render/Mesh.h"
#include "render/MeshFile.h"
#include "scene/loader/SceneLoader.h"
#include "tests/support/TestSupport.h"

#include <imgui.h>

#include <fstream>

namespace {

// The robot stands 6 units ahead of the editor's camera, turned a quarter to the left; its body
// and head are cubes of edge 1 on either side of it. The body is listed before its group.
const char* const RobotScene = R"(<base>
  <scene>
    <meshes>
      <box />
    </meshes>
    <materials>
      <paint />
    </materials>
    <objects>
      <robot_body>
        <Position x="0" y="0" z="-1.5" />
        <Scale x="1" y="1" z="1" />
        <Mesh MeshName="box" />
        <Material MaterialName="paint" />
        <Parent name="robot" />
      </robot_body>
      <robot>
        <Position x="0" y="0" z="6" />
        <Rotation x="1.5707963" y="0" z="0" />
      </robot>
      <robot_head>
        <Position x="0" y="0" z="1.5" />
        <Scale x="1" y="1" z="1" />
        <Mesh MeshName="box" />
        <Material MaterialName="paint" />
        <Parent name="robot" />
      </robot_head>
      <lamp_post>
        <Position x="0" y="5" z="8" />
        <Scale x="1" y="1" z="1" />
        <Mesh MeshName="box" />
        <Material MaterialName="paint" />
      </lamp_post>
    </objects>
  </scene>
</base>
)";

// A cube of edge 1 around its origin, as far as picking reads it (its corners).
Mesh boxMesh() {
    Mesh mesh;
    mesh.name = "box";
    for (int i = 0; i < 36; ++i)
        mesh.positions.push_back({(i & 1) ? 0.5f : -0.5f, (i & 2) ? 0.5f : -0.5f, (i & 4) ? 0.5f : -0.5f});
    mesh.vertexCount = 36;
    return mesh;
}

class EditorGroups : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        registerShowAssetKinds();
        std::ofstream(scratch_.path() / "epicrealtimetest.xml") << RobotScene;
        std::filesystem::create_directories(scratch_.path() / "model");
        const std::vector<uint8_t> box = encodeMeshFile(boxMesh());
        std::ofstream(scratch_.path() / "model" / "box.obj", std::ios::binary)
            .write(reinterpret_cast<const char*>(box.data()), static_cast<std::streamsize>(box.size()));
        scratch_.write("tex/paint.bmp", encodeBitmap(std::vector<uint8_t>(4 * 4 * 3, 128), 4, 4));
        loadSceneFromBytes(RobotScene, "epicrealtimetest.xml", &createActor);
        document_.loadText(RobotScene);
        createWindowlessImGuiContext(1600, 900);
        frame();
    }
    void TearDown() override {
        ImGui::DestroyContext();
        RegistryTest::TearDown();
    }
    void frame() {
        EditorUi::Frame f;
        f.width = 1600;
        f.height = 900;
        f.musicTime = 1.0;
        f.clicks = clicks_;
        ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
        ImGui::NewFrame();
        ui_.draw(f);
        ImGui::Render();
    }
    void press(ImVec2 at) {
        ImGui::GetIO().MousePos = at;
        ImGui::GetIO().MouseDown[0] = true;
        frame();
    }
    void release() {
        ImGui::GetIO().MouseDown[0] = false;
        frame();
    }
    void click(ImVec2 at) {
        press(at);
        release();
    }
    // Where a world point shows in the picture (the editor's camera at the origin looking along +z).
    static ImVec2 onScreen(const Vector& point) {
        ViewSetup view;
        view.width = 1600;
        view.height = 900;
        float x = 0, y = 0;
        EXPECT_TRUE(projectToScreen(view, point, x, y));
        return {x, y};
    }
    static Vector worldOrigin(const std::string& name) {
        return transformCoord({}, worldMatrix(*findObject(name)));
    }
    const std::string& selected() { return ui_.selection().name; }
    // The document's vector of an object, as the file now says.
    Vector documentVector(const std::string& entity, const std::string& element) {
        Vector v;
        EXPECT_TRUE(document_.vector(entity, element, v));
        return v;
    }
    // Drags the selection's x handle (the red one) to the right by `pixels`, in steps.
    void dragXHandle(float pixels) {
        const ImVec2 base = onScreen(worldOrigin(selected()));
        const ImVec2 grip(base.x + 12.0f, base.y);
        press(grip);
        for (int step = 1; step <= 4; ++step) {
            ImGui::GetIO().MousePos = ImVec2(grip.x + pixels * static_cast<float>(step) / 4.0f, grip.y);
            frame();
        }
        release();
    }

    int clicks_ = 1; // the window system's count of the latest press
    ScratchDirectory scratch_;
    WorkingDirectory inScratch_{scratch_.path()};
    SceneDocument document_;
    EditorUi ui_{document_};
};

TEST_F(EditorGroups, AClickPicksTheGroupAndADoubleClickThePartUnderTheMouse) {
    // The group is turned a quarter (its z to the world's x): its head, 1.5 along its z, stands
    // 1.5 to the world's right.
    const Vector head = worldOrigin("robot_head");
    EXPECT_NEAR(head.x, 1.5f, 1e-5f);
    EXPECT_NEAR(head.z, 6.0f, 1e-5f);
    const ImVec2 at = onScreen(head);
    click(at);
    EXPECT_EQ(ui_.selection().kind, Selection::Kind::Object);
    EXPECT_EQ(selected(), "robot");
    click(at); // the second click of a double click
    EXPECT_EQ(selected(), "robot_head");
    // Where the head would stand without its group's turn there is nothing.
    click(onScreen({0, 0, 7.5f}));
    EXPECT_EQ(ui_.selection().kind, Selection::Kind::None);
    // At a few frames a second ImGui sees the two clicks as one: the window system's count of
    // them still makes it a double click.
    click(onScreen({0, 0, 7.5f}));
    clicks_ = 2;
    click(at);
    EXPECT_EQ(selected(), "robot_head");
    clicks_ = 1;
    // An object of no group is picked itself.
    click(onScreen({0, 5, 8}));
    EXPECT_EQ(selected(), "lamp_post");
}

TEST_F(EditorGroups, TheOutlinerListsEachPartUnderItsGroup) {
    EXPECT_EQ(ui_.objectOutline(),
              (std::vector<EditorUi::OutlineRow>{
                  {0, "robot"}, {1, "robot_body"}, {1, "robot_head"}, {0, "lamp_post"}}));
    // A cycle in the file still gives a tree (the loader's, with its first object at the root).
    ASSERT_TRUE(ui_.history().run("cycle", {}, [](SceneDocument& d) {
        d.splice(d.text().find("      </robot>\n"), 0, "        <Parent name=\"robot_body\" />\n");
        return true;
    }));
    frame();
    EXPECT_EQ(ui_.objectOutline(),
              (std::vector<EditorUi::OutlineRow>{
                  {0, "robot_body"}, {1, "robot"}, {2, "robot_head"}, {0, "lamp_post"}}));
}

TEST_F(EditorGroups, DraggingAGroupMovesItWholeInOneStepOfTheHistory) {
    click(onScreen(worldOrigin("robot_body")));
    ASSERT_EQ(selected(), "robot");
    const Vector head = worldOrigin("robot_head");
    const size_t steps = ui_.history().commands().size();
    dragXHandle(80.0f);
    EXPECT_EQ(ui_.history().commands().size(), steps + 1) << "one drag, one step";
    const Vector moved = documentVector("robot", "Position");
    EXPECT_GT(moved.x, 0.2f);
    EXPECT_EQ(moved.y, 0.0f);
    EXPECT_EQ(moved.z, 6.0f);
    // The parts keep their own values and follow the group in the show.
    EXPECT_EQ(documentVector("robot_head", "Position"), Vector(0, 0, 1.5f));
    EXPECT_NEAR(worldOrigin("robot_head").x, head.x + moved.x, 1e-5f);
    ui_.undo();
    EXPECT_EQ(documentVector("robot", "Position"), Vector(0, 0, 6));
    EXPECT_NEAR(worldOrigin("robot_head").x, head.x, 1e-5f);
}

TEST_F(EditorGroups, DraggingAPartMovesItAlongTheWorldsAxisWithinItsGroup) {
    const ImVec2 at = onScreen(worldOrigin("robot_head"));
    click(at);
    click(at);
    ASSERT_EQ(selected(), "robot_head");
    const Vector before = worldOrigin("robot_head");
    dragXHandle(80.0f);
    const Vector after = worldOrigin("robot_head");
    // Along the world's x, which in the turned group is the part's own z.
    EXPECT_GT(after.x - before.x, 0.2f);
    EXPECT_NEAR(after.y, before.y, 1e-4f);
    EXPECT_NEAR(after.z, before.z, 1e-4f);
    const Vector own = documentVector("robot_head", "Position");
    EXPECT_NEAR(own.x, 0.0f, 1e-4f);
    EXPECT_GT(own.z, 1.5f + 0.2f);
    EXPECT_EQ(documentVector("robot", "Position"), Vector(0, 0, 6)) << "the group stays";
}

} // namespace
