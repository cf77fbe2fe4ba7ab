// Loads one scene file into the engine registry: meshes, materials, placed objects, lights,
// actors, automation bindings with their paths, timed events and the music, in that order.
//
// Progress and problems are lines on the log; a problem inside the file skips the element
// concerned and the rest loads as usual. Every problem is also noted (noteProblem) so that
// `beatshow --check` can tell a clean scene from a broken one, including the few that the show
// itself skips silently (an actor class the factory does not know, an actor's child that names
// no entity, a parameter an actor does not have, an event target that is not an actor).
//
// Loading adds to what the registry holds; nothing is removed or reset first. Entities are kept
// alive until the process ends; the XML tree is released before loadScene returns (nothing
// points into it).
#pragma once

#include <functional>
#include <string>

class Actor;

// Builds an actor from a scene's class name, or returns null for a class it does not know.
using ActorMaker = std::function<Actor*(const std::string& className, const std::string& actorName)>;

// -1 when the file cannot be read (no line of its own), else 0. Actors come from `makeActor`
// (the program hands in the actor factory, createActor; tests may hand in their own).
int loadScene(const std::string& fileName, const ActorMaker& makeActor);
