// Two actors that stage whole scenes in code instead of in the scene file. Each builds its own
// camera and objects when it is created, keeps them hidden, and on "activate" switches the view to
// its camera and shows them:
//
// - CubeFun flies sixty small cubes ("bla", mesh "eckig", material "metal4") around its camera
//   "CubeCam"; beats make them flash, and after "nextstage" they glow in four colours while beats
//   jolt the distortion filter.
// - EpicRealtimeHelper shows a turning object ("EpicRealtimeDingens", mesh "ding02", material
//   "concrete") over a tunnel floor ("EpicRealtimeBoden", mesh "Tunnel01", material "stonewall")
//   from its camera "ERTCam"; beats tint the object's spin, "nextstage" turns the floor, and after
//   "nextstage2" its ObjectPulsator "ERTP" blows the object apart and re-forms it in a cycle of
//   six beat calls. It writes the distortion filter every frame, active or not. Without all four
//   assets it builds no object, floor or pulsator.
//
// What they build lives until the process ends (the registry keeps it alive).
#pragma once

#include "actors/entity/Entity.h"

#include <cstdint>
#include <string>
#include <vector>

class EngineCamera;
class ObjectPulsator;

class CubeFun : public Actor {
public:
    static constexpr int CubeCount = 60;

    struct Cube {
        entity_base* object; // not owned
        float angle;         // radians
        float angularSpeed;  // radians per second
        float zSpeed;        // units per second
        float radius;
        Vector baseEmissive;
    };

    explicit CubeFun(std::string name);

    void Trigger(const std::string& name) override;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "CubeFun"; }
    void Update(float frameTime) override;
    void OnBeat(uint32_t) override;

    const std::vector<Cube>& cubes() const { return cubes_; }
    EngineCamera* camera() const { return camera_; }
    bool active() const { return active_; }
    bool stageTwo() const { return stageTwo_; }
    float pulse() const { return pulse_; }
    const Vector& distortion() const { return distortion_; }

private:
    void showCubes(bool visible);

    std::vector<Cube> cubes_;
    EngineCamera* camera_ = nullptr;
    float pulse_ = 0.0f;
    bool active_ = false;
    bool stageTwo_ = false;
    Vector distortion_;
    float flash_ = 0.0f;
};

class EpicRealtimeHelper : public Actor {
public:
    explicit EpicRealtimeHelper(std::string name);

    void Trigger(const std::string& name) override;
    int AddEntity(entity_base*) override { return 0; }
    int GetEntityCount() override { return 0; }
    entity_base* GetEntity(int) override { return nullptr; }
    std::string GetClassName() override { return "EpicRealtimeHelper"; }
    void Update(float frameTime) override;
    // Every call counts, including several in one beat.
    void OnBeat(uint32_t) override;

    entity_base* object() const { return object_; }
    entity_base* floor() const { return floor_; }
    EngineCamera* camera() const { return camera_; }
    ObjectPulsator* pulsator() const { return pulsator_; }
    float clock() const { return clock_; }
    float pulse() const { return pulse_; }
    const Vector& tint() const { return tint_; }
    bool stageOne() const { return stageOne_; }
    bool stageTwo() const { return stageTwo_; }
    uint32_t beatCount() const { return beatCount_; }

private:
    entity_base* object_ = nullptr;
    entity_base* floor_ = nullptr;
    EngineCamera* camera_ = nullptr;
    ObjectPulsator* pulsator_ = nullptr;
    float clock_ = 0.0f; // milliseconds, wraps after 400
    float pulse_ = 0.0f;
    Vector tint_;
    bool stageOne_ = false;
    bool stageTwo_ = false;
    uint32_t beatCount_ = 0;
};
