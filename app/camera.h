// The one camera: follows the car, or flies freely with mouse and keys.
#pragma once

#include "render/maths.h"

class Camera {
public:
    vec3 position{0.0f, 3.0f, 5.0f};
    vec3 front{0.0f, 0.0f, -1.0f};
    vec3 up{0.0f};
    vec3 right{0.0f};
    vec3 worldUp{0.0f, 1.0f, 0.0f};
    float yaw = -90.0f;  // degrees, from +X towards +Z
    float pitch = 0.0f;  // degrees, positive looks up
    float movementSpeed = 3.0f;
    float mouseSensitivity = 0.25f;
    float zoom = 45.0f;  // vertical field of view, degrees

    Camera() { updateVectors(); }

    // Recomputes front, right and up from yaw, pitch and worldUp.
    void updateVectors();
    // Mouse look: turns by a cursor movement in pixels (dy up is positive),
    // never past looking straight up or down.
    void look(float dx, float dy);
    // The scroll wheel narrows or widens the view, between 1 and 45 degrees.
    void zoomBy(float offset);
    // Flies `distance` along front (ahead, behind) and right (to the left,
    // to the right) for each direction held; true when it moved.
    bool fly(bool ahead, bool behind, bool toLeft, bool toRight, float distance);
    // Places the camera 5 units out along the car's local -Z and 1.8 up,
    // looking back along that axis; m is the car's model matrix.
    void followCar(mat4 m);
    // The free camera's view, with its own up vector.
    mat4 viewMatrix() const;
    // The follow camera's view: the world's up keeps the horizon level,
    // whatever mouse look last did to `up`.
    mat4 followViewMatrix() const;
};

extern Camera camera;
