#include "math/Quaternion.h"

#include <cmath>

Quaternion Quaternion::fromAxisAngle(const Vector& axis, float angle) {
    const float s = std::sin(angle * 0.5f);
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f)};
}

Quaternion operator*(const Quaternion& p, const Quaternion& q) {
    return {
        p.x * q.w + p.w * q.x + p.y * q.z - p.z * q.y,
        p.y * q.w + p.w * q.y - p.x * q.z + p.z * q.x,
        p.z * q.w + p.w * q.z + p.x * q.y - p.y * q.x,
        p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z,
    };
}

Matrix quaternionToMatrix(const Quaternion& q) {
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    Matrix r;
    r.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    r.m[0][1] = 2.0f * (x * y + w * z);
    r.m[0][2] = 2.0f * (x * z - w * y);
    r.m[1][0] = 2.0f * (x * y - w * z);
    r.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    r.m[1][2] = 2.0f * (y * z + w * x);
    r.m[2][0] = 2.0f * (x * z + w * y);
    r.m[2][1] = 2.0f * (y * z - w * x);
    r.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
    r.m[3][3] = 1.0f;
    return r;
}
