#include "actors/ActorFactory.h"

#include "actors/EngineCamera.h"

#include <new>

namespace {

using Constructor = Actor* (*)(const std::string& name);

template <class T>
Actor* construct(const std::string& name) {
    return new (std::nothrow) T(name);
}

struct FactoryEntry {
    const char* className;
    Constructor make;
};

// The order in which class names are tried.
const FactoryEntry factoryTable[] = {
    {"Camera", &construct<EngineCamera>},
};

} // namespace

Actor* createActor(const std::string& className, const std::string& actorName) {
    for (const FactoryEntry& entry : factoryTable)
        if (className == entry.className) return entry.make(actorName);
    return nullptr;
}

std::vector<std::string> knownActorClasses() {
    std::vector<std::string> names;
    for (const FactoryEntry& entry : factoryTable)
        names.emplace_back(entry.className);
    return names;
}
