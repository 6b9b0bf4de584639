// The player's car: a box chassis and four sphere wheels on free revolute
// joints, driven by forces pushed into the wheels; drawn as one model that
// follows the chassis and reflects the environment cube map.
#pragma once

#include <GL/glew.h>

#include <memory>

#include "gfx/model.h"
#include "render/maths.h"
#include "world/physics.h"

class Car {
public:
    RigidDynamic* chassis = nullptr;
    RigidDynamic* frontLeftWheel = nullptr;
    RigidDynamic* frontRightWheel = nullptr;
    RigidDynamic* rearLeftWheel = nullptr;
    RigidDynamic* rearRightWheel = nullptr;
    std::unique_ptr<Model> model;
    mat4 modelMatrix{1.0f};
    mat4 viewMatrix{1.0f};
    mat4 projectionMatrix{1.0f};
    mat4 localTransform{1.0f};
    GLuint environmentMap = 0;
    vec3 cameraPos{0.0f};

    explicit Car(const char* modelPath);

    void setLocalTransform(mat4 transform);
    // Builds the five bodies and four joints in the scene; the bodies belong
    // to the scene.
    void initPhysics(PhysicsScene* scene);
    void update();
    void setDrawParameters(mat4 view, mat4 projection, vec3 cameraPosition, GLuint cubeMap);
    void draw(GLuint program) const;
};

// Where every car body starts: all five overlap and the joints pull the
// wheels onto their anchors in the first steps.
const vec3 CAR_START_POSITION(2.0f, 1.0f, 0.0f);

// How fast the car's wheels go (m/s), averaged over the four: what the
// engine sounds like. Their spin would not do: it is capped at 7 rad/s, a
// rim speed of 2.8 m/s, and beyond that the wheels slide.
float wheelSpeed(const Car& car);

// Drive commands: 0 forward, 1 backward, 2 steer left, 3 steer right; any
// other value does nothing. The frame time is the frame's share of a step
// (driveShareOfStep); the push never grows beyond what one physics step's
// worth of frame time gives. The strength, from 0 to 1, scales the push (a
// pad's trigger or stick); a key pushes with exactly 1, which leaves the
// push's bits as they were.
void driveCar(Car& car, int command, float frameTime, float strength = 1.0f);
