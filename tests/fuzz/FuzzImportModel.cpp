// A model made elsewhere through beatshow-import's reading (Assimp and our conversion to engine
// meshes), in any format Assimp reads: the input's first line may name it (see ModelHint.h).
//
// Assimp's readers crash, abort on their own assertions and run away on damaged files in many
// formats; beatshow-import reads in a child process that it stops (GuardedRead.h), so those are
// Assimp's faults with a known answer, and a fuzzer stopped by each would never get past them.
// Each input is therefore read first by Assimp alone in a process of its own (AssimpProbe.cpp,
// 1 s and 512 MB); only one it gets through goes on, in this process, through the whole of
// readModel, where a crash, a leak or a runaway is a finding.
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/ModelHint.h"
#include "tools/import/ModelImport.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

extern char** environ;

namespace {

uint64_t residentMegabytes(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
    FILE* file = std::fopen(path, "r");
    if (!file) return 0;
    unsigned long long size = 0, resident = 0;
    const int got = std::fscanf(file, "%llu %llu", &size, &resident);
    std::fclose(file);
    return got == 2 ? resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)) >> 20 : 0;
}

bool assimpGetsThrough(const std::string& path) {
    // The probe's leaks are Assimp's, and left to lsan.supp in this process.
    std::vector<std::string> variables = {"ASAN_OPTIONS=detect_leaks=0"};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("ASAN_OPTIONS=", 0) != 0) variables.push_back(*e);
    std::vector<char*> env;
    for (std::string& v : variables)
        env.push_back(v.data());
    env.push_back(nullptr);
    std::string program = BEATSHOW_ASSIMP_PROBE, file = path;
    char* argv[] = {program.data(), file.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, env.data()) != 0) return false;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0) return false;
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(1) ||
            residentMegabytes(pid) > 512) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ModelInput input = splitModelHint(data, size);
    // A folder of its own below the scratch folder: a picture the model names is looked for
    // beside it and one folder up, which then holds nothing else.
    const std::string path =
        writeScratchFile("models/model" + (input.extension.empty() ? "" : "." + input.extension),
                         data + input.offset, size - input.offset);
    if (assimpGetsThrough(path)) {
        ImportedModel model;
        std::string error;
        readModel(path, "fuzz", ModelSettings{}, model, error);
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return 0;
}
