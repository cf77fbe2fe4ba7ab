// Replays files through a fuzz target without the fuzzer: each file named, or every file in each
// folder named. A file that crashes the target fails the run there; so does one that runs longer
// or holds more memory than the limits, as the fuzzer would have reported it (a fix for a slow or
// greedy input, undone, must fail its replay, not pass slowly). The rest pass.
//
//   fuzz_replay_NAME [--seconds-each S] [--memory-mb MB] FILE_OR_FOLDER...
//
// Defaults: 2 s a file and 1024 MB resident for the whole process (sanitizer builds included,
// whose own bookkeeping stays well under it).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Clock = std::chrono::steady_clock;

struct Limits {
    double seconds = 2.0;
    uint64_t megabytes = 1024;
};

// The file being replayed and when it began (0: none), for the watcher.
std::atomic<int64_t> startedAt{0};
char currentFile[4096];

uint64_t residentMegabytes() {
    FILE* file = std::fopen("/proc/self/statm", "r");
    if (!file) return 0;
    unsigned long long size = 0, resident = 0;
    const int got = std::fscanf(file, "%llu %llu", &size, &resident);
    std::fclose(file);
    return got == 2 ? resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)) >> 20 : 0;
}

// Ends the process with a line as soon as a file passes a limit: a replay that ran away would
// otherwise hang the test run or take the machine's memory.
void watch(Limits limits) {
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int64_t began = startedAt.load();
        if (began == 0) continue;
        const double seconds =
            std::chrono::duration<double>(Clock::now().time_since_epoch() - Clock::duration(began)).count();
        const uint64_t megabytes = residentMegabytes();
        if (seconds > limits.seconds) {
            std::fprintf(stderr, "replay %s: still running after %.1f s, over the limit of %g s a file\n",
                         currentFile, seconds, limits.seconds);
            std::_Exit(1);
        }
        if (megabytes > limits.megabytes) {
            std::fprintf(stderr, "replay %s: %llu MB resident, over the limit of %llu MB\n", currentFile,
                         static_cast<unsigned long long>(megabytes),
                         static_cast<unsigned long long>(limits.megabytes));
            std::_Exit(1);
        }
    }
}

void replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("replay %s (%zu bytes)", file.string().c_str(), bytes.size());
    std::fflush(stdout);
    std::snprintf(currentFile, sizeof currentFile, "%s", file.string().c_str());
    const Clock::time_point began = Clock::now();
    startedAt.store(began.time_since_epoch().count());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    startedAt.store(0);
    std::printf(": %.3f s\n", std::chrono::duration<double>(Clock::now() - began).count());
    std::fflush(stdout);
}

bool parseLimit(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out > 0;
}

} // namespace

int main(int argc, char** argv) {
    Limits limits;
    // A target may change the working directory: every name is taken from where the run began.
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        double value = 0;
        if ((a == "--seconds-each" || a == "--memory-mb") && i + 1 < argc && parseLimit(argv[i + 1], value)) {
            if (a == "--seconds-each")
                limits.seconds = value;
            else
                limits.megabytes = static_cast<uint64_t>(value);
            ++i;
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "usage: %s [--seconds-each S] [--memory-mb MB] FILE_OR_FOLDER...\n",
                         argv[0]);
            return 2;
        } else {
            paths.push_back(std::filesystem::absolute(a));
        }
    }
    std::thread(watch, limits).detach();

    size_t files = 0;
    for (const std::filesystem::path& path : paths) {
        if (!std::filesystem::is_directory(path)) {
            replay(path);
            ++files;
            continue;
        }
        std::vector<std::filesystem::path> inside;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                inside.push_back(entry.path());
        std::sort(inside.begin(), inside.end());
        for (const auto& file : inside)
            replay(file);
        files += inside.size();
    }
    std::printf("%zu files replayed\n", files);
    return 0;
}
