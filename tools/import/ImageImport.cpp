#include "tools/import/ImageImport.h"

#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <iterator>

namespace {

// Pictures above this many pixels are refused rather than decoded (4 bytes a pixel in memory).
constexpr uint64_t MaxPixels = 16384ull * 16384ull;

// The most pixels one byte of a file can stand for: deflate (PNG), LZW (GIF), Huffman-coded
// blocks (JPEG) and Softimage's long runs pack a one-colour picture very tightly; the run-length
// and raw formats (TGA, BMP, PSD, PNM, HDR) hold at most some dozens of pixels a byte. A header
// that claims more is damaged or its file is cut short, and the decoder would spend seconds
// filling a huge picture with nothing.
uint64_t mostPixelsPerByte(const uint8_t* data, size_t size) {
    auto startsWith = [&](std::initializer_list<uint8_t> magic) {
        return size >= magic.size() && std::equal(magic.begin(), magic.end(), data);
    };
    const bool packsTightly = startsWith({0x89, 'P', 'N', 'G'}) || startsWith({0xFF, 0xD8}) ||
                              startsWith({'G', 'I', 'F', '8'}) || startsWith({'S', 0x80, 0xF6, 0x34});
    return packsTightly ? 16384 : 256;
}

uint32_t bigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int decodePicture(const uint8_t* data, size_t size, Image& out, std::vector<std::string>& notes,
                  std::string& error) {
    if (!data || size == 0) {
        error = "the picture is empty";
        return -1;
    }
    if (size > static_cast<size_t>(INT32_MAX)) {
        error = "the picture file is larger than 2 GB";
        return -1;
    }
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels)) {
        error = std::string("not a picture that can be decoded (") + stbi_failure_reason() + ")";
        return -1;
    }
    if (width <= 0 || height <= 0 ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > MaxPixels) {
        error = "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels is too large (at most 16384 x 16384)";
        return -1;
    }
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > mostPixelsPerByte(data, size) * size) {
        error = "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels cannot be held in " + std::to_string(size) +
                " bytes: the file is cut short or its header is damaged";
        return -1;
    }
    // PNG keeps its bit depth and colour type in the header, at fixed places.
    static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const bool png = size >= 33 && std::equal(pngSignature, pngSignature + 8, data) &&
                     bigEndian32(data + 12) == 0x49484452u; // "IHDR"
    if (png && data[25] == 3) notes.push_back("palette picture expanded to 24-bit colour");
    if (stbi_is_16_bit_from_memory(data, length)) notes.push_back("16 bits per channel reduced to 8");

    stbi_uc* pixels = stbi_load_from_memory(data, length, &width, &height, &channels, 0);
    if (!pixels) {
        error = std::string("the picture does not decode (") + stbi_failure_reason() + ")";
        return -1;
    }
    out.width = width;
    out.height = height;
    out.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    bool translucent = false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; ++i) {
        const stbi_uc* p = pixels + i * static_cast<size_t>(channels);
        uint8_t* q = out.rgb.data() + i * 3;
        if (channels <= 2) {
            q[0] = q[1] = q[2] = p[0];
        } else {
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
        if ((channels == 2 || channels == 4) && p[channels - 1] != 255) translucent = true;
    }
    stbi_image_free(pixels);
    if (translucent)
        notes.push_back(
            "alpha dropped (the engine's bitmaps have none): transparent parts show their colour");
    return 0;
}

int decodePictureFile(const std::string& path, Image& out, std::vector<std::string>& notes,
                      std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) {
        error = "cannot read " + path;
        return -1;
    }
    return decodePicture(bytes.data(), bytes.size(), out, notes, error);
}

Image resampled(const Image& image, int width, int height) {
    if (image.width == width && image.height == height) return image;
    Image out{width, height,
              std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height) * 3)};
    if (image.width <= 0 || image.height <= 0) return out;
    auto at = [&](int x, int y, int c) {
        x = std::clamp(x, 0, image.width - 1);
        y = std::clamp(y, 0, image.height - 1);
        return static_cast<float>(image.rgb[(static_cast<size_t>(y) * image.width + x) * 3 + c]);
    };
    for (int y = 0; y < height; ++y) {
        const float sy = (static_cast<float>(y) + 0.5f) * image.height / height - 0.5f;
        const int y0 = static_cast<int>(std::floor(sy));
        const float fy = sy - y0;
        for (int x = 0; x < width; ++x) {
            const float sx = (static_cast<float>(x) + 0.5f) * image.width / width - 0.5f;
            const int x0 = static_cast<int>(std::floor(sx));
            const float fx = sx - x0;
            for (int c = 0; c < 3; ++c) {
                const float top = at(x0, y0, c) * (1 - fx) + at(x0 + 1, y0, c) * fx;
                const float bottom = at(x0, y0 + 1, c) * (1 - fx) + at(x0 + 1, y0 + 1, c) * fx;
                out.rgb[(static_cast<size_t>(y) * width + x) * 3 + c] =
                    static_cast<uint8_t>(std::clamp(std::lround(top * (1 - fy) + bottom * fy), 0l, 255l));
            }
        }
    }
    return out;
}

Image solidPicture(const Color& colour, int width, int height) {
    Image out{width, height, {}};
    auto byte = [](float c) { return static_cast<uint8_t>(std::clamp(std::lround(c * 255.0f), 0l, 255l)); };
    for (int i = 0; i < width * height; ++i)
        out.rgb.insert(out.rgb.end(), {byte(colour.r), byte(colour.g), byte(colour.b)});
    return out;
}

void tint(Image& image, const Color& colour) {
    const float factors[3] = {colour.r, colour.g, colour.b};
    for (size_t i = 0; i < image.rgb.size(); ++i)
        image.rgb[i] = static_cast<uint8_t>(
            std::clamp(std::lround(static_cast<float>(image.rgb[i]) * factors[i % 3]), 0l, 255l));
}

bool looksLikeNormalMap(const Image& image) {
    if (image.rgb.empty()) return false;
    double sum[3] = {0, 0, 0};
    for (size_t i = 0; i < image.rgb.size(); ++i)
        sum[i % 3] += image.rgb[i];
    const double pixels = static_cast<double>(image.rgb.size() / 3);
    const double r = sum[0] / pixels, g = sum[1] / pixels, b = sum[2] / pixels;
    return b > 170.0 && std::fabs(r - 128.0) < 48.0 && std::fabs(g - 128.0) < 48.0;
}

Image normalMapFromBump(const Image& bump) {
    Field height(bump.width, bump.height);
    for (int y = 0; y < bump.height; ++y)
        for (int x = 0; x < bump.width; ++x) {
            const uint8_t* p = &bump.rgb[(static_cast<size_t>(y) * bump.width + x) * 3];
            height.at(x, y) = (0.299f * p[0] + 0.587f * p[1] + 0.114f * p[2]) / 255.0f;
        }
    // A full step from black to white over one pixel leans the normal by about 60 degrees.
    return normalMapFromHeight(height, 2.0f, true);
}

Image engineNormalMap(Image normalMap) {
    for (size_t i = 0; i < normalMap.rgb.size(); i += 3)
        normalMap.rgb[i] = static_cast<uint8_t>(255 - normalMap.rgb[i]);
    return normalMap;
}

std::vector<uint8_t> diffuseBitmapFile(const Image& image) {
    return toBitmap(image);
}

std::vector<uint8_t> normalBitmapFile(const Image& engineNormalMap) {
    return toBitmap(engineNormalMap);
}

std::vector<uint8_t> emissiveBitmapFile(const Image& image) {
    return toEmissiveBitmap(image);
}

bool bitmapFileSize(const std::string& path, int& width, int& height) {
    std::ifstream in(path, std::ios::binary);
    uint8_t header[26] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header) || header[0] != 'B' || header[1] != 'M')
        return false;
    auto le32 = [&](int at) {
        return static_cast<int32_t>(header[at] | header[at + 1] << 8 | header[at + 2] << 16 |
                                    static_cast<uint32_t>(header[at + 3]) << 24);
    };
    width = le32(18);
    const int64_t rows = le32(22); // negative for a top-down file
    height = static_cast<int>(std::min<int64_t>(rows < 0 ? -rows : rows, INT32_MAX));
    return width > 0 && height > 0;
}
