#include "scene/loader/SceneLoader.h"

#include "actors/entity/Entity.h"
#include "engine/EngineRegistry.h"
#include "engine/base/LoaderJitter.h"
#include "engine/base/Log.h"
#include "scene/AutomationPath.h"
#include "scene/NameSuggestion.h"
#include "scene/ObjectTree.h"
#include "scene/Tempo.h"
#include "scene/XMLDocument.h"
#include "scene/loader/KeyInterpolation.h"
#include "scene/loader/LoaderText.h"
#include "scene/loader/LookLoader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

namespace {

// A line for the show's log and the problem it reports, noted under the current place.
void reportProblem(const std::string& line, const std::string& note) {
    logStream << line << std::endl;
    noteProblem(note);
}

void reportProblem(const std::string& line) {
    reportProblem(line, line);
}

const std::vector<std::string> sectionNames = {"meshes", "materials",   "objects",      "lights",
                                               "actors", "automations", "eventtrigger", "audio",
                                               "tracks", "postchain"};
const std::vector<std::string> objectElements = {"Position", "Rotation", "Scale",
                                                 "Mesh",     "Material", "Parent"};
const std::vector<std::string> lightElements = {"Color", "Position", "Cutoff"};
const std::vector<std::string> vectorAttributes = {"x", "y", "z"};

// Several elements name something by their first attribute, whatever that attribute is called.
const std::string* firstAttributeValue(const XMLTag* tag) {
    return tag->attributes.empty() ? nullptr : &tag->attributes.front().second;
}

// The asset names of one kind that exist as files, for suggesting one: NAME for DIR/NAME.EXT.
std::vector<std::string> assetNamesOnDisk(int kind, const std::string& extension) {
    std::vector<std::string> names;
    const std::string directory = engine().assets.directoryFor(kind);
    if (directory.empty()) return names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(platformPath(directory), error)) {
        const std::filesystem::path& path = entry.path();
        if (path.extension() == "." + extension) names.push_back(path.stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool assetFileExists(const std::string& name, int kind) {
    const std::string path = engine().assets.pathFor(name, kind);
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

class Loader {
public:
    Loader(const std::string& fileName, const XMLDocument& document, const ActorMaker& makeActor,
           const SceneVocabulary& vocabulary)
        : fileName_(fileName), document_(document), makeActor_(makeActor), vocabulary_(vocabulary) {}

    void load() {
        const XMLTag* root = document_.root.get();
        if (root && root->name != "base") {
            ProblemPlace place(fileName_, root->line);
            reportProblem(fileName_ + ": the root element is <" + root->name + ">, not <base>",
                          "the root element is <" + root->name + ">, not <base>" +
                              didYouMean(root->name, {"base"}, "<", ">"));
        }
        noteUnreadStructure();
        loadTempo();

        // A fixed order, whatever the file's: objects need their meshes and materials, actors their
        // children, automations and events the entities they name.
        struct SceneList {
            const char* name;
            const char* missing;
            void (Loader::*load)(const XMLTag*);
        };
        const SceneList lists[] = {
            {"meshes", ": no meshes found", &Loader::loadMeshes},
            {"materials", ": no materials found", &Loader::loadMaterials},
            {"objects", ": no objects found", &Loader::loadObjects},
            {"lights", ": no lights found", &Loader::loadLights},
            {"actors", ": no actors found", &Loader::loadActors},
            {"automations", ": no automations found", &Loader::loadAutomations},
            {"eventtrigger", ": no event trigger found", &Loader::loadEventTriggers},
            {"audio", ": no audio info found", &Loader::loadAudio},
        };
        for (const SceneList& list : lists) {
            loaderJitter();
            if (const XMLTag* element = document_.findTag(std::string("base::scene::") + list.name)) {
                (this->*list.load)(element);
            } else {
                ProblemPlace place(fileName_, sceneLine());
                reportProblem(fileName_ + list.missing, missingSectionText(list.name));
            }
        }
        // The scene's own look: free tracks, its materials' shaders, its post chain.
        loadSceneLook(document_, fileName_);
        noteUnscaledObjects();
        noteRepeatedSections();
        noteAlteredTags();
    }

private:
    size_t sceneLine() const {
        if (const XMLTag* scene = document_.findTag("base::scene")) return scene->line;
        return document_.root ? document_.root->line : 0;
    }

    // Where a section went when it is not where the loader looks: most often a comment without
    // its "/-->" took it in, or a missing end tag put it one level too deep.
    std::string missingSectionText(const std::string& section) const {
        std::string text = "no <" + section + "> section in <base><scene>";
        const XMLTag* scene = document_.findTag("base::scene");
        std::vector<std::pair<const XMLTag*, const XMLTag*>> pending; // (tag, parent)
        if (document_.root) pending.emplace_back(document_.root.get(), nullptr);
        while (!pending.empty()) {
            auto [tag, parent] = pending.back();
            pending.pop_back();
            if (tag->name == section && parent != scene) {
                text += "; the <" + section + "> on line " + std::to_string(tag->line) + " is read inside ";
                if (!parent)
                    text += "nothing (it is the root)";
                else if (isComment(parent->name))
                    text += "the comment on line " + std::to_string(parent->line);
                else
                    text += "<" + parent->name + "> (line " + std::to_string(parent->line) + ")";
                return text;
            }
            const auto& children = childrenOf(tag);
            for (auto it = children.rbegin(); it != children.rend(); ++it)
                pending.emplace_back(it->get(), tag);
        }
        return text + (section == "audio" ? ": the show has no music of its own" : ": the scene has none");
    }

    // <base> holds <scene>, <scene> holds the sections; nothing else there is read.
    void noteUnreadStructure() {
        const XMLTag* root = document_.root.get();
        if (!root || root->name != "base") return;
        for (const auto& child : childrenOf(root)) {
            if (child->name == "scene" || isComment(child->name)) continue;
            ProblemPlace place(fileName_, child->line);
            noteProblem("<" + child->name + "> in <base> is not read (<base> holds <scene>)" +
                        didYouMean(child->name, {"scene"}, "<", ">"));
        }
        for (const auto& child : childrenOf(document_.findTag("base::scene"))) {
            const std::string& name = child->name;
            if (isComment(name) ||
                std::find(sectionNames.begin(), sectionNames.end(), name) != sectionNames.end())
                continue;
            ProblemPlace place(fileName_, child->line);
            noteProblem("<" + name + "> is not a section of the scene and is not read" +
                        didYouMean(name, sectionNames, "<", ">") + " (the sections are " +
                        listText(sectionNames) + ")");
        }
    }

    // A comment inside a section is read as one of its entries, named "--...".
    void noteCommentEntry(const XMLTag* comment, const std::string& section, const std::string& entry) {
        noteProblem("a comment inside <" + section + "> is read as " + entry + " named '" + comment->name +
                    "'; put comments between the sections");
    }

    // Attributes of a vector element other than x, y and z, and values that are no numbers.
    void checkVector(const std::string& owner, const XMLTag* element) {
        for (const auto& [key, value] : element->attributes) {
            if (key != "x" && key != "y" && key != "z") {
                noteProblem(owner + " <" + element->name + ">: attribute '" + key +
                            "' is not read (it takes x, y and z)" + didYouMean(key, vectorAttributes));
                continue;
            }
            const float f = attributeFloat(value);
            if (!std::isfinite(f))
                noteProblem(owner + " <" + element->name + ">: " + key + "=" + value + " reads as " +
                            floatText(f) + "; the show uses it as it reads");
        }
    }

    void noteUnknownChild(const std::string& owner, const XMLTag* element,
                          const std::vector<std::string>& known) {
        if (isComment(element->name)) return;
        noteProblem(owner + ": <" + element->name + "> is none of " + listText(known) + "; ignored" +
                    didYouMean(element->name, known, "<", ">"));
    }

    void noteExtraAttributes(const std::string& owner, const XMLTag* element) {
        if (element->attributes.size() > 1)
            noteProblem(owner + " <" + element->name + ">: only its first attribute is read; " +
                        element->attributes[1].first + "=" + element->attributes[1].second + " is not");
    }

    // ---- meshes and materials ----

    struct ListedAsset {
        size_t line;
        bool loaded;
    };

    // The list entry's file, checked before the registry reads it so that the check can say which
    // file is missing; problems of a file that exists are gathered into one line.
    bool loadAsset(const XMLTag* child, int kind, const char* extension, const char* what,
                   const std::function<bool(const std::string&)>& load) {
        const std::string& name = child->name;
        const std::string path = engine().assets.pathFor(name, kind);
        if (!path.empty() && !assetFileExists(name, kind)) {
            {
                ProblemsMuted muted; // the registry's "cannot be read" says less
                load(name);
            }
            const std::vector<std::string> onDisk = assetNamesOnDisk(kind, extension);
            const std::string nearest = nearestName(name, onDisk);
            noteProblem(std::string(what) + " '" + name + "': its file " + path + " does not exist" +
                        (nearest.empty() ? std::string()
                                         : "; did you mean '" + nearest + "' (" +
                                               engine().assets.pathFor(nearest, kind) + ")?"));
            return false;
        }
        ProblemsMuted muted;
        const bool loaded = load(name);
        if (loaded) {
            for (const std::string& text : muted.swallowed())
                noteProblemLater(text); // it loads, with a flaw worth knowing
        } else {
            // The first note says why; the registry's own adds only that it failed.
            const std::vector<std::string>& reasons = muted.swallowed();
            noteProblemLater(std::string(what) + " '" + name + "': " + path + " cannot be used" +
                             (reasons.empty() ? std::string() : ": " + reasons.front()));
        }
        return loaded;
    }

    // Notes made while a ProblemsMuted is alive would be swallowed by it: they wait for it to end.
    void noteProblemLater(const std::string& text) { later_.push_back(text); }
    void flushLater() {
        for (const std::string& text : later_)
            noteProblem(text);
        later_.clear();
    }

    void loadMeshes(const XMLTag* list) {
        for (const auto& child : childrenOf(list)) {
            ProblemPlace place(fileName_, child->line);
            if (isComment(child->name)) {
                noteCommentEntry(child.get(), "meshes", "a mesh");
                ProblemsMuted muted;
                loadMesh(child->name);
                continue;
            }
            const bool loaded = loadAsset(child.get(), AssetKindMesh, "obj", "mesh",
                                          [](const std::string& name) { return loadMesh(name) != nullptr; });
            flushLater();
            meshes_.emplace(child->name, ListedAsset{child->line, loaded});
        }
    }

    void loadMaterials(const XMLTag* list) {
        for (const auto& child : childrenOf(list)) {
            ProblemPlace place(fileName_, child->line);
            if (isComment(child->name)) {
                noteCommentEntry(child.get(), "materials", "a material");
                ProblemsMuted muted;
                loadMaterial(child->name);
                continue;
            }
            const bool loaded =
                loadAsset(child.get(), AssetKindBitmap, "bmp", "material",
                          [](const std::string& name) { return loadMaterial(name) != nullptr; });
            flushLater();
            materials_.emplace(child->name, ListedAsset{child->line, loaded});
        }
    }

    // Why an object's mesh or material is not there: no name, a name the list lacks, or a list
    // entry whose file did not load.
    std::string missingAssetText(const std::string& object, const char* what, const char* section,
                                 const std::string& name, const std::map<std::string, ListedAsset>& listed,
                                 int kind, const char* element) const {
        const std::string owner = "object '" + object + "' is not placed: ";
        if (name.empty())
            return owner + "it names no " + what + " (<" + element + " " + element + "Name=\"NAME\" />)";
        auto entry = listed.find(name);
        if (entry != listed.end())
            return owner + "its " + what + " '" + name + "' is listed in <" + section + "> on line " +
                   std::to_string(entry->second.line) + " but did not load (see there)";
        std::vector<std::string> names;
        for (const auto& [listedName, asset] : listed)
            names.push_back(listedName);
        std::string text = owner + "its " + what + " '" + name + "' is not in <" + section + ">";
        const std::string nearest = nearestName(name, names);
        if (!nearest.empty())
            text += "; did you mean '" + nearest + "'?";
        else if (assetFileExists(name, kind))
            text += "; its file " + engine().assets.pathFor(name, kind) + " exists: add <" + name +
                    " /> to <" + section + ">";
        return text;
    }

    // ---- objects ----

    // An object as its element says, before it is placed: placing waits until every object of the
    // list is known, since a parent may come after its children.
    struct ReadObject {
        entity_base* object = nullptr;
        const XMLTag* element = nullptr;
        std::string meshName;
        std::string materialName;
        // Names neither a mesh nor a material, and objects name it as their parent: a group.
        bool group = false;
        bool parentNamed = false; // it has a <Parent>
        std::string parentName;
        size_t parentLine = 0;
        bool hasChildren = false; // objects are placed relative to it
    };

    void loadObjects(const XMLTag* list) {
        const std::set<std::string> parents = parentNames(list);
        std::vector<ReadObject> read;
        for (const auto& child : childrenOf(list)) {
            ProblemPlace place(fileName_, child->line);
            entity_base* object = keepAlive(std::make_unique<entity_base>(child->name));
            if (isComment(child->name)) noteCommentEntry(child.get(), "objects", "an object");
            const std::string owner = "object '" + child->name + "'";
            if (!child->attributes.empty() && !isComment(child->name))
                noteProblem(owner + ": attributes of an object are not read (" +
                            child->attributes.front().first + "=" + child->attributes.front().second +
                            "); it takes the elements " + listText(objectElements));
            // An element without an attribute names nothing: the empty name is then reported by the
            // registry as a mesh or material it cannot find.
            ReadObject entry;
            entry.object = object;
            entry.element = child.get();
            bool scaled = false;
            bool namesAsset = false;
            for (const auto& element : childrenOf(child.get())) {
                ProblemPlace elementPlace(fileName_, element->line);
                const std::string& name = element->name;
                if (name == "Position") {
                    object->Position = tagToVector(element.get());
                } else if (name == "Rotation") {
                    object->Rotation = tagToVector(element.get());
                } else if (name == "Scale") {
                    object->Scale = tagToVector(element.get());
                    scaled = true;
                } else if (name == "Mesh" || name == "Material") {
                    const std::string* value = firstAttributeValue(element.get());
                    (name == "Mesh" ? entry.meshName : entry.materialName) = value ? *value : std::string();
                    namesAsset = true;
                    noteExtraAttributes(owner, element.get());
                    continue;
                } else if (name == "Parent") {
                    readParentElement(entry, owner, element.get());
                    continue;
                } else {
                    noteUnknownChild(owner, element.get(), objectElements);
                    continue;
                }
                checkVector(owner, element.get());
            }
            const bool comment = isComment(child->name);
            if (!comment) objects_.push_back(child->name);
            entry.group = !comment && !namesAsset && parents.count(child->name) != 0;
            // A group is a transform for its parts: without a <Scale> it keeps them at their size.
            if (entry.group && !scaled) object->Scale = Vector{1.0f, 1.0f, 1.0f};
            const bool hasMesh = findMesh(entry.meshName) != nullptr;
            const bool hasMaterial = findMaterial(entry.materialName) != nullptr;
            if (!comment && !entry.group) {
                if (!hasMesh)
                    noteProblem(missingAssetText(child->name, "mesh", "meshes", entry.meshName, meshes_,
                                                 AssetKindMesh, "Mesh"));
                if (!hasMaterial)
                    noteProblem(missingAssetText(child->name, "material", "materials", entry.materialName,
                                                 materials_, AssetKindBitmap, "Material"));
                if (hasMesh && hasMaterial && !scaled) unscaled_.push_back({object, child->line});
            }
            // An object that cannot be placed is reported by the registry and is not part of the
            // scene; the check has said why in its own words above.
            if (!entry.group && (!hasMesh || !hasMaterial)) skipped_[child->name] = child->line;
            read.push_back(std::move(entry));
        }
        linkParents(read);
        for (ReadObject& entry : read)
            placeObject(entry);
    }

    // The names that <Parent> elements of the list give, to know the groups before reading them.
    static std::set<std::string> parentNames(const XMLTag* list) {
        std::set<std::string> names;
        for (const auto& child : childrenOf(list)) {
            if (isComment(child->name)) continue;
            for (const auto& element : childrenOf(child.get()))
                if (element->name == "Parent")
                    if (const std::string* value = firstAttributeValue(element.get())) names.insert(*value);
        }
        return names;
    }

    void readParentElement(ReadObject& entry, const std::string& owner, const XMLTag* element) {
        const std::string* value = firstAttributeValue(element);
        entry.parentNamed = true;
        entry.parentName = value ? *value : std::string();
        entry.parentLine = element->line;
        noteExtraAttributes(owner, element);
    }

    // Sets each object's parent as the tree of the list allows; what it does not allow is one line
    // for the show's log, and the object stays at the root.
    void linkParents(std::vector<ReadObject>& read) {
        std::vector<ObjectParentName> names;
        std::vector<size_t> readIndex; // the comments take no part
        for (size_t i = 0; i < read.size(); ++i) {
            const ReadObject& entry = read[i];
            if (isComment(entry.object->name)) continue;
            if (entry.parentNamed && entry.parentName.empty()) {
                ProblemPlace place(fileName_, entry.parentLine);
                reportProblem(
                    "object " + entry.object->name +
                        ": a Parent element without an attribute names no object; it stays at the root",
                    "object '" + entry.object->name +
                        "': <Parent> names no object (<Parent name=\"OBJECT\" />); it stays at the root");
            }
            names.push_back({entry.object->name, entry.parentName});
            readIndex.push_back(i);
        }
        std::vector<ObjectTreeProblem> problems;
        const std::vector<size_t> parents = resolveObjectParents(names, problems);
        for (const ObjectTreeProblem& problem : problems) {
            const ReadObject& entry = read[readIndex[problem.object]];
            const std::string& name = entry.object->name;
            ProblemPlace place(fileName_, entry.parentLine);
            std::string why;
            std::string hint;
            switch (problem.kind) {
            case ObjectTreeProblem::Missing:
                why = "its parent '" + entry.parentName + "' is no object of the scene";
                if (const char* kind = otherEntityKind(entry.parentName))
                    hint = " ('" + entry.parentName + "' is " + kind + "; only an object can be a parent)";
                else
                    hint = didYouMean(entry.parentName, objects_);
                break;
            case ObjectTreeProblem::Cycle: {
                std::string chain;
                for (size_t member : problem.chain)
                    chain += names[member].name + " > ";
                why = "its parents go round in a cycle (" + chain + name + ")";
                break;
            }
            case ObjectTreeProblem::TooDeep:
                why = "it would have more than " + std::to_string(MaxGroupDepth) + " parents above it";
                break;
            }
            reportProblem("object " + name + ": " + why + "; it stays at the root",
                          "object '" + name + "': " + why + "; it stays at the root" + hint);
        }
        for (size_t k = 0; k < parents.size(); ++k) {
            if (parents[k] == NoParent) continue;
            ReadObject& parent = read[readIndex[parents[k]]];
            read[readIndex[k]].object->parent = parent.object;
            parent.hasChildren = true;
        }
    }

    // "a light" or "an actor" when the scene has one of that name, else null.
    const char* otherEntityKind(const std::string& name) const {
        for (const auto& [section, kind] : {std::pair{"lights", "a light"}, std::pair{"actors", "an actor"}})
            for (const auto& child : childrenOf(document_.findTag(std::string("base::scene::") + section)))
                if (child->name == name) return kind;
        return nullptr;
    }

    // A group is registered without a mesh; so is a parent whose mesh or material is missing,
    // which is not drawn but still carries its children where the scene puts them.
    void placeObject(const ReadObject& entry) {
        ProblemPlace place(fileName_, entry.element->line);
        if (entry.group) {
            addGroupObject(entry.object);
            return;
        }
        ProblemsMuted muted;
        if (attachMeshAndMaterial(entry.object, entry.meshName, entry.materialName) != 0 && entry.hasChildren)
            addGroupObject(entry.object);
    }

    // After the automations: only an object that nothing scales stays invisible.
    void noteUnscaledObjects() {
        for (const auto& [object, line] : unscaled_) {
            if (findAutomation(object, "Scale")) continue;
            ProblemPlace place(fileName_, line);
            noteProblem("object '" + object->name +
                        "' has no <Scale>, so it is drawn with zero size and never seen; add <Scale x=\"1\" "
                        "y=\"1\" z=\"1\" /> (1 is the mesh's own size)");
        }
    }

    // ---- lights ----

    void logVector(const Vector& v) { logStream << "{ " << v.x << " , " << v.y << " , " << v.z << " }"; }

    void loadLights(const XMLTag* list) {
        for (const auto& child : childrenOf(list)) {
            ProblemPlace place(fileName_, child->line);
            Light* light = keepAlive(std::make_unique<Light>(child->name));
            if (isComment(child->name)) noteCommentEntry(child.get(), "lights", "a light");
            bool colourSeen = false;
            bool positionSeen = false;
            bool cutoffSeen = false;
            const std::string owner = "light '" + child->name + "'";
            for (const auto& element : childrenOf(child.get())) {
                ProblemPlace elementPlace(fileName_, element->line);
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
                    noteUnknownChild(owner, element.get(), lightElements);
                    continue;
                }
                checkVector(owner, element.get());
            }
            if (!colourSeen) light->Color = Vector{0.5f, 0.5f, 0.5f};
            if (!positionSeen) light->Position = Vector{};
            if (!cutoffSeen) light->Cutoff.x = 2.0f;
            addLight(light);
            if (!isComment(child->name)) lights_.push_back(child->name);
        }
    }

    // ---- actors ----

    std::vector<std::string> parameterNames(const entity_base* entity) const {
        std::vector<std::string> names;
        for (const auto& [name, parameter] : entity->parameters())
            names.push_back(name);
        return names;
    }

    void configureActor(Actor* actor, const XMLTag* element) {
        const std::string owner = "actor '" + actor->name + "'";
        if (element->name == "child") {
            const std::string* value = firstAttributeValue(element);
            if (!value) {
                reportProblem("actor " + actor->name +
                              ": a child element without an attribute names no entity; ignored");
                return;
            }
            noteExtraAttributes(owner, element);
            if (entity_base* object = findObject(*value)) {
                actor->AddEntity(object);
            } else if (Light* light = findLight(*value)) {
                logStream << "Adding Light: " << light->name << " to Actor: " << actor->name << std::endl;
                actor->AddEntity(light);
            } else {
                std::vector<std::string> entities = objects_;
                entities.insert(entities.end(), lights_.begin(), lights_.end());
                noteProblem(owner + ": child '" + *value + "' is neither a placed object nor a light" +
                            didYouMean(*value, entities));
            }
            return;
        }
        if (isComment(element->name)) return;
        EntityParameter* parameter = actor->getParameter(element->name);
        if (parameter && parameter->value) {
            *parameter->value = tagToVector(element);
            checkVector(owner, element);
            return;
        }
        ActorElement offered{element->name, {}};
        WrittenTag written;
        if (writtenStartTag(document_, element, written)) {
            for (const WrittenAttribute& attribute : written.attributes)
                offered.attributes.emplace_back(attribute.name, attribute.value);
        } else {
            offered.attributes = element->attributes;
        }
        std::string why;
        switch (actor->TakeElement(offered, why)) {
        case Actor::ElementResult::Taken:
            readAsWritten_.insert(element); // its quoted words may hold spaces
            return;
        case Actor::ElementResult::Refused:
            readAsWritten_.insert(element);
            noteProblem(owner + " (" + actor->GetClassName() + "): " + why + "; ignored");
            return;
        case Actor::ElementResult::NotMine:
            break;
        }
        std::vector<std::string> known = parameterNames(actor);
        known.push_back("child");
        if (vocabulary_.actorElements) {
            const std::vector<std::string> more = vocabulary_.actorElements(actor->GetClassName());
            known.insert(known.end(), more.begin(), more.end());
        }
        noteProblem(owner + " (" + actor->GetClassName() + ") has no parameter '" + element->name + "'" +
                    didYouMean(element->name, known, "<", ">"));
    }

    void loadActors(const XMLTag* list) {
        logStream << "loading actors" << std::endl;
        for (const auto& child : childrenOf(list)) {
            ProblemPlace place(fileName_, child->line);
            const auto& attributes = child->attributes;
            if (attributes.empty() || attributes.front().first != "classname" ||
                attributes.front().second.empty()) {
                if (isComment(child->name)) {
                    noteCommentEntry(child.get(), "actors", "an actor");
                    continue;
                }
                std::string text =
                    "actor '" + child->name + "': its first attribute is not a classname; skipped";
                std::vector<std::string> names;
                for (const auto& attribute : attributes)
                    names.push_back(attribute.first);
                if (std::find(names.begin(), names.end(), "classname") != names.end())
                    text += " (classname must come first)";
                else if (!names.empty() && !child->altered) // the reader's cut says more
                    text += didYouMean(names.front(), {"classname"});
                noteProblem(text);
                skip(child.get());
                continue;
            }
            const std::string& className = attributes.front().second;
            Actor* made = makeActor_ ? makeActor_(className, child->name) : nullptr;
            if (!made) {
                noteProblem("actor '" + child->name + "': unknown class '" + className + "'; skipped" +
                            didYouMean(className, vocabulary_.actorClasses) +
                            (vocabulary_.actorClasses.empty() ? "" : " (beatshow --classes lists them)"));
                skip(child.get());
                continue;
            }
            for (size_t i = 1; i < attributes.size(); ++i)
                noteProblem("actor '" + child->name + "': attribute '" + attributes[i].first +
                            "' is not read; an actor is set up by the elements inside it");
            Actor* actor = keepAlive(std::unique_ptr<Actor>(made));
            for (const auto& element : childrenOf(child.get())) {
                ProblemPlace elementPlace(fileName_, element->line);
                configureActor(actor, element.get());
            }
            addActor(actor);
            actors_.push_back(child->name);
        }
    }

    // ---- automations ----

    entity_base* findAutomatedEntity(const std::string& name) {
        if (entity_base* object = findObject(name)) return object;
        logStream << "entity was not found in object list" << std::endl;
        if (Actor* actor = findActor(name)) return actor;
        logStream << "entity was not found in actor list" << std::endl;
        if (Light* light = findLight(name)) return light;
        logStream << "entity was not found in light list" << std::endl;
        std::vector<std::string> entities = objects_;
        entities.insert(entities.end(), actors_.begin(), actors_.end());
        entities.insert(entities.end(), lights_.begin(), lights_.end());
        const std::string skipped = notPlacedText(name);
        noteProblem("automation of '" + name + "': no object, actor or light has that name" +
                    (skipped.empty() ? didYouMean(name, entities) : skipped));
        return nullptr;
    }

    void loadAutomations(const XMLTag* list) {
        logStream << "loading automations" << std::endl;
        for (const auto& child : childrenOf(list)) {
            ProblemPlace place(fileName_, child->line);
            const std::string& name = child->name;
            logStream << "automation " << name << std::endl;
            const size_t split = name.find("::");
            if (split == std::string::npos) {
                logStream << "parsing error" << std::endl;
                if (isComment(name)) {
                    noteCommentEntry(child.get(), "automations", "an automation");
                    continue;
                }
                std::string text = "automation '" + name + "': the name is not <entity>::<parameter>";
                const size_t colon = name.find(':');
                if (colon != std::string::npos)
                    text += "; did you mean '" + name.substr(0, colon) + "::" + name.substr(colon + 1) + "'?";
                noteProblem(text);
                continue;
            }
            const std::string entityName = name.substr(0, split);
            const std::string parameterName = name.substr(split + 2);
            logStream << "automated param: " << parameterName << " of entity " << entityName << std::endl;

            entity_base* entity = findAutomatedEntity(entityName);
            if (!entity) continue;
            if (!entity->getParameter(parameterName)) {
                logStream << "param " << parameterName << " not found" << std::endl;
                noteProblem("automation '" + name + "': " + entityName + " has no parameter '" +
                            parameterName + "'" + didYouMean(parameterName, parameterNames(entity)));
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
                ProblemPlace pointPlace(fileName_, element->line);
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
                const Interpolation interpolation =
                    readKeyInterpolation(element.get(), 4, "4 values (time, x, y, z)", where);
                PathPoint point;
                point.time = slots[0];
                point.values[0] = slots[1];
                point.values[1] = slots[2];
                point.values[2] = slots[3];
                point.count = 3;
                point.spare = static_cast<int32_t>(interpolation);
                path->addPoint(point);
            }
        }
    }

    // ---- timed events ----

    // An event nobody answers happens without anyone noticing; "exit" is the engine's own.
    void checkAnswered(const std::string& event, Triggerable* target, const std::string& targetName) {
        if (event == "exit" || isComment(event)) return;
        EventDispatcher& dispatcher = eventDispatcher();
        if (target) {
            const std::vector<Triggerable*> listeners = dispatcher.subscribers(event);
            if (std::find(listeners.begin(), listeners.end(), target) != listeners.end()) return;
            std::vector<std::string> answered = dispatcher.names(target);
            Actor* actor = dynamic_cast<Actor*>(target);
            const std::string className = actor ? actor->GetClassName() : std::string();
            noteProblem("event '" + event + "': actor '" + targetName + "' (" + className +
                        ") does not answer it" + didYouMean(event, answered) + " (it answers " +
                        listText(answered) + ")");
            return;
        }
        auto known = answered_.find(event);
        if (known == answered_.end())
            known = answered_.emplace(event, !dispatcher.subscribers(event).empty()).first;
        if (known->second) return;
        std::vector<std::string> names = dispatcher.names();
        names.push_back("exit");
        std::vector<std::string> classes; // that would answer it, had the scene one
        for (const auto& [className, events] : vocabulary_.classEvents) {
            names.insert(names.end(), events.begin(), events.end());
            if (std::find(events.begin(), events.end(), event) != events.end()) classes.push_back(className);
        }
        std::string text = "event '" + event + "': no actor answers it";
        if (!classes.empty())
            text += "; the scene has no actor of a class that does (" + listText(classes) + ")";
        else
            text += didYouMean(event, names);
        noteProblem(text);
    }

    void loadEventTriggers(const XMLTag* list) {
        logStream << "loading event trigger" << std::endl;
        for (const auto& child : childrenOf(list)) {
            ProblemPlace place(fileName_, child->line);
            float time = 0.0f;
            const std::string* timeText = nullptr;
            Triggerable* target = nullptr;
            const std::string* targetName = nullptr;
            std::vector<std::string> unknown;
            for (const auto& [key, value] : child->attributes) {
                if (key == "eventTime") {
                    time = attributeFloat(value);
                    timeText = &value;
                } else if (key == "target") {
                    target = findActor(value);
                    targetName = &value;
                } else {
                    unknown.push_back(key);
                }
            }
            const bool comment = isComment(child->name);
            if (comment) noteCommentEntry(child.get(), "eventtrigger", "an event");
            bool timeMisspelt = false;
            for (const std::string& key : unknown) {
                if (comment) continue;
                const std::string nearest = nearestName(key, {"eventTime", "target"});
                timeMisspelt = timeMisspelt || (nearest == "eventTime" && !timeText);
                noteProblem(
                    "event '" + child->name + "': attribute '" + key +
                    "' is not read (it takes eventTime and target)" +
                    (nearest.empty() ? std::string() : "; did you mean '" + nearest + "'?") +
                    (nearest == "eventTime" && !timeText ? " Without eventTime the event is ignored" : ""));
            }
            if (!timeText) {
                const std::string line = "event " + child->name + " has no eventTime; ignored";
                logStream << line << std::endl;
                if (!comment && !timeMisspelt) noteProblem(line);
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
            if (targetName && !target) {
                const std::string skipped = notPlacedText(*targetName);
                noteProblem("event '" + child->name + "': target '" + *targetName +
                            "' is not an actor; the event goes to every subscriber" +
                            (skipped.empty() ? didYouMean(*targetName, actors_) : skipped));
            }
            checkAnswered(child->name, target, targetName ? *targetName : std::string());
            addEventTrigger(child->name, time, target);
        }
    }

    // ---- music ----

    // Every load says the show's tempo: a scene without <tempo> counts at the default one.
    void loadTempo() {
        const XMLTag* element = tempoElement(document_);
        std::vector<std::string> problems;
        const Tempo tempo = tempoFromElement(element, &problems);
        if (element) {
            ProblemPlace place(fileName_, element->line);
            for (const std::string& problem : problems)
                noteProblem(problem);
        }
        setShowTempo(tempo);
    }

    void loadAudio(const XMLTag* list) {
        bool loaded = false;
        bool tempoSeen = false;
        for (const auto& child : childrenOf(list)) {
            ProblemPlace place(fileName_, child->line);
            if (child->name == "tempo") {
                if (tempoSeen) noteProblem("only the first <tempo> counts; this one is not read");
                tempoSeen = true;
                continue;
            }
            if (child->name != "song") {
                if (!isComment(child->name))
                    noteProblem("<" + child->name +
                                "> in <audio> is not read (it takes <song file=\"NAME.ogg\" /> and <tempo "
                                "bpm=\"BPM\" />)" +
                                didYouMean(child->name, {"song", "tempo"}, "<", ">"));
                continue;
            }
            if (loaded) {
                noteProblem("only the first <song> is played; this one is not");
                continue;
            }
            loaded = true;
            const std::string* file = firstAttributeValue(child.get());
            if (!file) {
                reportProblem("song element without an attribute names no music file; no music loaded");
                continue;
            }
            noteExtraAttributes("song", child.get());
            std::vector<std::string> reasons;
            int result = 0;
            {
                // A backend that can say why (the check's) notes it; the show's gives a code.
                ProblemsMuted muted;
                result = loadMusic(*file);
                reasons = muted.swallowed();
            }
            if (result != 0) {
                const std::string path = platformPath(engine().assets.directoryFor(AssetKindMusic) + *file);
                std::error_code error;
                std::string why;
                if (!std::filesystem::exists(path, error)) {
                    std::vector<std::string> songs = assetNamesOnDisk(AssetKindMusic, "ogg");
                    for (std::string& song : songs)
                        song += ".ogg";
                    why = path + " does not exist" + didYouMean(*file, songs);
                } else {
                    why = path + " cannot be played (" +
                          (reasons.empty() ? "error " + engine().music.errorText() : reasons.front()) + ")";
                }
                reportProblem("Cannot load music " + *file, "the show has no music: the song " + why);
            }
        }
    }

    // Sections are found by name, so only the first of each counts; a second one is read by nobody.
    void noteRepeatedSections() {
        auto ignoredWith = [](const XMLTag* tag) {
            const size_t n = childrenOf(tag).size();
            return "; it is ignored with its " + std::to_string(n) + (n == 1 ? " element" : " elements");
        };
        if (!document_.root || document_.root->name != "base") return; // reported already
        bool sceneSeen = false;
        for (const auto& scene : childrenOf(document_.root.get())) {
            if (scene->name != "scene") continue;
            ProblemPlace place(fileName_, scene->line);
            if (sceneSeen) noteProblem("a second <scene> in <base>" + ignoredWith(scene.get()));
            sceneSeen = true;
        }
        std::vector<std::string> seen;
        for (const auto& section : childrenOf(document_.findTag("base::scene"))) {
            if (std::find(sectionNames.begin(), sectionNames.end(), section->name) == sectionNames.end())
                continue;
            ProblemPlace place(fileName_, section->line);
            if (std::find(seen.begin(), seen.end(), section->name) != seen.end())
                noteProblem("a second <" + section->name + "> section" + ignoredWith(section.get()));
            else
                seen.push_back(section->name);
        }
    }

    // Tags whose words the reader cut short or ran together, except those whose elements read
    // them as written (a text actor's line).
    void noteAlteredTags() {
        std::vector<const XMLTag*> pending;
        if (document_.root) pending.push_back(document_.root.get());
        while (!pending.empty()) {
            const XMLTag* tag = pending.back();
            pending.pop_back();
            if (isComment(tag->name)) continue;
            if (tag->altered && !readAsWritten_.count(tag)) {
                ProblemPlace place(fileName_, tag->line);
                noteProblem(
                    writtenTagText(document_, tag) + " is read as " + readTagText(tag) +
                    ": names and values may hold only letters, digits and _ . - : and a space ends a value");
            }
            const auto& children = childrenOf(tag);
            for (auto it = children.rbegin(); it != children.rend(); ++it)
                pending.push_back(it->get());
        }
    }

    // An element the loader passes over with its content: what is inside it is never read, so
    // nothing in there is worth a word of its own.
    void skip(const XMLTag* tag) {
        skipped_[tag->name] = tag->line;
        std::vector<const XMLTag*> pending{tag};
        while (!pending.empty()) {
            const XMLTag* next = pending.back();
            pending.pop_back();
            readAsWritten_.insert(next);
            for (const auto& child : childrenOf(next))
                pending.push_back(child.get());
        }
    }

    // " (object 'x' on line 12 is not placed)" for a name the scene defines but the loader could
    // not place, or "".
    std::string notPlacedText(const std::string& name) const {
        auto it = skipped_.find(name);
        return it == skipped_.end()
                   ? std::string()
                   : "; '" + name + "' on line " + std::to_string(it->second) + " was skipped (see there)";
    }

    const std::string& fileName_;
    const XMLDocument& document_;
    const ActorMaker& makeActor_;
    const SceneVocabulary& vocabulary_;
    std::map<std::string, ListedAsset> meshes_;
    std::map<std::string, ListedAsset> materials_;
    std::vector<std::string> objects_;
    std::vector<std::string> lights_;
    std::vector<std::string> actors_;
    std::vector<std::pair<entity_base*, size_t>> unscaled_;
    std::set<const XMLTag*> readAsWritten_;
    std::map<std::string, bool> answered_;
    std::map<std::string, size_t> skipped_; // objects not placed, actors not built: name, line
    std::vector<std::string> later_;
};

} // namespace

int loadScene(const std::string& fileName, const ActorMaker& makeActor, const SceneVocabulary& vocabulary) {
    XMLDocument document;
    if (document.load(fileName) != 0) return -1;
    Loader(fileName, document, makeActor, vocabulary).load();
    return 0;
}

int loadSceneFromBytes(const std::string& bytes, const std::string& fileName, const ActorMaker& makeActor,
                       const SceneVocabulary& vocabulary) {
    XMLDocument document;
    if (document.loadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), fileName) != 0)
        return -1;
    Loader(fileName, document, makeActor, vocabulary).load();
    return 0;
}
