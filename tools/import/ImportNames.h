// Asset names for imported files. A name becomes a file name (model/NAME.obj, tex/NAME.bmp) and an
// element name in the scene file, whose reader keeps only letters, digits, "_", "." and "-" (and
// ":", which automation names use as a separator, so it is left out here too).
#pragma once

#include <set>
#include <string>

// The text with every other byte replaced by "_", runs of "_" folded and "_" trimmed at both
// ends; "asset" when nothing is left. A name ending in "_normal" or "_emissive" would be taken
// for another material's companion picture, so it gains a trailing "_".
std::string assetName(const std::string& text);

// A file's name without directory and extensions' last part ("models/Crate 2.glb" -> "Crate 2").
std::string fileStem(const std::string& path);

// Hands out names that are unique within one run: a name already given gets "_2", "_3", ...
class NameBook {
public:
    std::string claim(const std::string& wanted);
    bool taken(const std::string& name) const { return names_.count(name) != 0; }

private:
    std::set<std::string> names_;
};
