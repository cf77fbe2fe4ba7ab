// A font for the overlay: every character of the Windows-1252 code page (the byte strings the
// engine draws) rasterised once by FreeType into one single-channel atlas texture, and the
// layout of a string into textured quads. Built at start-up, never per frame.
//
// The font is sized by its line: ascent plus descent equal the requested height in pixels, which
// is also the height drawText reports for one line.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class GlFont {
public:
    // One corner of a glyph quad: pixel position and atlas coordinate.
    struct Vertex {
        float x, y, u, v;
    };

    GlFont() = default;
    ~GlFont();
    GlFont(const GlFont&) = delete;
    GlFont& operator=(const GlFont&) = delete;

    // Loads the face file and builds the atlas (needs a current GL context). False with the
    // reason in `error` when the file cannot be used. A monospace advance, when given, sizes the
    // glyphs by their width instead (the line height stays as given).
    bool build(const std::string& fontFile, int lineHeight, std::string& error, int monospaceAdvance = 0);

    int lineHeight() const { return lineHeight_; }
    // What the font was built from, so that the same face can be built again at another size.
    const std::string& fontFile() const { return fontFile_; }
    int monospaceAdvance() const { return monospaceAdvance_; }
    GLuint atlas() const { return atlas_; }
    // Quads (two triangles, six vertices each) for `text` with the top-left corner of its first
    // line at (x, y); "\n" starts a new line. Returns the number of lines.
    int layout(const char* text, size_t length, float x, float y, std::vector<Vertex>& out) const;
    // The advance of a string's first line, in pixels (for centring).
    int width(const char* text, size_t length) const;

private:
    struct Glyph {
        int x = 0, y = 0, w = 0, h = 0; // in the atlas
        int left = 0, top = 0;          // bitmap offset from the pen on the baseline
        int advance = 0;
    };

    std::array<Glyph, 256> glyphs_{};
    int lineHeight_ = 0;
    std::string fontFile_;
    int monospaceAdvance_ = 0;
    int ascent_ = 0;
    int atlasWidth_ = 0;
    int atlasHeight_ = 0;
    GLuint atlas_ = 0;
};

// Where the engine's font faces live: DejaVu Sans stands for "Tahoma", DejaVu Sans Mono for
// "Consolas". Empty when the file is not installed.
std::string findFontFile(const std::string& face);
// A folder searched before the system's (a release's own fonts beside its program); a folder
// that does not exist is skipped.
void addFontFolder(const std::string& folder);
