// Actors that animate the entities a scene attaches to them ("child" entries of an actor element):
//
// - BassBouncer pumps the scale of its entities with one bounce factor shared by every
//   BassBouncer of the process, and spins them at the speed given by its own Scale.x.
// - LightFlicker makes lights go on, fade out, stay off and fade in again on random durations.
// - ObjectPulsator swaps an object's mesh for a private copy, blows the copy apart triangle by
//   triangle on "destroy" and pulls it back towards the source mesh on "restore".
//
// Their rhythm comes from their own timers and from events, not from beats: OnBeat does nothing.
//
// Threads: the scene loader attaches entities (AddEntity) on the loader thread while the main
// thread runs Update and delivers events, so each actor guards its entity list with its own lock.
// Entity fields themselves are written without a lock, as everywhere in the engine.
#pragma once

#include "actors/entity/Entity.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct Mesh;

class BassBouncer : public Actor {
public:
    // The bounce factor starts at 1.0; a bounce sets it to 1.1 and it then decays towards 0.8.
    static constexpr float BounceInterval = 1363.6364f; // milliseconds between bounces

    explicit BassBouncer(std::string name);

    // Any entity is taken with the Scale it has now; -1 for null.
    int AddEntity(entity_base* entity) override;
    int GetEntityCount() override;
    entity_base* GetEntity(int index) override;
    std::string GetClassName() override { return "BassBouncer"; }
    void Update(float frameTime) override;

    // The factor shared by every BassBouncer of the process.
    static float sharedBounceFactor();
    // Puts the shared factor back to its start value (tests; a show never resets it).
    static void resetSharedBounceFactor();

    float timer() const { return timer_; }

private:
    struct Entry {
        entity_base* entity;
        Vector savedScale;
    };

    mutable std::mutex entriesMutex_;
    std::vector<Entry> entries_;
    float timer_ = 0.0f;
};

class LightFlicker : public Actor {
public:
    // Entry states.
    enum State : int { On = 0, FadingIn = 1, Off = 2, FadingOut = 3 };

    explicit LightFlicker(std::string name);

    void Trigger(const std::string& name) override;
    // Only lights are taken (their current Color becomes the base colour); -1 for anything else.
    int AddEntity(entity_base* entity) override;
    int GetEntityCount() override;
    entity_base* GetEntity(int index) override;
    std::string GetClassName() override { return "LightFlicker"; }
    void Update(float frameTime) override;

    bool playing() const { return playing_; }
    // State of the entry at index (insertion order), -1 when out of range.
    int entryState(int index) const;

private:
    struct Entry {
        Light* light;
        Vector baseColour;
        int state;
        float time;
        float duration;
    };

    void restoreBaseColours();

    mutable std::mutex entriesMutex_;
    std::vector<Entry> entries_;
    // "play" arrives from the loader thread when it starts playback.
    std::atomic<bool> playing_{false};
};

class ObjectPulsator : public Actor {
public:
    // How long "restore" pulls the copy back before it switches itself off (milliseconds).
    static constexpr float RestoreDuration = 1500.0f;

    explicit ObjectPulsator(std::string name);

    void Trigger(const std::string& name) override;
    // Takes an object with a mesh: its render instance is rebuilt on a private copy of the mesh
    // (named after the source with "_copy" appended) and left hidden. -1 for null, for an
    // entity without a mesh or when the mesh cannot be copied.
    int AddEntity(entity_base* entity) override;
    int GetEntityCount() override;
    entity_base* GetEntity(int index) override;
    std::string GetClassName() override { return "ObjectPulsator"; }
    void Update(float frameTime) override;

    // Moves the copy's positions towards those of its source mesh (the copy's name up to its
    // first "_copy") by 5 per second of frameTime: a frame between 200 and 400 ms steps past the
    // source and back towards it, a frame of 400 ms or more lands on it.
    // Does nothing when the name has no "_copy" or the source is not registered.
    static void restoreStep(Mesh* copy, float frameTime);

    // The explosion's step is divided by Params.x x 0.0008 x timer + 1; its size is kept at least
    // this far from zero.
    static constexpr float MinimumSlowdown = 0.01f;

    Vector Params{1.0f, 0.0f, 0.0f}; // parameter "Params"; x: how fast the explosion slows down

    bool destroying() const { return destroying_; }
    bool restoring() const { return restoring_; }
    bool playing() const { return playing_; }
    float timer() const { return timer_; }

private:
    struct Entry {
        entity_base* entity;
        Vector savedScale;
    };

    void explode(entity_base* entity, float frameTime);

    // Guards the entries and the state below: "play" arrives from the loader thread when it
    // starts playback, and the loader attaches entities while the main thread updates.
    mutable std::mutex entriesMutex_;
    std::vector<Entry> entries_;
    bool destroying_ = false;
    std::atomic<bool> playing_{true}; // atomic only for the unlocked accessor
    bool restoring_ = false;
    float timer_ = 0.0f;
};
