// beatshow-import: models, pictures, music and words made elsewhere, as the files of a show
// directory (see ImportCommand.h).
#include "tools/import/ImportCommand.h"
#include "tools/import/SyncImport.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    // A song's tempo and a tracker's files have a command line of their own (SyncImport.h).
    if (int status = 0; runSyncImport(arguments, std::cout, std::cerr, status)) return status;
    ImportRequest request;
    std::string error;
    if (parseImportArguments(arguments, request, error) != 0) {
        std::cerr << "beatshow-import: " << error << "\n" << importUsage();
        return 2;
    }
    if (request.help) {
        std::cout << importUsage() << syncImportUsage();
        return 0;
    }
    return runImport(request, std::cout, std::cerr);
}
