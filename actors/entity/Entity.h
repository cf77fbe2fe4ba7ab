// The entity model shared by the scene loader, the registry, the renderer's instances and the
// actors: entity_base (a named thing with a position, a scale, a
// rotation and named parameters), Light and Actor.
//
// Entities are created by the scene loader, the actor factory or other actors and live until the
// process ends; nothing deletes them during a show. They are not copyable: the registry and the
// renderer keep pointers to their fields.
#pragma once

#include "engine/base/Events.h"
#include "math/Vector.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct Mesh;
struct Material;

// One named, settable value of an entity. Type 3 (the only one in use) is three floats.
struct EntityParameter {
    static constexpr int ThreeFloats = 3;

    std::string name;
    int type = ThreeFloats;
    Vector* value = nullptr; // the three floats inside the owning entity
};

class entity_base : public Triggerable {
public:
    explicit entity_base(std::string name);
    entity_base(const entity_base&) = delete;
    entity_base& operator=(const entity_base&) = delete;

    void Trigger(const std::string& name) override;

    // Null when the entity has no parameter of that name (exact, case-sensitive).
    EntityParameter* getParameter(const std::string& name) const;
    // The parameter's type code, 0 when there is none.
    int getParameterType(const std::string& name) const;
    // Takes ownership; -1 for null. A name already present keeps its first parameter.
    int addParameter(std::unique_ptr<EntityParameter> parameter);
    // Convenience: a three-float parameter pointing at `value`.
    int addVectorParameter(const std::string& name, Vector& value);
    // Parameter names in byte-wise order.
    const std::map<std::string, std::unique_ptr<EntityParameter>>& parameters() const { return parameters_; }

    Vector Position;             // parameter "Position"
    Vector Scale;                // parameter "Scale"; zero means the object is drawn with zero size
    Vector Rotation;             // parameter "Rotation", radians
    Vector colour;               // referenced by the render instance; no pass reads it
    Vector emissive;             // scales the emissive map of the object's material
    uint32_t objectValue = 0;    // copied into the render instance; nothing reads it
    uint8_t geometryChanged = 0; // set by code that rewrites the mesh; cleared by the renderer on upload
    std::string name;
    Mesh* mesh = nullptr;         // not owned
    Material* material = nullptr; // not owned
    // The object this one is placed relative to (a group), or null. Set by the scene loader before
    // the object is registered; the parents never form a cycle.
    entity_base* parent = nullptr;

private:
    std::map<std::string, std::unique_ptr<EntityParameter>> parameters_;
};

class Light : public entity_base {
public:
    explicit Light(std::string name);

    void Trigger(const std::string& name) override;

    Vector Cutoff; // parameter "Cutoff"; x is the cut-off handed to the lighting shader
    Vector Color;  // parameter "Color"
};

// An element of an actor's scene entry that is neither a "child" nor one of the actor's
// parameters, such as a text actor's <line text="..." />. Its attributes are as the file writes
// them: quoted values keep their spaces and punctuation.
struct ActorElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};

// A scripted thing that takes part in the frame loop. Construction subscribes the actor to
// "play", "pause" and "stop".
class Actor : public entity_base {
public:
    explicit Actor(std::string name);

    void Trigger(const std::string& name) override;
    // 0 when taken, -1 when refused.
    virtual int AddEntity(entity_base* entity) = 0;
    virtual int GetEntityCount() = 0;
    // Null when the index is out of range.
    virtual entity_base* GetEntity(int index) = 0;
    // The name under which the factory builds the class.
    virtual std::string GetClassName() = 0;
    // Frame time of the previous frame in milliseconds.
    virtual void Update(float frameTime) = 0;
    // Once per frame inside the first sixteenth of a beat; the argument is always 0.
    virtual void OnBeat(uint32_t unused);
    // An element of the actor's scene entry that the loader cannot place (see ActorElement),
    // before the actor joins the frame loop. Taken: it is the actor's and it keeps it. NotMine:
    // the actor has no element of that name (every actor but those that say otherwise). Refused:
    // it is the actor's, but malformed; `why` says what is wrong and the element is ignored.
    enum class ElementResult { Taken, NotMine, Refused };
    virtual ElementResult TakeElement(const ActorElement& element, std::string& why);
};
