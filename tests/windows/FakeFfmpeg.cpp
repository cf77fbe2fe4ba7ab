// Stands in for ffmpeg.exe in the test of a capture under Wine: reads the frames (pipe:3) and the
// sound (pipe:4) to their ends, both at once as ffmpeg does, and writes how many bytes each
// brought into the output file, the last argument ("file:PATH").
#include <cstdio>
#include <io.h>
#include <string>
#include <thread>

namespace {

long long drain(int descriptor) {
    char buffer[65536];
    long long total = 0;
    for (int n; (n = _read(descriptor, buffer, sizeof buffer)) > 0;)
        total += n;
    return total;
}

} // namespace

int main(int argc, char** argv) {
    std::string output = argc > 1 ? argv[argc - 1] : "";
    if (output.rfind("file:", 0) != 0) {
        std::fprintf(stderr, "no output file given\n");
        return 1;
    }
    output = output.substr(5);
    long long video = 0, sound = 0;
    std::thread frames([&] { video = drain(3); });
    sound = drain(4);
    frames.join();
    std::FILE* file = std::fopen(output.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", output.c_str());
        return 1;
    }
    std::fprintf(file, "video %lld sound %lld\n", video, sound);
    std::fclose(file);
    return 0;
}
