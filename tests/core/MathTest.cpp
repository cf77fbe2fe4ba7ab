#include "math/Matrix.h"
#include "math/Quaternion.h"

#include <gtest/gtest.h>

#include <numbers>

namespace {

constexpr float pi = std::numbers::pi_v<float>;

void expectVectorNear(const Vector& actual, const Vector& expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectIdentity(const Matrix& m, float tolerance = 1e-5f) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(m.m[i][j], i == j ? 1.0f : 0.0f, tolerance) << i << "," << j;
}

TEST(Math, RotationsFollowTheLeftHandedRowVectorConvention) {
    // A quarter turn about y carries +x to -z and +z to +x.
    expectVectorNear(transformCoord({1, 0, 0}, matrixRotationY(pi / 2)), {0, 0, -1});
    expectVectorNear(transformCoord({0, 0, 1}, matrixRotationY(pi / 2)), {1, 0, 0});
    // About x, +y goes to +z; about z, +x goes to +y.
    expectVectorNear(transformCoord({0, 1, 0}, matrixRotationX(pi / 2)), {0, 0, 1});
    expectVectorNear(transformCoord({1, 0, 0}, matrixRotationZ(pi / 2)), {0, 1, 0});
}

TEST(Math, YawPitchRollAppliesRollThenPitchThenYaw) {
    const Matrix m = matrixRotationYawPitchRoll(pi / 2, pi / 2, pi / 2);
    // +x: roll takes it to +y, pitch to +z, yaw to +x.
    expectVectorNear(transformCoord({1, 0, 0}, m), {1, 0, 0});
    // +y: roll takes it to -x, pitch leaves it, yaw takes -x to +z.
    expectVectorNear(transformCoord({0, 1, 0}, m), {0, 0, 1});
}

TEST(Math, ProductAppliesTheLeftMatrixFirst) {
    const Matrix scaleThenMove = matrixMultiply(matrixScaling(2, 2, 2), matrixTranslation(1, 0, 0));
    expectVectorNear(transformCoord({1, 1, 1}, scaleThenMove), {3, 2, 2});
    const Matrix moveThenScale = matrixMultiply(matrixTranslation(1, 0, 0), matrixScaling(2, 2, 2));
    expectVectorNear(transformCoord({1, 1, 1}, moveThenScale), {4, 2, 2});
}

TEST(Math, InverseTimesItselfIsTheIdentity) {
    const Matrix m = matrixMultiply(
        matrixMultiply(matrixScaling(0.5f, 2.0f, 3.0f), matrixRotationYawPitchRoll(0.3f, -1.1f, 2.0f)),
        matrixTranslation(4.0f, -2.0f, 7.5f));
    bool ok = false;
    expectIdentity(matrixMultiply(m, matrixInverse(m, &ok)), 1e-4f);
    EXPECT_TRUE(ok);
    expectIdentity(matrixMultiply(matrixInverse(m), m), 1e-4f);
}

TEST(Math, SingularMatrixHasNoInverse) {
    bool ok = true;
    expectIdentity(matrixInverse(matrixScaling(1, 0, 1), &ok));
    EXPECT_FALSE(ok);
}

TEST(Math, TransposeSwapsRowsAndColumns) {
    Matrix m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m.m[i][j] = static_cast<float>(i * 4 + j);
    const Matrix t = matrixTranspose(m);
    EXPECT_EQ(t.m[0][3], 12.0f);
    EXPECT_EQ(t.m[3][0], 3.0f);
    EXPECT_EQ(matrixTranspose(t), m);
}

TEST(Math, PerspectiveOfSeventyDegreesForTheShowWindow) {
    const Matrix p = matrixPerspectiveFovLH(1.2217305f, 1920.0f / 1080.0f, 0.05f, 30.0f);
    // cot(35 degrees) = 1.4281480; divided by the aspect 16 / 9.
    EXPECT_NEAR(p.m[1][1], 1.4281480f, 1e-5f);
    EXPECT_NEAR(p.m[0][0], 1.4281480f * 9.0f / 16.0f, 1e-5f);
    EXPECT_NEAR(p.m[2][2], 30.0f / 29.95f, 1e-6f);
    EXPECT_NEAR(p.m[3][2], -0.05f * 30.0f / 29.95f, 1e-6f);
    EXPECT_EQ(p.m[2][3], 1.0f);
    EXPECT_EQ(p.m[3][3], 0.0f);
    // The near plane maps to depth 0, the far plane to depth 1.
    float w = 0;
    Vector nearPoint = transformCoord({0, 0, 0.05f}, p, &w);
    EXPECT_NEAR(nearPoint.z / w, 0.0f, 1e-5f);
    Vector farPoint = transformCoord({0, 0, 30.0f}, p, &w);
    EXPECT_NEAR(farPoint.z / w, 1.0f, 1e-5f);
}

TEST(Math, LookAtPutsTheTargetStraightAhead) {
    const Matrix view = matrixLookAtLH({3, 0, 0}, {0, 0, 0}, {0, 1, 0});
    expectVectorNear(transformCoord({3, 0, 0}, view), {0, 0, 0});
    expectVectorNear(transformCoord({0, 0, 0}, view), {0, 0, 3});
    // Looking along -x with y up, +z lies to the right.
    expectVectorNear(transformCoord({3, 0, 1}, view), {1, 0, 0});
    expectVectorNear(transformCoord({3, 1, 0}, view), {0, 1, 0});
}

TEST(Math, QuaternionMatrixMatchesTheAxisRotation) {
    const Quaternion q = Quaternion::fromAxisAngle({0, 1, 0}, pi / 2);
    const Matrix m = quaternionToMatrix(q);
    const Matrix r = matrixRotationY(pi / 2);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(m.m[i][j], r.m[i][j], 1e-6f);
    expectIdentity(quaternionToMatrix(Quaternion{}));
}

TEST(Math, HamiltonProductComposesRotations) {
    const Quaternion a = Quaternion::fromAxisAngle({0, 0, 1}, pi / 4);
    const Quaternion b = a * a;
    const Quaternion half = Quaternion::fromAxisAngle({0, 0, 1}, pi / 2);
    EXPECT_NEAR(b.z, half.z, 1e-6f);
    EXPECT_NEAR(b.w, half.w, 1e-6f);
    // i * j = k.
    const Quaternion k = Quaternion{1, 0, 0, 0} * Quaternion{0, 1, 0, 0};
    EXPECT_EQ(k.z, 1.0f);
    EXPECT_EQ(k.w, 0.0f);
}

TEST(Math, VectorHelpers) {
    Vector v{3, 4, 0};
    EXPECT_FLOAT_EQ(v.length(), 5.0f);
    expectVectorNear(v.normalized(), {0.6f, 0.8f, 0});
    EXPECT_EQ(v[4], 4.0f); // index taken modulo 3
    EXPECT_EQ(v[-1], 0.0f);
    EXPECT_FLOAT_EQ(Vector(1, 2, 3).dot({4, 5, 6}), 32.0f);
}

} // namespace
