#include "actors/StageScripts.h"

#include "actors/EngineCamera.h"
#include "actors/MusicReactive.h"
#include "engine/EngineRegistry.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "scene/AutomationPath.h"

#include <cmath>
#include <memory>

namespace {

// Glow of cube k after "nextstage": entry k mod 4.
const Vector cubeColours[4] = {
    {0.0f, 0.4f, 1.0f},
    {1.0f, 0.5f, 0.0f},
    {0.1f, 1.0f, 0.2f},
    {1.0f, 0.0f, 1.0f},
};

const Vector cubeGlow(0.0f, 0.4f, 1.0f);

// A camera that lives until the process ends and takes part in the frame loop.
EngineCamera* makeStageCamera(const std::string& name, const Vector& position, const Vector& rotation) {
    auto camera = std::make_unique<EngineCamera>(name);
    // Placed before it joins the actor list, so the main loop never sees it half placed.
    camera->Position = position;
    camera->Rotation = rotation;
    EngineCamera* raw = keepAlive(std::move(camera));
    addActor(raw);
    return raw;
}

} // namespace

// ---- CubeFun ----

CubeFun::CubeFun(std::string cubeName) : Actor(std::move(cubeName)) {
    subscribeEvent(this, "activate");
    subscribeEvent(this, "deactivate");
    subscribeEvent(this, "nextstage");
    camera_ = makeStageCamera("CubeCam", Vector(0.0f, 0.0f, 3.0f), Vector(0.0f, 0.0f, 0.0f));

    // Cubes are built even without their mesh or material; such cubes are never drawn.
    Mesh* mesh = findMesh("eckig");
    Material* material = findMaterial("metal4");
    cubes_.reserve(CubeCount);
    for (int i = 0; i < CubeCount; ++i) {
        entity_base* object = keepAlive(std::make_unique<entity_base>("bla"));
        object->mesh = mesh;
        object->material = material;
        object->Position = Vector(0.0f, 0.0f, 15.0f);
        object->Rotation = Vector(0.0f, 0.0f, 0.0f);
        object->Scale = Vector(0.008f, 0.008f, 0.008f);
        object->emissive = cubeGlow;
        const float r1 = nextRandom();
        const float r2 = nextRandom();
        const float r3 = nextRandom();
        cubes_.push_back({object, 0.0f, r1 + 1.0f, r2 * 4.0f + 2.0f, r3 + 4.0f, cubeGlow});
        addObject(object);
        setObjectVisible(object, false);
    }
    active_ = false;
    stageTwo_ = false;
    distortion_ = Vector();
}

void CubeFun::showCubes(bool visible) {
    for (const Cube& cube : cubes_)
        setObjectVisible(cube.object, visible);
}

void CubeFun::Trigger(const std::string& event) {
    if (event == "activate") {
        makeCameraCurrent(camera_);
        showCubes(true);
        setFilterParameter("distortParam1", distortion_);
        setFilterParameter("distortParam2", Vector(0.5f, 0.5f, 0.5f));
        active_ = true;
    } else if (event == "deactivate") {
        showCubes(false);
        active_ = false;
        stageTwo_ = false;
    } else if (event == "nextstage") {
        stageTwo_ = true;
        for (size_t k = 0; k < cubes_.size(); ++k)
            cubes_[k].baseEmissive = cubeColours[k % 4];
    }
}

void CubeFun::OnBeat(uint32_t) {
    pulse_ = 1.0f;
    flash_ = 1.0f;
}

void CubeFun::Update(float dt) {
    if (!active_) return;
    const float t = dt * 0.001f;
    if (stageTwo_) {
        flash_ *= 0.93f;
        distortion_ = Vector(0.0f, flash_ * 2.0f, flash_ * 0.6f + 1.0f);
    }
    for (Cube& cube : cubes_) {
        entity_base* o = cube.object;
        o->Rotation += Vector(t, t, t);
        o->emissive = cube.baseEmissive * pulse_;
        o->Position.z += cube.zSpeed * t;
        if (o->Position.z < -1.0f) o->Position.z = 13.0f;
        o->Position.x = std::cos(cube.angle) * cube.radius;
        o->Position.y = std::sin(cube.angle) * cube.radius;
        cube.angle += cube.angularSpeed * t;
    }
    pulse_ *= 0.94f;
    setFilterParameter("distortParam1", distortion_);
    setFilterParameter("distortParam2", Vector(0.7f, 0.7f, 0.7f));
}

// ---- EpicRealtimeHelper ----

EpicRealtimeHelper::EpicRealtimeHelper(std::string helperName) : Actor(std::move(helperName)) {
    subscribeEvent(this, "activate");
    subscribeEvent(this, "deactivate");
    subscribeEvent(this, "nextstage");
    subscribeEvent(this, "nextstage2");
    camera_ = makeStageCamera("ERTCam", Vector(0.0f, 0.3f, 3.0f), Vector(0.0f, 0.3f, 0.0f));

    Mesh* objectMesh = findMesh("ding02");
    Mesh* floorMesh = findMesh("Tunnel01");
    Material* objectMaterial = findMaterial("concrete");
    Material* floorMaterial = findMaterial("stonewall");
    if (!objectMesh || !floorMesh || !objectMaterial || !floorMaterial) return;

    object_ = keepAlive(std::make_unique<entity_base>("EpicRealtimeDingens"));
    object_->mesh = objectMesh;
    object_->material = objectMaterial;
    object_->Position = Vector(0.0f, -1.0f, 0.0f);
    object_->Rotation = Vector(0.0f, 0.0f, 0.0f);
    object_->Scale = Vector(0.02f, 0.02f, 0.02f);
    addObject(object_);
    setObjectVisible(object_, false);

    floor_ = keepAlive(std::make_unique<entity_base>("EpicRealtimeBoden"));
    floor_->mesh = floorMesh;
    floor_->material = floorMaterial;
    floor_->Position = Vector(0.0f, -1.0f, 0.0f);
    floor_->Rotation = Vector(0.5f, 0.0f, 0.0f);
    floor_->Scale = Vector(0.04f, 0.05f, 0.04f);
    addObject(floor_);
    setObjectVisible(floor_, false);

    // The pulsator swaps the object's mesh for its own copy and registers the object again, hidden.
    pulsator_ = keepAlive(std::make_unique<ObjectPulsator>("ERTP"));
    addActor(pulsator_);
    pulsator_->AddEntity(object_);
    pulsator_->Params.x = 100.0f;

    clock_ = 0.0f;
    pulse_ = 0.0f;
    beatCount_ = 0;
    stageOne_ = false;
    stageTwo_ = false;
}

void EpicRealtimeHelper::Trigger(const std::string& event) {
    if (event == "activate") {
        makeCameraCurrent(camera_);
        stageOne_ = false;
        stageTwo_ = false;
        if (object_) setObjectVisible(object_, true);
        if (floor_) setObjectVisible(floor_, true);
    } else if (event == "deactivate") {
        if (object_) setObjectVisible(object_, false);
        if (floor_) setObjectVisible(floor_, false);
    } else if (event == "nextstage") {
        stageOne_ = true;
    } else if (event == "nextstage2") {
        stageTwo_ = true;
    }
}

void EpicRealtimeHelper::Update(float dt) {
    const float t = dt * 0.001f;
    clock_ += dt;
    if (clock_ > 400.0f) clock_ = 0.0f;
    pulse_ *= 0.94f;
    tint_ *= 0.98f;
    setFilterParameter("distortParam1", Vector(pulse_ * 3.0f, pulse_ * 2.1f, pulse_ * 3.0f));
    setFilterParameter("distortParam2", Vector(std::sin(clock_ * 0.0004f), std::sin(clock_ * 0.0009f),
                                               std::sin(clock_ * 0.0013f)));
    if (object_) object_->Rotation += tint_ * t;
    if (floor_ && stageOne_) floor_->Rotation.z += t;
}

void EpicRealtimeHelper::OnBeat(uint32_t) {
    pulse_ = 1.0f;
    const float r1 = nextRandom();
    const float r2 = nextRandom();
    const float r3 = nextRandom();
    tint_ = Vector(r3 + 1.9f, r2 + 1.8f, r1 + 1.5f);
    if (stageTwo_ && pulsator_) {
        if (beatCount_ % 6 == 0) {
            pulsator_->Trigger("destroy");
        } else if (beatCount_ % 6 == 3) {
            pulsator_->Trigger("restore");
        }
    }
    if (beatCount_ % 8 == 0 && object_) {
        const float r = nextRandom();
        nextRandom(); // drawn and discarded; later draws depend on it
        object_->Position = Vector(0.0f, r - 1.0f, -r);
    }
    beatCount_ += 1;
}
