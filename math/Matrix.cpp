#include "math/Matrix.h"

#include <cmath>

Matrix Matrix::identity() {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        r.m[i][i] = 1.0f;
    return r;
}

Matrix matrixMultiply(const Matrix& a, const Matrix& b) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k)
                s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

Matrix matrixTranspose(const Matrix& a) {
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[j][i];
    return r;
}

Matrix matrixInverse(const Matrix& a, bool* ok) {
    // Gauss-Jordan elimination with partial pivoting, in double for a little headroom.
    double w[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            w[i][j] = a.m[i][j];
            w[i][j + 4] = (i == j) ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(w[r][col]) > std::fabs(w[pivot][col])) pivot = r;
        if (std::fabs(w[pivot][col]) < 1e-12) {
            if (ok) *ok = false;
            return Matrix::identity();
        }
        if (pivot != col)
            for (int j = 0; j < 8; ++j)
                std::swap(w[pivot][j], w[col][j]);
        const double inv = 1.0 / w[col][col];
        for (int j = 0; j < 8; ++j)
            w[col][j] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const double f = w[r][col];
            if (f == 0.0) continue;
            for (int j = 0; j < 8; ++j)
                w[r][j] -= f * w[col][j];
        }
    }
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = static_cast<float>(w[i][j + 4]);
    if (ok) *ok = true;
    return r;
}

Matrix matrixScaling(float sx, float sy, float sz) {
    Matrix r = Matrix::identity();
    r.m[0][0] = sx;
    r.m[1][1] = sy;
    r.m[2][2] = sz;
    return r;
}

Matrix matrixTranslation(float x, float y, float z) {
    Matrix r = Matrix::identity();
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

Matrix matrixRotationX(float angle) {
    Matrix r = Matrix::identity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[1][1] = c;
    r.m[1][2] = s;
    r.m[2][1] = -s;
    r.m[2][2] = c;
    return r;
}

Matrix matrixRotationY(float angle) {
    Matrix r = Matrix::identity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Matrix matrixRotationZ(float angle) {
    Matrix r = Matrix::identity();
    const float c = std::cos(angle), s = std::sin(angle);
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

Matrix matrixRotationYawPitchRoll(float yaw, float pitch, float roll) {
    return matrixMultiply(matrixMultiply(matrixRotationZ(roll), matrixRotationX(pitch)),
                          matrixRotationY(yaw));
}

Matrix matrixObjectTransform(const Vector& position, const Vector& rotation, const Vector& scale) {
    return matrixMultiply(matrixMultiply(matrixScaling(scale.x, scale.y, scale.z),
                                         matrixRotationYawPitchRoll(rotation.x, rotation.y, rotation.z)),
                          matrixTranslation(position.x, position.y, position.z));
}

Matrix matrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar) {
    const float yScale = 1.0f / std::tan(fovY * 0.5f);
    const float xScale = yScale / aspect;
    Matrix r;
    r.m[0][0] = xScale;
    r.m[1][1] = yScale;
    r.m[2][2] = zFar / (zFar - zNear);
    r.m[2][3] = 1.0f;
    r.m[3][2] = -zNear * zFar / (zFar - zNear);
    return r;
}

Matrix matrixLookAtLH(const Vector& eye, const Vector& at, const Vector& up) {
    const Vector zaxis = (at - eye).normalized();
    const Vector xaxis = cross(up, zaxis).normalized();
    const Vector yaxis = cross(zaxis, xaxis);
    Matrix r = Matrix::identity();
    r.m[0][0] = xaxis.x;
    r.m[0][1] = yaxis.x;
    r.m[0][2] = zaxis.x;
    r.m[1][0] = xaxis.y;
    r.m[1][1] = yaxis.y;
    r.m[1][2] = zaxis.y;
    r.m[2][0] = xaxis.z;
    r.m[2][1] = yaxis.z;
    r.m[2][2] = zaxis.z;
    r.m[3][0] = -xaxis.dot(eye);
    r.m[3][1] = -yaxis.dot(eye);
    r.m[3][2] = -zaxis.dot(eye);
    return r;
}

Vector transformCoord(const Vector& v, const Matrix& m, float* wOut) {
    const float x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0];
    const float y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1];
    const float z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2];
    if (wOut) *wOut = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3];
    return {x, y, z};
}
