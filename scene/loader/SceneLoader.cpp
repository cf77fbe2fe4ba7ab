#include "scene/loader/SceneLoader.h"

#include "actors/entity/Entity.h"
#include "engine/EngineRegistry.h"
#include "engine/base/Log.h"
#include "scene/AutomationPath.h"
#include "scene/XMLDocument.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

void reportProblem(const std::string& line) {
    logStream << line << std::endl;
    noteProblem(line);
}

// A comment reads as an element whose name starts with "--"; where it stands it is ignored, and
// rightly so.
bool isComment(const std::string& name) {
    return name.rfind("--", 0) == 0;
}

std::string floatText(float f) {
    return std::isnan(f) ? "nan" : f > 0 ? "inf" : "-inf";
}

// What the show reads without a word but a check should name: values of a vector element that
// read as infinity or not-a-number (the show uses them as they read).
void noteNonFiniteVector(const std::string& owner, const XMLTag* element) {
    for (const auto& [key, value] : element->attributes) {
        if (key != "x" && key != "y" && key != "z") continue;
        const float f = attributeFloat(value);
        if (!std::isfinite(f))
            noteProblem(owner + " <" + element->name + ">: " + key + "=" + value + " reads as " +
                        floatText(f) + "; the show uses it as it reads");
    }
}

void noteUnknownChild(const std::string& owner, const XMLTag* element, const char* known) {
    if (!isComment(element->name))
        noteProblem(owner + ": <" + element->name + "> is none of " + known + "; ignored");
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
        const std::string owner = "object '" + child->name + "'";
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
                continue;
            } else {
                noteUnknownChild(owner, element.get(), "Position, Rotation, Scale, Mesh and Material");
                continue;
            }
            noteNonFiniteVector(owner, element.get());
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
        const std::string owner = "light '" + child->name + "'";
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
            } else {
                noteUnknownChild(owner, element.get(), "Color, Position and Cutoff");
                continue;
            }
            noteNonFiniteVector(owner, element.get());
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
    noteNonFiniteVector("actor '" + actor->name + "'", element);
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
            const std::string where = "automation '" + name + "' point " + std::to_string(index);
            // A key at no finite time has no place among the others, and every curve segment
            // computed with it is not-a-number.
            if (!std::isfinite(slots[0])) {
                noteProblem(where + ": time " + element->attributes.front().second + " reads as " +
                            floatText(slots[0]) + "; the point is dropped");
                continue;
            }
            for (size_t k = 1; k < 4 && k < element->attributes.size(); ++k)
                if (!std::isfinite(slots[k]))
                    noteProblem(where + ": " + element->attributes[k].first + "=" +
                                element->attributes[k].second + " reads as " + floatText(slots[k]) +
                                "; the show uses it as it reads");
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
        const std::string* timeText = nullptr;
        Triggerable* target = nullptr;
        const std::string* targetName = nullptr;
        for (const auto& [key, value] : child->attributes) {
            if (key == "eventTime") {
                time = attributeFloat(value);
                timeText = &value;
            } else if (key == "target") {
                target = findActor(value);
                targetName = &value;
            }
        }
        if (!timeText) {
            reportProblem("event " + child->name + " has no eventTime; ignored");
            continue;
        }
        const std::string event = "event '" + child->name + "'";
        if (std::isnan(time)) {
            // No comparison with the music clock holds for it: left in, it would fire every frame.
            noteProblem(event + ": eventTime " + *timeText + " reads as nan; the event is dropped");
            continue;
        }
        // Events fire once the music has passed their time, and it starts from 0.
        if (!(time > 0.0f))
            noteProblem(event + ": eventTime " + *timeText +
                        " is not after the start of the music; it never fires");
        else if (std::isinf(time))
            noteProblem(event + ": eventTime " + *timeText + " reads as inf; it never fires");
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

// Sections are found by name, so only the first of each counts; a second one is read by nobody.
void noteRepeatedSections(const std::string& fileName, const XMLDocument& document,
                          const std::vector<std::string>& sectionNames) {
    auto ignoredWith = [](const XMLTag* tag) {
        const size_t n = childrenOf(tag).size();
        return "; it is ignored with its " + std::to_string(n) + (n == 1 ? " element" : " elements");
    };
    if (!document.root || document.root->name != "base") return; // reported already
    bool sceneSeen = false;
    for (const auto& scene : childrenOf(document.root.get())) {
        if (scene->name != "scene") continue;
        if (sceneSeen) noteProblem(fileName + ": a second <scene> in <base>" + ignoredWith(scene.get()));
        sceneSeen = true;
    }
    std::vector<std::string> seen;
    for (const auto& section : childrenOf(document.findTag("base::scene"))) {
        if (std::find(sectionNames.begin(), sectionNames.end(), section->name) == sectionNames.end())
            continue;
        if (std::find(seen.begin(), seen.end(), section->name) != seen.end())
            noteProblem(fileName + ": a second <" + section->name + "> section" + ignoredWith(section.get()));
        else
            seen.push_back(section->name);
    }
}

int loadDocument(const XMLDocument& document, const std::string& fileName, const ActorMaker& makeActor) {
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
    std::vector<std::string> sectionNames;
    for (const SceneList& list : lists)
        sectionNames.push_back(list.name);
    noteRepeatedSections(fileName, document, sectionNames);
    return 0;
}

} // namespace

int loadScene(const std::string& fileName, const ActorMaker& makeActor) {
    XMLDocument document;
    if (document.load(fileName) != 0) return -1;
    return loadDocument(document, fileName, makeActor);
}

int loadSceneFromBytes(const std::string& bytes, const std::string& fileName, const ActorMaker& makeActor) {
    XMLDocument document;
    if (document.loadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), fileName) != 0)
        return -1;
    return loadDocument(document, fileName, makeActor);
}
