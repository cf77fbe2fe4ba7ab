#include "engine/EngineRegistry.h"

#include "engine/base/FrameTimer.h"
#include "engine/base/Log.h"
#include "engine/base/Viewport.h"
#include "render/MaterialBuilder.h"
#include "render/Mesh.h"
#include "render/MeshFile.h"
#include "render/RenderInterface.h"

#include <algorithm>
#include <thread>

EngineRegistry& engine() {
    // Never destroyed: entities and their renderer records stay valid until the process ends,
    // whatever order static objects are torn down in.
    static EngineRegistry* registry = [] {
        auto* r = new EngineRegistry;
        buildDefaultFilterChain(r->postChain);
        return r;
    }();
    return *registry;
}

std::string EngineRegistry::pendingSceneFile() const {
    std::lock_guard lock(pendingMutex_);
    return pendingSceneFile_;
}

void EngineRegistry::setPendingSceneFile(const std::string& file) {
    std::lock_guard lock(pendingMutex_);
    pendingSceneFile_ = file;
}

void resetEngineRegistry() {
    EngineRegistry& r = engine();
    std::vector<std::unique_ptr<Triggerable>> entities;
    {
        std::lock_guard lock(r.mutex);
        r.objects.clear();
        r.meshes.clear();
        r.materials.clear();
        r.lights.clear();
        r.actors.clear();
        r.automations.clear();
        r.tracks.clear();
        r.materialShaders.clear();
        r.nextLightId = 0;
        entities.swap(r.keptEntities);
    }
    // Entities may call back into the registry or the renderer while they are destroyed.
    entities.clear();
    {
        std::lock_guard lock(r.mutex);
        r.keptMeshes.clear();
        r.fileMeshes.clear();
        r.reusableMeshes.clear();
        r.reusableMaterials.clear();
        r.reuseAssets = false;
        r.sceneMark = {};
        r.songFile.clear();
        r.tempo = Tempo{};
    }
    r.beatFrames = 0;
    r.clock.reset();
    r.dispatcher.clear();
    r.triggers.clear();
    r.assets.clear();
    r.music.setBackend(nullptr);
    r.music.setSilentClock(steadyCounter());
    r.postChain.clearParameters();
    buildDefaultFilterChain(r.postChain);
    r.renderer = nullptr;
    r.window = nullptr;
    r.activeCamera = nullptr;
    r.editorCamera = nullptr;
    r.sceneCamera = nullptr;
    r.quitRequested = false;
    r.mainLoopStarted = false;
    r.loading = false;
    r.loadingLabelShown = false;
    r.cameraFollow = false;
    r.playing = false;
    r.musicTime = 0.0f;
    r.shownTime = 0.0f;
    r.frameTime = 0.0f;
    r.startTime = 0.0f;
    r.replayFramesPerSecond = 60.0;
    r.replayPending = false;
    r.replaying = false;
    r.exitReachedAt = -1.0f;
    r.startPastEnd = false;
    r.showTime = 0.0f;
    r.loadingLabel = nullptr;
    r.setPendingSceneFile("");
    {
        std::lock_guard lock(r.postedMutex);
        r.postedEvents.clear();
    }
    r.mainLoopThread = std::thread::id();
}

// ---- objects ----

namespace {

// The render instance of an object, its parents' transforms included; the renderer's part blank.
std::unique_ptr<RenderInstance> instanceFor(entity_base* object) {
    auto instance = std::make_unique<RenderInstance>();
    instance->mesh = object->mesh;
    instance->position = &object->Position;
    instance->scale = &object->Scale;
    instance->rotation = &object->Rotation;
    instance->colour = &object->colour;
    instance->emissiveScale = &object->emissive;
    instance->objectValue = object->objectValue;
    instance->dirty = &object->geometryChanged;
    instance->materialName = object->material ? object->material->name : std::string();
    // The loader never makes a cycle; the bound keeps a wrong link from going round for ever.
    for (const entity_base* p = object->parent; p && instance->parents.size() < MaxGroupDepth; p = p->parent)
        instance->parents.push_back({&p->Position, &p->Rotation, &p->Scale});
    return instance;
}

} // namespace

int addObject(entity_base* object) {
    if (!object) return -1;
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    auto instance = instanceFor(object);
    RenderInstance* raw = instance.get();
    auto [it, inserted] = r.objects.try_emplace(object, std::move(instance));
    if (!inserted) return -1; // added twice: the caller must remove it first
    if (r.renderer) r.renderer->addRenderInstance(raw);
    return 0;
}

int addGroupObject(entity_base* object) {
    if (!object) return -1;
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    return r.objects.try_emplace(object, instanceFor(object)).second ? 0 : -1;
}

int attachMeshAndMaterial(entity_base* object, const std::string& meshName, const std::string& materialName) {
    if (!object) return -1;
    Mesh* mesh = findMesh(meshName);
    Material* material = findMaterial(materialName);
    if (!mesh) {
        logStream << "Can't get meshinstance(" << meshName << ") for object(" << object->name << ")"
                  << std::endl;
        noteProblem("mesh '" + meshName + "' not loaded for object '" + object->name + "'");
    }
    if (!material) {
        logStream << "Can't get materialinstance(" << materialName << ") for object(" << object->name << ")"
                  << std::endl;
        noteProblem("material '" + materialName + "' not loaded for object '" + object->name + "'");
    }
    if (!mesh || !material) return -1;
    object->mesh = mesh;
    object->material = material;
    return addObject(object);
}

int removeObject(entity_base* object) {
    EngineRegistry& r = engine();
    std::unique_ptr<RenderInstance> instance;
    {
        std::lock_guard lock(r.mutex);
        auto it = r.objects.find(object);
        if (it == r.objects.end()) return -1;
        if (r.renderer) r.renderer->removeRenderInstance(it->second.get());
        instance = std::move(it->second);
        r.objects.erase(it);
    }
    return 0;
}

entity_base* findObject(const std::string& name) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const auto& [object, instance] : r.objects)
        if (object->name == name) return object;
    return nullptr;
}

void setObjectVisible(entity_base* object, bool visible) {
    if (RenderInstance* instance = findRenderInstance(object)) instance->visible = visible ? 1 : 0;
}

RenderInstance* findRenderInstance(entity_base* object) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    auto it = r.objects.find(object);
    return it == r.objects.end() ? nullptr : it->second.get();
}

// ---- meshes ----

namespace {

// Takes the first kept asset of that name out of the pool; null when there is none.
template <class T>
std::unique_ptr<T> takeReusable(std::vector<std::unique_ptr<T>>& pool, const std::string& name) {
    auto it = std::find_if(pool.begin(), pool.end(), [&](const auto& a) { return a->name == name; });
    if (it == pool.end()) return nullptr;
    std::unique_ptr<T> asset = std::move(*it);
    pool.erase(it);
    return asset;
}

} // namespace

Mesh* loadMesh(const std::string& name) {
    EngineRegistry& r = engine();
    {
        // The renderer still has it: a reset keeps the renderer's meshes.
        std::lock_guard lock(r.mutex);
        if (r.reuseAssets)
            if (std::unique_ptr<Mesh> kept = takeReusable(r.reusableMeshes, name)) {
                Mesh* raw = kept.get();
                r.keptMeshes.push_back(std::move(kept));
                r.meshes.push_back(raw);
                r.fileMeshes.push_back(raw);
                return raw;
            }
    }
    std::unique_ptr<CachedFile> file = r.assets.fetch(name, AssetKindMesh);
    if (!file) {
        logStream << "Cannot load file " << name << std::endl;
        noteProblem("mesh file of '" + name + "' cannot be read");
        return nullptr;
    }
    std::unique_ptr<Mesh> mesh;
    if (createMeshFromFile(*file, name, mesh) != 0) {
        logStream << "Creating Mesh failure" << std::endl;
        noteProblem("mesh file of '" + name + "' is not a valid mesh");
        return nullptr;
    }
    Mesh* raw = mesh.get();
    if (r.renderer) r.renderer->addMesh(raw);
    std::lock_guard lock(r.mutex);
    r.keptMeshes.push_back(std::move(mesh));
    r.meshes.push_back(raw);
    r.fileMeshes.push_back(raw);
    return raw;
}

int addMesh(Mesh* mesh) {
    if (!mesh) return -1;
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    auto owned = std::find_if(r.keptMeshes.begin(), r.keptMeshes.end(),
                              [&](const auto& m) { return m.get() == mesh; });
    if (owned == r.keptMeshes.end()) r.keptMeshes.emplace_back(mesh);
    if (r.renderer && r.renderer->addMesh(mesh) != 0) return -1;
    r.meshes.push_back(mesh);
    return 0;
}

Mesh* findMesh(const std::string& name) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (Mesh* mesh : r.meshes)
        if (mesh->name == name) return mesh;
    return nullptr;
}

// ---- materials ----

Material* loadMaterial(const std::string& name) {
    EngineRegistry& r = engine();
    {
        std::lock_guard lock(r.mutex);
        if (r.reuseAssets)
            if (std::unique_ptr<Material> kept = takeReusable(r.reusableMaterials, name)) {
                r.materials.push_back(std::move(kept));
                return r.materials.back().get();
            }
    }
    std::unique_ptr<Material> material = buildMaterial(r.assets, name, r.renderer);
    if (!material) {
        logStream << "Loading Material failure" << std::endl;
        noteProblem("material '" + name + "' cannot be built");
        return nullptr;
    }
    return addMaterialToRegistry(std::move(material));
}

Material* addMaterialToRegistry(std::unique_ptr<Material> material) {
    if (!material) return nullptr;
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    r.materials.push_back(std::move(material));
    return r.materials.back().get();
}

Material* findMaterial(const std::string& name) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const auto& material : r.materials)
        if (material->name == name) return material.get();
    return nullptr;
}

// ---- lights ----

int addLight(Light* light) {
    if (!light) return -1;
    EngineRegistry& r = engine();
    LightRecord* raw = nullptr;
    {
        std::lock_guard lock(r.mutex);
        if (r.lights.count(light)) return -1;
        auto record = std::make_unique<LightRecord>();
        record->id = r.nextLightId++;
        record->position = &light->Position;
        record->colour = &light->Color;
        record->cutoff = &light->Cutoff.x;
        raw = record.get();
        r.lights.emplace(light, std::move(record));
    }
    // Outside the lock: the renderer may wait for a frame to make the light's shadow cube, and
    // the frame's own steps take this lock. The record stays in the registry either way.
    if (r.renderer) r.renderer->addLight(raw);
    return 0;
}

Light* findLight(const std::string& name) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const auto& [light, record] : r.lights)
        if (light->name == name) return light;
    return nullptr;
}

LightRecord* findLightRecord(Light* light) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    auto it = r.lights.find(light);
    return it == r.lights.end() ? nullptr : it->second.get();
}

// ---- actors ----

int addActor(Actor* actor) {
    if (!actor) return -1;
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    r.actors.push_back(actor);
    return 0;
}

Actor* findActor(const std::string& name) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (Actor* actor : r.actors)
        if (actor->name == name) return actor;
    return nullptr;
}

std::vector<Actor*> actorsSnapshot() {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    return {r.actors.begin(), r.actors.end()};
}

// ---- automations ----

int addAutomation(entity_base* entity, const std::string& parameterName) {
    if (!entity) return -1;
    EntityParameter* parameter = entity->getParameter(parameterName);
    if (!parameter) return -1;
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const AutomationBinding& b : r.automations)
        if (b.entity == entity && b.parameter->name == parameterName) return -1;
    r.automations.push_back(AutomationBinding{std::make_unique<AutomationPath>(), entity, parameter});
    return 0;
}

AutomationPath* findAutomation(entity_base* entity, const std::string& parameterName) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (const AutomationBinding& b : r.automations)
        if (b.entity == entity && b.parameter->name == parameterName) return b.path.get();
    return nullptr;
}

void runAutomationStep() {
    EngineRegistry& r = engine();
    struct Step {
        AutomationPath* path;
        EntityParameter* parameter;
    };
    std::vector<Step> steps;
    {
        std::lock_guard lock(r.mutex);
        steps.reserve(r.automations.size());
        for (const AutomationBinding& b : r.automations)
            if (b.parameter->type == EntityParameter::ThreeFloats)
                steps.push_back({b.path.get(), b.parameter});
    }
    const float now = r.musicTime;
    for (const Step& s : steps) {
        if (s.path->pointCount() == 0 || !(s.path->lastPointTime() > now)) continue;
        s.path->setTime(now);
        const PathPoint p = s.path->evaluate();
        *s.parameter->value = Vector{p.values[0], p.values[1], p.values[2]};
    }
}

Tempo showTempo() {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    return r.tempo;
}

void setShowTempo(const Tempo& tempo) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    r.tempo = tempo;
}

// ---- cameras and accessors ----

EngineCamera* makeCameraCurrent(EngineCamera* camera) {
    EngineRegistry& r = engine();
    if (r.cameraFollow && camera) {
        r.activeCamera = camera;
        r.sceneCamera = camera;
    }
    return camera;
}

RenderInterface* getRenderer() {
    return engine().renderer;
}

void getWindowSize(unsigned& width, unsigned& height) {
    const Viewport* window = engine().window;
    width = window ? window->width : 0;
    height = window ? window->height : 0;
}

FilterChain* getPostChain() {
    return &engine().postChain;
}

void setFilterParameter(const std::string& name, const Vector& value) {
    engine().postChain.setFilterParameter(name, value);
}

// ---- events ----

int addEventTrigger(const std::string& name, float time, Triggerable* target) {
    return engine().triggers.addEventTrigger(name, time, target);
}

void postEvent(const std::string& name) {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.postedMutex);
    r.postedEvents.push_back(name);
}

void deliverPostedEvents() {
    EngineRegistry& r = engine();
    std::vector<std::string> events;
    {
        std::lock_guard lock(r.postedMutex);
        events.swap(r.postedEvents);
    }
    for (const std::string& name : events)
        broadcastEvent(name);
}

void fireDueEvents() {
    EngineRegistry& r = engine();
    deliverPostedEvents();
    const auto result = r.triggers.fireDueEvents(r.playing, r.musicTime, r.dispatcher, r.music.length());
    if (result.exitRequested) {
        r.exitReachedAt = result.exitTime;
        if (r.exitPauses)
            r.exitReached = true;
        else if (r.repeatShow)
            r.repeatPending = true;
        else
            r.quitRequested = true;
    }
}

// ---- music ----

int loadMusic(const std::string& name) {
    EngineRegistry& r = engine();
    {
        // A scene loaded again after a reset keeps its song playing where it is.
        std::lock_guard lock(r.mutex);
        if (r.reuseAssets && name == r.songFile && r.music.stream() != 0) return 0;
    }
    const int result = r.music.load(platformPath(r.assets.directoryFor(AssetKindMusic) + name));
    std::lock_guard lock(r.mutex);
    r.songFile = result == 0 ? name : std::string();
    return result;
}

void startPlayback() {
    EngineRegistry& r = engine();
    {
        std::lock_guard lock(r.mutex);
        r.sceneMark.frameTime = r.frameTime;
    }
    r.playing = true;
    r.triggers.musicStartedOver();
    if (r.startTime > 0.0f)
        r.replayPending = true;
    else if (r.music.play() == -1)
        logStream << "Cannot start audio stream" << r.music.errorText() << std::endl;
    EngineCamera* scene = r.sceneCamera;
    if (scene && r.cameraFollow) r.activeCamera = scene;
    // Actors run on the main thread; while the frame loop runs, "play" reaches them there, at the
    // start of the next frame's event step, rather than racing their Update from the loader thread.
    if (r.mainLoopStarted && std::this_thread::get_id() != r.mainLoopThread.load())
        postEvent("play");
    else
        broadcastEvent("play");
}
