// Bounding spheres and frusta: what the renderer leaves out must be truly out of the picture.
#include "render/Bounds.h"
#include "render/Mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

Mesh meshOf(std::vector<Vector> positions, uint32_t vertexCount = 0) {
    Mesh mesh;
    mesh.vertexCount = vertexCount ? vertexCount : static_cast<uint32_t>(positions.size());
    mesh.positions = std::move(positions);
    return mesh;
}

// The camera of the geometry pass: 70 degrees, 16:9, near 0.05, far 30, at the origin looking
// along +z.
Matrix cameraAtOrigin() {
    return matrixMultiply(matrixLookAtLH({0, 0, 0}, {0, 0, 1}, {0, 1, 0}),
                          matrixPerspectiveFovLH(1.2217305f, 16.0f / 9.0f, 0.05f, 30.0f));
}

// Whether a point lands inside the clip volume of a view x projection matrix.
bool clipped(const Vector& p, const Matrix& m) {
    float w = 0;
    const Vector c = transformCoord(p, m, &w);
    return !(c.x >= -w && c.x <= w && c.y >= -w && c.y <= w && c.z >= 0 && c.z <= w);
}

TEST(Bounds, TheMeshSphereHoldsEveryVertexAndTheOriginForMissingOnes) {
    const Sphere box = boundingSphereOf(meshOf({{-1, -1, -1}, {1, 1, 1}, {3, 1, 1}}));
    EXPECT_NEAR(box.centre.x, 1.0f, 1e-6f);
    EXPECT_NEAR(box.centre.y, 0.0f, 1e-6f);
    EXPECT_GE(box.radius, std::sqrt(4.0f + 1 + 1));
    EXPECT_LT(box.radius, std::sqrt(4.0f + 1 + 1) * 1.01f);

    // Two positions for three vertices: the third is drawn at the origin.
    const Sphere shortArray = boundingSphereOf(meshOf({{4, 4, 4}, {5, 5, 5}}, 3));
    EXPECT_GE(shortArray.radius, (shortArray.centre - Vector{0, 0, 0}).length());
    // No positions at all: every vertex at the origin.
    const Sphere none = boundingSphereOf(meshOf({}, 6));
    EXPECT_EQ(none.centre, (Vector{0, 0, 0}));
    EXPECT_GE(none.radius, 0.0f);
    // A position that is not a number reaches everywhere.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(std::isinf(boundingSphereOf(meshOf({{0, 0, 0}, {nan, 0, 0}, {1, 1, 1}})).radius));
}

TEST(Bounds, ATransformedSphereHoldsTheTransformedVertices) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<Vector> points;
    for (int i = 0; i < 200; ++i)
        points.push_back({unit(random) * 2, unit(random), unit(random) * 0.5f});
    const Sphere local = boundingSphereOf(meshOf(points));
    const Matrix models[] = {
        matrixMultiply(
            matrixMultiply(matrixScaling(3, 0.5f, 2), matrixRotationYawPitchRoll(0.7f, -1.1f, 2.3f)),
            matrixTranslation(10, -4, 25)),
        matrixScaling(-2, 2, 2),                                       // mirrored
        matrixMultiply(matrixRotationX(0.4f), matrixScaling(1, 7, 1)), // stretched after turning
    };
    for (const Matrix& model : models) {
        const Sphere world = transformSphere(local, model);
        for (const Vector& p : points)
            EXPECT_LE((transformCoord(p, model) - world.centre).length(), world.radius);
    }
    // A scaling and a rotation stretch by the largest scale, not more.
    const Sphere scaled = transformSphere({{0, 0, 0}, 1.0f}, models[0]);
    EXPECT_NEAR(scaled.radius, 3.0f, 0.01f);
    // A matrix that is not finite keeps the sphere everywhere.
    Matrix broken = Matrix::identity();
    broken.m[0][0] = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(std::isinf(transformSphere({{0, 0, 0}, 1.0f}, broken).radius));
}

TEST(Bounds, TheFrustumExcludesOnlySpheresWhollyOutside) {
    const Frustum view(cameraAtOrigin());
    EXPECT_FALSE(view.excludes({{0, 0, 10}, 0.5f}));    // ahead
    EXPECT_TRUE(view.excludes({{0, 0, -2}, 0.5f}));     // behind
    EXPECT_TRUE(view.excludes({{0, 0, 32}, 1.0f}));     // beyond the far plane
    EXPECT_FALSE(view.excludes({{0, 0, 30.5f}, 1.0f})); // across it
    EXPECT_FALSE(view.excludes({{0, 0, -0.5f}, 0.6f})); // across the near plane
    EXPECT_TRUE(view.excludes({{30, 0, 10}, 1.0f}));    // far to the right
    EXPECT_FALSE(view.excludes({{0, 0, 0}, std::numeric_limits<float>::infinity()}));

    // Against the clip volume itself: a sphere reported outside has no point inside; spheres
    // grazing the sides are the cases that matter.
    const Matrix camera = cameraAtOrigin();
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-20.0f, 40.0f), size(0.01f, 3.0f), unit(-1.0f, 1.0f);
    int excluded = 0;
    for (int i = 0; i < 2000; ++i) {
        const Sphere s{{coordinate(random), coordinate(random) * 0.5f, coordinate(random)}, size(random)};
        if (!view.excludes(s)) continue;
        ++excluded;
        for (int k = 0; k < 50; ++k) {
            Vector d{unit(random), unit(random), unit(random)};
            if (d.lengthSquared() < 1e-4f) continue;
            const Vector p = s.centre + d.normalized() * (s.radius * std::abs(unit(random)));
            ASSERT_TRUE(clipped(p, camera)) << "a point of an excluded sphere is in the picture";
        }
    }
    EXPECT_GT(excluded, 500); // the test saw plenty of excluded spheres
}

TEST(Bounds, ADegenerateMatrixExcludesNothing) {
    const Frustum none(Matrix{});
    EXPECT_FALSE(none.excludes({{100, 100, 100}, 1.0f}));
}

} // namespace
