#include "render/MaterialBuilder.h"

#include "engine/base/AssetStore.h"
#include "engine/base/Log.h"
#include "render/Bitmap.h"
#include "render/Material.h"
#include "render/RenderInterface.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>

namespace {

// Copies rows of 3-byte pixels, mirroring each row when asked; missing source bytes keep `fill`.
std::vector<uint8_t> copyRows(const std::vector<uint8_t>* source, int32_t width, int32_t height, bool mirror,
                              std::initializer_list<uint8_t> fill) {
    const size_t w = static_cast<size_t>(std::max(width, 0));
    const size_t h = static_cast<size_t>(std::max(height, 0));
    std::vector<uint8_t> out(w * h * 3);
    const uint8_t* f = fill.begin();
    for (size_t i = 0; i < w * h; ++i)
        std::copy(f, f + 3, out.begin() + static_cast<std::ptrdiff_t>(3 * i));
    if (!source) return out;
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x) {
            const size_t from = 3 * (y * w + (mirror ? w - 1 - x : x));
            if (from + 2 >= source->size()) continue;
            std::copy_n(source->begin() + static_cast<std::ptrdiff_t>(from), 3,
                        out.begin() + static_cast<std::ptrdiff_t>(3 * (y * w + x)));
        }
    return out;
}

void reportProblem(const std::string& line) {
    logStream << line << std::endl;
    noteProblem(line);
}

// Decodes an optional companion image. A missing one is no problem; an unusable one, or one of
// another size than the diffuse image (it would be read with the diffuse image's rows), is
// reported and the material gets the default instead.
std::optional<std::vector<uint8_t>> loadCompanion(AssetStore& assets, const std::string& name,
                                                  const DecodedBitmap& diffuse) {
    std::unique_ptr<CachedFile> file = assets.fetch(name, AssetKindBitmap);
    if (!file) return std::nullopt;
    DecodedBitmap image;
    const int result = decodeBitmap(*file, image);
    assets.release(name, AssetKindBitmap);
    if (result != 0) return std::nullopt; // decodeBitmap said why
    if (image.channels != 3) {
        reportProblem("bitmap " + name + ": " + std::to_string(image.channels) +
                      " bytes per pixel from the image-size field; using the default");
        return std::nullopt;
    }
    if (image.width != diffuse.width || image.height != diffuse.height) {
        reportProblem("bitmap " + name + ": " + std::to_string(image.width) + " x " +
                      std::to_string(image.height) + " does not match the diffuse image (" +
                      std::to_string(diffuse.width) + " x " + std::to_string(diffuse.height) +
                      "); using the default");
        return std::nullopt;
    }
    return std::move(image.pixels);
}

} // namespace

std::unique_ptr<Material> makeMaterial(int32_t channels, const std::vector<uint8_t>* diffuse,
                                       const std::vector<uint8_t>* normal,
                                       const std::vector<uint8_t>* emissive, int32_t width, int32_t height,
                                       const std::string& name) {
    auto material = std::make_unique<Material>();
    material->width = width;
    material->height = height;
    material->channels = channels;
    // Computed wide: the field keeps the product even for sizes no image of the builder reaches.
    material->size = static_cast<int32_t>(static_cast<int64_t>(width) * height * channels);
    material->name = name;
    material->diffuse = copyRows(diffuse, width, height, true, {0, 0, 0});
    material->normal = copyRows(normal, width, height, true, {127, 127, 255});
    material->emissive = copyRows(emissive, width, height, false, {0, 0, 0});
    logStream << "material " << name << " width: " << width << " height: " << height
              << " channel: " << channels << " size" << material->size << " dataptr: " << std::hex
              << reinterpret_cast<uintptr_t>(material->diffuse.data()) << std::dec << std::endl;
    return material;
}

std::unique_ptr<Material> buildMaterial(AssetStore& assets, const std::string& name,
                                        RenderInterface* renderer) {
    std::unique_ptr<CachedFile> file = assets.fetch(name, AssetKindBitmap);
    if (!file) return nullptr;
    DecodedBitmap diffuse;
    const int result = decodeBitmap(*file, diffuse);
    assets.release(name, AssetKindBitmap);
    if (result != 0) return nullptr;
    if (diffuse.channels != 3) {
        // The pixels are always read as 3-byte groups; any other count would misread the buffer.
        reportProblem("bitmap " + name + ": " + std::to_string(diffuse.channels) +
                      " bytes per pixel from the image-size field (" + std::to_string(diffuse.pixels.size()) +
                      " bytes for " + std::to_string(diffuse.width) + " x " + std::to_string(diffuse.height) +
                      " pixels); a 24-bit image needs 3");
        return nullptr;
    }
    if (static_cast<uint64_t>(diffuse.width) * diffuse.height * 3 > INT32_MAX) {
        reportProblem("bitmap " + name + ": " + std::to_string(diffuse.width) + " x " +
                      std::to_string(diffuse.height) + " is too large for a texture");
        return nullptr;
    }

    const auto normal = loadCompanion(assets, name + "_normal", diffuse);
    const auto emissive = loadCompanion(assets, name + "_emissive", diffuse);
    std::unique_ptr<Material> material = makeMaterial(
        diffuse.channels, &diffuse.pixels, normal ? &*normal : nullptr, emissive ? &*emissive : nullptr,
        static_cast<int32_t>(diffuse.width), static_cast<int32_t>(diffuse.height), name);
    if (renderer) renderer->addMaterial(material.get());
    return material;
}
