// beatshow-import: models, pictures, music and words made elsewhere, as the files of a show
// directory (see ImportCommand.h).
#include "tools/import/ImportCommand.h"

#include <iostream>

int main(int argc, char** argv) {
    ImportRequest request;
    std::string error;
    if (parseImportArguments(std::vector<std::string>(argv + 1, argv + argc), request, error) != 0) {
        std::cerr << "beatshow-import: " << error << "\n" << importUsage();
        return 2;
    }
    if (request.help) {
        std::cout << importUsage();
        return 0;
    }
    return runImport(request, std::cout, std::cerr);
}
