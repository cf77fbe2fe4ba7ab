// Every generated file of the default show except the soundtrack, as bytes with their paths
// relative to the show directory.
#pragma once

#include "tools/TextRender.h"

#include <cstdint>
#include <string>
#include <vector>

struct AssetFile {
    std::string path; // "model/eckig.obj", "tex/concrete.bmp", ...
    std::vector<uint8_t> bytes;
    std::string description; // "36 vertices", "512 x 512", for the generator's listing
};

// Meshes first, then textures, each in a fixed order.
std::vector<AssetFile> makeShowAssets(const FontSet& fonts);
