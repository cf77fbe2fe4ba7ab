// Loads one scene file into the engine registry: meshes, materials, placed objects, lights,
// actors, automation bindings with their paths, timed events and the music, in that order.
//
// Progress and problems are lines on the log; a problem inside the file skips the element
// concerned and the rest loads as usual. Every problem is also noted (noteProblem) so that
// `beatshow --check` can tell a clean scene from a broken one, including those that the show
// itself passes over silently: an actor class the factory does not know, an actor's child that
// names no entity, a parameter an actor does not have, an event target that is not an actor, a
// child of an object or a light that is none of its elements, a value that reads as infinity or
// not-a-number, a second section of a name (only the first is read), and an event at a time at or
// before 0, which never fires.
//
// Two things the show would get wrong are dropped instead, with a note: an automation key whose
// time is not finite (it would turn the whole curve to not-a-number) and an event whose time is
// not-a-number (it would fire in every frame).
//
// Every problem is noted under the line of the element it concerns (ProblemPlace), with what
// the show does about it and, where a name is misspelt, the nearest name the scene could have
// meant. Beyond what the show itself reports, the check hears of: elements and attributes that
// nothing reads; names and values the reader cut short (a space inside a quoted value, bytes
// outside the name bytes); comments inside a section, where they read as entries; an object
// without <Scale> that no automation scales (it is drawn with zero size); a mesh or material an
// object names that did not load, and whether its list entry or its file is what is missing;
// and timed events that no actor answers.
//
// Groups: an object's <Parent> names the object it is placed relative to (ObjectTree.h decides
// the tree). An object with neither <Mesh> nor <Material> that others name as their parent is a
// group: registered without a mesh, with Scale 1 unless it says otherwise. A parent whose mesh or
// material is missing is not drawn but still carries its children. A parent that is no object, a
// cycle, or a chain too deep is one line, and the object stays at the root.
//
// An actor element that is neither a "child" nor a parameter of the actor is offered to the actor
// (Actor::TakeElement) with its attributes as the file writes them, quoted spaces included.
//
// Loading adds to what the registry holds; nothing is removed or reset first. Entities are kept
// alive until the process ends; the XML tree is released before loadScene returns (nothing
// points into it).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

class Actor;

// Builds an actor from a scene's class name, or returns null for a class it does not know.
using ActorMaker = std::function<Actor*(const std::string& className, const std::string& actorName)>;

// Names the loader cannot know by itself, for its "did you mean" (the show needs none of it).
struct SceneVocabulary {
    std::vector<std::string> actorClasses;
    // The elements of a class besides "child" and its parameters ("line" for the text actors).
    std::function<std::vector<std::string>(const std::string& className)> actorElements;
    // The events each class answers, by class name.
    std::vector<std::pair<std::string, std::vector<std::string>>> classEvents;
};

// -1 when the file cannot be read (no line of its own), else 0. Actors come from `makeActor`
// (the program hands in the actor factory, createActor; tests may hand in their own).
int loadScene(const std::string& fileName, const ActorMaker& makeActor,
              const SceneVocabulary& vocabulary = SceneVocabulary{});
// The same from the file's bytes held in memory (a scene loaded again without reading its file).
int loadSceneFromBytes(const std::string& bytes, const std::string& fileName, const ActorMaker& makeActor,
                       const SceneVocabulary& vocabulary = SceneVocabulary{});
