// The generated meshes as the engine loads them: whole triangles, unit frames that follow the
// texture coordinates, outward (or, for the tunnel, inward) normals, and sizes that fit the
// scales the stage scripts give them.
#include "tools/MeshShapes.h"
#include "math/Matrix.h"
#include "render/Mesh.h"
#include "render/MeshFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace {

// The mesh after a trip through the file format, as the engine's loader sees it.
std::unique_ptr<Mesh> reloaded(const Mesh& mesh) {
    const std::vector<uint8_t> bytes = encodeMeshFile(mesh);
    std::unique_ptr<Mesh> out;
    EXPECT_EQ(createMeshFromBytes(bytes.data(), bytes.size(), mesh.name, out), 0) << mesh.name;
    return out;
}

// dP/du and dP/dv of one triangle, from its positions and texture coordinates.
void triangleGradients(const Mesh& m, uint32_t first, Vector& dPdu, Vector& dPdv) {
    const Vector e1 = m.positions[first + 1] - m.positions[first];
    const Vector e2 = m.positions[first + 2] - m.positions[first];
    const float du1 = m.texCoords[first + 1].u - m.texCoords[first].u;
    const float dv1 = m.texCoords[first + 1].v - m.texCoords[first].v;
    const float du2 = m.texCoords[first + 2].u - m.texCoords[first].u;
    const float dv2 = m.texCoords[first + 2].v - m.texCoords[first].v;
    const float r = 1.0f / (du1 * dv2 - du2 * dv1);
    dPdu = (e1 * dv2 - e2 * dv1) * r;
    dPdv = (e2 * du1 - e1 * du2) * r;
}

// Volume enclosed by a closed triangle list: positive when the faces are wound clockwise seen
// from outside (their cross products point out).
double signedVolume(const Mesh& m) {
    double volume = 0;
    for (uint32_t i = 0; i + 2 < m.vertexCount; i += 3)
        volume += m.positions[i].dot(cross(m.positions[i + 1], m.positions[i + 2])) / 6.0;
    return volume;
}

float boundingRadius(const Mesh& m) {
    float r = 0;
    for (const Vector& p : m.positions)
        r = std::max(r, p.length());
    return r;
}

const std::vector<NamedMesh>& showMeshes() {
    static const std::vector<NamedMesh> all = makeShowMeshes();
    return all;
}

class EveryShowMesh : public ::testing::TestWithParam<size_t> {
protected:
    const Mesh& generated() const { return showMeshes()[GetParam()].mesh; }
};

TEST_P(EveryShowMesh, LoadsAsWholeTrianglesWithEveryArrayFilled) {
    const std::unique_ptr<Mesh> mesh = reloaded(generated());
    ASSERT_TRUE(mesh);
    EXPECT_GT(mesh->vertexCount, 0u);
    EXPECT_EQ(mesh->vertexCount % 3, 0u);
    EXPECT_EQ(mesh->normals.size(), mesh->vertexCount);
    EXPECT_EQ(mesh->texCoords.size(), mesh->vertexCount);
    EXPECT_EQ(mesh->tangents.size(), mesh->vertexCount);
    EXPECT_EQ(mesh->binormals.size(), mesh->vertexCount);
    EXPECT_EQ(mesh->positions, generated().positions);
}

TEST_P(EveryShowMesh, FramesAreOrthonormalAndRightHandedAroundTheNormal) {
    const std::unique_ptr<Mesh> m = reloaded(generated());
    ASSERT_TRUE(m);
    for (uint32_t i = 0; i < m->vertexCount; ++i) {
        const Vector n = m->normals[i], t = m->tangents[i], b = m->binormals[i];
        ASSERT_NEAR(n.length(), 1.0f, 1e-4f) << m->name << " vertex " << i;
        ASSERT_NEAR(t.length(), 1.0f, 1e-4f) << m->name << " vertex " << i;
        ASSERT_NEAR(b.length(), 1.0f, 1e-4f) << m->name << " vertex " << i;
        ASSERT_NEAR(t.dot(n), 0.0f, 1e-4f) << m->name << " vertex " << i;
        ASSERT_NEAR(b.dot(n), 0.0f, 1e-4f) << m->name << " vertex " << i;
        ASSERT_NEAR(t.dot(b), 0.0f, 1e-4f) << m->name << " vertex " << i;
        ASSERT_GT(cross(t, b).dot(n), 0.999f) << m->name << " vertex " << i;
    }
}

// A flat triangle's own dP/du and dP/dv differ from its vertices' frames only by the surface's
// curvature across it (up to about 20 degrees on the knot's thin tube and the tunnel's ribs).
TEST_P(EveryShowMesh, TangentsFollowUAndBinormalsFollowV) {
    const std::unique_ptr<Mesh> m = reloaded(generated());
    ASSERT_TRUE(m);
    for (uint32_t first = 0; first + 2 < m->vertexCount; first += 3) {
        Vector dPdu, dPdv;
        triangleGradients(*m, first, dPdu, dPdv);
        for (uint32_t i = first; i < first + 3; ++i) {
            ASSERT_GT(m->tangents[i].dot(dPdu.normalized()), 0.93f) << m->name << " vertex " << i;
            ASSERT_GT(m->binormals[i].dot(dPdv.normalized()), 0.93f) << m->name << " vertex " << i;
        }
    }
}

TEST_P(EveryShowMesh, TrianglesAreWoundClockwiseSeenFromTheirNormalsSide) {
    const std::unique_ptr<Mesh> m = reloaded(generated());
    ASSERT_TRUE(m);
    for (uint32_t first = 0; first + 2 < m->vertexCount; first += 3) {
        const Vector face = cross(m->positions[first + 1] - m->positions[first],
                                  m->positions[first + 2] - m->positions[first]);
        ASSERT_GT(face.length(), 0.0f) << m->name << " triangle " << first / 3 << " has no area";
        for (uint32_t i = first; i < first + 3; ++i)
            ASSERT_GT(face.normalized().dot(m->normals[i]), 0.5f) << m->name << " vertex " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, EveryShowMesh, ::testing::Range<size_t>(0, showMeshes().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return showMeshes()[info.param].name;
                         });

TEST(ShowMeshes, NameEveryMeshTheActorsLookUp) {
    std::vector<std::string> names;
    for (const NamedMesh& m : showMeshes()) {
        names.push_back(m.name);
        EXPECT_EQ(m.mesh.name, m.name);
    }
    for (const char* needed : {"eckig", "ding02", "Tunnel01"})
        EXPECT_NE(std::find(names.begin(), names.end(), needed), names.end()) << needed;
}

TEST(ShowMeshes, ClosedShapesFaceOutwardsAndHoldTheirVolume) {
    const double pi = std::numbers::pi;
    EXPECT_NEAR(signedVolume(makeCube("c")), 50.0 * 50.0 * 50.0, 1.0);
    EXPECT_NEAR(signedVolume(makeSphere("s")), 4.0 / 3.0 * pi * 40 * 40 * 40, 0.02 * 268083);
    EXPECT_NEAR(signedVolume(makeTorus("t")), 2 * pi * pi * 35 * 12 * 12, 0.03 * 99486);
    EXPECT_GT(signedVolume(makeTorusKnot("k")), 0.0);
}

TEST(ShowMeshes, CubeHasSixFlatFacesOfEdgeFifty) {
    const Mesh cube = makeCube("eckig");
    ASSERT_EQ(cube.vertexCount, 36u);
    for (uint32_t i = 0; i < cube.vertexCount; ++i) {
        const Vector p = cube.positions[i], n = cube.normals[i];
        EXPECT_FLOAT_EQ(std::abs(p.x), 25.0f);
        EXPECT_FLOAT_EQ(std::abs(p.y), 25.0f);
        EXPECT_FLOAT_EQ(std::abs(p.z), 25.0f);
        // The face's own axis: the normal is the unit axis the position sits on.
        EXPECT_FLOAT_EQ(p.dot(n), 25.0f);
        EXPECT_FLOAT_EQ(std::abs(n.x) + std::abs(n.y) + std::abs(n.z), 1.0f);
    }
}

TEST(ShowMeshes, SphereNormalsPointAwayFromItsCentre) {
    const Mesh sphere = makeSphere("sphere");
    for (uint32_t i = 0; i < sphere.vertexCount; ++i) {
        EXPECT_NEAR(sphere.positions[i].length(), 40.0f, 1e-3f);
        EXPECT_GT(sphere.positions[i].normalized().dot(sphere.normals[i]), 0.9999f) << i;
    }
}

TEST(ShowMeshes, ExplodingObjectHasThousandsOfSmallTriangles) {
    const Mesh knot = makeTorusKnot("ding02");
    const uint32_t triangles = knot.vertexCount / 3;
    EXPECT_GE(triangles, 2000u);
    EXPECT_LE(triangles, 5000u);
    // At the stage script's scale of 0.02 it is about a unit across: visible, and inside the tunnel.
    EXPECT_GT(boundingRadius(knot) * 0.02f, 0.5f);
    EXPECT_LT(boundingRadius(knot) * 0.02f, 1.5f);
}

TEST(ShowMeshes, CubeFlownAtScaleEightThousandthsIsSmallButVisible) {
    const float edge = 2 * makeCube("eckig").positions[0].x * 0.008f;
    EXPECT_GT(std::abs(edge), 0.2f);
    EXPECT_LT(std::abs(edge), 0.6f);
}

TEST(ShowMeshes, TunnelNormalsFaceItsAxis) {
    const Mesh tunnel = makeTunnel("Tunnel01");
    float minZ = 0, maxZ = 0;
    for (uint32_t i = 0; i < tunnel.vertexCount; ++i) {
        const Vector p = tunnel.positions[i];
        const Vector towardsAxis = Vector{-p.x, -p.y, 0}.normalized();
        EXPECT_GT(tunnel.normals[i].dot(towardsAxis), 0.9f) << i;
        const float r = std::hypot(p.x, p.y);
        EXPECT_GE(r, 94.9f);
        EXPECT_LE(r, 100.01f);
        minZ = std::min(minZ, p.z);
        maxZ = std::max(maxZ, p.z);
    }
    EXPECT_FLOAT_EQ(minZ, -350.0f);
    EXPECT_FLOAT_EQ(maxZ, 350.0f);
}

// The stage script's tunnel: scale (0.04, 0.05, 0.04), yaw 0.5, at (0, -1, 0), turning about its
// own axis once the next stage starts; its camera sits at (0, 0.3, 3).
TEST(ShowMeshes, TunnelSurroundsTheStageCameraWhileItTurns) {
    const Vector camera{0, 0.3f, 3.0f};
    for (int step = 0; step < 16; ++step) {
        const float roll = static_cast<float>(step) * std::numbers::pi_v<float> / 8;
        const Matrix model = matrixMultiply(
            matrixMultiply(matrixScaling(0.04f, 0.05f, 0.04f), matrixRotationYawPitchRoll(0.5f, 0, roll)),
            matrixTranslation(0, -1, 0));
        bool ok = false;
        const Vector local = transformCoord(camera, matrixInverse(model, &ok));
        ASSERT_TRUE(ok);
        // Inside the tube with room to spare (its narrowest radius is 95), far from either end.
        EXPECT_LT(std::hypot(local.x, local.y), 70.0f) << "roll " << roll;
        EXPECT_LT(std::abs(local.z), 200.0f) << "roll " << roll;
    }
}

TEST(ShowMeshes, FloorAndPanelFaceTheirViewers) {
    const Mesh floor = makeFloor("floor");
    for (uint32_t i = 0; i < floor.vertexCount; ++i) {
        EXPECT_EQ(floor.normals[i], (Vector{0, 1, 0}));
        EXPECT_EQ(floor.positions[i].y, 0.0f);
    }
    const Mesh panel = makePanel("panel");
    ASSERT_EQ(panel.vertexCount, 6u);
    for (uint32_t i = 0; i < panel.vertexCount; ++i)
        EXPECT_EQ(panel.normals[i], (Vector{0, 0, 1}));
}

} // namespace
