// Groups: which object of a scene each object is placed relative to. An object that names a
// parent is drawn at its own transform followed by its parent's, and so on up to an object with
// no parent (one "at the root").
//
// This is the one place that decides the tree, so that the player, the check and the editor's
// outliner agree on it. Whatever the names say, the result is a tree: a name that is no object,
// a cycle of parents, or a chain of more than MaxGroupDepth parents leaves one object at the root
// and says so, and the work is linear in the number of objects (no walk can go round for ever).
//
// It knows names only: no entities, no files.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The most parents an object may have above it.
constexpr size_t MaxGroupDepth = 32;

// One object of the scene's <objects>, in file order.
struct ObjectParentName {
    std::string name;
    std::string parent; // empty: the object names no parent
};

struct ObjectTreeProblem {
    enum Kind {
        Missing, // the parent names no object of the list
        Cycle,   // following the parents comes back to this object
        TooDeep  // the object would have more than MaxGroupDepth parents above it
    };
    Kind kind = Missing;
    size_t object = 0;         // the object that stays at the root, an index into the list
    std::vector<size_t> chain; // Cycle: the objects round the cycle, from `object` on
};

constexpr size_t NoParent = static_cast<size_t>(-1);

// For each object, the index of its parent in the list, or NoParent. A name stands for the first
// object of that name in the list. A cycle is broken at the object of it that comes first in the
// file; a chain too deep is cut below its 32nd parent, so that the objects under the cut keep
// their places relative to it. `problems` gets one entry per object left at the root, in the
// order found.
std::vector<size_t> resolveObjectParents(const std::vector<ObjectParentName>& objects,
                                         std::vector<ObjectTreeProblem>& problems);
