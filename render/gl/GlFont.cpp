#include "render/gl/GlFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

namespace {

// Unicode of the Windows-1252 bytes 0x80 to 0x9F (0: unassigned); the other bytes are Latin-1.
constexpr uint16_t Windows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

uint32_t codePoint(int byte) {
    if (byte >= 0x80 && byte < 0xA0) return Windows1252[byte - 0x80];
    return static_cast<uint32_t>(byte);
}

std::vector<std::string>& fontFolders() {
    static std::vector<std::string> folders;
    return folders;
}

} // namespace

void addFontFolder(const std::string& folder) {
    fontFolders().push_back(folder);
}

std::string findFontFile(const std::string& face) {
    const char* file = face == "Consolas" ? "DejaVuSansMono.ttf" : "DejaVuSans.ttf";
    std::vector<std::string> folders = fontFolders();
    for (const char* directory : {"/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/dejavu",
                                  "/usr/local/share/fonts", "/usr/share/fonts/TTF"})
        folders.push_back(directory);
    for (const std::string& folder : folders) {
        const std::filesystem::path path = std::filesystem::path(folder) / file;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) return path.string();
    }
    return {};
}

GlFont::~GlFont() {
    if (atlas_) glDeleteTextures(1, &atlas_);
}

bool GlFont::build(const std::string& fontFile, int lineHeight, std::string& error, int monospaceAdvance) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        error = "FreeType cannot start";
        return false;
    }
    FT_Face face = nullptr;
    if (fontFile.empty() || FT_New_Face(library, fontFile.c_str(), 0, &face) != 0) {
        error = "cannot open the font file '" + fontFile + "' (install fonts-dejavu-core)";
        FT_Done_FreeType(library);
        return false;
    }
    // Scale the em so that ascent + descent fill the line, as a cell height does; or, for a
    // monospace face with a given advance, so that every character is that wide.
    const int unitsLine = face->ascender - face->descender;
    int em = std::max(1, static_cast<int>(std::lround(static_cast<double>(lineHeight) * face->units_per_EM /
                                                      std::max(1, unitsLine))));
    if (monospaceAdvance > 0 && FT_Load_Char(face, '0', FT_LOAD_NO_SCALE) == 0 && face->glyph->advance.x > 0)
        em = std::max(
            1, static_cast<int>(std::lround(static_cast<double>(monospaceAdvance) * face->units_per_EM /
                                            static_cast<double>(face->glyph->advance.x))));
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em));
    lineHeight_ = lineHeight;
    fontFile_ = fontFile;
    monospaceAdvance_ = monospaceAdvance;
    ascent_ = static_cast<int>(std::lround(static_cast<double>(face->ascender) * em / face->units_per_EM));

    // Rasterise every character, then pack them on shelves of one atlas.
    struct Bitmap {
        std::vector<uint8_t> pixels;
        int w = 0, h = 0;
    };
    std::array<Bitmap, 256> bitmaps;
    for (int byte = 32; byte < 256; ++byte) {
        const uint32_t code = codePoint(byte);
        if (!code || FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot slot = face->glyph;
        Glyph& g = glyphs_[static_cast<size_t>(byte)];
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        Bitmap& b = bitmaps[static_cast<size_t>(byte)];
        b.w = static_cast<int>(slot->bitmap.width);
        b.h = static_cast<int>(slot->bitmap.rows);
        b.pixels.resize(static_cast<size_t>(b.w) * static_cast<size_t>(b.h));
        for (int row = 0; row < b.h; ++row)
            std::copy_n(slot->bitmap.buffer + static_cast<std::ptrdiff_t>(row) * slot->bitmap.pitch, b.w,
                        b.pixels.begin() + static_cast<std::ptrdiff_t>(row) * b.w);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    atlasWidth_ = lineHeight > 32 ? 1024 : 512;
    int x = 1, y = 1, shelf = 0;
    for (int byte = 32; byte < 256; ++byte) {
        Bitmap& b = bitmaps[static_cast<size_t>(byte)];
        if (x + b.w + 1 > atlasWidth_) {
            x = 1;
            y += shelf + 1;
            shelf = 0;
        }
        Glyph& g = glyphs_[static_cast<size_t>(byte)];
        g.x = x;
        g.y = y;
        g.w = b.w;
        g.h = b.h;
        x += b.w + 1;
        shelf = std::max(shelf, b.h);
    }
    atlasHeight_ = 1;
    while (atlasHeight_ < y + shelf + 1)
        atlasHeight_ *= 2;

    std::vector<uint8_t> atlas(static_cast<size_t>(atlasWidth_) * static_cast<size_t>(atlasHeight_), 0);
    for (int byte = 32; byte < 256; ++byte) {
        const Bitmap& b = bitmaps[static_cast<size_t>(byte)];
        const Glyph& g = glyphs_[static_cast<size_t>(byte)];
        for (int row = 0; row < b.h; ++row)
            std::copy_n(b.pixels.begin() + static_cast<std::ptrdiff_t>(row) * b.w, b.w,
                        atlas.begin() + static_cast<std::ptrdiff_t>(g.y + row) * atlasWidth_ + g.x);
    }
    glCreateTextures(GL_TEXTURE_2D, 1, &atlas_);
    glTextureStorage2D(atlas_, 1, GL_R8, atlasWidth_, atlasHeight_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTextureSubImage2D(atlas_, 0, 0, 0, atlasWidth_, atlasHeight_, GL_RED, GL_UNSIGNED_BYTE, atlas.data());
    // Glyphs are drawn at their own size on whole pixels: no filtering between texels.
    glTextureParameteri(atlas_, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTextureParameteri(atlas_, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTextureParameteri(atlas_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTextureParameteri(atlas_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return atlas_ != 0;
}

int GlFont::layout(const char* text, size_t length, float x, float y, std::vector<Vertex>& out) const {
    if (!text || length == 0) return 0;
    int lines = 1;
    float penX = x;
    float baseline = y + static_cast<float>(ascent_);
    const float su = 1.0f / static_cast<float>(atlasWidth_), sv = 1.0f / static_cast<float>(atlasHeight_);
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++lines;
            penX = x;
            baseline += static_cast<float>(lineHeight_);
            continue;
        }
        const Glyph& g = glyphs_[byte];
        if (g.w > 0 && g.h > 0) {
            const float x0 = penX + static_cast<float>(g.left), y0 = baseline - static_cast<float>(g.top);
            const float x1 = x0 + static_cast<float>(g.w), y1 = y0 + static_cast<float>(g.h);
            const float u0 = static_cast<float>(g.x) * su, v0 = static_cast<float>(g.y) * sv;
            const float u1 = static_cast<float>(g.x + g.w) * su, v1 = static_cast<float>(g.y + g.h) * sv;
            out.push_back({x0, y0, u0, v0});
            out.push_back({x0, y1, u0, v1});
            out.push_back({x1, y1, u1, v1});
            out.push_back({x1, y1, u1, v1});
            out.push_back({x1, y0, u1, v0});
            out.push_back({x0, y0, u0, v0});
        }
        penX += static_cast<float>(g.advance);
    }
    return lines;
}

int GlFont::width(const char* text, size_t length) const {
    int w = 0;
    for (size_t i = 0; i < length && text[i] != '\n'; ++i)
        w += glyphs_[static_cast<unsigned char>(text[i])].advance;
    return w;
}
