// Groups: an object placed relative to a parent object. The tree the names make (whatever they
// say), the transforms composed on values, the loader's lines for what cannot be a tree, and the
// worked example of docs/scene.md played.
#include "actors/ActorFactory.h"
#include "app/NewShow.h"
#include "app/SceneCheck.h"
#include "engine/loop/Startup.h"
#include "render/InstanceTransform.h"
#include "scene/ObjectTree.h"
#include "scene/loader/SceneLoader.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::vector<size_t> resolve(const std::vector<ObjectParentName>& objects,
                            std::vector<ObjectTreeProblem>& problems) {
    return resolveObjectParents(objects, problems);
}

// name0 <- name1 <- ... : object i's parent is object i - 1.
std::vector<ObjectParentName> chainOf(size_t length) {
    std::vector<ObjectParentName> objects;
    for (size_t i = 0; i < length; ++i)
        objects.push_back({"o" + std::to_string(i), i == 0 ? "" : "o" + std::to_string(i - 1)});
    return objects;
}

TEST(ObjectTree, ParentsAreFoundByNameWhereverTheyStandAndTheFirstOfANameCounts) {
    std::vector<ObjectTreeProblem> problems;
    const auto parents =
        resolve({{"wheel", "car"}, {"car", ""}, {"car", ""}, {"nut", "wheel"}, {"lamp", ""}}, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(parents, (std::vector<size_t>{1, NoParent, NoParent, 0, NoParent}));
}

TEST(ObjectTree, WhatCannotBeATreeLeavesOneObjectAtTheRootEach) {
    std::vector<ObjectTreeProblem> problems;
    // b names nothing; c is its own parent; d > e > f > d is a cycle, g hangs off it.
    const auto parents = resolve(
        {{"a", ""}, {"b", "nobody"}, {"c", "c"}, {"g", "e"}, {"e", "f"}, {"d", "e"}, {"f", "d"}}, problems);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0].kind, ObjectTreeProblem::Missing);
    EXPECT_EQ(problems[0].object, 1u);
    EXPECT_EQ(problems[1].kind, ObjectTreeProblem::Cycle);
    EXPECT_EQ(problems[1].object, 2u);
    EXPECT_EQ(problems[1].chain, (std::vector<size_t>{2}));
    // The cycle is cut at its first object in the file, e; the rest becomes a tree under it.
    EXPECT_EQ(problems[2].kind, ObjectTreeProblem::Cycle);
    EXPECT_EQ(problems[2].object, 4u);
    EXPECT_EQ(problems[2].chain, (std::vector<size_t>{4, 6, 5}));
    EXPECT_EQ(parents, (std::vector<size_t>{NoParent, NoParent, NoParent, 4, NoParent, 4, 5}));
}

TEST(ObjectTree, AChainDeeperThan32IsCutOnceBelowItsLimit) {
    std::vector<ObjectTreeProblem> problems;
    // 33 objects: the last has 32 parents, as many as allowed.
    const auto fine = resolve(chainOf(MaxGroupDepth + 1), problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(fine.back(), MaxGroupDepth - 1);

    // Listed from the bottom up, so the deepest is met first: still one cut, at the 34th.
    std::vector<ObjectParentName> reversed = chainOf(40);
    std::reverse(reversed.begin(), reversed.end());
    const auto parents = resolve(reversed, problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, ObjectTreeProblem::TooDeep);
    EXPECT_EQ(reversed[problems[0].object].name, "o33");
    EXPECT_EQ(parents[problems[0].object], NoParent);
    // The objects under the cut stay with it.
    EXPECT_EQ(reversed[parents[0]].name, "o38");
}

// A walk that went round the cycle for each of its objects would take minutes here (the suite's
// time limit catches it); the one walk over each object takes a blink.
TEST(ObjectTree, OneCycleThroughAHundredThousandObjectsIsCutOnceThenByDepth) {
    std::vector<ObjectParentName> ring = chainOf(100000);
    ring.front().parent = ring.back().name;
    std::vector<ObjectTreeProblem> problems;
    const auto parents = resolve(ring, problems);
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems[0].kind, ObjectTreeProblem::Cycle);
    EXPECT_EQ(problems[0].chain.size(), ring.size());
    EXPECT_EQ(parents[0], NoParent);
    // Then every 33rd object down the chain, for the depth.
    EXPECT_EQ(problems.size(), 1 + (ring.size() - 1) / (MaxGroupDepth + 1));
}

// ---- transforms composed on values ----

void expectNear(const Vector& actual, const Vector& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-5f);
    EXPECT_NEAR(actual.y, expected.y, 1e-5f);
    EXPECT_NEAR(actual.z, expected.z, 1e-5f);
}

TEST(InstanceTransform, AnObjectIsPlacedByItsOwnTransformThenEachParentsInTurn) {
    constexpr float Quarter = 1.57079633f;
    Vector position{1, 0, 0}, rotation{0, 0, 0}, scale{1, 1, 1};
    RenderInstance instance;
    instance.position = &position;
    instance.rotation = &rotation;
    instance.scale = &scale;
    // Without parents: exactly the object's own matrix, to the bit.
    EXPECT_EQ(instanceModelMatrix(instance), matrixObjectTransform(position, rotation, scale));

    // The parent doubles, turns a quarter about y (x goes to -z, row vectors as Direct3D's), and
    // lifts by 2; its parent moves by 10 along x.
    const Vector parentPosition{0, 2, 0}, parentRotation{Quarter, 0, 0}, parentScale{2, 2, 2};
    const Vector rootPosition{10, 0, 0}, rootRotation{}, rootScale{1, 1, 1};
    instance.parents = {{&parentPosition, &parentRotation, &parentScale},
                        {&rootPosition, &rootRotation, &rootScale}};
    const Matrix model = instanceModelMatrix(instance);
    expectNear(transformCoord({0, 0, 0}, model), {10, 2, -2});
    expectNear(transformCoord({0, 1, 0}, model), {10, 4, -2});
    expectNear(transformCoord({1, 0, 0}, model), {10, 2, -4});

    // The parent's values are read, not copied: turning the parent back moves the child.
    Vector turned = parentRotation;
    instance.parents[0].rotation = &turned;
    turned.x = 0;
    expectNear(transformCoord({0, 0, 0}, instanceModelMatrix(instance)), {12, 2, 0});
}

// ---- the loader ----

class GroupLoading : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        registerShowAssetKinds();
        cwd_ = std::make_unique<WorkingDirectory>(dir_.path());
        writeMeshFile(dir_.path(), "cube", 3);
        writeBitmapFile(dir_.path(), "stone", 1, 1, {1, 2, 3});
    }
    void TearDown() override {
        cwd_.reset();
        RegistryTest::TearDown();
    }
    int load(const std::string& objects, const std::string& more = "") {
        dir_.write("scene.xml", "<base>\n<scene>\n<meshes><cube /></meshes><materials><stone /></materials>\n"
                                "<objects>\n" +
                                    objects + "</objects>\n" + more + "</scene>\n</base>\n");
        return loadScene("scene.xml", &createActor);
    }
    static std::string part(const std::string& name, const std::string& parent,
                            const std::string& extra = "") {
        return "<" + name + ">\n<Mesh MeshName=\"cube\" />\n<Material MaterialName=\"stone\" />\n" +
               "<Scale x=\"1\" y=\"1\" z=\"1\" />\n" +
               (parent.empty() ? "" : "<Parent name=\"" + parent + "\" />\n") + extra + "</" + name + ">\n";
    }
    // The log's lines about objects' parents.
    Lines parentLines() {
        Lines lines;
        for (const std::string& l : log().lines())
            if (l.find("stays at the root") != std::string::npos) lines.push_back(l);
        return lines;
    }
    Matrix drawnAt(const std::string& name) {
        RenderInstance* instance = findRenderInstance(findObject(name));
        EXPECT_NE(instance, nullptr) << name;
        renderer().renderFrame(0.0f);
        return instance ? instance->modelMatrix : Matrix{};
    }

    ScratchDirectory dir_;
    std::unique_ptr<WorkingDirectory> cwd_;
};

TEST_F(GroupLoading, AGroupCarriesItsPartsAndItsAutomationMovesThem) {
    ASSERT_EQ(load(part("wheel", "car", "<Position x=\"1\" y=\"0\" z=\"0\" />\n") + // before its parent
                       "<car>\n<Position x=\"0\" y=\"5\" z=\"0\" />\n</car>\n" + part("hub", "wheel"),
                   "<automations>\n<car::Position>\n<key v0=\"0\" v1=\"0\" v2=\"5\" v3=\"0\" />\n"
                   "<key v0=\"10\" v1=\"20\" v2=\"5\" v3=\"0\" />\n</car::Position>\n</automations>\n"),
              0);
    EXPECT_TRUE(parentLines().empty());
    for (const std::string& l : log().lines())
        EXPECT_EQ(l.find("Can't get"), std::string::npos) << "a group names no mesh on purpose: " << l;

    entity_base* car = findObject("car");
    ASSERT_NE(car, nullptr) << "a group is an object of the registry";
    EXPECT_EQ(car->mesh, nullptr);
    EXPECT_EQ(car->Scale, Vector(1, 1, 1)) << "a group without <Scale> keeps its parts' size";
    EXPECT_EQ(renderer().instances().size(), 2u) << "the group itself is not drawn";
    EXPECT_EQ(findObject("wheel")->parent, car);
    EXPECT_EQ(findObject("hub")->parent, findObject("wheel"));

    expectNear(transformCoord({}, drawnAt("hub")), {1, 5, 0});
    registry().musicTime = 5.0f;
    runAutomationStep();
    expectNear(transformCoord({}, drawnAt("hub")), {11, 5, 0});
    expectNear(transformCoord({}, drawnAt("wheel")), {11, 5, 0});
}

TEST_F(GroupLoading, AParentWhoseMeshIsMissingStillCarriesItsParts) {
    ASSERT_EQ(
        load("<base_plate>\n<Mesh MeshName=\"nothing\" />\n<Material MaterialName=\"stone\" />\n"
             "<Position x=\"0\" y=\"3\" z=\"0\" />\n<Scale x=\"2\" y=\"2\" z=\"2\" />\n</base_plate>\n" +
             part("bolt", "base_plate", "<Position x=\"1\" y=\"0\" z=\"0\" />\n")),
        0);
    const Lines lines = log().lines();
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(), "Can't get meshinstance(nothing) for object(base_plate)"), 1);
    ASSERT_NE(findObject("base_plate"), nullptr);
    EXPECT_EQ(findRenderInstance(findObject("base_plate"))->meshEntry, nullptr);
    expectNear(transformCoord({}, drawnAt("bolt")), {2, 3, 0});
}

TEST_F(GroupLoading, WhatCannotBeATreeIsOneLineAndTheObjectStaysAtTheRoot) {
    std::string objects = part("lost", "nobdy") + part("nobody", "") + part("me", "me") +
                          part("ping", "pong") + part("pong", "ping");
    // deep0 <- deep1 <- ... <- deep33: deep33 would have 33 parents.
    for (int i = 0; i <= 33; ++i)
        objects += part("deep" + std::to_string(i), i == 0 ? "" : "deep" + std::to_string(i - 1));
    objects += part("lamp_holder", "lamp");
    ASSERT_EQ(load(objects, "<lights>\n<lamp />\n</lights>\n"), 0);
    EXPECT_EQ(
        parentLines(),
        (Lines{"object lost: its parent 'nobdy' is no object of the scene; it stays at the root",
               "object me: its parents go round in a cycle (me > me); it stays at the root",
               "object ping: its parents go round in a cycle (ping > pong > ping); it stays at the root",
               "object deep33: it would have more than 32 parents above it; it stays at the root",
               "object lamp_holder: its parent 'lamp' is no object of the scene; it stays at the root"}));
    EXPECT_EQ(findObject("lost")->parent, nullptr);
    EXPECT_EQ(findObject("ping")->parent, nullptr);
    EXPECT_EQ(findObject("pong")->parent, findObject("ping"));
    EXPECT_EQ(findObject("deep33")->parent, nullptr);
    EXPECT_EQ(findObject("deep32")->parent, findObject("deep31"));
    // Every object is drawn, wherever it ended up.
    EXPECT_EQ(renderer().instances().size(), 40u);

    // The check names each on the line of its <Parent>, with a hint where there is one.
    std::vector<NotedProblem> notes;
    for (const NotedProblem& p : problemRecords())
        if (p.text.find("stays at the root") != std::string::npos) notes.push_back(p);
    ASSERT_EQ(notes.size(), 5u);
    EXPECT_EQ(
        notes[0].text,
        "object 'lost': its parent 'nobdy' is no object of the scene; it stays at the root; did you mean "
        "'nobody'?");
    EXPECT_EQ(notes[0].line, 9u);
    EXPECT_EQ(notes[4].text, "object 'lamp_holder': its parent 'lamp' is no object of the scene; it stays at "
                             "the root ('lamp' is a light; only an object can be a parent)");
}

// ---- the worked example of docs/scene.md ----

// The XML block after the docs' marker line.
std::string docsExample(const std::string& marker) {
    std::ifstream in(std::string(BEATSHOW_SHOW_DIR) + "/../docs/scene.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string docs = text.str();
    const size_t at = docs.find(marker);
    if (at == std::string::npos) return {};
    const size_t open = docs.find("```xml\n", at);
    const size_t close = docs.find("```", open + 7);
    return open == std::string::npos || close == std::string::npos ? std::string()
                                                                   : docs.substr(open + 7, close - open - 7);
}

// The children of <SECTION> in `snippet` put at the end of the scene's own section.
void mergeSection(std::string& scene, const std::string& snippet, const std::string& section) {
    const std::string open = "<" + section + ">", close = "</" + section + ">";
    const size_t from = snippet.find(open), to = snippet.find(close);
    ASSERT_NE(from, std::string::npos) << section;
    ASSERT_NE(to, std::string::npos) << section;
    const std::string children = snippet.substr(from + open.size(), to - from - open.size());
    const size_t end = scene.find("    " + close);
    ASSERT_NE(end, std::string::npos) << section;
    scene.insert(end, children);
}

class DocsGroupExample : public RegistryTest {};

TEST_F(DocsGroupExample, AModelThatSpinsAsOnePlaysInANewShowAndChecksClean) {
    const std::string example = docsExample("<!-- example: a model that spins as one");
    ASSERT_FALSE(example.empty()) << "docs/scene.md lost its example";
    ScratchDirectory dir;
    const fs::path show = dir.path() / "show";
    std::vector<std::string> written;
    std::string error;
    ASSERT_TRUE(writeNewShow(show.string(), written, error)) << error;
    std::string scene;
    {
        std::ifstream in(show / showSceneFile);
        std::stringstream text;
        text << in.rdbuf();
        scene = text.str();
    }
    mergeSection(scene, example, "objects");
    mergeSection(scene, example, "automations");
    std::ofstream(show / showSceneFile) << scene;

    {
        WorkingDirectory inShow(show);
        registerShowAssetKinds();
        ASSERT_EQ(loadScene(showSceneFile, &createActor), 0);
        entity_base* gyro = findObject("gyro");
        ASSERT_NE(gyro, nullptr);
        const char* parts[] = {"gyro_outer", "gyro_inner", "gyro_hub"};
        // Spinning as one: every part keeps its place in the group's own space, and the group's
        // turn carries them round (at 2.5 s a quarter of its 12.566 radians: half a turn).
        std::vector<Vector> inGroup;
        for (float t : {0.5f, 2.5f, 6.0f}) {
            registry().musicTime = t;
            runAutomationStep();
            renderer().renderFrame(0.0f);
            const Matrix group = matrixObjectTransform(gyro->Position, gyro->Rotation, gyro->Scale);
            const Matrix toGroup = matrixInverse(group);
            for (size_t i = 0; i < 3; ++i) {
                RenderInstance* instance = findRenderInstance(findObject(parts[i]));
                ASSERT_NE(instance, nullptr) << parts[i];
                // A point off the part's middle, in the group's space.
                const Vector local =
                    transformCoord(transformCoord({30, 5, 0}, instance->modelMatrix), toGroup);
                if (inGroup.size() < 3)
                    inGroup.push_back(local);
                else
                    expectNear(local * 0.01f, inGroup[i] * 0.01f);
            }
            if (t == 2.5f) {
                EXPECT_NEAR(gyro->Rotation.x, 3.1415f, 1e-3f);
            }
        }
    }
    WorkingDirectory back(fs::current_path());
    resetEngineRegistry();
    resetProblems();
    EXPECT_EQ(runSceneCheck(show.string()), 0) << ::testing::PrintToString(log().lines());
}

} // namespace
