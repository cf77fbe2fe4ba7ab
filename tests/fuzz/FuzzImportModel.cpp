// A model made elsewhere through beatshow-import's reading (Assimp and our conversion to engine
// meshes), as a Wavefront OBJ file: the text format the importer sees most.
#include "tests/fuzz/FuzzSupport.h"
#include "tools/import/ModelImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = writeScratchFile("model.obj", data, size);
    ImportedModel model;
    std::string error;
    readModel(path, "fuzz", ModelSettings{}, model, error);
    return 0;
}
