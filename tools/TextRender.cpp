#include "tools/TextRender.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <vector>

struct Font::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Impl() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

namespace {

// Code points of a UTF-8 string; a malformed byte stands for itself.
std::vector<uint32_t> codePoints(const std::string& text) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (i + static_cast<size_t>(extra) >= text.size()) extra = 0;
        uint32_t cp = extra == 0 ? c : c & (0x3Fu >> extra);
        for (int k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<size_t>(k)]) & 0x3Fu);
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

} // namespace

std::unique_ptr<Font> Font::open(const std::string& path, std::string& error) {
    std::unique_ptr<Font> font(new Font());
    font->impl_ = std::make_unique<Impl>();
    if (FT_Init_FreeType(&font->impl_->library) != 0) {
        error = "FreeType cannot start";
        return nullptr;
    }
    if (FT_New_Face(font->impl_->library, path.c_str(), 0, &font->impl_->face) != 0) {
        error = "cannot open the font " + path + " (Debian package fonts-dejavu-core)";
        return nullptr;
    }
    return font;
}

Font::~Font() = default;

namespace {

// Walks the glyphs of a line, calling f(bitmap, left, top) with the pen's integer position.
template <typename F>
void layout(FT_Face face, const std::string& text, int pixelHeight, F f) {
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelHeight));
    long pen = 0; // 26.6 fixed point
    FT_UInt previous = 0;
    for (uint32_t cp : codePoints(text)) {
        const FT_UInt glyph = FT_Get_Char_Index(face, cp);
        if (previous && glyph && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern) == 0) pen += kern.x;
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot slot = face->glyph;
        f(slot->bitmap, static_cast<int>((pen + 32) >> 6) + slot->bitmap_left, slot->bitmap_top);
        pen += slot->advance.x;
        previous = glyph;
    }
    f(FT_Bitmap{}, static_cast<int>((pen + 32) >> 6), 0); // the end of the line, no ink
}

} // namespace

void Font::draw(Field& mask, const std::string& text, int x, int baseline, int pixelHeight) const {
    layout(impl_->face, text, pixelHeight, [&](const FT_Bitmap& bitmap, int left, int top) {
        for (unsigned row = 0; row < bitmap.rows; ++row)
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const int px = x + left + static_cast<int>(col);
                const int py = baseline - top + static_cast<int>(row);
                if (px < 0 || py < 0 || px >= mask.width || py >= mask.height) continue;
                const float c =
                    static_cast<float>(bitmap.buffer[row * static_cast<unsigned>(bitmap.pitch) + col]) /
                    255.0f;
                mask.at(px, py) = std::max(mask.at(px, py), c);
            }
    });
}

TextExtent Font::measure(const std::string& text, int pixelHeight) const {
    TextExtent extent;
    layout(impl_->face, text, pixelHeight, [&](const FT_Bitmap& bitmap, int left, int top) {
        if (bitmap.rows == 0) {
            extent.width = std::max(extent.width, left);
            return;
        }
        extent.ascent = std::max(extent.ascent, top);
        extent.descent = std::max(extent.descent, static_cast<int>(bitmap.rows) - top);
    });
    return extent;
}

void Font::drawCentred(Field& mask, const std::string& text, int cx, int cy, int pixelHeight) const {
    const TextExtent e = measure(text, pixelHeight);
    draw(mask, text, cx - e.width / 2, cy + (e.ascent - e.descent) / 2, pixelHeight);
}

bool openFonts(const std::string& directory, FontSet& fonts, std::string& error) {
    fonts.regular = Font::open(directory + "/DejaVuSans.ttf", error);
    if (!fonts.regular) return false;
    fonts.bold = Font::open(directory + "/DejaVuSans-Bold.ttf", error);
    if (!fonts.bold) return false;
    fonts.mono = Font::open(directory + "/DejaVuSansMono.ttf", error);
    return fonts.mono != nullptr;
}
