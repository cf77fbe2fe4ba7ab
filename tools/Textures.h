// The default show's pictures: the materials the actors name ("concrete", "stonewall", "metal4",
// "map02", "logo2") and a few test textures, each as an upright picture plus its optional
// "_normal" and "_emissive" companions, and the bitmap files made from them.
#pragma once

#include "tools/Picture.h"
#include "tools/TextRender.h"

#include <optional>
#include <string>
#include <vector>

// One material's pictures, all upright and of the diffuse picture's size.
struct MaterialPictures {
    Image diffuse;
    std::optional<Image> normal;   // tangent-space, see normalMapFromHeight
    std::optional<Image> emissive; // glow, lined up with the diffuse picture
};

MaterialPictures makeConcrete();
MaterialPictures makeStonewall();
// Metal panels of unequal sizes; the emissive map makes their seams glow white, so that an
// object's emissive colour tints the glow.
MaterialPictures makeMetal(const FontSet& fonts);
// A fictional survey map, 1024 x 576 (the screen's 16:9): sea and land with relief, coastlines,
// rivers, a lettered grid, place names, a compass and a title block.
MaterialPictures makeMap(const FontSet& fonts);
// The title card shown full screen by the slide show, 1024 x 576.
MaterialPictures makeLogo(const FontSet& fonts);
// Test textures: an 8 x 8 checker; a test card with coloured corners (top left red, top right
// green, bottom left blue, bottom right yellow), labelled edges, a raised dome in its normal map's
// top-left quarter and a glowing "TOP" in its emissive map; and plain white.
MaterialPictures makeChecker();
MaterialPictures makeTestCard(const FontSet& fonts);
MaterialPictures makeWhite();

struct TextureFile {
    std::string name; // the asset name: the file is tex/<name>.bmp
    int width = 0, height = 0;
    std::vector<uint8_t> bytes;
};

// The bitmap files of one material: "<name>", "<name>_normal", "<name>_emissive" as present.
std::vector<TextureFile> materialFiles(const std::string& name, const MaterialPictures& pictures);
// Every texture file of the default show, in a fixed order.
std::vector<TextureFile> makeShowTextures(const FontSet& fonts);
