// A small PNG writer for captured frames (shots, tests, tools).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes 8-bit RGB rows, top row first (3 x width bytes each, no padding), as a PNG file.
// False, with nothing left behind, when the buffer is too small or the file cannot be written.
bool writePng(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);

// Reads a PNG written by writePng (or any 8-bit RGB or RGBA PNG) back into RGB rows, top first.
bool readPng(const std::string& path, std::vector<uint8_t>& rgb, int& width, int& height);
