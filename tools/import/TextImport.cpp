#include "tools/import/TextImport.h"

#include "tools/TextRender.h"

#include <algorithm>

std::string defaultFontPath() {
    return BEATSHOW_DEFAULT_FONT;
}

int renderWords(const std::string& words, const std::string& fontPath, int pixelHeight, Image& out,
                std::string& error) {
    if (words.find_first_not_of(" \t") == std::string::npos) {
        error = "no words to render";
        return -1;
    }
    if (words.find('\n') != std::string::npos) {
        error = "one line at a time: import each line as its own text";
        return -1;
    }
    if (pixelHeight < 4 || pixelHeight > 1024) {
        error = "a height of " + std::to_string(pixelHeight) + " pixels is outside 4 to 1024";
        return -1;
    }
    std::unique_ptr<Font> font = Font::open(fontPath, error);
    if (!font) return -1;
    const TextExtent extent = font->measure(words, pixelHeight);
    if (extent.width <= 0 || extent.ascent + extent.descent <= 0) {
        error = "the font " + fontPath + " inks nothing of these words";
        return -1;
    }
    const int margin = std::max(2, pixelHeight / 4);
    const int width = extent.width + 2 * margin;
    const int height = extent.ascent + extent.descent + 2 * margin;
    if (width > 16384) {
        error =
            "the line is " + std::to_string(width) + " pixels wide, more than 16384: use a smaller --height";
        return -1;
    }
    Field ink(width, height);
    font->draw(ink, words, margin, margin + extent.ascent, pixelHeight);
    Picture picture(width, height);
    picture.paint(ink, Color{1, 1, 1});
    out = quantize(picture);
    return 0;
}

std::vector<MeshRecord> pictureRectangle(int width, int height, float unitsHigh) {
    const float h = unitsHigh / 2.0f;
    const float w = h * static_cast<float>(width) / static_cast<float>(std::max(height, 1));
    // Seen from the camera, x grows to the right; u grows to the picture's left and v to its top.
    struct Corner {
        float x, y, u, v;
    };
    const Corner topLeft{-w, h, 1, 1}, topRight{w, h, 0, 1}, bottomLeft{-w, -h, 1, 0},
        bottomRight{w, -h, 0, 0};
    std::vector<MeshRecord> records;
    // Clockwise as the camera sees them.
    for (const Corner& c : {topLeft, topRight, bottomRight, topLeft, bottomRight, bottomLeft}) {
        MeshRecord r;
        r.position = Vector{c.x, c.y, 0};
        r.uv = TexCoord{c.u, c.v};
        r.normal = Vector{0, 0, -1};
        r.tangent = Vector{-1, 0, 0};
        r.binormal = Vector{0, 1, 0};
        records.push_back(r);
    }
    return records;
}
