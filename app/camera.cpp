#include "app/camera.h"

#include <algorithm>
#include <cmath>

Camera camera;

namespace {

float sinDegrees(float degrees) {
    return static_cast<float>(std::sin(static_cast<double>(degrees * DEG_TO_RAD)));
}

float cosDegrees(float degrees) {
    return static_cast<float>(std::cos(static_cast<double>(degrees * DEG_TO_RAD)));
}

float asinDegrees(float value) {
    return static_cast<float>(std::asin(static_cast<double>(value))) * RAD_TO_DEG;
}

// The heading of a horizontal unit vector in [0, 360): 0 along +X, 90 along +Z.
float headingDegrees(const vec3& h) {
    if (h.z >= 0.0f) {
        return h.x >= 0.0f ? asinDegrees(h.z) : 180.0f - asinDegrees(h.z);
    }
    return h.x < 0.0f ? 180.0f + asinDegrees(-h.z) : 360.0f - asinDegrees(-h.z);
}

}  // namespace

void Camera::updateVectors() {
    const vec3 direction(cosDegrees(yaw) * cosDegrees(pitch), sinDegrees(pitch),
                         sinDegrees(yaw) * cosDegrees(pitch));
    front = normalize(direction);
    right = normalize(cross(front, worldUp));
    up = normalize(cross(right, front));
}

void Camera::look(float dx, float dy) {
    yaw += dx * mouseSensitivity;
    pitch = std::clamp(pitch + dy * mouseSensitivity, -89.0f, 89.0f);
    updateVectors();
}

void Camera::zoomBy(float offset) {
    zoom = std::clamp(zoom - offset, 1.0f, 45.0f);
}

bool Camera::fly(bool ahead, bool behind, bool toLeft, bool toRight, float distance) {
    if (ahead) {
        position += front * distance;
    }
    if (behind) {
        position -= front * distance;
    }
    if (toLeft) {
        position -= right * distance;
    }
    if (toRight) {
        position += right * distance;
    }
    return ahead || behind || toLeft || toRight;
}

void Camera::followCar(mat4 m) {
    const vec3 carOrigin = vec3(m * vec4(0.0f, 0.0f, 0.0f, 1.0f));
    const vec3 back = normalize(-vec3(m * vec4(0.0f, 0.0f, 1.0f, 0.0f)));

    // Rebuild the car's -Z axis from its heading and elevation, so the camera
    // swings about the vertical the way the car turns.
    const vec3 horizontal = normalize(vec3(back.x, 0.0f, back.z));
    const float heading = headingDegrees(horizontal);
    const float a = -heading * DEG_TO_RAD;
    const vec3 r = normalize(vec3(static_cast<float>(std::cos(static_cast<double>(a))), 0.0f,
                                  -static_cast<float>(std::sin(static_cast<double>(a)))));
    const vec3 tiltAxis = normalize(cross(vec3(0.0f, 1.0f, 0.0f), r));
    const float elevation = -asinDegrees(back.y);
    const mat4 tilt = rotate(mat4(1.0f), elevation, tiltAxis);
    const vec3 u = normalize(normalize(mat3(tilt) * r));

    position = carOrigin + 5.0f * u + vec3(0.0f, 1.8f, 0.0f);
    front = -u;
}

mat4 Camera::viewMatrix() const {
    return lookAt(position, position + front, up);
}

mat4 Camera::followViewMatrix() const {
    // A car standing on its nose or tail looks straight along the world's up;
    // the camera's own up is the only sound choice there.
    const bool alongWorldUp = glm::length(cross(front, worldUp)) < 1e-4f;
    return lookAt(position, position + front, alongWorldUp ? up : worldUp);
}
