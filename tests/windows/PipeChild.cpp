// A child for the Windows ChildProcess tests: reads the descriptors its parent hands down (3,
// 4, ...) through the C runtime, as a Windows ffmpeg reads `pipe:3`.
//
//   pipe_child both A B         input 3 into file A, then input 4 into B; "read both" on standard
//                               output, "oops" on standard error
//   pipe_child second-first A B 1000 bytes of input 4 into B, then input 3 into A, then the rest of
//                               4 after the first 1000 in B
//   pipe_child exit N           "cannot go on" on standard error, exit status N
//   pipe_child sleep            waits 30 s
//   pipe_child args ...         each argument on a line of its own
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <io.h>
#include <string>
#include <windows.h>

namespace {

bool copy(int from, std::FILE* to, long long limit = -1) {
    char buffer[65536];
    while (limit != 0) {
        const unsigned want = limit < 0 || limit > static_cast<long long>(sizeof buffer)
                                  ? static_cast<unsigned>(sizeof buffer)
                                  : static_cast<unsigned>(limit);
        const int n = _read(from, buffer, want);
        if (n < 0) return false;
        if (n == 0) break;
        std::fwrite(buffer, 1, static_cast<size_t>(n), to);
        if (limit > 0) limit -= n;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "both" && argc == 4) {
        std::FILE* a = std::fopen(argv[2], "wb");
        std::FILE* b = std::fopen(argv[3], "wb");
        if (!a || !b || !copy(3, a) || !copy(4, b)) return 10;
        std::fclose(a);
        std::fclose(b);
        std::printf("read both\n");
        std::fflush(stdout);
        std::fprintf(stderr, "oops\n");
        return 0;
    }
    if (mode == "second-first" && argc == 4) {
        std::FILE* a = std::fopen(argv[2], "wb");
        std::FILE* b = std::fopen(argv[3], "wb");
        if (!a || !b || !copy(4, b, 1000) || !copy(3, a) || !copy(4, b)) return 10;
        std::fclose(a);
        std::fclose(b);
        return 0;
    }
    if (mode == "exit" && argc == 3) {
        std::fprintf(stderr, "cannot go on\n");
        return std::atoi(argv[2]);
    }
    if (mode == "sleep") {
        Sleep(30000);
        return 0;
    }
    if (mode == "args") {
        for (int i = 2; i < argc; ++i)
            std::printf("%s\n", argv[i]);
        return 0;
    }
    return 2;
}
