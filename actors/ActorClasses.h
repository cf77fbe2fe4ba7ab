// What a scene can say to each actor class, for people writing scenes (`beatshow --classes`) and
// for the check that reads their scenes: the class's elements besides its parameters, the
// parameters it reads with their meaning and default, the events it answers, what it draws and
// how long its effects take. The factory builds exactly the classes listed here.
#pragma once

#include <string>
#include <vector>

struct ActorClassInfo {
    struct Element {
        std::string name;       // as written in the scene: "child", "line"
        std::string attributes; // how it is written
        std::string meaning;
    };
    struct Parameter {
        std::string name;
        std::string meaning;
        std::string defaultValue;
    };
    struct Event {
        std::string name;
        std::string effect;
    };

    std::string className; // the scene's classname
    std::string summary;
    std::vector<Element> elements;
    std::vector<Parameter>
        parameters;            // the ones the actor reads; every actor accepts Position, Rotation, Scale
    std::vector<Event> events; // every actor also receives play, pause and stop
    std::string draws;
    std::string timings;
};

// Every class the factory builds, in the factory's order.
const std::vector<ActorClassInfo>& actorClassReference();
// Null for a name the factory does not know (names are compared exactly).
const ActorClassInfo* findActorClassInfo(const std::string& className);
// The reference as `beatshow --classes` prints it.
std::string actorClassReferenceText();
