// A mesh file through the reader, and what it made through the encoder again.
#include "render/Mesh.h"
#include "render/MeshFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (freshRegistry(), true);
    (void)ready;
    std::unique_ptr<Mesh> mesh;
    if (createMeshFromBytes(data, size, "fuzz", mesh) != 0) return 0;
    // A mesh that loads keeps every vertex it was given: its encoding is the file's first bytes.
    const std::vector<uint8_t> again = encodeMeshFile(*mesh);
    if (again.size() > size || !std::equal(again.begin(), again.end(), data)) std::abort();
    return 0;
}
