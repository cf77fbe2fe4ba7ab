// A named set of up to three images of equal size: diffuse, normal map and emissive map.
// Pixels are 3 bytes (red, green, blue) in rows of width x 3 bytes with no padding, first row
// first. The buffers stay in memory after the renderer has made textures of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Material {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    std::vector<uint8_t> diffuse;  // width x height x channels bytes
    std::vector<uint8_t> normal;   // width x height x 3 bytes
    std::vector<uint8_t> emissive; // width x height x 3 bytes
    int32_t size = 0;              // width x height x channels
    std::string name;

    Material() = default;
    Material(const Material&) = delete;
    Material& operator=(const Material&) = delete;
    // Writes "material dtor".
    ~Material();
};
