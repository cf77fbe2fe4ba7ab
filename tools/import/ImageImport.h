// Pictures made with other tools (PNG, JPEG, TGA, BMP, GIF, PSD, decoded by stb_image) as the
// engine's materials want them: 24-bit bitmaps, a diffuse picture with "_normal" and "_emissive"
// companions of its size.
//
// Every picture here is an upright Image (rows top-down, as it is seen). The conversion to bitmap
// bytes follows the engine's reading: the diffuse and normal pictures are written as ordinary
// bottom-up bitmaps (a paint program shows them as they were), the emissive picture with its rows
// mirrored, because the engine mirrors the rows of the first two and not of the third. Normal maps
// come in the convention of Blender and glTF (red along +u to the picture's right, green up the
// picture); the engine's +u runs to the picture's left, so red is inverted on the way.
#pragma once

#include "tools/Picture.h"

#include <cstdint>
#include <string>
#include <vector>

// Decodes a picture file held in memory. 0, or -1 and a message. What was lost on the way is said
// in `notes`: an alpha channel with anything not opaque (dropped: the engine's bitmaps have none),
// 16 bits per channel (reduced to 8), a palette (expanded).
int decodePicture(const uint8_t* data, size_t size, Image& out, std::vector<std::string>& notes,
                  std::string& error);
// The same for a file on disk.
int decodePictureFile(const std::string& path, Image& out, std::vector<std::string>& notes,
                      std::string& error);

// The picture scaled to w x h (bilinear); the picture itself when it has that size already.
Image resampled(const Image& image, int width, int height);
// A picture of one colour (channels 0..1).
Image solidPicture(const Color& colour, int width = 4, int height = 4);
// Each pixel multiplied by the colour (channels 0..1).
void tint(Image& image, const Color& colour);
// True for a picture that reads as a tangent-space normal map (bluish, red and green about
// half) rather than a height (bump) map.
bool looksLikeNormalMap(const Image& image);
// A normal map, in the engine's convention, of a height (bump) map: brighter is higher.
Image normalMapFromBump(const Image& bump);
// A normal map in Blender's and glTF's convention turned to the engine's (red inverted).
Image engineNormalMap(Image normalMap);

// Bitmap file bytes in the engine's layout (see above).
std::vector<uint8_t> diffuseBitmapFile(const Image& image);
std::vector<uint8_t> normalBitmapFile(const Image& engineNormalMap);
std::vector<uint8_t> emissiveBitmapFile(const Image& image);

// The width and height of a bitmap file's header (an existing diffuse picture that companions
// must match); false when the file is not a readable bitmap.
bool bitmapFileSize(const std::string& path, int& width, int& height);
