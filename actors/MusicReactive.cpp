#include "actors/MusicReactive.h"

#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "render/Mesh.h"
#include "scene/AutomationPath.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Shared by every BassBouncer; only the main thread's updates write it.
std::atomic<float> bounceFactor{1.0f};

} // namespace

// ---- BassBouncer ----

BassBouncer::BassBouncer(std::string bouncerName) : Actor(std::move(bouncerName)) {}

int BassBouncer::AddEntity(entity_base* entity) {
    if (!entity) return -1;
    std::lock_guard lock(entriesMutex_);
    entries_.push_back({entity, entity->Scale});
    return 0;
}

int BassBouncer::GetEntityCount() {
    std::lock_guard lock(entriesMutex_);
    return static_cast<int>(entries_.size());
}

entity_base* BassBouncer::GetEntity(int index) {
    std::lock_guard lock(entriesMutex_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return nullptr;
    return entries_[static_cast<size_t>(index)].entity;
}

float BassBouncer::sharedBounceFactor() {
    return bounceFactor.load();
}

void BassBouncer::resetSharedBounceFactor() {
    bounceFactor = 1.0f;
}

void BassBouncer::Update(float dt) {
    // Every instance runs its own timer and its own decay on the one shared factor.
    timer_ += dt;
    float factor = bounceFactor.load();
    if (timer_ >= BounceInterval) {
        factor = 1.1f;
        timer_ = 0.0f;
    } else if (factor > 0.8f) {
        factor -= dt * 0.0005f;
    }
    bounceFactor = factor;

    const float spin = Scale.x; // the bouncer's own "Scale" sets the spin speed
    std::lock_guard lock(entriesMutex_);
    for (Entry& entry : entries_) {
        entry.entity->Scale = entry.savedScale * factor;
        entry.entity->Rotation += Vector(3.14f, 1.5f, -0.5f) * 0.0001f * factor * dt * spin;
    }
}

// ---- LightFlicker ----

LightFlicker::LightFlicker(std::string flickerName) : Actor(std::move(flickerName)) {}

void LightFlicker::Trigger(const std::string& event) {
    if (event == "play") {
        playing_ = true;
    } else if (event == "pause") {
        playing_ = !playing_;
        restoreBaseColours();
    } else if (event == "stop") {
        playing_ = false;
        restoreBaseColours();
    }
}

void LightFlicker::restoreBaseColours() {
    std::lock_guard lock(entriesMutex_);
    for (Entry& entry : entries_)
        entry.light->Color = entry.baseColour;
}

int LightFlicker::AddEntity(entity_base* entity) {
    Light* light = dynamic_cast<Light*>(entity);
    if (!light) return -1;
    const Vector c = light->Color;
    logStream << light->name << " Color: "
              << "{ " << c.x << " , " << c.y << " , " << c.z << " }" << std::endl;
    std::lock_guard lock(entriesMutex_);
    // A new light stays on for its first 10 ms.
    entries_.push_back({light, c, On, 0.0f, 10.0f});
    return 0;
}

int LightFlicker::GetEntityCount() {
    std::lock_guard lock(entriesMutex_);
    return static_cast<int>(entries_.size());
}

entity_base* LightFlicker::GetEntity(int index) {
    std::lock_guard lock(entriesMutex_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return nullptr;
    return entries_[static_cast<size_t>(index)].light;
}

int LightFlicker::entryState(int index) const {
    std::lock_guard lock(entriesMutex_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return -1;
    return entries_[static_cast<size_t>(index)].state;
}

namespace {

// Share of a fade that has passed. A duration of 0 (a random draw of exactly -1) only reaches
// here with time 0, which counts as the start of the fade rather than 0 / 0.
float fadeFraction(float time, float duration) {
    return duration > 0.0f ? time / duration : 0.0f;
}

} // namespace

void LightFlicker::Update(float dt) {
    if (!playing_) return;
    std::lock_guard lock(entriesMutex_);
    for (Entry& e : entries_) {
        e.time += dt;
        const bool expired = e.time > e.duration;
        switch (e.state) {
        case On:
            if (expired) {
                e.state = FadingOut;
                e.duration = (nextRandom() + 1.0f) * 60.0f;
                e.time = 0.0f;
            }
            break;
        case FadingOut:
            if (!expired) {
                e.light->Color = e.baseColour * (1.0f - fadeFraction(e.time, e.duration));
            } else {
                e.state = Off;
                e.duration = (nextRandom() + 1.0f) * 300.0f;
                e.light->Color = Vector(0.0f, 0.0f, 0.0f);
                e.time = 0.0f;
            }
            break;
        case Off:
            if (expired) {
                e.state = FadingIn;
                e.duration = (nextRandom() + 1.0f) * 60.0f;
                e.time = 0.0f;
            }
            break;
        case FadingIn:
            if (!expired) {
                e.light->Color = e.baseColour * fadeFraction(e.time, e.duration);
            } else {
                e.state = On;
                e.duration = (nextRandom() + 1.0f) * 150.0f;
                e.light->Color = e.baseColour;
                e.time = 0.0f;
            }
            break;
        default:
            e.state = On;
            break;
        }
    }
}

// ---- ObjectPulsator ----

ObjectPulsator::ObjectPulsator(std::string pulsatorName) : Actor(std::move(pulsatorName)) {
    addVectorParameter("Params", Params);
    subscribeEvent(this, "destroy");
    subscribeEvent(this, "restore");
    subscribeEvent(this, "play");
}

void ObjectPulsator::Trigger(const std::string& event) {
    // "play" comes from the loader thread when it starts playback; the timer is shared with Update.
    std::lock_guard lock(entriesMutex_);
    if (event == "destroy") {
        destroying_ = true;
        restoring_ = false;
        timer_ = 0.0f;
    } else if (event == "restore") {
        destroying_ = false;
        restoring_ = true;
        timer_ = 0.0f;
    } else if (event == "play") {
        playing_ = true;
    } else if (event == "pause") {
        playing_ = !playing_;
    } else if (event == "stop") {
        destroying_ = false;
        playing_ = false;
        timer_ = 0.0f;
        for (Entry& entry : entries_) {
            restoreStep(entry.entity->mesh, 1.0f);
            entry.entity->geometryChanged = 1;
        }
    }
}

int ObjectPulsator::AddEntity(entity_base* entity) {
    if (!entity) return -1;
    logStream << "ObjectPulsator::AddEntity: Adding mesh " << entity->name << " to " << name << std::endl;
    Mesh* source = entity->mesh;
    if (!source) {
        logStream << "ObjectPulsator::AddEntity: entity has no mesh" << std::endl;
        noteProblem("ObjectPulsator '" + name + "' was given '" + entity->name + "', which has no mesh");
        return -1;
    }

    removeObject(entity);

    // Every present vertex array must hold vertexCount elements, or the explosion would walk
    // past the end of the positions.
    const size_t count = source->vertexCount;
    auto usable = [count](size_t size) { return size == 0 || size == count; };
    if (source->positions.size() != count || !usable(source->normals.size()) ||
        !usable(source->texCoords.size()) || !usable(source->tangents.size()) ||
        !usable(source->binormals.size())) {
        logStream << "ObjectPulsator::AddEntity: cannot copy mesh" << std::endl;
        noteProblem("ObjectPulsator '" + name + "' cannot copy mesh '" + source->name + "'");
        return -1;
    }
    auto copy = std::make_unique<Mesh>();
    copy->name = source->name + "_copy";
    copy->vertexCount = source->vertexCount;
    copy->positions = source->positions;
    copy->normals = source->normals;
    copy->texCoords = source->texCoords;
    copy->tangents = source->tangents;
    copy->binormals = source->binormals;

    Mesh* raw = copy.release(); // the registry keeps it alive whatever addMesh answers
    if (addMesh(raw) != 0) logStream << "ObjectPulsator::AddEntity: Cannot add mesh" << std::endl;

    entity->mesh = raw;
    {
        std::lock_guard lock(entriesMutex_);
        timer_ = 0.0f;
        entries_.push_back({entity, entity->Scale});
    }
    addObject(entity);
    // Whoever owns the scene shows the object when its time comes.
    setObjectVisible(entity, false);
    return 0;
}

int ObjectPulsator::GetEntityCount() {
    std::lock_guard lock(entriesMutex_);
    return static_cast<int>(entries_.size());
}

entity_base* ObjectPulsator::GetEntity(int index) {
    std::lock_guard lock(entriesMutex_);
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return nullptr;
    return entries_[static_cast<size_t>(index)].entity;
}

void ObjectPulsator::restoreStep(Mesh* copy, float dt) {
    if (!copy) return;
    const size_t cut = copy->name.find("_copy");
    if (cut == std::string::npos) return;
    const Mesh* source = findMesh(copy->name.substr(0, cut));
    if (!source || source == copy) return;
    // 5 per second. The distance to the source scales by |1 - a| each step: a step between 1 and
    // 2 overshoots and still closes in, from 2 on (frames of 400 ms and more) it would never
    // settle or would fly apart, so such a frame lands on the source instead.
    float a = dt * 0.001f * 5.0f;
    if (a >= 2.0f) a = 1.0f;
    if (a < 0.0f) a = 0.0f;
    const size_t n = std::min(
        {static_cast<size_t>(source->vertexCount), source->positions.size(), copy->positions.size()});
    for (size_t i = 0; i < n; ++i)
        copy->positions[i] = source->positions[i] * a + copy->positions[i] * (1.0f - a);
}

void ObjectPulsator::explode(entity_base* entity, float dt) {
    Mesh* mesh = entity->mesh;
    if (!mesh) return;
    // A negative Params.x speeds the pieces up until the divisor crosses zero, where they would be
    // flung to infinity, and then turns them back. Only near the crossing is the divisor held off
    // zero, which caps the speed at a hundred times the starting one.
    float slowdown = Params.x * 0.0008f * timer_ + 1.0f;
    if (std::fabs(slowdown) < MinimumSlowdown)
        slowdown = std::signbit(slowdown) ? -MinimumSlowdown : MinimumSlowdown;
    const size_t vertices = std::min(static_cast<size_t>(mesh->vertexCount), mesh->positions.size());
    const size_t triangles = vertices / 3;
    for (size_t k = 0; k < triangles; ++k) {
        const float r1 = nextRandom();
        const float r2 = nextRandom();
        const float r3 = nextRandom();
        Vector d(r1, r2, r3);
        const float length = d.length();
        d = length > 0.0f ? d * (1.0f / length) : Vector();
        d = d * 100.0f;
        d = Vector(d.x / slowdown, d.y / slowdown, d.z / slowdown);
        d = d * dt * 0.008f;
        mesh->positions[3 * k] += d;
        mesh->positions[3 * k + 1] += d;
        mesh->positions[3 * k + 2] += d;
    }
    entity->geometryChanged = 1;
}

void ObjectPulsator::Update(float dt) {
    std::lock_guard lock(entriesMutex_);
    if (!((destroying_ || restoring_) && playing_)) return;
    timer_ += dt;
    for (Entry& entry : entries_) {
        if (restoring_) {
            restoreStep(entry.entity->mesh, dt);
            entry.entity->geometryChanged = 1;
            if (timer_ >= RestoreDuration) {
                restoring_ = false;
                break;
            }
        } else {
            explode(entry.entity, dt);
        }
    }
}
