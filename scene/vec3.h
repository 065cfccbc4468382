#ifndef SCENE_VEC3_H
#define SCENE_VEC3_H

#include <cmath>

// A point or direction of the scene: three single-precision floats. Points are metres in the world
// frame (x and z across the slope, y up). A plain value type, freely copied.
struct Vec3 {
    float x, y, z;

    // Leaves the components unset, like a built-in float.
    Vec3() = default;
    Vec3(float x, float y, float z) : x(x), y(y), z(z) {}
};

// Every operation works in single precision: each component is rounded to float.
inline Vec3 operator+(Vec3 a, Vec3 b) { return Vec3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline Vec3 operator-(Vec3 a, Vec3 b) { return Vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline Vec3 operator*(Vec3 a, float s) { return Vec3(a.x * s, a.y * s, a.z * s); }

// The unit vector along v; the zero vector when v has length 0 exactly.
inline Vec3 normalize(Vec3 v) {
    const float squared = v.x * v.x + v.y * v.y + v.z * v.z;
    const float length = std::sqrt(squared);
    if (length == 0.0f) {
        return Vec3(0.0f, 0.0f, 0.0f);
    }
    return Vec3(v.x / length, v.y / length, v.z / length);
}

inline Vec3 cross(Vec3 a, Vec3 b) {
    return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

#endif  // SCENE_VEC3_H
