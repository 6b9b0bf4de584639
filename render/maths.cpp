#include "render/maths.h"

#include <cmath>

mat4 translate(const mat4& m, const vec3& v) {
    mat4 result = m;
    result[3] = m[0] * v.x + m[1] * v.y + m[2] * v.z + m[3];
    return result;
}

mat4 rotate(const mat4& m, float angleDegrees, const vec3& axis) {
    const float a = angleDegrees * DEG_TO_RAD;
    const float c = static_cast<float>(std::cos(static_cast<double>(a)));
    const float s = static_cast<float>(std::sin(static_cast<double>(a)));
    const vec3 n = normalize(axis);
    const float x = n.x, y = n.y, z = n.z;
    const float t = 1.0f - c;

    mat3 r;
    r[0] = vec3(c + t * x * x, t * x * y + s * z, t * x * z - s * y);
    r[1] = vec3(t * x * y - s * z, c + t * y * y, t * y * z + s * x);
    r[2] = vec3(t * x * z + s * y, t * y * z - s * x, c + t * z * z);

    mat4 result = m;
    for (int col = 0; col < 3; ++col) {
        result[col] = m[0] * r[col].x + m[1] * r[col].y + m[2] * r[col].z;
    }
    return result;
}

mat4 scale(const mat4& m, const vec3& v) {
    mat4 result = m;
    result[0] = m[0] * v.x;
    result[1] = m[1] * v.y;
    result[2] = m[2] * v.z;
    return result;
}

mat4 lookAt(const vec3& eye, const vec3& centre, const vec3& up) {
    const vec3 f = normalize(centre - eye);
    const vec3 s = normalize(cross(f, up));
    const vec3 u = cross(s, f);

    mat4 result(1.0f);
    result[0][0] = s.x;
    result[1][0] = s.y;
    result[2][0] = s.z;
    result[0][1] = u.x;
    result[1][1] = u.y;
    result[2][1] = u.z;
    result[0][2] = -f.x;
    result[1][2] = -f.y;
    result[2][2] = -f.z;
    result[3][0] = -dot(s, eye);
    result[3][1] = -dot(u, eye);
    result[3][2] = dot(f, eye);
    return result;
}

mat4 perspective(float fovyDegrees, float aspect, float zNear, float zFar) {
    const float halfAngle = fovyDegrees * DEG_TO_RAD / 2.0f;
    const float t = static_cast<float>(std::tan(static_cast<double>(halfAngle)));

    mat4 result(0.0f);
    result[0][0] = 1.0f / (aspect * t);
    result[1][1] = 1.0f / t;
    result[2][2] = -(zFar + zNear) / (zFar - zNear);
    result[2][3] = -1.0f;
    result[3][2] = -(2.0f * zFar * zNear) / (zFar - zNear);
    return result;
}

mat4 poseMatrix(const Pose& pose) {
    const float x = pose.q.x, y = pose.q.y, z = pose.q.z, w = pose.q.w;
    const vec3& p = pose.p;
    return mat4(1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w), 0,  //
                2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w), 0,  //
                2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y), 0,  //
                p.x, p.y, p.z, 1);
}

Quat quatFromMatrix(const mat4& m) {
    // Shepperd's method: pick the largest diagonal term so the square root
    // never works on a small, noisy number.
    const float m00 = m[0][0], m11 = m[1][1], m22 = m[2][2];
    const float trace = m00 + m11 + m22;
    Quat q;
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f) * 2.0f;
        q.w = 0.25f * s;
        q.x = (m[1][2] - m[2][1]) / s;
        q.y = (m[2][0] - m[0][2]) / s;
        q.z = (m[0][1] - m[1][0]) / s;
    } else if (m00 > m11 && m00 > m22) {
        const float s = std::sqrt(1.0f + m00 - m11 - m22) * 2.0f;
        q.w = (m[1][2] - m[2][1]) / s;
        q.x = 0.25f * s;
        q.y = (m[1][0] + m[0][1]) / s;
        q.z = (m[2][0] + m[0][2]) / s;
    } else if (m11 > m22) {
        const float s = std::sqrt(1.0f + m11 - m00 - m22) * 2.0f;
        q.w = (m[2][0] - m[0][2]) / s;
        q.x = (m[1][0] + m[0][1]) / s;
        q.y = 0.25f * s;
        q.z = (m[2][1] + m[1][2]) / s;
    } else {
        const float s = std::sqrt(1.0f + m22 - m00 - m11) * 2.0f;
        q.w = (m[0][1] - m[1][0]) / s;
        q.x = (m[2][0] + m[0][2]) / s;
        q.y = (m[2][1] + m[1][2]) / s;
        q.z = 0.25f * s;
    }
    const float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    q.x /= length;
    q.y /= length;
    q.z /= length;
    q.w /= length;
    return q;
}

vec3 rotateVector(const Quat& q, const vec3& v) {
    // v' = v + 2w (u x v) + 2 u x (u x v), with u the vector part.
    const vec3 u(q.x, q.y, q.z);
    const vec3 t = 2.0f * cross(u, v);
    return v + q.w * t + cross(u, t);
}
