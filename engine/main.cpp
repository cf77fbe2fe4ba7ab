// Program entry: reads the options, then checks a scene or plays the show.
#include "engine/CommandLine.h"
#include "engine/SceneCheck.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    ProgramOptions options;
    std::string error;
    if (parseCommandLine(arguments, options, error) != 0) {
        std::fprintf(stderr, "beatshow: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.check) return runSceneCheck(options.checkDirectory);
    std::fprintf(stderr, "beatshow: this build cannot play a show yet (no renderer); --check works\n");
    return 1;
}
