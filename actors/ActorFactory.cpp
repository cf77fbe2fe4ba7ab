#include "actors/ActorFactory.h"

#include "actors/EngineCamera.h"
#include "actors/LineFX.h"
#include "actors/MapSearch.h"
#include "actors/MusicReactive.h"
#include "actors/SlideShowAndFader.h"
#include "actors/StageScripts.h"
#include "actors/TextActors.h"

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
    {"ObjectPulsator", &construct<ObjectPulsator>},
    {"BassBouncer", &construct<BassBouncer>},
    {"LightFlicker", &construct<LightFlicker>},
    {"Camera", &construct<EngineCamera>},
    {"LineFX", &construct<LineFX>},
    {"Greeter", &construct<Greeter>},
    {"EpicRealtimeHelper", &construct<EpicRealtimeHelper>},
    {"SlideShow", &construct<SlideShow>},
    {"MapSearch", &construct<MapSearch>},
    {"Fader", &construct<Fader>},
    {"CubeFun", &construct<CubeFun>},
    {"Anouncer", &construct<Anouncer>},
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

void resetSharedActorState() {
    BassBouncer::resetSharedBounceFactor();
}
