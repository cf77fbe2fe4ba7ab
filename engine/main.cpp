// Program entry. This build holds the engine core only: the window, the renderer and the frame
// loop are not part of it yet, so the program says so instead of pretending to play.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const bool help = argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
    std::printf("beatshow: a real-time demo engine that plays a scripted 3D show in step with its music.\n");
    if (help) {
        std::printf("usage: beatshow\n  (this build has the engine core only; it cannot play a show yet)\n");
        return 0;
    }
    std::printf("beatshow: this build has the engine core only; it cannot play a show yet.\n");
    return 1;
}
