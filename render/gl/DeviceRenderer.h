// The program's door to the OpenGL renderer, without GL headers: a new renderer, and a copy of
// the frame it presented last.
#pragma once

#include "render/RenderInterface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

std::unique_ptr<RenderInterface> makeDeviceRenderer();

// The last presented frame of a device renderer as upright RGB rows, top row first; false for
// any other renderer or when the frame cannot be read.
bool captureDeviceFrame(RenderInterface* renderer, std::vector<uint8_t>& rgb, int& width, int& height);

// Writes RGB rows, top row first, as a PNG file.
bool writePngFile(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);
