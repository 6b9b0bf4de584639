#include "world/car.h"

#include <algorithm>

#include "render/uniforms.h"

namespace {

const vec3 CHASSIS_HALF_EXTENTS(0.6f, 0.3f, 1.4f);
const PhysicsMaterial CHASSIS_MATERIAL{0.3f, 0.3f, 0.3f};
const PhysicsMaterial FRONT_WHEEL_MATERIAL{0.8f, 0.8f, 0.1f};
const PhysicsMaterial REAR_WHEEL_MATERIAL{1.3f, 1.3f, 0.1f};
constexpr float WHEEL_RADIUS = 0.4f;
constexpr float CAR_DENSITY = 1.0f;
constexpr float CHASSIS_MAX_ANGULAR_VELOCITY = 1.0f;

const vec3 FRONT_LEFT_ANCHOR(-0.6f, -0.2f, -1.0f);
const vec3 FRONT_RIGHT_ANCHOR(0.6f, -0.2f, -1.0f);
const vec3 REAR_LEFT_ANCHOR(-0.6f, -0.2f, 1.0f);
const vec3 REAR_RIGHT_ANCHOR(0.6f, -0.2f, 1.0f);

RigidDynamic* createWheel(PhysicsScene& scene, const Pose& start, const PhysicsMaterial& material,
                          int group) {
    RigidDynamic* wheel =
        scene.createDynamic(start, SphereGeometry{WHEEL_RADIUS}, material, CAR_DENSITY);
    // The wheels overlap while the car assembles and would knock each other
    // about; once assembled they never touch.
    wheel->setCollisionGroup(group);
    return wheel;
}

void hinge(PhysicsScene& scene, RigidDynamic* chassis, RigidDynamic* wheel, const vec3& anchor) {
    scene.createRevoluteJoint(chassis, poseAt(anchor), wheel, Pose());
}

// The drive scalar as the controls have always formed it: single precision
// up to the factor 100, the doubling in double precision, then back.
float driveScalar(float dt, float factor) {
    const float partial = dt * factor * 100.0f;
    return static_cast<float>(static_cast<double>(partial) * 2.0);
}

void pushWheel(Car& car, RigidDynamic* wheel, const vec3& chassisForce) {
    // The chassis pose is read afresh for every wheel.
    const Quat orientation = car.chassis->getGlobalPose().q;
    wheel->addForce(rotateVector(orientation, chassisForce));
}

}  // namespace

Car::Car(const char* modelPath) : model(std::make_unique<Model>(modelPath)) {}

void Car::setLocalTransform(mat4 transform) {
    localTransform = transform;
}

void Car::initPhysics(PhysicsScene* scene) {
    const Pose start = poseAt(CAR_START_POSITION);

    chassis = scene->createDynamic(start, BoxGeometry{CHASSIS_HALF_EXTENTS}, CHASSIS_MATERIAL,
                                   CAR_DENSITY);
    chassis->setMaxAngularVelocity(CHASSIS_MAX_ANGULAR_VELOCITY);

    const int wheelGroup = scene->getPhysics().nextCollisionGroup++;
    frontLeftWheel = createWheel(*scene, start, FRONT_WHEEL_MATERIAL, wheelGroup);
    frontRightWheel = createWheel(*scene, start, FRONT_WHEEL_MATERIAL, wheelGroup);
    rearLeftWheel = createWheel(*scene, start, REAR_WHEEL_MATERIAL, wheelGroup);
    rearRightWheel = createWheel(*scene, start, REAR_WHEEL_MATERIAL, wheelGroup);

    for (RigidDynamic* body :
         {chassis, frontLeftWheel, frontRightWheel, rearLeftWheel, rearRightWheel}) {
        body->kind = BodyKind::Car;
    }

    hinge(*scene, chassis, rearLeftWheel, REAR_LEFT_ANCHOR);
    hinge(*scene, chassis, rearRightWheel, REAR_RIGHT_ANCHOR);
    hinge(*scene, chassis, frontLeftWheel, FRONT_LEFT_ANCHOR);
    hinge(*scene, chassis, frontRightWheel, FRONT_RIGHT_ANCHOR);
}

void Car::update() {
    if (chassis) {
        modelMatrix = poseMatrix(chassis->getGlobalPose()) * localTransform;
    }
}

void Car::setDrawParameters(mat4 view, mat4 projection, vec3 cameraPosition, GLuint cubeMap) {
    viewMatrix = view;
    projectionMatrix = projection;
    cameraPos = cameraPosition;
    environmentMap = cubeMap;
}

void Car::draw(GLuint program) const {
    glUseProgram(program);
    setMat4(program, "model", modelMatrix);
    setMat4(program, "view", viewMatrix);
    setMat4(program, "projection", projectionMatrix);
    setVec3(program, "cameraPos", cameraPos);
    bindSampler(program, 3, "skybox", GL_TEXTURE_CUBE_MAP, environmentMap);
    model->draw(program);
}

void driveCar(Car& car, int command, float frameTime, float strength) {
    if (!car.chassis) {
        return;
    }
    // Below 60 frames a second every frame takes exactly one step: a push
    // that grew with the frame time would launch the car on a slow machine.
    // Shorter frames add up until their step, as they always did.
    const float dt = std::min(frameTime, PHYSICS_STEP);
    const float share = std::clamp(strength, 0.0f, 1.0f);
    switch (command) {
        case 0:
        case 1: {
            const float s = driveScalar(dt, command == 0 ? -5.0f : 5.0f) * share;
            const vec3 force(0.0f, 0.0f, s);
            pushWheel(car, car.frontLeftWheel, force);
            pushWheel(car, car.frontRightWheel, force);
            pushWheel(car, car.rearLeftWheel, force);
            pushWheel(car, car.rearRightWheel, force);
            break;
        }
        case 2:
        case 3: {
            const float s = driveScalar(dt, command == 2 ? -2.0f : 2.0f) * share;
            const vec3 force(s, 0.0f, 0.0f);
            pushWheel(car, car.frontLeftWheel, force);
            pushWheel(car, car.frontRightWheel, force);
            break;
        }
        default:
            break;
    }
}

float wheelSpeed(const Car& car) {
    float sum = 0.0f;
    int count = 0;
    for (const RigidDynamic* wheel :
         {car.frontLeftWheel, car.frontRightWheel, car.rearLeftWheel, car.rearRightWheel}) {
        if (wheel) {
            sum += glm::length(wheel->getLinearVelocity());
            ++count;
        }
    }
    return count > 0 ? sum / static_cast<float>(count) : 0.0f;
}
