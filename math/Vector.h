// Three-float vector used for positions, rotations (radians about x, y, z), scales and colours.
// Plain value type: no invariants, no allocation.
#pragma once

#include <cmath>

struct Vector {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vector() = default;
    constexpr Vector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    constexpr Vector operator+(const Vector& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vector operator-(const Vector& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vector operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr Vector operator-() const { return {-x, -y, -z}; }
    Vector& operator+=(const Vector& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    Vector& operator-=(const Vector& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
    Vector& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    constexpr bool operator==(const Vector&) const = default;

    constexpr float dot(const Vector& o) const { return x * o.x + y * o.y + z * o.z; }
    constexpr float lengthSquared() const { return dot(*this); }
    float length() const { return std::sqrt(lengthSquared()); }

    // Multiplies by 1 / length, as the engine always has: a zero vector becomes NaN, which callers avoid.
    Vector normalized() const { return *this * (1.0f / length()); }

    // Component by index, taken modulo 3 so that any index is safe.
    float& operator[](int i) {
        switch (((i % 3) + 3) % 3) {
        case 0:
            return x;
        case 1:
            return y;
        default:
            return z;
        }
    }
    float operator[](int i) const { return const_cast<Vector&>(*this)[i]; }
};

constexpr Vector cross(const Vector& a, const Vector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
