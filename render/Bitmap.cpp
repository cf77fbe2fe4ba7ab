#include "render/Bitmap.h"

#include "engine/base/AssetStore.h"
#include "engine/base/Log.h"

namespace {

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void writeU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

int refuse(const std::string& name, const std::string& reason) {
    const std::string line = "bitmap " + name + ": " + reason;
    logStream << line << std::endl;
    noteProblem(line);
    return -1;
}

// The engine's layout: the image-size field counts the bytes from offset 54.
int decodeEngineLayout(const uint8_t* data, size_t size, const std::string& name, uint32_t width,
                       uint32_t height, uint32_t imageSize, DecodedBitmap& out) {
    if (imageSize > size - 54)
        return refuse(name, "image-size field says " + std::to_string(imageSize) + " bytes, the file holds " +
                                std::to_string(size - 54) + " after the header");
    out.pixels.assign(imageSize, 0);
    for (size_t k = 0; 3 * k + 2 < imageSize; ++k) {
        out.pixels[3 * k + 0] = data[54 + 3 * k + 2];
        out.pixels[3 * k + 1] = data[54 + 3 * k + 1];
        out.pixels[3 * k + 2] = data[54 + 3 * k + 0];
    }
    out.width = width;
    out.height = height;
    out.channels = static_cast<int32_t>(imageSize / (static_cast<uint64_t>(width) * height));
    return 0;
}

} // namespace

int decodeBitmapBytes(const uint8_t* data, size_t size, const std::string& name, DecodedBitmap& out) {
    if (!data || size < 14 || data[0] != 'B' || data[1] != 'M') return refuse(name, "not a bitmap file");
    if (size < 54) return refuse(name, "header cut short (" + std::to_string(size) + " bytes)");

    const uint32_t offset = readU32(data + 10);
    const uint32_t headerSize = readU32(data + 14);
    const int32_t signedHeight = static_cast<int32_t>(readU32(data + 22));
    const uint32_t width = readU32(data + 18);
    const uint16_t bitCount = readU16(data + 28);
    const uint32_t compression = readU32(data + 30);
    const uint32_t imageSize = readU32(data + 34);
    const bool topDown = signedHeight < 0;
    const uint32_t height =
        topDown ? 0u - static_cast<uint32_t>(signedHeight) : static_cast<uint32_t>(signedHeight);

    // The old OS/2 header keeps 16-bit sizes where every other header keeps 32-bit ones.
    if (headerSize == 12)
        return refuse(name, "OS/2 bitmaps are not supported; save it as a Windows 24-bit bitmap");
    if (static_cast<int32_t>(width) <= 0 || height == 0)
        return refuse(name, "width x height is 0 (" + std::to_string(static_cast<int32_t>(width)) + " x " +
                                std::to_string(signedHeight) + ")");
    const uint64_t pixelCount = static_cast<uint64_t>(width) * height;

    // An image-size field of 0 is allowed for uncompressed bitmaps, and paint programs write it:
    // the size is then implied by width, height and bit count, and the rows are read as the
    // format pads them (below).
    const uint64_t paddedRow24 = (static_cast<uint64_t>(width) * 3 + 3) / 4 * 4;
    const bool engineLayout =
        bitCount == 24 && compression == 0 && offset == 54 && !topDown && imageSize != 0 &&
        (paddedRow24 == static_cast<uint64_t>(width) * 3 || imageSize == pixelCount * 3);
    if (engineLayout) return decodeEngineLayout(data, size, name, width, height, imageSize, out);

    // Other uncompressed layouts: 24 bits with padded rows, 32 bits (BI_RGB, or BI_BITFIELDS with
    // the usual red, green, blue masks), top-down, another data offset.
    const bool bitfields = bitCount == 32 && compression == 3;
    if (!((bitCount == 24 && compression == 0) || (bitCount == 32 && compression == 0) || bitfields))
        return refuse(name, std::to_string(bitCount) + "-bit bitmaps with compression " +
                                std::to_string(compression) + " are not supported; save it as 24-bit");
    if (bitfields && (size < 66 || readU32(data + 54) != 0x00FF0000u || readU32(data + 58) != 0x0000FF00u ||
                      readU32(data + 62) != 0x000000FFu))
        return refuse(name, "32-bit bitmap with unusual colour masks is not supported; save it as 24-bit");
    const uint64_t bytesPerPixel = bitCount / 8;
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * bytesPerPixel + 3) / 4 * 4;
    if (offset < 54 || offset > size || height > (size - offset) / rowBytes)
        return refuse(name, "pixel data of " + std::to_string(height) + " rows of " +
                                std::to_string(rowBytes) + " bytes from offset " + std::to_string(offset) +
                                " does not fit in the file of " + std::to_string(size) + " bytes");

    out.pixels.assign(static_cast<size_t>(pixelCount * 3), 0);
    for (uint32_t row = 0; row < height; ++row) {
        // Rows come out bottom row first, as from an ordinary bitmap.
        const uint32_t fileRow = topDown ? height - 1 - row : row;
        const uint8_t* src = data + offset + fileRow * rowBytes;
        uint8_t* dst = out.pixels.data() + static_cast<size_t>(row) * width * 3;
        for (uint32_t x = 0; x < width; ++x) {
            dst[3 * x + 0] = src[bytesPerPixel * x + 2];
            dst[3 * x + 1] = src[bytesPerPixel * x + 1];
            dst[3 * x + 2] = src[bytesPerPixel * x + 0];
        }
    }
    out.width = width;
    out.height = height;
    out.channels = 3;
    return 0;
}

int decodeBitmap(const CachedFile& file, DecodedBitmap& out) {
    return decodeBitmapBytes(file.data(), file.size, file.name, out);
}

std::vector<uint8_t> encodeBitmap(const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height) {
    const uint32_t imageSize = width * height * 3;
    std::vector<uint8_t> out(54 + static_cast<size_t>(imageSize), 0);
    out[0] = 'B';
    out[1] = 'M';
    writeU32(out, 2, static_cast<uint32_t>(out.size()));
    writeU32(out, 10, 54);
    writeU32(out, 14, 40);
    writeU32(out, 18, width);
    writeU32(out, 22, height);
    out[26] = 1;
    out[28] = 24;
    writeU32(out, 34, imageSize);
    for (size_t k = 0; 3 * k + 2 < imageSize && 3 * k + 2 < rgb.size(); ++k) {
        out[54 + 3 * k + 0] = rgb[3 * k + 2];
        out[54 + 3 * k + 1] = rgb[3 * k + 1];
        out[54 + 3 * k + 2] = rgb[3 * k + 0];
    }
    return out;
}
