// Builds an actor from the class name a scene file gives ("classname" of an actor element).
// Names are compared whole and case-sensitively against the known classes in a fixed order.
#pragma once

#include <string>
#include <vector>

class Actor;

// A new actor owned by the caller, or null for a class name the factory does not know.
// The actor is not registered anywhere; constructors may subscribe to events or hand a canvas to
// the renderer.
Actor* createActor(const std::string& className, const std::string& actorName);

// Puts back what actors share across the process (the bouncers' common factor) to its value at
// program start: a scene that is reset and replayed must meet what its first load met.
void resetSharedActorState();

// The class names the factory knows, in the order they are tried.
std::vector<std::string> knownActorClasses();
