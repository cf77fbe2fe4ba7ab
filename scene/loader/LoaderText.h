#pragma once

// Small pieces of the loader's wording, shared by the scene's readers.

#include <cmath>
#include <string>
#include <vector>

// A comment reads as an element whose name starts with "--"; where it stands it is ignored, and
// rightly so.
inline bool isComment(const std::string& name) {
    return name.rfind("--", 0) == 0;
}

// A number that is not one, as a line names it.
inline std::string floatText(float f) {
    return std::isnan(f) ? "nan" : f > 0 ? "inf" : "-inf";
}

// "a, b and c"
inline std::string listText(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}
