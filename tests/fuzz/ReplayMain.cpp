// Replays files through a fuzz target without the fuzzer: each file named, or every file in each
// folder named. A file that crashes the target fails the run there; the rest pass.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("replay %s (%zu bytes)\n", file.string().c_str(), bytes.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    // A target may change the working directory: every name is taken from where the run began.
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i)
        paths.push_back(std::filesystem::absolute(argv[i]));
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
