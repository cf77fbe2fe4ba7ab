// Small helpers shared by the actor suites: registered meshes and materials, and reading back
// what actors wrote into the filter chain.
#pragma once

#include "engine/EngineRegistry.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "tests/support/TestSupport.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

// A numbered mesh of the given size, registered with the registry (and so with the renderer).
inline Mesh* registerMesh(const std::string& name, uint32_t vertices) {
    Mesh* mesh = new Mesh(makeNumberedMesh(vertices, name));
    addMesh(mesh); // the registry keeps it
    return mesh;
}

inline Material* registerMaterial(const std::string& name) {
    auto material = std::make_unique<Material>();
    material->name = name;
    return addMaterialToRegistry(std::move(material));
}

// The filter parameter as it stands, or nothing when no one has written it.
inline std::optional<Vector> filterParameter(const std::string& name) {
    const std::map<std::string, Vector> all = getPostChain()->parameters();
    auto it = all.find(name);
    if (it == all.end()) return std::nullopt;
    return it->second;
}

#define EXPECT_VECTOR_NEAR(actual, expected, tolerance)                                                      \
    do {                                                                                                     \
        const Vector a_ = (actual);                                                                          \
        const Vector e_ = (expected);                                                                        \
        EXPECT_NEAR(a_.x, e_.x, tolerance);                                                                  \
        EXPECT_NEAR(a_.y, e_.y, tolerance);                                                                  \
        EXPECT_NEAR(a_.z, e_.z, tolerance);                                                                  \
    } while (0)
