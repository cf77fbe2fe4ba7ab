// How the model fuzz target reads its input, so that one target reaches every format Assimp reads:
// a first line "#.EXT" names the format (any extension Assimp knows: "#.ply", "#.glb"), and the
// rest of the input is the file, named with that extension. Without such a line the whole input
// is a file without an extension, and Assimp tells its format from its first bytes, as it does
// for a file whose extension it does not know.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

struct ModelInput {
    std::string extension; // empty: none named
    size_t offset = 0;     // where the file begins in the input
};

inline ModelInput splitModelHint(const uint8_t* data, size_t size) {
    ModelInput input;
    if (size < 3 || data[0] != '#' || data[1] != '.') return input;
    for (size_t i = 2; i < size && i < 2 + 16; ++i) {
        if (data[i] == '\n') {
            if (i == 2) return input;
            input.extension.assign(reinterpret_cast<const char*>(data) + 2, i - 2);
            input.offset = i + 1;
            return input;
        }
        if (!std::isalnum(data[i]) && data[i] != '.') return input;
    }
    return input;
}
