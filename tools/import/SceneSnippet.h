// The scene lines that put imported assets on stage: the meshes and materials to load, an object
// for each mesh (the parts of a model in one group, its parent), and the song, in the scene file's
// sections and its reader's dialect.
#pragma once

#include "math/Vector.h"

#include <string>
#include <vector>

struct SnippetObject {
    std::string name;
    std::string mesh; // empty (with the material): a group, which only carries its parts
    std::string material;
    Vector position{0, 0, 0};
    Vector scale{1, 1, 1};
    std::string parent; // the group it is a part of, or empty
};

struct Snippet {
    std::vector<std::string> sources; // the imported files, named in the opening comment
    std::vector<std::string> meshes;
    std::vector<std::string> materials;
    std::vector<SnippetObject> objects;
    std::string song; // a file name in audio/, or empty
};

// The sections that have entries, each child indented as the default show's scene is, after a
// comment saying where to put them. The reader ends a comment at its first ">", so the comment
// holds none before its closing "/-->".
std::string snippetText(const Snippet& snippet);
