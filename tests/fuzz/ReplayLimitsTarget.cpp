// A stand-in fuzz target for testing the replay's own limits: the input "sleep S" takes S seconds,
// "grow MB" holds that many megabytes, anything else returns at once.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (input.rfind("sleep ", 0) == 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(std::stod(input.substr(6))));
    if (input.rfind("grow ", 0) == 0) {
        static std::vector<char> held;
        held.resize(static_cast<size_t>(std::stod(input.substr(5)) * 1024 * 1024));
        std::memset(held.data(), 1, held.size());                    // resident, not only reserved
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // for the watcher to see it
    }
    return 0;
}
