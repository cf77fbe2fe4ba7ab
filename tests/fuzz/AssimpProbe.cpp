// Reads a model with Assimp alone, as beatshow-import asks it to, and exits 0 whatever Assimp
// makes of the file. The model fuzz target runs it first, in a process of its own, to tell the
// inputs on which Assimp itself crashes or runs away (its faults, which beatshow-import's guarded
// reading turns into one line) from those it gets through.
//
//   fuzz_assimp_probe MODEL
#include "tools/import/ModelImport.h"

#include <assimp/Importer.hpp>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    Assimp::Importer importer;
    readAssimpScene(importer, argv[1]);
    return 0;
}
