// Rotation quaternion (x, y, z, w) with the three operations the camera needs.
#pragma once

#include "math/Matrix.h"
#include "math/Vector.h"

struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    // (axis * sin(angle / 2), cos(angle / 2)); the axis is used as given, not normalised.
    static Quaternion fromAxisAngle(const Vector& axis, float angle);
};

// Hamilton product p (x) q, p on the left.
Quaternion operator*(const Quaternion& p, const Quaternion& q);

// Row-vector rotation matrix of the quaternion; the zero quaternion gives the identity.
Matrix quaternionToMatrix(const Quaternion& q);
