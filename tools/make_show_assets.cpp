// beatshow-assets: writes the default show's meshes (model/*.obj) and bitmaps (tex/*.bmp) into a
// show directory. Same inputs, same bytes: the build runs it whenever the tool or the fonts change.
//
//   beatshow-assets SHOW_DIR [--fonts DIR]
#include "tools/AtomicFile.h"
#include "tools/ShowAssets.h"

#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    std::string showDirectory, fontDirectory = DefaultFontDirectory;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fonts") == 0 && i + 1 < argc) {
            fontDirectory = argv[++i];
        } else if (argv[i][0] != '-' && showDirectory.empty()) {
            showDirectory = argv[i];
        } else {
            showDirectory.clear();
            break;
        }
    }
    if (showDirectory.empty()) {
        std::cerr << "usage: beatshow-assets SHOW_DIR [--fonts DIR]\n";
        return 2;
    }

    FontSet fonts;
    std::string error;
    if (!openFonts(fontDirectory, fonts, error)) {
        std::cerr << "beatshow-assets: " << error << "\n";
        return 1;
    }
    for (const AssetFile& file : makeShowAssets(fonts)) {
        if (!writeFileAtomically(std::filesystem::path(showDirectory) / file.path, file.bytes, error)) {
            std::cerr << "beatshow-assets: " << error << "\n";
            return 1;
        }
        std::cout << file.path << "  " << file.description << ", " << file.bytes.size() << " bytes\n";
    }
    return 0;
}
