#include "actors/EngineCamera.h"
#include "render/Bitmap.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/MeshFile.h"
#include "tests/support/TestSupport.h"

#include <array>
#include <thread>

namespace {

class Registry : public RegistryTest {
protected:
    // A mesh registered under the name, owned by the registry.
    Mesh* meshNamed(const std::string& name) {
        auto* mesh = new Mesh(makeNumberedMesh(3, name));
        EXPECT_EQ(addMesh(mesh), 0);
        return mesh;
    }
    Material* materialNamed(const std::string& name) {
        auto material = std::make_unique<Material>();
        material->name = name;
        renderer().addMaterial(material.get());
        return addMaterialToRegistry(std::move(material));
    }
};

TEST_F(Registry, AttachPlacesTheObjectWithItsMeshAndMaterial) {
    Mesh* mesh = meshNamed("cube");
    Material* material = materialNamed("stone");
    entity_base box("box");
    EXPECT_EQ(attachMeshAndMaterial(&box, "cube", "stone"), 0);
    EXPECT_EQ(box.mesh, mesh);
    EXPECT_EQ(box.material, material);
    RenderInstance* instance = findRenderInstance(&box);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->position, &box.Position);
    EXPECT_EQ(instance->emissiveScale, &box.emissive);
    EXPECT_EQ(instance->dirty, &box.geometryChanged);
    EXPECT_EQ(instance->materialName, "stone");
    EXPECT_EQ(instance->visible, 1);
    EXPECT_EQ(renderer().instances(), std::vector<RenderInstance*>{instance});
    EXPECT_EQ(findObject("box"), &box);
}

TEST_F(Registry, MissingMeshAndMaterialAreBothReportedMeshFirst) {
    entity_base box("box");
    EXPECT_EQ(attachMeshAndMaterial(&box, "nomesh", "nomat"), -1);
    EXPECT_EQ(log().lines(), (std::vector<std::string>{"Can't get meshinstance(nomesh) for object(box)",
                                                       "Can't get materialinstance(nomat) for object(box)"}));
    EXPECT_EQ(findRenderInstance(&box), nullptr);
    EXPECT_EQ(problemsNoted().size(), 2u);
}

TEST_F(Registry, MissingMaterialAloneLeavesTheObjectUnplaced) {
    meshNamed("cube");
    entity_base box("box");
    EXPECT_EQ(attachMeshAndMaterial(&box, "cube", "nomat"), -1);
    EXPECT_EQ(log().lines(), (std::vector<std::string>{"Can't get materialinstance(nomat) for object(box)"}));
    EXPECT_EQ(findObject("box"), nullptr);
}

TEST_F(Registry, ObjectsAreAddedOnceAndRemovedThroughTheRenderer) {
    entity_base box("box");
    EXPECT_EQ(addObject(nullptr), -1);
    EXPECT_EQ(removeObject(&box), -1);
    EXPECT_EQ(addObject(&box), 0);
    EXPECT_EQ(addObject(&box), -1);
    EXPECT_EQ(removeObject(&box), 0);
    EXPECT_EQ(renderer().callCount("removeRenderInstance"), 1);
    EXPECT_EQ(findObject("box"), nullptr);
    EXPECT_EQ(addObject(&box), 0);
}

TEST_F(Registry, VisibilityIsWrittenIntoTheInstance) {
    entity_base box("box");
    entity_base stranger("stranger");
    addObject(&box);
    setObjectVisible(&box, false);
    setObjectVisible(&stranger, false); // not registered: nothing happens
    EXPECT_EQ(findRenderInstance(&box)->visible, 0);
    setObjectVisible(&box, true);
    EXPECT_EQ(findRenderInstance(&box)->visible, 1);
}

TEST_F(Registry, ObjectsAndLightsAreFoundInAddressOrder) {
    // Two entities of one name: the one at the lower address is found, whatever the order of adding.
    std::array<entity_base*, 2> objects{new entity_base("twin"), new entity_base("twin")};
    std::array<Light*, 2> lights{new Light("lamp"), new Light("lamp")};
    addObject(std::max(objects[0], objects[1]));
    addObject(std::min(objects[0], objects[1]));
    addLight(std::max(lights[0], lights[1]));
    addLight(std::min(lights[0], lights[1]));
    EXPECT_EQ(findObject("twin"), std::min(objects[0], objects[1]));
    EXPECT_EQ(findLight("lamp"), std::min(lights[0], lights[1]));
    for (auto* o : objects)
        keepAlive(std::unique_ptr<entity_base>(o));
    for (auto* l : lights)
        keepAlive(std::unique_ptr<Light>(l));
}

TEST_F(Registry, LookUpsReturnTheFirstMatchInListOrder) {
    Mesh* first = meshNamed("same");
    meshNamed("same");
    Material* firstMaterial = materialNamed("mat");
    materialNamed("mat");
    EXPECT_EQ(findMesh("same"), first);
    EXPECT_EQ(findMaterial("mat"), firstMaterial);
    EXPECT_EQ(findMesh("Same"), nullptr);
    EXPECT_EQ(findMesh(""), nullptr);
}

TEST_F(Registry, LightsGetIncreasingIdsAndAreRegisteredOnce) {
    Light a("a"), b("b");
    EXPECT_EQ(addLight(&a), 0);
    EXPECT_EQ(addLight(&b), 0);
    EXPECT_EQ(addLight(&a), -1);
    EXPECT_EQ(addLight(nullptr), -1);
    LightRecord* ra = findLightRecord(&a);
    LightRecord* rb = findLightRecord(&b);
    ASSERT_TRUE(ra && rb);
    EXPECT_EQ(ra->id, 0);
    EXPECT_EQ(rb->id, 1);
    EXPECT_EQ(ra->position, &a.Position);
    EXPECT_EQ(ra->colour, &a.Color);
    EXPECT_EQ(ra->cutoff, &a.Cutoff.x);
    EXPECT_EQ(renderer().lights().size(), 2u);
}

TEST_F(Registry, ActorsMayBeAddedTwiceButNotNull) {
    EngineCamera camera("cam");
    EXPECT_EQ(addActor(nullptr), -1);
    EXPECT_EQ(addActor(&camera), 0);
    EXPECT_EQ(addActor(&camera), 0);
    EXPECT_EQ(actorsSnapshot().size(), 2u);
    EXPECT_EQ(findActor("cam"), &camera);
    EXPECT_EQ(findActor("nobody"), nullptr);
}

TEST_F(Registry, SecondAutomationOfAParameterIsRefused) {
    entity_base box("box");
    EXPECT_EQ(addAutomation(&box, "Position"), 0);
    AutomationPath* path = findAutomation(&box, "Position");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(addAutomation(&box, "Position"), -1);
    EXPECT_EQ(findAutomation(&box, "Position"), path);
    EXPECT_EQ(addAutomation(&box, "position"), -1);
    EXPECT_EQ(addAutomation(nullptr, "Position"), -1);
    EXPECT_EQ(findAutomation(&box, "Scale"), nullptr);
}

TEST_F(Registry, AutomationStepFollowsThePathUntilItsLastKey) {
    entity_base box("box");
    addAutomation(&box, "Position");
    AutomationPath* path = findAutomation(&box, "Position");
    auto point = [](float t, float x) {
        PathPoint p;
        p.time = t;
        p.count = 3;
        p.values = {x, x * 2, x * 3};
        return p;
    };
    path->addPoint(point(0, 0));
    path->addPoint(point(1, 10));
    path->addPoint(point(2, 20));

    registry().musicTime = 0.5f;
    runAutomationStep();
    EXPECT_EQ(box.Position, Vector(5, 10, 15));
    registry().musicTime = 1.5f;
    runAutomationStep();
    EXPECT_EQ(box.Position.x, 15.625f);
    // From the last key's time on, the parameter keeps the value of the last evaluation.
    registry().musicTime = 2.0f;
    runAutomationStep();
    EXPECT_EQ(box.Position.x, 15.625f);
    box.Position = {};
    registry().musicTime = 7.0f;
    runAutomationStep();
    EXPECT_EQ(box.Position, Vector());
}

TEST_F(Registry, AutomationWithoutPointsLeavesTheParameterAlone) {
    entity_base box("box");
    box.Scale = {1, 2, 3};
    addAutomation(&box, "Scale");
    runAutomationStep();
    EXPECT_EQ(box.Scale, Vector(1, 2, 3));
}

TEST_F(Registry, CameraBecomesCurrentOnlyWhileFollowing) {
    EngineCamera camera("cam");
    EXPECT_EQ(makeCameraCurrent(&camera), &camera);
    EXPECT_EQ(registry().activeCamera.load(), &camera);
    EXPECT_EQ(registry().sceneCamera.load(), &camera);
    EngineCamera other("other");
    registry().cameraFollow = false;
    makeCameraCurrent(&other);
    EXPECT_EQ(registry().activeCamera.load(), &camera);
    EXPECT_EQ(makeCameraCurrent(nullptr), nullptr);
}

TEST_F(Registry, WindowSizeComesFromTheWindow) {
    unsigned w = 0, h = 0;
    getWindowSize(w, h);
    EXPECT_EQ(w, 1920u);
    EXPECT_EQ(h, 1080u);
    registry().window = nullptr;
    getWindowSize(w, h);
    EXPECT_EQ(w, 0u);
}

TEST_F(Registry, FilterParametersAreKeptInNameOrder) {
    setFilterParameter("distortParam2", {1, 2, 3});
    setFilterParameter("distortParam1", {4, 5, 6});
    setFilterParameter("distortParam2", {7, 8, 9});
    const auto params = getPostChain()->parameters();
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params.begin()->first, "distortParam1");
    EXPECT_EQ(params.at("distortParam2"), Vector(7, 8, 9));
}

TEST_F(Registry, DefaultFilterChainRecipe) {
    FilterChain chain;
    buildDefaultFilterChain(chain);
    ASSERT_EQ(chain.count(), 6);
    EXPECT_EQ(chain.stage(0).shaderFile, "inputCombiner.psh");
    EXPECT_EQ(chain.stage(0).inputCount, 2);
    EXPECT_EQ(chain.stage(0).inputs[1], -2);
    EXPECT_EQ(chain.stage(3).inputs[0], -3);
    EXPECT_EQ(chain.stage(5).shaderFile, "distort01.psh");
    EXPECT_EQ(chain.stage(5).inputCount, 4);
    EXPECT_EQ((std::array<int, 4>{chain.stage(5).inputs[0], chain.stage(5).inputs[1],
                                  chain.stage(5).inputs[2], chain.stage(5).inputs[3]}),
              (std::array<int, 4>{2, 0, -2, 4}));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(chain.stage(i).index, i);
}

class RegistryFiles : public Registry {
protected:
    void SetUp() override {
        Registry::SetUp();
        registerShowAssetKinds();
    }
    ScratchDirectory dir;
    WorkingDirectory cwd{dir.path()};
};

TEST_F(RegistryFiles, LoadMeshReadsTheFileOnceButBuildsTwoMeshes) {
    dir.write("model/tri.obj", encodeMeshFile(makeNumberedMesh(3, "tri")));
    Mesh* a = loadMesh("tri");
    std::filesystem::remove(dir.path() / "model/tri.obj");
    Mesh* b = loadMesh("tri");
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->vertexCount, 3u);
    EXPECT_EQ(a->name, "tri");
    EXPECT_EQ(renderer().meshes().size(), 2u);
    EXPECT_EQ(findMesh("tri"), a);
    EXPECT_EQ(a->stride, 56u);
}

TEST_F(RegistryFiles, LoadMeshReportsAMissingFile) {
    EXPECT_EQ(loadMesh("ghost"), nullptr);
    EXPECT_EQ(log().lines(), (std::vector<std::string>{"Cannot open file: model/ghost.obj", "openfileerror",
                                                       "Cannot load file ghost"}));
    EXPECT_EQ(problemsNoted().size(), 1u);
}

TEST_F(RegistryFiles, LoadMeshReportsABadFile) {
    std::vector<uint8_t> bytes = encodeMeshFile(makeNumberedMesh(3, "x"));
    bytes[4] = 0x38; // magic 0x1338
    dir.write("model/bad.obj", bytes);
    EXPECT_EQ(loadMesh("bad"), nullptr);
    EXPECT_TRUE(log().contains("Creating Mesh failure"));
    EXPECT_EQ(findMesh("bad"), nullptr);
}

TEST_F(RegistryFiles, LoadMaterialHandsItToTheRenderer) {
    dir.write("tex/stone.bmp", encodeBitmap(makeNumberedImage(2, 2), 2, 2));
    Material* material = loadMaterial("stone");
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(findMaterial("stone"), material);
    EXPECT_EQ(renderer().materials(), std::vector<Material*>{material});
    EXPECT_EQ(loadMaterial("ghost"), nullptr);
    EXPECT_TRUE(log().contains("Loading Material failure"));
}

TEST_F(RegistryFiles, LoadMusicLooksInTheAudioDirectory) {
    struct Backend : AudioBackend {
        uint32_t createStream(const std::string& path, bool loop) override {
            opened = path;
            looped = loop;
            return 7;
        }
        bool play(uint32_t) override { return true; }
        double position(uint32_t) override { return 1.25; }
        int lastError() override { return 0; }
        std::string opened;
        bool looped = false;
    };
    auto backend = std::make_shared<Backend>();
    registry().music.setBackend(backend);
    EXPECT_EQ(loadMusic("soundtrack.ogg"), 0);
    EXPECT_EQ(backend->opened, "audio/soundtrack.ogg");
    EXPECT_TRUE(backend->looped);
}

struct PlayRecorder : Triggerable {
    void Trigger(const std::string& name) override { received.push_back(name); }
    std::vector<std::string> received;
};

TEST_F(Registry, StartPlaybackWithoutMusicRunsOnASilentClock) {
    ManualCounter clock;
    registry().music.setSilentClock(clock);
    EngineCamera scene("scene");
    registry().sceneCamera = &scene;
    PlayRecorder recorder;
    subscribeEvent(&recorder, "play");

    EXPECT_EQ(registry().music.position(), 0.0);
    startPlayback();
    EXPECT_TRUE(registry().playing);
    EXPECT_EQ(log().lines(), (std::vector<std::string>{"Cannot start audio stream-1"}));
    EXPECT_EQ(registry().activeCamera.load(), &scene);
    EXPECT_EQ(recorder.received, (std::vector<std::string>{"play"}));
    clock.advanceMilliseconds(1500);
    EXPECT_DOUBLE_EQ(registry().music.position(), 1.5);
    // A second start restarts the clock from 0.
    startPlayback();
    EXPECT_DOUBLE_EQ(registry().music.position(), 0.0);
}

} // namespace

namespace {

// Keeps its last error per thread, as the audio layer does: 2 for a file it cannot open, 8 for a
// handle it did not make.
struct PerThreadErrorAudio : AudioBackend {
    uint32_t createStream(const std::string&, bool) override {
        error() = 2;
        return 0;
    }
    bool play(uint32_t stream) override {
        error() = stream == 0 ? 8 : 0;
        return stream != 0;
    }
    double position(uint32_t) override { return 0.0; }
    int lastError() override { return error(); }
    static int& error() {
        thread_local int code = 0;
        return code;
    }
};

TEST_F(Registry, AFailedStartWithoutAStreamCarriesTheNoHandleCodeOnEveryThread) {
    ManualCounter clock;
    registry().music.setSilentClock(clock);
    registry().music.setBackend(std::make_shared<PerThreadErrorAudio>());
    EXPECT_EQ(registry().music.load("soundtrack.ogg"), -1); // fails here, with code 2
    EXPECT_EQ(registry().music.errorText(), "2");

    // The loader thread starts the show; its own error slot was never touched before.
    std::thread loader([] { startPlayback(); });
    loader.join();
    EXPECT_EQ(log().lines(), (std::vector<std::string>{"Cannot start audio stream8"}));
    EXPECT_EQ(registry().music.errorText(), "8");
    EXPECT_TRUE(registry().playing);
}

} // namespace
