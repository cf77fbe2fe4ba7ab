#include "tools/import/ImportNames.h"

#include <filesystem>

namespace {

bool nameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '-';
}

} // namespace

std::string assetName(const std::string& text) {
    std::string out;
    for (char c : text) {
        const char kept = nameByte(c) ? c : '_';
        if (kept == '_' && !out.empty() && out.back() == '_') continue;
        out += kept;
    }
    while (!out.empty() && out.front() == '_')
        out.erase(out.begin());
    while (!out.empty() && out.back() == '_')
        out.pop_back();
    // A leading or trailing dot would make "tex/.bmp"-like or "name..bmp" files.
    while (!out.empty() && out.front() == '.')
        out.erase(out.begin());
    while (!out.empty() && out.back() == '.')
        out.pop_back();
    if (out.empty()) return "asset";
    if (out.ends_with("_normal") || out.ends_with("_emissive")) out += "_";
    return out;
}

std::string fileStem(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

std::string NameBook::claim(const std::string& wanted) {
    std::string name = wanted;
    for (int n = 2; names_.count(name) != 0; ++n)
        name = wanted + "_" + std::to_string(n);
    names_.insert(name);
    return name;
}
