#include "engine/SceneReset.h"

#include "engine/EngineRegistry.h"
#include "render/RenderInterface.h"
#include "scene/AutomationPath.h"

#include <algorithm>

void markSceneStart() {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    r.sceneMark.entities = r.keptEntities.size();
    r.sceneMark.nextLightId = r.nextLightId;
    r.sceneMark.randomSeed = currentRandomSeed();
}

namespace {

// Meshes the actors made go; meshes read from files wait in the pool (or go too).
void setMeshesAside(EngineRegistry& r, bool keep) {
    std::vector<std::unique_ptr<Mesh>> kept;
    std::vector<std::unique_ptr<Mesh>> released;
    for (auto& mesh : r.keptMeshes) {
        const bool fromFile =
            std::find(r.fileMeshes.begin(), r.fileMeshes.end(), mesh.get()) != r.fileMeshes.end();
        (keep && fromFile ? kept : released).push_back(std::move(mesh));
    }
    r.keptMeshes.clear();
    r.meshes.clear();
    r.fileMeshes.clear();
    for (auto& mesh : released)
        if (r.renderer) r.renderer->releaseMesh(mesh.get());
    for (auto& mesh : kept)
        r.reusableMeshes.push_back(std::move(mesh));
}

void setMaterialsAside(EngineRegistry& r, bool keep) {
    for (auto& material : r.materials) {
        if (keep)
            r.reusableMaterials.push_back(std::move(material));
        else if (r.renderer)
            r.renderer->removeMaterial(material.get());
    }
    r.materials.clear();
}

} // namespace

void resetScene(SceneAssets assets) {
    EngineRegistry& r = engine();
    std::vector<std::unique_ptr<Triggerable>> entities;
    std::vector<std::unique_ptr<RenderInstance>> instances;
    std::vector<std::unique_ptr<LightRecord>> lights;
    {
        std::lock_guard lock(r.mutex);
        for (auto& [object, instance] : r.objects) {
            if (r.renderer) r.renderer->removeRenderInstance(instance.get());
            instances.push_back(std::move(instance));
        }
        r.objects.clear();
        for (auto& [light, record] : r.lights) {
            if (r.renderer) r.renderer->removeLight(record.get());
            lights.push_back(std::move(record));
        }
        r.lights.clear();
        r.nextLightId = r.sceneMark.nextLightId;
        r.actors.clear();
        r.automations.clear();
        r.tracks.clear();
        const size_t first = std::min(r.sceneMark.entities, r.keptEntities.size());
        std::move(r.keptEntities.begin() + static_cast<std::ptrdiff_t>(first), r.keptEntities.end(),
                  std::back_inserter(entities));
        r.keptEntities.resize(first);
    }
    r.triggers.clear();
    {
        std::lock_guard lock(r.postedMutex);
        r.postedEvents.clear();
    }
    r.activeCamera = r.editorCamera.load();
    r.sceneCamera = nullptr;
    // Newest first: an actor may reach the entities it was given while it is destroyed. Their
    // destructors leave the renderer's canvases and line sets and every event subscription.
    while (!entities.empty())
        entities.pop_back();
    {
        std::lock_guard lock(r.mutex);
        const bool keep = assets == SceneAssets::Keep;
        setMeshesAside(r, keep);
        setMaterialsAside(r, keep);
        r.reuseAssets = keep;
        if (!keep) r.songFile.clear();
    }
    if (assets == SceneAssets::ReadAgain) r.assets.dropCachedFiles();
    r.postChain.clearParameters();
    resetRandomSeed(r.sceneMark.randomSeed);
    r.musicTime = 0.0f;
    r.shownTime = 0.0f;
    r.showTime = 0.0f;
    r.exitReachedAt = -1.0f;
    r.frameTime = r.sceneMark.frameTime;
}

void releaseUnusedSceneAssets() {
    EngineRegistry& r = engine();
    std::lock_guard lock(r.mutex);
    for (auto& mesh : r.reusableMeshes)
        if (r.renderer) r.renderer->releaseMesh(mesh.get());
    for (auto& material : r.reusableMaterials)
        if (r.renderer) r.renderer->removeMaterial(material.get());
    r.reusableMeshes.clear();
    r.reusableMaterials.clear();
    r.reuseAssets = false;
}
