#include "scene/loader/SceneLoader.h"
#include "actors/ActorFactory.h"
#include "actors/EngineCamera.h"
#include "actors/TextActors.h"
#include "render/Mesh.h"
#include "tests/scene/SceneAssets.h"
#include "tests/support/TestSupport.h"

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

// Accepts the music files it is told about and remembers every path it was asked to open.
class RecordingAudio : public AudioBackend {
public:
    uint32_t createStream(const std::string& path, bool) override {
        opened.push_back(path);
        return std::find(accepted.begin(), accepted.end(), path) != accepted.end() ? 1 : 0;
    }
    bool play(uint32_t) override { return true; }
    double position(uint32_t) override { return 0.0; }
    int lastError() override { return 2; }

    Lines accepted;
    Lines opened;
};

// An actor that keeps its entities, has a parameter with "::" in its name, and notes whether it
// was configured before it joined the actor list.
class Recorder : public Actor {
public:
    explicit Recorder(std::string name) : Actor(std::move(name)) { addVectorParameter("Target::x", target); }
    int AddEntity(entity_base* entity) override {
        entities.push_back(entity);
        configuredBeforeAdded = configuredBeforeAdded && findActor(name) == nullptr;
        return 0;
    }
    int GetEntityCount() override { return static_cast<int>(entities.size()); }
    entity_base* GetEntity(int i) override {
        return i >= 0 && i < GetEntityCount() ? entities[static_cast<size_t>(i)] : nullptr;
    }
    std::string GetClassName() override { return "Recorder"; }
    void Update(float) override {}

    Vector target;
    std::vector<entity_base*> entities;
    bool configuredBeforeAdded = true;
};

Actor* makeTestActor(const std::string& className, const std::string& actorName) {
    if (className == "Recorder") return new Recorder(actorName);
    return createActor(className, actorName);
}

std::string inScene(const std::string& lists) {
    return "<base>\n<scene>\n" + lists + "\n</scene>\n</base>\n";
}

std::vector<float> times(const AutomationPath* path) {
    std::vector<float> result;
    for (const PathPoint& p : path->points())
        result.push_back(p.time);
    return result;
}

std::vector<float> values(const Vector& v) {
    return {v.x, v.y, v.z};
}

class SceneLoading : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        registerShowAssetKinds();
        cwd_ = std::make_unique<WorkingDirectory>(dir_.path());
        audio_ = std::make_shared<RecordingAudio>();
        registry().music.setBackend(audio_);
    }
    void TearDown() override {
        cwd_.reset();
        RegistryTest::TearDown();
    }

    int load(const std::string& text) {
        dir_.write("scene.xml", text);
        return loadScene("scene.xml", makeTestActor);
    }
    // The log without the lines that report a missing list and those of building materials.
    Lines sceneLines() {
        Lines lines = log().lines();
        auto startsWith = [](const std::string& l, const char* prefix) { return l.rfind(prefix, 0) == 0; };
        std::erase_if(lines, [&](const std::string& l) {
            return (startsWith(l, "scene.xml: no ") && l.ends_with(" found")) || startsWith(l, "material ") ||
                   startsWith(l, "Cannot open file: tex/") || l == "openfileerror";
        });
        return lines;
    }
    // A mesh "cube" of 3 vertices and a material "stone" on disk.
    void writeCubeAndStone() {
        writeMeshFile(dir_.path(), "cube", 3);
        writeBitmapFile(dir_.path(), "stone", 1, 1, {1, 2, 3});
    }
    static const char* meshesAndMaterials() {
        return "<meshes><cube /></meshes><materials><stone /></materials>";
    }

    ScratchDirectory dir_;
    std::unique_ptr<WorkingDirectory> cwd_;
    std::shared_ptr<RecordingAudio> audio_;
};

// Compares line by line; an expected line ending in '*' only has to start the same.
void expectLines(const Lines& actual, const Lines& expected) {
    ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string& e = expected[i];
        if (!e.empty() && e.back() == '*')
            EXPECT_EQ(actual[i].substr(0, e.size() - 1), e.substr(0, e.size() - 1)) << "line " << i;
        else
            EXPECT_EQ(actual[i], e) << "line " << i;
    }
}

TEST_F(SceneLoading, AMissingFileFailsWithoutALine) {
    EXPECT_EQ(loadScene("nothing-here.xml", &createActor), -1);
    EXPECT_TRUE(log().lines().empty());
}

TEST_F(SceneLoading, AnEmptyFileReportsEveryMissingListInOrder) {
    EXPECT_EQ(load(""), 0);
    EXPECT_EQ(log().lines(), (Lines{"scene.xml: the file is empty", "scene.xml: no meshes found",
                                    "scene.xml: no materials found", "scene.xml: no objects found",
                                    "scene.xml: no lights found", "scene.xml: no actors found",
                                    "scene.xml: no automations found", "scene.xml: no event trigger found",
                                    "scene.xml: no audio info found"}));
    EXPECT_EQ(problemsNoted().size(), 9u);
}

TEST_F(SceneLoading, TheFullTestSceneLoadsEveryList) {
    const auto show = dir_.path() / "show";
    assembleTestScene("full", testDataDirectory(), show);
    WorkingDirectory inShow(show);
    audio_->accepted = {"audio/song.ogg"};
    ASSERT_EQ(loadScene("epicrealtimetest.xml", &createActor), 0);

    expectLines(log().lines(), {"material stone width: 4 height: 2 channel: 3 size24 dataptr: *",
                                "Cannot open file: tex/wood_normal.bmp",
                                "openfileerror",
                                "Cannot open file: tex/wood_emissive.bmp",
                                "openfileerror",
                                "material wood width: 2 height: 2 channel: 3 size12 dataptr: *",
                                "Light: lamp Position: { 1.5 , -2 , 3 }",
                                "Light: glow Position: { 0 , 4 , 0 }",
                                "loading actors",
                                "Adding Light: lamp to Actor: Cam1",
                                "loading automations",
                                "automation Cam1::Position",
                                "automated param: Position of entity Cam1",
                                "entity was not found in object list",
                                "automation lamp::Color",
                                "automated param: Color of entity lamp",
                                "entity was not found in object list",
                                "entity was not found in actor list",
                                "automation crate::Rotation",
                                "automated param: Rotation of entity crate",
                                "loading event trigger"});
    // The scene sends two events nobody answers; a check hears of them, under their lines.
    EXPECT_EQ(
        problemsNoted(),
        (Lines{"event 'fadein': actor 'Cam1' (Camera) does not answer it (it answers activate, pause, play "
               "and stop)",
               "event 'nextstage': no actor answers it"}));
    const std::vector<NotedProblem> records = problemRecords();
    EXPECT_EQ(records[0].file, "epicrealtimetest.xml");
    EXPECT_EQ(records[0].line, 62u);
    EXPECT_EQ(records[1].line, 63u);

    ASSERT_NE(findMesh("cube"), nullptr);
    EXPECT_EQ(findMesh("cube")->vertexCount, 36u);
    EXPECT_EQ(renderer().meshes().size(), 2u);
    EXPECT_EQ(renderer().materials().size(), 2u);

    entity_base* crate = findObject("crate");
    ASSERT_NE(crate, nullptr);
    EXPECT_EQ(values(crate->Position), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(values(crate->Rotation), (std::vector<float>{0, 1.5f, 0}));
    EXPECT_EQ(crate->mesh, findMesh("cube"));
    EXPECT_EQ(crate->material, findMaterial("stone"));
    entity_base* floor = findObject("floor");
    ASSERT_NE(floor, nullptr);
    EXPECT_EQ(floor->mesh, findMesh("plate")); // named under another attribute
    EXPECT_EQ(renderer().instances().size(), 2u);

    Light* lamp = findLight("lamp");
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(values(lamp->Color), (std::vector<float>{1, 0.5f, 0.25f}));
    EXPECT_EQ(values(lamp->Cutoff), (std::vector<float>{8, 0, 0}));
    EXPECT_EQ(renderer().lights().size(), 2u);

    auto* camera = dynamic_cast<EngineCamera*>(findActor("Cam1"));
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(values(camera->Position), (std::vector<float>{0, 1, -5}));
    EXPECT_EQ(values(camera->Rotation), (std::vector<float>{0.1f, 0.2f, 0}));

    const AutomationPath* cameraPath = findAutomation(camera, "Position");
    ASSERT_NE(cameraPath, nullptr);
    EXPECT_EQ(times(cameraPath), (std::vector<float>{0, 2, 4}));
    EXPECT_EQ(cameraPath->points().front().count, 3);
    EXPECT_EQ(cameraPath->points().front().values[2], -5.0f);
    ASSERT_NE(findAutomation(lamp, "Color"), nullptr);
    const AutomationPath* spin = findAutomation(crate, "Rotation");
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->points().back().values[1], 6.28f); // points named t, x, y, z read the same

    const std::vector<EventTrigger> triggers = registry().triggers.triggers();
    ASSERT_EQ(triggers.size(), 4u);
    EXPECT_EQ(triggers[0].name, "activate");
    EXPECT_EQ(triggers[0].target, camera);
    EXPECT_EQ(triggers[1].name, "nextstage");
    EXPECT_EQ(triggers[1].time, 1.25f);
    EXPECT_EQ(triggers[1].target, nullptr);
    EXPECT_EQ(triggers[2].name, "fadein");
    EXPECT_EQ(triggers[2].time, 2.5f);
    EXPECT_EQ(triggers[3].name, "exit");

    EXPECT_EQ(audio_->opened, Lines{"audio/song.ogg"});
}

TEST_F(SceneLoading, ObjectsTakeTheLastOfEachElementAndNeedAMeshAndAMaterial) {
    writeCubeAndStone();
    writeMeshFile(dir_.path(), "ball", 3);
    load(inScene(std::string("<meshes><cube /><ball /></meshes><materials><stone /></materials>") +
                 "<objects>"
                 "<a><Mesh file=ball /><Mesh MeshName=cube /><Material x=stone /><Position x=1 />"
                 "<Position y=2 /><Colour x=1 /></a>"
                 "<b><Mesh /><Material MaterialName=stone /></b>"
                 "<c><Material MaterialName=stone /><Mesh MeshName=cube /></c>"
                 "<c><Material MaterialName=stone /><Mesh MeshName=cube /><Position x=7 /></c>"
                 "</objects>"));
    entity_base* a = findObject("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->mesh, findMesh("cube"));
    EXPECT_EQ(values(a->Position), (std::vector<float>{0, 2, 0}));
    // An element without an attribute names nothing, so b is not placed.
    EXPECT_EQ(findObject("b"), nullptr);
    EXPECT_EQ(sceneLines(), (Lines{"Can't get meshinstance() for object(b)"}));
    // Scale was never given: zero size. Both objects named c are placed.
    EXPECT_EQ(values(findObject("c")->Scale), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(renderer().instances().size(), 3u);
}

TEST_F(SceneLoading, LightsGetDefaultsForWhatTheyLack) {
    load(inScene("<lights>"
                 "<bare />"
                 "<lamp><Cutoff x=5 y=1 z=2 /><Position x=-0.5 y=1e3 z=0.125 /><Color x=0 y=1 z=0 /></lamp>"
                 "</lights>"));
    Light* bare = findLight("bare");
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(values(bare->Color), (std::vector<float>{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(values(bare->Cutoff), (std::vector<float>{2, 0, 0}));
    EXPECT_EQ(values(bare->Position), (std::vector<float>{0, 0, 0}));
    Light* lamp = findLight("lamp");
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(values(lamp->Cutoff), (std::vector<float>{5, 1, 2}));
    EXPECT_EQ(values(lamp->Color), (std::vector<float>{0, 1, 0}));
    EXPECT_EQ(sceneLines(), (Lines{"Light: lamp Position: { -0.5 , 1000 , 0.125 }"}));
    // The renderer's light records point into the lights.
    ASSERT_EQ(renderer().lights().size(), 2u);
    EXPECT_EQ(findLightRecord(lamp)->colour, &lamp->Color);
}

TEST_F(SceneLoading, ActorsNeedTheirClassnameFirstAndAClassTheFactoryKnows) {
    load(inScene("<actors>"
                 "<A name=x classname=Camera />"
                 "<B classname='' />"
                 "<C classname=Nope />"
                 "<D classname=camera />"
                 "<Cam classname=Camera name=x />"
                 "</actors>"));
    EXPECT_EQ(findActor("A"), nullptr);
    EXPECT_EQ(findActor("B"), nullptr);
    EXPECT_EQ(findActor("C"), nullptr);
    EXPECT_EQ(findActor("D"), nullptr);
    ASSERT_NE(findActor("Cam"), nullptr);
    EXPECT_EQ(findActor("Cam")->GetClassName(), "Camera");
    // The show skips them silently; a check counts each as a problem, and the attribute that
    // comes after the classname, which nothing reads.
    EXPECT_EQ(sceneLines(), (Lines{"loading actors"}));
    Lines problems = problemsNoted();
    std::erase_if(problems, [](const std::string& p) { return p.rfind("actor '", 0) != 0; });
    EXPECT_EQ(
        problems,
        (Lines{"actor 'A': its first attribute is not a classname; skipped (classname must come first)",
               "actor 'B': its first attribute is not a classname; skipped",
               "actor 'C': unknown class 'Nope'; skipped", "actor 'D': unknown class 'camera'; skipped",
               "actor 'Cam': attribute 'name' is not read; an actor is set up by the elements inside it"}));
}

TEST_F(SceneLoading, ActorChildrenAndParametersAreSetBeforeTheActorJoinsTheList) {
    writeCubeAndStone();
    load(inScene(std::string(meshesAndMaterials()) +
                 "<objects><crate><Mesh MeshName=cube /><Material MaterialName=stone /></crate></objects>"
                 "<lights><lamp /></lights>"
                 "<actors>"
                 "<Cam classname=Camera />"
                 "<R classname=Recorder>"
                 "<child name=crate /><child name=lamp /><child name=nobody /><child name=Cam /><child />"
                 "<Position x=1 y=2 z=3 /><Target::x x=4 /><Unknown x=1 />"
                 "</R>"
                 "</actors>"));
    auto* recorder = dynamic_cast<Recorder*>(findActor("R"));
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(recorder->entities, (std::vector<entity_base*>{findObject("crate"), findLight("lamp")}));
    EXPECT_TRUE(recorder->configuredBeforeAdded);
    EXPECT_EQ(values(recorder->Position), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(values(recorder->target), (std::vector<float>{4, 0, 0}));
    EXPECT_EQ(sceneLines(),
              (Lines{"loading actors", "Adding Light: lamp to Actor: R",
                     "actor R: a child element without an attribute names no entity; ignored"}));
    EXPECT_EQ(
        problemsNoted(),
        (Lines{"actor 'R': child 'nobody' is neither a placed object nor a light",
               "actor 'R': child 'Cam' is neither a placed object nor a light",
               "actor R: a child element without an attribute names no entity; ignored",
               "actor 'R' (Recorder) has no parameter 'Unknown'",
               "no <automations> section in <base><scene>: the scene has none",
               "no <eventtrigger> section in <base><scene>: the scene has none",
               "no <audio> section in <base><scene>: the show has no music of its own",
               "object 'crate' has no <Scale>, so it is drawn with zero size and never seen; add <Scale "
               "x=\"1\" y=\"1\" z=\"1\" /> (1 is the mesh's own size)"}));
    EXPECT_EQ(actorsSnapshot().size(), 2u);
}

TEST_F(SceneLoading, AnActorTakesItsOwnElementsWithTheirWordsAsWritten) {
    SceneVocabulary vocabulary;
    vocabulary.actorElements = [](const std::string& className) {
        return className == "Greeter" ? Lines{"line"} : Lines{};
    };
    const std::string scene = inScene("<actors>\n"
                                      "<G classname=Greeter>\n"
                                      "<line text=\"live from the party, friends!\" hold=\"2\" />\n"
                                      "<line text='a &amp; b' />\n"
                                      "<line hold=\"2\" />\n"
                                      "<lines text=\"x\" />\n"
                                      "</G>\n"
                                      "</actors>");
    dir_.write("scene.xml", scene);
    resetProblems();
    ASSERT_EQ(loadScene("scene.xml", &makeTestActor, vocabulary), 0);
    auto* greeter = dynamic_cast<Greeter*>(findActor("G"));
    ASSERT_NE(greeter, nullptr);
    EXPECT_EQ(greeter->sequence().lines, (Lines{"live from the party, friends!", "a & b"}));
    EXPECT_EQ(greeter->sequence().holdSeconds, (std::vector<float>{2.0f, -1.0f}));
    EXPECT_EQ(sceneLines(), (Lines{"loading actors"})) << "the show's log says nothing new";
    Lines problems = problemsNoted();
    std::erase_if(problems, [](const std::string& p) { return !p.starts_with("actor"); });
    EXPECT_EQ(problems, (Lines{"actor 'G' (Greeter): <line> needs its words in text=\"...\"; ignored",
                               "actor 'G' (Greeter) has no parameter 'lines'; did you mean <line>?"}));
    // The words' spaces are the line's, not a name the reader cut short.
    for (const NotedProblem& p : problemRecords())
        EXPECT_EQ(p.text.find("is read as"), std::string::npos) << p.text;
}

class SceneAutomations : public SceneLoading {
protected:
    void SetUp() override {
        SceneLoading::SetUp();
        writeCubeAndStone();
    }
    int loadAutomations(const std::string& automations) {
        return load(
            inScene(std::string(meshesAndMaterials()) +
                    "<objects><crate><Mesh MeshName=cube /><Material MaterialName=stone /></crate></objects>"
                    "<lights><lamp /></lights>"
                    "<actors><Cam classname=Camera /><R classname=Recorder /></actors>"
                    "<automations>" +
                    automations + "</automations>"));
    }
    // The lines from "loading automations" up to the next list.
    Lines automationLines() {
        Lines lines = sceneLines();
        auto first = std::find(lines.begin(), lines.end(), "loading automations");
        auto last = std::find(lines.begin(), lines.end(), "loading event trigger");
        return first == lines.end() ? Lines{} : Lines(first + 1, last);
    }
    static long automationProblems() {
        const Lines problems = problemsNoted();
        return std::count_if(problems.begin(), problems.end(),
                             [](const std::string& p) { return p.starts_with("automation"); });
    }
};

TEST_F(SceneAutomations, PointsAreInsertedInTimeOrderAcrossElementsOfOneName) {
    loadAutomations(
        "<crate::Position><p v0=2 v1=20 v2=0 v3=0 /><p v0=1 v1=10 v2=0 v3=0 /></crate::Position>"
        "<crate::Position><p v0=3 v1=30 v2=0 v3=0 /><p v0=1 v1=11 v2=0 v3=0 /></crate::Position>");
    const AutomationPath* path = findAutomation(findObject("crate"), "Position");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(times(path), (std::vector<float>{1, 1, 2, 3}));
    EXPECT_EQ(path->points()[1].values[0], 11.0f); // equal times keep their file order
    EXPECT_EQ(registry().automations.size(), 1u);
    EXPECT_EQ(automationLines(),
              (Lines{"automation crate::Position", "automated param: Position of entity crate",
                     "automation crate::Position", "automated param: Position of entity crate"}));
}

TEST_F(SceneAutomations, TheLoadedPathDrivesItsParameter) {
    loadAutomations("<crate::Scale><p v0=0 v1=0 v2=0 v3=0 /><p v0=1 v1=10 v2=10 v3=10 />"
                    "<p v0=2 v1=20 v2=20 v3=20 /></crate::Scale>");
    entity_base* crate = findObject("crate");
    for (auto [time, expected] : {std::pair{0.5f, 5.0f}, {1.5f, 15.625f}, {1.0f, 10.0f}}) {
        registry().musicTime = time;
        runAutomationStep();
        EXPECT_EQ(crate->Scale.y, expected) << "at " << time;
    }
}

TEST_F(SceneAutomations, TheNameIsSplitAtTheFirstDoubleColon) {
    loadAutomations("<R::Target::x><p v0=1 v1=2 v2=3 v3=4 /></R::Target::x>");
    auto* recorder = dynamic_cast<Recorder*>(findActor("R"));
    ASSERT_NE(recorder, nullptr);
    ASSERT_NE(findAutomation(recorder, "Target::x"), nullptr);
    // An actor's automation always writes the first not-found line.
    EXPECT_EQ(automationLines(), (Lines{"automation R::Target::x", "automated param: Target::x of entity R",
                                        "entity was not found in object list"}));
    EXPECT_EQ(automationProblems(), 0);
}

TEST_F(SceneAutomations, EntitiesAreSearchedAmongObjectsActorsThenLights) {
    loadAutomations("<lamp::Color><p v0=1 v1=1 v2=0 v3=0 /></lamp::Color>"
                    "<ghost::Position><p v0=1 v1=1 v2=0 v3=0 /></ghost::Position>"
                    "<CamPosition><p v0=1 v1=1 v2=0 v3=0 /></CamPosition>"
                    "<Cam::Colour><p v0=1 v1=1 v2=0 v3=0 /></Cam::Colour>");
    EXPECT_NE(findAutomation(findLight("lamp"), "Color"), nullptr);
    EXPECT_EQ(automationLines(),
              (Lines{"automation lamp::Color", "automated param: Color of entity lamp",
                     "entity was not found in object list", "entity was not found in actor list",
                     "automation ghost::Position", "automated param: Position of entity ghost",
                     "entity was not found in object list", "entity was not found in actor list",
                     "entity was not found in light list", "automation CamPosition", "parsing error",
                     "automation Cam::Colour", "automated param: Colour of entity Cam",
                     "entity was not found in object list", "param Colour not found"}));
    EXPECT_EQ(registry().automations.size(), 1u);
    EXPECT_EQ(automationProblems(), 3);
}

TEST_F(SceneAutomations, PointsWithoutFourValuesGetZerosForTheMissingOnes) {
    loadAutomations("<crate::Position><p t=1 x=2 /><p /><p a=5 b=6 c=7 d=8 e=9 f=10 /></crate::Position>");
    const AutomationPath* path = findAutomation(findObject("crate"), "Position");
    ASSERT_NE(path, nullptr);
    const std::vector<PathPoint> points = path->points();
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].time, 0.0f);
    EXPECT_EQ((std::vector<float>{points[0].values[0], points[0].values[1], points[0].values[2]}),
              (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(points[1].time, 1.0f);
    EXPECT_EQ((std::vector<float>{points[1].values[0], points[1].values[1], points[1].values[2]}),
              (std::vector<float>{2, 0, 0}));
    EXPECT_EQ(points[2].time, 5.0f);
    EXPECT_EQ((std::vector<float>{points[2].values[0], points[2].values[1], points[2].values[2]}),
              (std::vector<float>{6, 7, 8}));
    EXPECT_EQ(points[2].count, 3);
    EXPECT_EQ(
        automationLines(),
        (Lines{
            "automation crate::Position", "automated param: Position of entity crate",
            "automation crate::Position: point 1 has 2 of its 4 values (time, x, y, z); the missing ones are "
            "0",
            "automation crate::Position: point 2 has 0 of its 4 values (time, x, y, z); the missing ones are "
            "0"}));
}

TEST_F(SceneAutomations, AKeyAtNoFiniteTimeIsDroppedAndTheCurveStaysANumber) {
    loadAutomations("<crate::Scale><p v0=0 v1=0 v2=0 v3=0 /><p v0=nan v1=5 v2=5 v3=5 />"
                    "<p v0=-1e39 v1=5 v2=5 v3=5 /><p v0=2 v1=20 v2=inf v3=20 /></crate::Scale>");
    const AutomationPath* path = findAutomation(findObject("crate"), "Scale");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(times(path), (std::vector<float>{0, 2}));
    registry().musicTime = 1.0f;
    runAutomationStep();
    EXPECT_EQ(findObject("crate")->Scale.x, 10.0f);
    // Nothing new in the show's log; the check hears of each.
    EXPECT_EQ(automationLines(),
              (Lines{"automation crate::Scale", "automated param: Scale of entity crate"}));
    Lines problems = problemsNoted();
    std::erase_if(problems, [](const std::string& p) { return !p.starts_with("automation"); });
    EXPECT_EQ(
        problems,
        (Lines{"automation 'crate::Scale' point 2: time nan reads as nan; the point is dropped",
               "automation 'crate::Scale' point 3: time -1e39 reads as -inf; the point is dropped",
               "automation 'crate::Scale' point 4: v2=inf reads as inf; the show uses it as it reads"}));
}

TEST_F(SceneLoading, AnEventAtNoTimeIsDroppedAndOneThatCannotFireIsNoted) {
    load(inScene("<eventtrigger><flash eventTime=nan /><fadein eventTime=0 /><late eventTime=1e40 />"
                 "<go eventTime=1 /></eventtrigger>"));
    const std::vector<EventTrigger> triggers = registry().triggers.triggers();
    ASSERT_EQ(triggers.size(), 3u);
    EXPECT_EQ(triggers[0].name, "fadein");
    EXPECT_EQ(triggers[1].name, "go");
    EXPECT_EQ(triggers[2].name, "late");
    EXPECT_EQ(sceneLines(), (Lines{"loading event trigger"}));
    Lines problems = problemsNoted();
    std::erase_if(problems, [](const std::string& p) { return !p.starts_with("event"); });
    EXPECT_EQ(problems,
              (Lines{"event 'flash': eventTime nan reads as nan; the event is dropped",
                     "event 'fadein': eventTime 0 is not after the start of the music; it never fires",
                     "event 'fadein': no actor answers it",
                     "event 'late': eventTime 1e40 reads as inf; it never fires",
                     "event 'late': no actor answers it", "event 'go': no actor answers it"}));
}

TEST_F(SceneLoading, EventsNeedATimeAndTargetOnlyActors) {
    writeCubeAndStone();
    load(inScene(std::string(meshesAndMaterials()) +
                 "<objects><crate><Mesh MeshName=cube /><Material MaterialName=stone /></crate></objects>"
                 "<actors><Cam classname=Camera /></actors>"
                 "<eventtrigger>"
                 "<fadein target=Cam eventTime=2.5 />"
                 "<go eventTime=1 />"
                 "<boom eventTime=3 target=crate />"
                 "<nothing target=Cam />"
                 "<again eventTime=1 />"
                 "</eventtrigger>"));
    const std::vector<EventTrigger> triggers = registry().triggers.triggers();
    ASSERT_EQ(triggers.size(), 4u);
    EXPECT_EQ(triggers[0].name, "go");
    EXPECT_EQ(triggers[1].name, "again");
    EXPECT_EQ(triggers[2].name, "fadein");
    EXPECT_EQ(triggers[2].target, findActor("Cam"));
    EXPECT_EQ(triggers[3].name, "boom");
    EXPECT_EQ(triggers[3].target, nullptr); // an object is no target: every subscriber gets it
    EXPECT_EQ(sceneLines(),
              (Lines{"loading actors", "loading event trigger", "event nothing has no eventTime; ignored"}));
    const Lines problems = problemsNoted();
    EXPECT_NE(std::find(problems.begin(), problems.end(),
                        "event 'boom': target 'crate' is not an actor; the event goes to every subscriber"),
              problems.end());
}

TEST_F(SceneLoading, TheFirstSongIsLoadedFromTheAudioDirectory) {
    audio_->accepted = {"audio/a.ogg"};
    load(inScene("<audio><note file=x.ogg /><song file=a.ogg /><song file=b.ogg /></audio>"));
    EXPECT_EQ(audio_->opened, Lines{"audio/a.ogg"});
    EXPECT_EQ(registry().music.stream(), 1u);
    EXPECT_TRUE(sceneLines().empty());

    load(inScene("<audio><song /><song file=a.ogg /></audio>"));
    load(inScene("<audio><song name=c.ogg /></audio>"));
    EXPECT_EQ(audio_->opened, (Lines{"audio/a.ogg", "audio/c.ogg"}));
    const Lines lines = sceneLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "song element without an attribute names no music file; no music loaded"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Cannot load music c.ogg"), lines.end());
}

TEST_F(SceneLoading, ASecondLoadAddsToTheFirst) {
    writeCubeAndStone();
    const std::string scene =
        inScene(std::string(meshesAndMaterials()) +
                "<objects><crate><Mesh MeshName=cube /><Material MaterialName=stone /></crate></objects>"
                "<actors><Cam classname=Camera /></actors>");
    load(scene);
    load(scene);
    EXPECT_EQ(renderer().instances().size(), 2u);
    EXPECT_EQ(renderer().meshes().size(), 2u);
    EXPECT_EQ(actorsSnapshot().size(), 2u);
    // The mesh file was read once and stays cached; the material images were dropped.
    EXPECT_EQ(registry().assets.cachedCount(), 1u);
    // The later material of a name is the one in front of the renderer's list.
    EXPECT_EQ(renderer().materials().front(), registry().materials.back().get());
    EXPECT_EQ(findMaterial("stone"), registry().materials.front().get());
}

TEST_F(SceneLoading, AFileCutShortLoadsWhatItHolds) {
    writeCubeAndStone();
    const std::string whole =
        inScene(std::string(meshesAndMaterials()) +
                "<objects>\n<crate><Mesh MeshName=cube /><Material MaterialName=stone /></crate>\n"
                "<box><Mesh MeshName=cube /><Material MaterialName=stone /></box>\n</objects>"
                "<lights><lamp /></lights>");
    load(whole.substr(0, whole.find("<box>") + 12));
    EXPECT_NE(findObject("crate"), nullptr);
    EXPECT_EQ(findObject("box"), nullptr);
    EXPECT_EQ(findLight("lamp"), nullptr);
    const Lines lines = log().lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(),
              "scene.xml: the file ends inside the tag that starts on line 5; that tag is ignored");
    EXPECT_TRUE(log().contains("scene.xml: no lights found"));
}

TEST_F(SceneLoading, ARootOtherThanBaseIsReported) {
    // A comment before the root element becomes the root: the whole scene is inside it.
    load("<!-- my show -->\n" + inScene("<lights><lamp /></lights>"));
    EXPECT_EQ(findLight("lamp"), nullptr);
    EXPECT_EQ(log().lines().front(), "scene.xml: the root element is <-->, not <base>");
    EXPECT_EQ(log().count("scene.xml: no "), 8);
}

} // namespace
