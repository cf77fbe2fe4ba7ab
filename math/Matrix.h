// 4 x 4 float matrices with the Direct3D conventions the engine was designed around:
// row-major storage, row vectors (v' = v x M), left-handed coordinates, and a product
// a x b that applies a first. Shaders receive the storage untransposed and compute M * v
// with GLSL's column-major reading, which is the same transform.
#pragma once

#include "math/Vector.h"

struct Matrix {
    float m[4][4] = {};

    static Matrix identity();
    bool operator==(const Matrix&) const = default;
    const float* data() const { return &m[0][0]; }
};

// a x b: transforms by a first, then by b.
Matrix matrixMultiply(const Matrix& a, const Matrix& b);
Matrix matrixTranspose(const Matrix& a);
// General inverse; a singular matrix yields the identity (and false through ok when given).
Matrix matrixInverse(const Matrix& a, bool* ok = nullptr);
Matrix matrixScaling(float sx, float sy, float sz);
Matrix matrixTranslation(float x, float y, float z);
Matrix matrixRotationX(float angle);
Matrix matrixRotationY(float angle);
Matrix matrixRotationZ(float angle);
// Roll about z, then pitch about x, then yaw about y (row-vector order).
Matrix matrixRotationYawPitchRoll(float yaw, float pitch, float roll);
// Left-handed perspective; depth maps to 0..1 between the near and the far plane.
Matrix matrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);
Matrix matrixLookAtLH(const Vector& eye, const Vector& at, const Vector& up);
// A placed object's own transform: scaled by `scale`, turned by `rotation` (x yaw, y pitch, z
// roll), then moved to `position`, that is Scaling x RotationYawPitchRoll x Translation. An object
// in a group is drawn at its own transform followed by its parent's, and so on up the group.
Matrix matrixObjectTransform(const Vector& position, const Vector& rotation, const Vector& scale);

// Row vector times matrix, with w = 1; the result is not divided by w.
Vector transformCoord(const Vector& v, const Matrix& m, float* wOut = nullptr);
