// A mesh file through the reader, and what it made through the encoder again.
#include "engine/base/Log.h"
#include "render/Mesh.h"
#include "render/MeshFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (freshRegistry(), true);
    (void)ready;
    // Each refused file notes a problem: kept for millions of inputs, they would fill the memory.
    resetProblems();
    std::unique_ptr<Mesh> mesh;
    if (createMeshFromBytes(data, size, "fuzz", mesh) != 0) return 0;
    // A mesh that loads keeps every vertex it was given: its encoding is the file's first bytes.
    const std::vector<uint8_t> again = encodeMeshFile(*mesh);
    if (again.size() > size || !std::equal(again.begin(), again.end(), data)) std::abort();
    return 0;
}
