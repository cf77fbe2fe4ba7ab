// Text for the generated pictures, rendered with FreeType from the DejaVu fonts (Debian's
// fonts-dejavu-core). Coverage goes into a Field, which the generators then paint, blur or glow.
// The output depends only on the font file and the FreeType version: no system font lookup.
#pragma once

#include "tools/Picture.h"

#include <memory>
#include <string>

struct TextExtent {
    int width = 0;   // advance of the whole line in pixels
    int ascent = 0;  // pixels the inked glyphs reach above the baseline
    int descent = 0; // pixels they reach below it
};

class Font {
public:
    // Null and a message naming the file when it cannot be opened as a font.
    static std::unique_ptr<Font> open(const std::string& path, std::string& error);
    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Adds the coverage of a line of UTF-8 text with the pen starting at (x, baseline).
    void draw(Field& mask, const std::string& text, int x, int baseline, int pixelHeight) const;
    TextExtent measure(const std::string& text, int pixelHeight) const;
    // Draws the line centred horizontally on cx with its inked part centred vertically on cy.
    void drawCentred(Field& mask, const std::string& text, int cx, int cy, int pixelHeight) const;

private:
    Font() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The directory the show's fonts come from unless the generator is told otherwise.
constexpr const char* DefaultFontDirectory = "/usr/share/fonts/truetype/dejavu";

// The three faces the textures use, opened from one directory.
struct FontSet {
    std::unique_ptr<Font> regular; // DejaVuSans.ttf
    std::unique_ptr<Font> bold;    // DejaVuSans-Bold.ttf
    std::unique_ptr<Font> mono;    // DejaVuSansMono.ttf
};
// False and a message when one of the files is missing.
bool openFonts(const std::string& directory, FontSet& fonts, std::string& error);
