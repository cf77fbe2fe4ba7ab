#include "scene/loader/SceneLoader.h"

#include "actors/entity/Entity.h"
#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "scene/AutomationPath.h"
#include "scene/XMLDocument.h"

#include <cstdlib>

namespace {

void reportProblem(const std::string& line) {
    logStream << line << std::endl;
    noteProblem(line);
}

// Several elements name something by their first attribute, whatever that attribute is called.
const std::string* firstAttributeValue(const XMLTag* tag) {
    return tag->attributes.empty() ? nullptr : &tag->attributes.front().second;
}

void loadMeshes(const XMLTag* list) {
    for (const auto& child : childrenOf(list))
        loadMesh(child->name);
}

void loadMaterials(const XMLTag* list) {
    for (const auto& child : childrenOf(list))
        loadMaterial(child->name);
}

void loadObjects(const XMLTag* list) {
    for (const auto& child : childrenOf(list)) {
        entity_base* object = keepAlive(std::make_unique<entity_base>(child->name));
        // An element without an attribute names nothing: the empty name is then reported by the
        // registry as a mesh or material it cannot find.
        std::string meshName;
        std::string materialName;
        for (const auto& element : childrenOf(child.get())) {
            const std::string& name = element->name;
            if (name == "Position") {
                object->Position = tagToVector(element.get());
            } else if (name == "Rotation") {
                object->Rotation = tagToVector(element.get());
            } else if (name == "Scale") {
                object->Scale = tagToVector(element.get());
            } else if (name == "Mesh" || name == "Material") {
                const std::string* value = firstAttributeValue(element.get());
                (name == "Mesh" ? meshName : materialName) = value ? *value : std::string();
            }
        }
        // An object that cannot be placed is reported by the registry and is not part of the scene.
        attachMeshAndMaterial(object, meshName, materialName);
    }
}

void logVector(const Vector& v) {
    logStream << "{ " << v.x << " , " << v.y << " , " << v.z << " }";
}

void loadLights(const XMLTag* list) {
    for (const auto& child : childrenOf(list)) {
        Light* light = keepAlive(std::make_unique<Light>(child->name));
        bool colourSeen = false;
        bool positionSeen = false;
        bool cutoffSeen = false;
        for (const auto& element : childrenOf(child.get())) {
            if (element->name == "Color") {
                light->Color = tagToVector(element.get());
                colourSeen = true;
            } else if (element->name == "Position") {
                light->Position = tagToVector(element.get());
                logStream << "Light: " << light->name << " Position: ";
                logVector(light->Position);
                logStream << std::endl;
                positionSeen = true;
            } else if (element->name == "Cutoff") {
                light->Cutoff = tagToVector(element.get());
                cutoffSeen = true;
            }
        }
        if (!colourSeen) light->Color = Vector{0.5f, 0.5f, 0.5f};
        if (!positionSeen) light->Position = Vector{};
        if (!cutoffSeen) light->Cutoff.x = 2.0f;
        addLight(light);
    }
}

void configureActor(Actor* actor, const XMLTag* element) {
    if (element->name == "child") {
        const std::string* value = firstAttributeValue(element);
        if (!value) {
            reportProblem("actor " + actor->name +
                          ": a child element without an attribute names no entity; ignored");
            return;
        }
        if (entity_base* object = findObject(*value)) {
            actor->AddEntity(object);
        } else if (Light* light = findLight(*value)) {
            logStream << "Adding Light: " << light->name << " to Actor: " << actor->name << std::endl;
            actor->AddEntity(light);
        } else {
            noteProblem("actor '" + actor->name + "': child '" + *value +
                        "' is neither a placed object nor a light");
        }
        return;
    }
    EntityParameter* parameter = actor->getParameter(element->name);
    if (!parameter || !parameter->value) {
        noteProblem("actor '" + actor->name + "' (" + actor->GetClassName() + ") has no parameter '" +
                    element->name + "'");
        return;
    }
    *parameter->value = tagToVector(element);
}

void loadActors(const XMLTag* list, const ActorMaker& makeActor) {
    logStream << "loading actors" << std::endl;
    for (const auto& child : childrenOf(list)) {
        const auto& attributes = child->attributes;
        if (attributes.empty() || attributes.front().first != "classname" ||
            attributes.front().second.empty()) {
            noteProblem("actor '" + child->name + "': its first attribute is not a classname; skipped");
            continue;
        }
        const std::string& className = attributes.front().second;
        Actor* made = makeActor ? makeActor(className, child->name) : nullptr;
        if (!made) {
            noteProblem("actor '" + child->name + "': unknown class '" + className + "'; skipped");
            continue;
        }
        Actor* actor = keepAlive(std::unique_ptr<Actor>(made));
        for (const auto& element : childrenOf(child.get()))
            configureActor(actor, element.get());
        addActor(actor);
    }
}

entity_base* findAutomatedEntity(const std::string& name) {
    if (entity_base* object = findObject(name)) return object;
    logStream << "entity was not found in object list" << std::endl;
    if (Actor* actor = findActor(name)) return actor;
    logStream << "entity was not found in actor list" << std::endl;
    if (Light* light = findLight(name)) return light;
    logStream << "entity was not found in light list" << std::endl;
    noteProblem("automation of '" + name + "': no object, actor or light has that name");
    return nullptr;
}

void loadAutomations(const XMLTag* list) {
    logStream << "loading automations" << std::endl;
    for (const auto& child : childrenOf(list)) {
        const std::string& name = child->name;
        logStream << "automation " << name << std::endl;
        const size_t split = name.find("::");
        if (split == std::string::npos) {
            logStream << "parsing error" << std::endl;
            noteProblem("automation '" + name + "': the name is not <entity>::<parameter>");
            continue;
        }
        const std::string entityName = name.substr(0, split);
        const std::string parameterName = name.substr(split + 2);
        logStream << "automated param: " << parameterName << " of entity " << entityName << std::endl;

        entity_base* entity = findAutomatedEntity(entityName);
        if (!entity) continue;
        if (!entity->getParameter(parameterName)) {
            logStream << "param " << parameterName << " not found" << std::endl;
            noteProblem("automation '" + name + "': " + entityName + " has no parameter '" + parameterName +
                        "'");
            continue;
        }
        // A second element for the same binding adds its points to the path of the first.
        addAutomation(entity, parameterName);
        AutomationPath* path = findAutomation(entity, parameterName);
        if (!path) {
            logStream << "could not create path for entity " << entity->name << std::endl;
            noteProblem("automation '" + name + "': no path could be made");
            continue;
        }

        size_t index = 0;
        for (const auto& element : childrenOf(child.get())) {
            ++index;
            // A point carries time, x, y, z; whatever it lacks is 0.
            float slots[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            tagToFloats(element.get(), slots, 4);
            if (element->attributes.size() < 4)
                reportProblem("automation " + name + ": point " + std::to_string(index) + " has " +
                              std::to_string(element->attributes.size()) +
                              " of its 4 values (time, x, y, z); the missing ones are 0");
            PathPoint point;
            point.time = slots[0];
            point.values[0] = slots[1];
            point.values[1] = slots[2];
            point.values[2] = slots[3];
            point.count = 3;
            path->addPoint(point);
        }
    }
}

void loadEventTriggers(const XMLTag* list) {
    logStream << "loading event trigger" << std::endl;
    for (const auto& child : childrenOf(list)) {
        float time = 0.0f;
        bool timeSeen = false;
        Triggerable* target = nullptr;
        const std::string* targetName = nullptr;
        for (const auto& [key, value] : child->attributes) {
            if (key == "eventTime") {
                time = static_cast<float>(std::atof(value.c_str()));
                timeSeen = true;
            } else if (key == "target") {
                target = findActor(value);
                targetName = &value;
            }
        }
        if (!timeSeen) {
            reportProblem("event " + child->name + " has no eventTime; ignored");
            continue;
        }
        if (targetName && !target)
            noteProblem("event '" + child->name + "': target '" + *targetName +
                        "' is not an actor; the event goes to every subscriber");
        addEventTrigger(child->name, time, target);
    }
}

void loadAudio(const XMLTag* list) {
    for (const auto& child : childrenOf(list)) {
        if (child->name != "song") continue;
        const std::string* file = firstAttributeValue(child.get());
        if (!file)
            reportProblem("song element without an attribute names no music file; no music loaded");
        else if (loadMusic(*file) != 0)
            reportProblem("Cannot load music " + *file);
        return;
    }
}

} // namespace

int loadScene(const std::string& fileName, const ActorMaker& makeActor) {
    XMLDocument document;
    if (document.load(fileName) != 0) return -1;
    if (document.root && document.root->name != "base")
        reportProblem(fileName + ": the root element is <" + document.root->name + ">, not <base>");

    // A fixed order, whatever the file's: objects need their meshes and materials, actors their
    // children, automations and events the entities they name.
    struct SceneList {
        const char* name;
        const char* missing;
        std::function<void(const XMLTag*)> load;
    };
    const SceneList lists[] = {
        {"meshes", ": no meshes found", loadMeshes},
        {"materials", ": no materials found", loadMaterials},
        {"objects", ": no objects found", loadObjects},
        {"lights", ": no lights found", loadLights},
        {"actors", ": no actors found", [&](const XMLTag* l) { loadActors(l, makeActor); }},
        {"automations", ": no automations found", loadAutomations},
        {"eventtrigger", ": no event trigger found", loadEventTriggers},
        {"audio", ": no audio info found", loadAudio},
    };
    for (const SceneList& list : lists) {
        if (const XMLTag* element = document.findTag(std::string("base::scene::") + list.name))
            list.load(element);
        else
            reportProblem(fileName + list.missing);
    }
    return 0;
}
