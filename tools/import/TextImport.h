// Words of one's own as a material: a line of text rendered with FreeType into a picture, white
// letters on black, and a flat rectangle of the picture's proportions to show it on.
#pragma once

#include "tools/Picture.h"
#include "tools/import/MeshConvert.h"

#include <string>
#include <vector>

// The font beatshow-import letters with unless told otherwise (Debian's fonts-dejavu-core).
std::string defaultFontPath();

// The words (UTF-8, one line) upright, `pixelHeight` pixels to the em, with a margin of a quarter
// of that all round the inked letters. 0, or -1 and a message (a font that does not open, no
// words, nothing inked, a picture wider than 16384 pixels).
int renderWords(const std::string& words, const std::string& fontPath, int pixelHeight, Image& out,
                std::string& error);

// A rectangle `unitsHigh` tall and as wide as a width x height picture, centred on the origin in
// the x-y plane and facing -z, towards an engine camera looking along +z, which sees the whole
// picture upright and unmirrored.
std::vector<MeshRecord> pictureRectangle(int width, int height, float unitsHigh);
