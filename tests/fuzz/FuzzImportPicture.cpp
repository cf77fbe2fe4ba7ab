// A picture made elsewhere (PNG, JPEG, TGA, BMP, ...) through beatshow-import's decoder and the
// conversions to the engine's bitmaps.
#include "tools/import/ImageImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Image image;
    std::vector<std::string> notes;
    std::string error;
    if (decodePicture(data, size, image, notes, error) != 0) return 0;
    if (image.width > 512 || image.height > 512) return 0; // the conversions' cost, not their safety
    diffuseBitmapFile(image);
    emissiveBitmapFile(image);
    normalBitmapFile(engineNormalMap(looksLikeNormalMap(image) ? image : normalMapFromBump(image)));
    resampled(image, 3, 5);
    return 0;
}
