// Program entry. This build holds the engine core only: the window, the renderer and the frame
// loop are not part of it yet, so the program says so instead of pretending to play. It can
// already check a scene: `beatshow --check [DIR]`.
#include "engine/SceneCheck.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--check") == 0) return runSceneCheck(argc > 2 ? argv[2] : ".");
    const bool help = argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    std::printf("beatshow: a real-time demo engine that plays a scripted 3D show in step with its music.\n");
    if (help) {
        std::printf("usage: beatshow\n  (this build has the engine core only; it cannot play a show yet)\n"
                    "       beatshow --check [DIR]\n"
                    "  loads %s from DIR (default: the working directory) without a window, a GPU or\n"
                    "  audio, prints the log, and exits 0 when the scene has no problem, 1 otherwise\n",
                    ShowSceneFile);
        return 0;
    }
    std::printf("beatshow: this build has the engine core only; it cannot play a show yet.\n");
    return 1;
}
