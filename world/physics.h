// The physics layer: the game's rigid-body runtime, in the terms the game
// objects use (foundation, physics, scene, dynamic and static actors,
// materials, revolute joints). It runs on Bullet; this header and its source
// are the only code that knows it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/maths.h"

class btDiscreteDynamicsWorld;
class btRigidBody;
class btCollisionObject;
class btCollisionShape;
class btTypedConstraint;
struct PhysicsSceneInternals;
struct HeightfieldShapeCache;

struct PhysicsMaterial {
    float staticFriction = 0.5f;
    float dynamicFriction = 0.5f;
    float restitution = 0.0f;
};

struct BoxGeometry {
    vec3 halfExtents{0.5f};
};

struct SphereGeometry {
    float radius = 0.5f;
};

// Defaults every dynamic body starts with, as the original runtime had them.
constexpr float DEFAULT_MAX_ANGULAR_VELOCITY = 7.0f;
constexpr float DEFAULT_ANGULAR_DAMPING = 0.05f;

// The length of one simulation step; the comparison with the frame-time
// accumulator uses this float widened to double.
constexpr float PHYSICS_STEP = 1.0f / 60.0f;

class PhysicsScene;

// What a body is in the game, for whoever listens to the contacts (the
// sound); the simulation never reads it.
enum class BodyKind { Other, Car, Crate, Road, Figure };

// A contact that began in the last step: two bodies that had no contact
// point after the step before have one now. The point is where the solver
// pushed hardest, the impulse (N s) the sum it gave the pair in this step.
struct StartedContact {
    BodyKind a = BodyKind::Other;
    BodyKind b = BodyKind::Other;
    vec3 point{0.0f};
    float impulse = 0.0f;
};

// A dynamic rigid body with one shape. The actor pose (getGlobalPose) is the
// body origin; with an offset shape it differs from the centre of mass.
class RigidDynamic {
public:
    Pose getGlobalPose() const;
    // Moves the actor (origin) there; wakes the body when autowake is set.
    void setGlobalPose(const Pose& pose, bool autowake = true);
    // A force that acts during the next step only; wakes the body.
    void addForce(const vec3& force);
    void setMaxAngularVelocity(float radiansPerSecond);
    float getMaxAngularVelocity() const;
    float getAngularDamping() const;
    float getMass() const;
    vec3 getLinearVelocity() const;
    vec3 getAngularVelocity() const;
    void setLinearVelocity(const vec3& v);
    void setAngularVelocity(const vec3& w);
    // Bodies that share a non-zero group never collide with each other
    // (a car's wheels, which only touch while the car assembles).
    void setCollisionGroup(int group);
    bool isSleeping() const;
    // Where the shape's centre (the centre of mass) is and how it is turned.
    Pose getCentreOfMassPose() const;

    // Layer internals. The Bullet body's frame is the shape's frame (centre of
    // mass, principal axes), so one primitive shape needs no compound:
    // actor pose = body transform * inverse(shapeOffset).
    std::unique_ptr<btRigidBody> body;
    std::unique_ptr<btCollisionShape> shape;
    Pose shapeOffset;
    float maxAngularVelocity = DEFAULT_MAX_ANGULAR_VELOCITY;
    int collisionGroup = 0;
    PhysicsMaterial material;
    PhysicsScene* scene = nullptr;
    BodyKind kind = BodyKind::Other;

    RigidDynamic();
    ~RigidDynamic();
    RigidDynamic(const RigidDynamic&) = delete;
    RigidDynamic& operator=(const RigidDynamic&) = delete;
};

// A static actor; in this game only the ground heightfield.
class RigidStatic {
public:
    Pose getGlobalPose() const;
    void setGlobalPose(const Pose& pose, bool autowake = true);

    // Layer internals.
    std::unique_ptr<btCollisionObject> object;
    std::shared_ptr<HeightfieldShapeCache> heightfield;
    vec3 shapeCentreOffset{0.0f};  // Bullet centres heightfields on their bounds
    PhysicsMaterial material;
    PhysicsScene* scene = nullptr;
    BodyKind kind = BodyKind::Other;

    RigidStatic();
    ~RigidStatic();
    RigidStatic(const RigidStatic&) = delete;
    RigidStatic& operator=(const RigidStatic&) = delete;
};

// One height sample per heightmap pixel: (row r, column c) at index
// r * columns + c sits at local x = r * rowScale, z = c * columnScale,
// y = height * heightScale.
struct HeightfieldDesc {
    uint16_t rows = 0;
    uint16_t columns = 0;
    std::vector<int16_t> heights;
};

class Physics;

// One level's simulation: gravity (0, -9.8, 0), one fixed 1/60 s step at a
// time. Owns every actor and joint made in it; destroying the scene releases
// them all.
class PhysicsScene {
public:
    explicit PhysicsScene(Physics& physics);
    ~PhysicsScene();
    PhysicsScene(const PhysicsScene&) = delete;
    PhysicsScene& operator=(const PhysicsScene&) = delete;

    Physics& getPhysics() const { return physics; }

    // Creates a body at `pose` with mass and inertia from the shape and the
    // density; the shape sits at `shapeOffset` from the actor origin.
    // The body is added to the scene at once.
    RigidDynamic* createDynamic(const Pose& pose, const BoxGeometry& box,
                                const PhysicsMaterial& material, float density,
                                const Pose& shapeOffset = Pose());
    RigidDynamic* createDynamic(const Pose& pose, const SphereGeometry& sphere,
                                const PhysicsMaterial& material, float density,
                                const Pose& shapeOffset = Pose());

    // A static heightfield actor at `pose` (see HeightfieldDesc). Returns null
    // for an empty or degenerate field (fewer than 2 rows or columns).
    RigidStatic* createHeightfield(const Pose& pose, const HeightfieldDesc& desc, float rowScale,
                                   float columnScale, float heightScale,
                                   const PhysicsMaterial& material);

    // A revolute joint: the bodies turn about the X axis of their two joint
    // frames (each given in its body's actor frame); the pair does not collide.
    void createRevoluteJoint(RigidDynamic* a, const Pose& frameA, RigidDynamic* b,
                             const Pose& frameB);

    // Advances the scene by exactly one step of `dt` seconds; forces added
    // since the last step act during it and are then cleared. Then lists the
    // contacts that began in it (only read from Bullet: listing them changes
    // nothing in the simulation).
    void simulate(float dt);

    // Casts a ray straight down from (x, top, z); returns the hit height or
    // false when nothing is hit. For tests and tools.
    bool raycastDown(float x, float z, float top, float& hitY) const;

    std::size_t actorCount() const;

    // Layer internals.
    Physics& physics;
    std::unique_ptr<PhysicsSceneInternals> internals;
    std::vector<std::unique_ptr<RigidDynamic>> dynamics;
    std::vector<std::unique_ptr<RigidStatic>> statics;
    std::vector<std::unique_ptr<btTypedConstraint>> joints;
    // The contacts that began in the last simulate, in Bullet's pair order.
    std::vector<StartedContact> startedContacts;
};

// The process-wide runtime: made once at start-up, outlives every scene.
// Keeps the heightfield contact data, which is costly to compute, so that
// rebuilding a level with the same heightmap reuses it.
class Physics {
public:
    Physics();
    ~Physics();
    Physics(const Physics&) = delete;
    Physics& operator=(const Physics&) = delete;

    std::shared_ptr<HeightfieldShapeCache> heightfieldCache;
    int nextCollisionGroup = 1;
};

// Holds the start-up of the runtime and its visual-debugger connection.
class PhysicsFoundation {
public:
    PhysicsFoundation();
    ~PhysicsFoundation();
    PhysicsFoundation(const PhysicsFoundation&) = delete;
    PhysicsFoundation& operator=(const PhysicsFoundation&) = delete;

    // The debugger's connection manager always exists on this runtime.
    bool hasDebuggerConnectionManager() const { return true; }
    // A TCP connect to host:port with a time-out; on success the socket stays
    // open until the foundation is destroyed.
    bool connectDebugger(const std::string& host, uint16_t port, int timeoutMs);
    bool debuggerConnected() const { return debuggerSocket >= 0; }

    int debuggerSocket = -1;
};

// Frame-time accumulator for the fixed step: never reset, not even by a
// level rebuild.
extern double physicsAccumulator;

// How much of one step a frame of `frameTime` drives, seen before the frame
// is stepped: its own time, at most one step; or a whole step while a step
// is owed from earlier frames, since then every frame takes one (the game is
// catching up) and a short frame must not push that step more weakly.
float driveShareOfStep(float frameTime);

// Adds the frame time to the accumulator and, when a whole step is owed,
// takes exactly one step. Returns whether a step was taken.
bool stepPhysics(PhysicsScene* scene, double deltaTime);
