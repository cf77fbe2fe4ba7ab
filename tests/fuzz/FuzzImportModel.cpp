// A model made elsewhere through beatshow-import's reading (Assimp and our conversion to engine
// meshes), in any format Assimp reads: the input's first line may name it (see ModelHint.h).
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/ModelHint.h"
#include "tools/import/ModelImport.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ModelInput input = splitModelHint(data, size);
    // A folder of its own below the scratch folder: a picture the model names is looked for
    // beside it and one folder up, which then holds nothing else.
    const std::string path =
        writeScratchFile("models/model" + (input.extension.empty() ? "" : "." + input.extension),
                         data + input.offset, size - input.offset);
    ImportedModel model;
    std::string error;
    readModel(path, "fuzz", ModelSettings{}, model, error);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return 0;
}
