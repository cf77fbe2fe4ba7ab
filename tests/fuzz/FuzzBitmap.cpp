// A bitmap file through the decoder and the material builder (with the renderer's upload on a
// recording renderer), as the diffuse picture of a material and as its normal map.
#include "engine/EngineRegistry.h"
#include "render/Bitmap.h"
#include "render/Material.h"
#include "render/MaterialBuilder.h"
#include "tests/fuzz/FuzzSupport.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        std::filesystem::create_directories(scratchFolder() + "/tex");
        std::filesystem::current_path(scratchFolder());
        return true;
    }();
    (void)ready;
    DecodedBitmap decoded;
    if (decodeBitmapBytes(data, size, "fuzz", decoded) == 0 &&
        decoded.pixels.size() < static_cast<uint64_t>(decoded.width) * decoded.height * 3 &&
        decoded.channels == 3)
        std::abort(); // a decoded picture holds every pixel it claims

    freshRegistry();
    engine().assets.registerKind("tex\\", "bmp", AssetKindBitmap);
    writeScratchFile("tex/fuzz.bmp", data, size);
    std::unique_ptr<Material> material = buildMaterial(engine().assets, "fuzz", engine().renderer);
    const std::vector<uint8_t> plain = encodeBitmap(std::vector<uint8_t>(2 * 2 * 3, 90), 2, 2);
    writeScratchFile("tex/flat.bmp", plain.data(), plain.size());
    writeScratchFile("tex/flat_normal.bmp", data, size);
    std::unique_ptr<Material> withNormal = buildMaterial(engine().assets, "flat", engine().renderer);
    if (!withNormal) std::abort(); // an unusable normal map is replaced, never fatal
    std::filesystem::remove(scratchFolder() + "/tex/flat_normal.bmp");
    return 0;
}
