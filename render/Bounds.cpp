#include "render/Bounds.h"

#include "render/Mesh.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float Infinite = std::numeric_limits<float>::infinity();

bool finite(const Vector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

Sphere boundingSphereOf(const Mesh& mesh) {
    const size_t drawn = std::min<size_t>(mesh.positions.size(), mesh.vertexCount);
    const bool origin = drawn < mesh.vertexCount;
    if (drawn == 0) return {};
    Vector low = mesh.positions[0], high = mesh.positions[0];
    for (size_t i = 0; i < drawn; ++i) {
        const Vector& p = mesh.positions[i];
        if (!finite(p)) return {{}, Infinite};
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    if (origin) {
        low = {std::min(low.x, 0.0f), std::min(low.y, 0.0f), std::min(low.z, 0.0f)};
        high = {std::max(high.x, 0.0f), std::max(high.y, 0.0f), std::max(high.z, 0.0f)};
    }
    Sphere sphere;
    sphere.centre = (low + high) * 0.5f;
    float farthest = origin ? sphere.centre.lengthSquared() : 0.0f;
    for (size_t i = 0; i < drawn; ++i)
        farthest = std::max(farthest, (mesh.positions[i] - sphere.centre).lengthSquared());
    // A little more than the farthest vertex, for the rounding of the square root and of the
    // transforms that follow.
    sphere.radius = std::sqrt(farthest) * 1.0001f + 1e-5f;
    return sphere;
}

Sphere transformSphere(const Sphere& sphere, const Matrix& model) {
    const auto& m = model.m;
    Sphere out;
    out.centre = {sphere.centre.x * m[0][0] + sphere.centre.y * m[1][0] + sphere.centre.z * m[2][0] + m[3][0],
                  sphere.centre.x * m[0][1] + sphere.centre.y * m[1][1] + sphere.centre.z * m[2][1] + m[3][1],
                  sphere.centre.x * m[0][2] + sphere.centre.y * m[1][2] + sphere.centre.z * m[2][2] +
                      m[3][2]};
    // The largest stretch is the square root of the largest eigenvalue of A x A^T (A the 3 x 3
    // part); no eigenvalue exceeds the largest absolute row sum of that matrix. For a scaling
    // followed by a rotation the rows are orthogonal and the bound is exact.
    double rows[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rows[i][j] = static_cast<double>(m[i][0]) * m[j][0] + static_cast<double>(m[i][1]) * m[j][1] +
                         static_cast<double>(m[i][2]) * m[j][2];
    double largest = 0.0;
    for (int i = 0; i < 3; ++i)
        largest = std::max(largest, std::abs(rows[i][0]) + std::abs(rows[i][1]) + std::abs(rows[i][2]));
    const double radius = static_cast<double>(sphere.radius) * std::sqrt(largest) * 1.0001 + 1e-5;
    out.radius = std::isfinite(radius) && finite(out.centre) ? static_cast<float>(radius) : Infinite;
    return out;
}

Frustum::Frustum(const Matrix& viewProjection) {
    // Clip coordinates are (x, y, z, 1) x M: each is a dot product with a column of M.
    const auto& m = viewProjection.m;
    auto column = [&](int c, double out[4]) {
        for (int r = 0; r < 4; ++r)
            out[r] = m[r][c];
    };
    double x[4], y[4], z[4], w[4];
    column(0, x);
    column(1, y);
    column(2, z);
    column(3, w);
    double planes[6][4];
    for (int k = 0; k < 4; ++k) {
        planes[0][k] = w[k] + x[k]; // left
        planes[1][k] = w[k] - x[k]; // right
        planes[2][k] = w[k] + y[k]; // bottom
        planes[3][k] = w[k] - y[k]; // top
        planes[4][k] = z[k];        // near
        planes[5][k] = w[k] - z[k]; // far
    }
    for (int p = 0; p < 6; ++p) {
        const double length = std::sqrt(planes[p][0] * planes[p][0] + planes[p][1] * planes[p][1] +
                                        planes[p][2] * planes[p][2]);
        usable_[p] = std::isfinite(length) && length > 1e-12 && std::isfinite(planes[p][3]);
        for (int k = 0; k < 4 && usable_[p]; ++k)
            planes_[p][k] = static_cast<float>(planes[p][k] / length);
    }
}

bool Frustum::excludes(const Sphere& sphere) const {
    const Vector& c = sphere.centre;
    for (int p = 0; p < 6; ++p) {
        if (!usable_[p]) continue;
        const double distance = static_cast<double>(planes_[p][0]) * c.x +
                                static_cast<double>(planes_[p][1]) * c.y +
                                static_cast<double>(planes_[p][2]) * c.z + planes_[p][3];
        // Rounding in the plane itself is allowed for by a margin that grows with the distances.
        const double margin =
            1e-4 * (1.0 + std::abs(static_cast<double>(planes_[p][3])) + std::abs(static_cast<double>(c.x)) +
                    std::abs(static_cast<double>(c.y)) + std::abs(static_cast<double>(c.z)));
        if (distance < -static_cast<double>(sphere.radius) - margin) return true;
    }
    return false;
}
