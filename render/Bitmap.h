// Reads Windows bitmap files into 3-byte red-green-blue pixels.
//
// The engine's own layout (24 bits, pixel data at byte 54, rows without padding, the image-size
// field filled in) is decoded exactly as the format always was: the image-size field gives the
// byte count, rows stay in file order (bottom row first for ordinary bitmaps), and the channel
// count is image size / (width x height). Other common layouts (24-bit rows padded to 4 bytes,
// 32-bit pixels, top-down files, another data offset, an image-size field of 0) are converted to
// that same result, so a picture looks the same whichever way it was saved. Anything else is
// refused with one line.
// Nothing is ever read beyond the file or written beyond the output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CachedFile;

struct DecodedBitmap {
    std::vector<uint8_t> pixels; // rows of width x channels bytes, file order
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t channels = 0; // 3, or what an engine-layout image-size field implies
};

// 0 on success; -1 for a file shorter than 14 bytes, not starting with "BM", or unusable (a line
// names the file and the reason).
int decodeBitmap(const CachedFile& file, DecodedBitmap& out);
int decodeBitmapBytes(const uint8_t* data, size_t size, const std::string& name, DecodedBitmap& out);

// A bottom-up 24-bit bitmap without row padding, in the engine's layout, of the given RGB rows
// (first row first in `rgb`, written as the file's first row).
std::vector<uint8_t> encodeBitmap(const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height);
