// The process-wide state of the engine and the flat set of operations through which the scene
// loader, the actors and the main loop reach it: the lists of meshes, materials, placed objects,
// lights, actors and automation bindings, the cameras, the renderer and window, the flags of the
// frame loop, the asset store, the music player, the events and the post-processing chain.
//
// Every operation that adds a drawable thing also hands it to the renderer, so the registry's
// lists and the renderer's stay in step.
//
// Threads: the loader thread adds while the main thread walks. One lock guards the lists; it is
// never held while calling an actor or delivering an event (walks take a snapshot first), and
// renderer calls made under it only take the renderer's own bounded locks.
//
// Lifetime: the registry is never destroyed. Entities, meshes and materials stay alive until the
// process ends, as a show expects; resetEngineRegistry() empties everything for tests.
#pragma once

#include "actors/entity/Entity.h"
#include "engine/base/AssetStore.h"
#include "engine/base/Events.h"
#include "engine/base/MusicPlayer.h"
#include "engine/base/ShowClock.h"
#include "render/FilterChain.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/RenderTypes.h"
#include "render/ShaderInputs.h"
#include "scene/AutomationPath.h"
#include "scene/ObjectTree.h"
#include "scene/Tempo.h"

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class EngineCamera;
class RenderInterface;
class Viewport;

struct AutomationBinding {
    std::unique_ptr<AutomationPath> path;
    entity_base* entity = nullptr;
    EntityParameter* parameter = nullptr;
};

// A track of the scene bound to no entity: its value reaches every shader uniform of its name.
struct FreeTrack {
    std::string name;
    int components = 1; // 1 to 4
    std::unique_ptr<AutomationPath> path;
};

struct EngineRegistry {
    mutable std::recursive_mutex mutex;

    // Guarded by mutex.
    std::map<entity_base*, std::unique_ptr<RenderInstance>> objects; // address order
    std::vector<Mesh*> meshes;                                       // insertion order
    std::vector<std::unique_ptr<Material>> materials;                // insertion order
    std::map<Light*, std::unique_ptr<LightRecord>> lights;           // address order
    std::list<Actor*> actors;                                        // insertion order
    std::list<AutomationBinding> automations;                        // insertion order
    std::list<FreeTrack> tracks;                                     // the scene's order
    // The scene's materials that have shaders of their own, as its last load said.
    std::vector<MaterialShaders> materialShaders;
    int nextLightId = 0;
    // Things created at run time that live until the process ends (scene entities, meshes).
    std::vector<std::unique_ptr<Triggerable>> keptEntities;
    std::vector<std::unique_ptr<Mesh>> keptMeshes;

    EventDispatcher& dispatcher = eventDispatcher();
    EventTriggerList triggers;
    AssetStore assets;
    MusicPlayer music;
    ShowClock clock{music}; // frame loop only
    FilterChain postChain;

    RenderInterface* renderer = nullptr; // set once at start-up, before the loader thread runs
    Viewport* window = nullptr;

    std::atomic<EngineCamera*> activeCamera{nullptr};
    std::atomic<EngineCamera*> editorCamera{nullptr};
    std::atomic<EngineCamera*> sceneCamera{nullptr};

    std::atomic<bool> quitRequested{false};
    std::atomic<bool> mainLoopStarted{false};
    std::atomic<bool> loading{false};
    std::atomic<bool> loadingLabelShown{false};
    std::atomic<bool> cameraFollow{false};
    std::atomic<bool> playing{false};
    std::atomic<float> musicTime{0.0f}; // seconds; music position of the current frame
    // Seconds of show time of the current frame: the music position counted on through the song's
    // loop point (ShowClock.h); equal to musicTime on the song's first pass.
    std::atomic<float> showTime{0.0f};
    std::atomic<float> frameTime{0.0f}; // milliseconds; duration of the last frame
    // The music time the frame's picture shows: the one its automation step ran at (the reading
    // of the frame before). Shaders read their tracks, time and music at it.
    std::atomic<float> shownTime{0.0f};

    // Starting in the middle of a show: the music time of the first frame drawn (0: the start).
    // The show's state there is rebuilt by replaying the frames before it without drawing them,
    // at `replayFramesPerSecond` (an offline run's own rate, so the frames after it are the ones
    // a run from the start draws).
    std::atomic<float> startTime{0.0f};
    std::atomic<double> replayFramesPerSecond{60.0};
    std::atomic<bool> replayPending{false}; // set by startPlayback, taken by the frame loop
    // While the frames before startTime are replayed: nothing of them is seen, so an actor may
    // leave out work whose result only the picture reads.
    std::atomic<bool> replaying{false};
    // --repeat: the show's "exit" event starts the show over instead of ending the program (long
    // unattended runs); the frame loop takes repeatPending between frames.
    bool repeatShow = false;
    std::atomic<bool> repeatPending{false};
    // The editor: the show's "exit" event ends a show, not the editing of it. Reached by any
    // route (played, replayed after an edit or a seek, reloaded), it only sets exitReached, which
    // the editor takes to pause the show.
    bool exitPauses = false;
    std::atomic<bool> exitReached{false};
    // Counts the frames that moved the show (a seek, a reload, a repeat): their time is the move's.
    std::atomic<unsigned> showMoves{0};
    // Counts the frames whose beat test gave the actors OnBeat (replayed frames included).
    std::atomic<unsigned> beatFrames{0};
    // The time of the scene's "exit" trigger once it came due (-1: not in this run of the scene).
    std::atomic<float> exitReachedAt{-1.0f};
    // The "exit" came due among the frames replayed up to startTime: nothing after the start is
    // ever shown, and the program ends with a failure.
    std::atomic<bool> startPastEnd{false};

    // What a scene reset puts back: the registry as the scene's load found it. Entities kept
    // before the load (the editor's camera) stay; those after it are the scene's.
    struct SceneMark {
        size_t entities = 0;
        int nextLightId = 0;
        uint32_t randomSeed = 0;
        float frameTime = 0.0f; // the frame time the first frame of the show reads
    };
    SceneMark sceneMark; // guarded by mutex
    // Meshes read from mesh files; the others were made by actors and go with their scene.
    std::vector<const Mesh*> fileMeshes; // guarded by mutex
    // While a reset scene loads again, the meshes and materials of its previous load are taken
    // by name instead of being read and made again. Guarded by mutex.
    bool reuseAssets = false;
    std::vector<std::unique_ptr<Mesh>> reusableMeshes;
    std::vector<std::unique_ptr<Material>> reusableMaterials;
    std::string songFile; // the scene's song as last loaded: a reload keeps it playing
    Tempo tempo;          // the scene's tempo as last loaded (showTempo)

    TextLabel* loadingLabel = nullptr;
    std::atomic<std::thread::id> mainLoopThread{}; // the thread that runs the frame loop

    // Events posted from other threads, broadcast by the frame loop's event step.
    std::mutex postedMutex;
    std::vector<std::string> postedEvents;

    std::string pendingSceneFile() const;
    void setPendingSceneFile(const std::string& file);

private:
    mutable std::mutex pendingMutex_;
    std::string pendingSceneFile_;
};

EngineRegistry& engine();

// Empties every list and clears every flag, camera and pointer (tests; a show never resets).
// Entities and meshes kept alive by the registry are destroyed; the renderer and window are only
// forgotten, not destroyed.
void resetEngineRegistry();

// Keeps an entity created at run time alive until the process ends; returns it.
template <class T>
T* keepAlive(std::unique_ptr<T> entity) {
    T* raw = entity.get();
    std::lock_guard lock(engine().mutex);
    engine().keptEntities.push_back(std::move(entity));
    return raw;
}

// Objects (placed entities with a mesh and a material).
int addObject(entity_base* object);
int attachMeshAndMaterial(entity_base* object, const std::string& meshName, const std::string& materialName);
// An object that is not drawn itself but carries the objects placed relative to it (a group, or a
// parent whose mesh or material is missing): findObject finds it and automations move it, and the
// renderer never sees it. -1 for null or an object already registered.
int addGroupObject(entity_base* object);
int removeObject(entity_base* object);
entity_base* findObject(const std::string& name);
void setObjectVisible(entity_base* object, bool visible);
// The object's render instance, or null when it is not registered.
RenderInstance* findRenderInstance(entity_base* object);

// Meshes.
Mesh* loadMesh(const std::string& name);
// The registry keeps the mesh alive whatever the result; -1 for null or when the renderer refuses it.
int addMesh(Mesh* mesh);
Mesh* findMesh(const std::string& name);

// Materials.
Material* loadMaterial(const std::string& name);
// Takes a built material (already handed to the renderer) into the list; returns it.
Material* addMaterialToRegistry(std::unique_ptr<Material> material);
Material* findMaterial(const std::string& name);

// Lights.
int addLight(Light* light);
Light* findLight(const std::string& name);
LightRecord* findLightRecord(Light* light);

// Actors.
int addActor(Actor* actor);
Actor* findActor(const std::string& name);
// The actor list as it stands now, for walking without holding the lock.
std::vector<Actor*> actorsSnapshot();

// Automations.
int addAutomation(entity_base* entity, const std::string& parameterName);
AutomationPath* findAutomation(entity_base* entity, const std::string& parameterName);
// Moves every bound three-float parameter along its path to musicTime, until its last key.
void runAutomationStep();

// Cameras and accessors.
EngineCamera* makeCameraCurrent(EngineCamera* camera);
RenderInterface* getRenderer();
void getWindowSize(unsigned& width, unsigned& height);
FilterChain* getPostChain();
void setFilterParameter(const std::string& name, const Vector& value);

// Events.
// (subscribeEvent, broadcastEvent and sendEvent come with the dispatcher, from Events.h.)
int addEventTrigger(const std::string& name, float time, Triggerable* target);
// Broadcasts the posted events, then fires the triggers that became due; an "exit" trigger sets
// quitRequested.
void fireDueEvents();
// Queues a broadcast for the frame loop's next event step (events from other threads).
void postEvent(const std::string& name);
void deliverPostedEvents();

// The show's tempo: what its scene's music section says, or 141 BPM, 4 beats a bar, bar 1 at 0 s.
// Every count of beats and bars reads it; the scene loader sets it with each load.
Tempo showTempo();
void setShowTempo(const Tempo& tempo);

// Music.
// Opens the name inside the music asset directory ("audio\"); the player's load result.
int loadMusic(const std::string& name);
// Starts (or restarts) the music, hands the view to the scene's camera and broadcasts "play"
// (from the loader thread while the frame loop runs: at the loop's next event step). With a
// startTime the music waits: the frame loop replays up to it, then starts the music there.
void startPlayback();
