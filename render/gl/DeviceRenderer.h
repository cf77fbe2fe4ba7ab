// The program's door to the OpenGL renderer, without GL headers: a new renderer, a copy of the
// frame it presented last, and whether it still has resources to make.
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

// True while a device renderer's last frame left registered meshes or materials waiting for the
// device; false for any other renderer, which makes its resources as they are registered.
bool deviceUploadsPending(RenderInterface* renderer);

// Writes RGB rows, top row first, as a PNG file.
bool writePngFile(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);
