// Assembles the hand-written test scenes into runnable directories, so that a scene can be
// checked by hand: `build/beatshow --check build/tests/data/full`.
#include "tests/scene/SceneAssets.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: assemble_test_scenes SOURCE_DATA_DIR TARGET_DIR\n");
        return 2;
    }
    try {
        for (const char* scene : {"full", "broken", "actors"})
            assembleTestScene(scene, argv[1], std::filesystem::path(argv[2]) / scene);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "assemble_test_scenes: %s\n", e.what());
        return 1;
    }
    return 0;
}
