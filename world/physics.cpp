// The physics layer on Bullet. Bullet's defaults differ from the runtime the
// game was tuned on in a few places; each difference is bridged here:
// averaged material combining, actor poses that are not the centre of mass,
// per-body angular-velocity caps, heightfield layout, same-car wheel filtering
// and smooth sphere contacts over the heightfield's internal triangle edges.
#include "world/physics.h"

#include <BulletCollision/CollisionDispatch/btInternalEdgeUtility.h>
#include <BulletCollision/CollisionShapes/btHeightfieldTerrainShape.h>
#include <BulletCollision/CollisionShapes/btTriangleInfoMap.h>
#include <arpa/inet.h>
#include <btBulletDynamicsCommon.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <utility>

double physicsAccumulator = 0.0;

namespace {

const btVector3 GRAVITY(0.0f, -9.8f, 0.0f);
// How far below its start a downward query ray reaches.
constexpr float RAY_LENGTH = 10000.0f;

btVector3 toBt(const vec3& v) {
    return btVector3(v.x, v.y, v.z);
}
vec3 toVec(const btVector3& v) {
    return vec3(v.x(), v.y(), v.z());
}

bool finite(const vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// A pose from outside may carry a non-unit or broken quaternion; Bullet would
// turn a zero one into NaNs, so such a rotation becomes the identity.
btTransform toTransform(const Pose& pose) {
    btQuaternion q(pose.q.x, pose.q.y, pose.q.z, pose.q.w);
    const btScalar length2 = q.length2();
    if (!std::isfinite(length2) || length2 < 1e-12f) {
        q = btQuaternion::getIdentity();
    } else {
        q /= std::sqrt(length2);
    }
    const vec3 p = finite(pose.p) ? pose.p : vec3(0.0f);
    return btTransform(q, toBt(p));
}

Pose toPose(const btTransform& t) {
    const btQuaternion q = t.getRotation();
    Pose pose;
    pose.q = Quat{q.x(), q.y(), q.z(), q.w()};
    pose.p = toVec(t.getOrigin());
    return pose;
}

// Bullet has one friction coefficient; like the runtime the game was tuned
// on, sliding contacts use the dynamic one (all game materials have equal
// static and dynamic friction anyway).
btScalar frictionOf(const PhysicsMaterial& m) {
    return std::isfinite(m.dynamicFriction) ? std::max(0.0f, m.dynamicFriction) : 0.0f;
}
btScalar restitutionOf(const PhysicsMaterial& m) {
    return std::isfinite(m.restitution) ? std::clamp(m.restitution, 0.0f, 1.0f) : 0.0f;
}

// Two touching materials combine by their average, not Bullet's product.
btScalar averageFriction(const btCollisionObject* a, const btCollisionObject* b) {
    return 0.5f * (a->getFriction() + b->getFriction());
}
btScalar averageRestitution(const btCollisionObject* a, const btCollisionObject* b) {
    return 0.5f * (a->getRestitution() + b->getRestitution());
}

// Contacts with the heightfield (the only object flagged for this callback).
// Near an internal edge Bullet reports normals tilted towards the neighbouring
// triangle, which makes rolling spheres hop; the edge data snaps them back to
// the surface normal. A sphere's contact must then also lie on the line
// through its centre along the new normal, or the contact spins the wheel.
bool onGroundContactAdded(btManifoldPoint& cp, const btCollisionObjectWrapper* wrap0, int, int,
                          const btCollisionObjectWrapper* wrap1, int partId1, int index1) {
    if (wrap1->getCollisionObject()->getCollisionShape()->getShapeType() !=
        TERRAIN_SHAPE_PROXYTYPE) {
        return true;
    }
    const btVector3 groundPoint = cp.m_positionWorldOnB;
    btAdjustInternalEdgeContacts(cp, wrap1, wrap0, partId1, index1);
    if (wrap0->getCollisionShape()->getShapeType() == SPHERE_SHAPE_PROXYTYPE) {
        const auto* sphere = static_cast<const btSphereShape*>(wrap0->getCollisionShape());
        const btVector3 centre = wrap0->getWorldTransform().getOrigin();
        const btVector3 normal = cp.m_normalWorldOnB;
        const btScalar radius = sphere->getRadius();
        const btScalar distance = (centre - groundPoint).dot(normal) - radius;
        cp.m_distance1 = distance;
        cp.m_positionWorldOnA = centre - normal * radius;
        cp.m_positionWorldOnB = cp.m_positionWorldOnA - normal * distance;
        cp.m_localPointA =
            wrap0->getCollisionObject()->getWorldTransform().invXform(cp.m_positionWorldOnA);
        cp.m_localPointB =
            wrap1->getCollisionObject()->getWorldTransform().invXform(cp.m_positionWorldOnB);
    }
    return true;
}

// The combining rules and the contact hook are Bullet globals; every scene
// needs them, and setting them again is harmless.
void installGlobalCallbacks() {
    gCalculateCombinedFrictionCallback = &averageFriction;
    gCalculateCombinedRestitutionCallback = &averageRestitution;
    gContactAddedCallback = &onGroundContactAdded;
}

// The per-body angular-velocity cap, applied to the velocities the solver
// leaves, before Bullet advances the poses from them: a hard hit can then
// never turn a capped body further in one step than its cap allows.
void capAngularVelocities(const PhysicsScene& scene) {
    for (const auto& dynamic : scene.dynamics) {
        btRigidBody* body = dynamic->body.get();
        const btVector3 w = body->getAngularVelocity();
        const btScalar speed = w.length();
        if (speed > dynamic->maxAngularVelocity && speed > 0.0f) {
            body->setAngularVelocity(w * (dynamic->maxAngularVelocity / speed));
        }
    }
}

}  // namespace

// Bodies that share a non-zero group (kept in the user index 2) never become
// a broadphase pair. Installed before any body is added, so that the first
// pairs are already filtered.
struct GroupOverlapFilter : public btOverlapFilterCallback {
    bool needBroadphaseCollision(btBroadphaseProxy* proxy0,
                                 btBroadphaseProxy* proxy1) const override {
        const bool masks = (proxy0->m_collisionFilterGroup & proxy1->m_collisionFilterMask) != 0 &&
                           (proxy1->m_collisionFilterGroup & proxy0->m_collisionFilterMask) != 0;
        if (!masks) {
            return false;
        }
        const auto* a = static_cast<const btCollisionObject*>(proxy0->m_clientObject);
        const auto* b = static_cast<const btCollisionObject*>(proxy1->m_clientObject);
        const int groupA = a ? a->getUserIndex2() : 0;
        const int groupB = b ? b->getUserIndex2() : 0;
        return groupA == 0 || groupA != groupB;
    }
};

// Bullet's world with each body's spin cap held where Bullet integrates, so a
// hard hit can never turn a capped body further in one step than its cap.
class CappedDynamicsWorld : public btDiscreteDynamicsWorld {
public:
    CappedDynamicsWorld(const PhysicsScene& owner, btDispatcher* dispatcher,
                        btBroadphaseInterface* broadphase, btConstraintSolver* solver,
                        btCollisionConfiguration* configuration)
        : btDiscreteDynamicsWorld(dispatcher, broadphase, solver, configuration), scene(owner) {}

protected:
    // The start of a step, before the solver: the turn a step makes is
    // measured from here.
    void predictUnconstraintMotion(btScalar timeStep) override {
        stepStart.clear();
        for (const auto& dynamic : scene.dynamics) {
            stepStart.push_back(dynamic->body->getWorldTransform().getRotation());
        }
        btDiscreteDynamicsWorld::predictUnconstraintMotion(timeStep);
    }

    // After the solver, before the poses advance: first the velocities,
    // then the whole step's turn, since the solver's penetration recovery
    // turns bodies directly, past any velocity.
    void integrateTransforms(btScalar timeStep) override {
        capAngularVelocities(scene);
        btDiscreteDynamicsWorld::integrateTransforms(timeStep);
        limitStepTurns(timeStep);
    }

private:
    void limitStepTurns(btScalar timeStep) {
        if (stepStart.size() != scene.dynamics.size()) {
            return;
        }
        for (size_t i = 0; i < stepStart.size(); ++i) {
            btRigidBody* body = scene.dynamics[i]->body.get();
            const btScalar allowed = scene.dynamics[i]->maxAngularVelocity * timeStep;
            const btQuaternion now = body->getWorldTransform().getRotation();
            btQuaternion turn = now * stepStart[i].inverse();
            if (turn.w() < 0.0f) {
                turn = -turn;  // the short way round
            }
            // atan2 keeps small angles exact, where acos of w would not.
            const btScalar angle =
                2.0f * std::atan2(btVector3(turn.x(), turn.y(), turn.z()).length(), turn.w());
            if (angle <= allowed || angle <= 0.0f) {
                continue;
            }
            btTransform limited = body->getWorldTransform();
            limited.setRotation(stepStart[i].slerp(now, allowed / angle).normalized());
            body->proceedToTransform(limited);
        }
    }

    const PhysicsScene& scene;
    std::vector<btQuaternion> stepStart;  // per body, in the scene's order
};

// Two bodies in a fixed order (by address), to recognise a pair from step to
// step whichever way round Bullet names them.
using BodyPair = std::pair<std::uintptr_t, std::uintptr_t>;

struct PhysicsSceneInternals {
    GroupOverlapFilter overlapFilter;  // outlives the broadphase that calls it
    // The pairs that had contact points after the last step, sorted.
    std::vector<BodyPair> touching;
    std::unique_ptr<btDefaultCollisionConfiguration> configuration;
    std::unique_ptr<btCollisionDispatcher> dispatcher;
    std::unique_ptr<btDbvtBroadphase> broadphase;
    std::unique_ptr<btSequentialImpulseConstraintSolver> solver;
    std::unique_ptr<btDiscreteDynamicsWorld> world;
};

// One heightmap's Bullet shape with its internal-edge data. The edge data is
// costly (about half a second for 512 x 512), so the last one built is kept
// by Physics and shared by every scene built from the same samples.
struct HeightfieldShapeCache {
    uint16_t rows = 0;
    uint16_t columns = 0;
    float rowScale = 0.0f;
    float columnScale = 0.0f;
    float heightScale = 0.0f;
    std::vector<int16_t> samples;  // as given (row-major), to recognise the map
    int16_t minSample = 0;
    int16_t maxSample = 0;
    std::vector<short> data;  // Bullet's order; the shape reads it in place
    std::unique_ptr<btTriangleInfoMap> edgeInfo;
    std::unique_ptr<btHeightfieldTerrainShape> shape;  // released before the data it reads

    bool matches(const HeightfieldDesc& desc, float rs, float cs, float hs) const {
        return rows == desc.rows && columns == desc.columns && rowScale == rs &&
               columnScale == cs && heightScale == hs && samples == desc.heights;
    }
};

namespace {

std::shared_ptr<HeightfieldShapeCache> buildHeightfieldShape(const HeightfieldDesc& desc,
                                                             float rowScale, float columnScale,
                                                             float heightScale) {
    auto cache = std::make_shared<HeightfieldShapeCache>();
    cache->rows = desc.rows;
    cache->columns = desc.columns;
    cache->rowScale = rowScale;
    cache->columnScale = columnScale;
    cache->heightScale = heightScale;
    cache->samples = desc.heights;
    const auto [lowest, highest] = std::minmax_element(desc.heights.begin(), desc.heights.end());
    cache->minSample = *lowest;
    cache->maxSample = *highest;

    // Bullet reads data[j * width + i] with i along X: our rows run along X,
    // so the samples go in transposed.
    const int rows = desc.rows;
    const int columns = desc.columns;
    cache->data.resize(desc.heights.size());
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            cache->data[c * rows + r] = desc.heights[r * columns + c];
        }
    }
    cache->shape = std::make_unique<btHeightfieldTerrainShape>(
        rows, columns, cache->data.data(), heightScale, cache->minSample * heightScale,
        cache->maxSample * heightScale, 1, false);
    cache->shape->setLocalScaling(btVector3(rowScale, 1.0f, columnScale));
    // The edge data is made from the scaled triangles, so after the scaling.
    cache->edgeInfo = std::make_unique<btTriangleInfoMap>();
    btGenerateInternalEdgeInfo(cache->shape.get(), cache->edgeInfo.get());
    return cache;
}

RigidDynamic* addDynamic(PhysicsScene& scene, std::unique_ptr<btCollisionShape> shape, float volume,
                         const Pose& pose, const PhysicsMaterial& material, float density,
                         const Pose& shapeOffset) {
    if (!scene.internals || !scene.internals->world) {
        return nullptr;
    }
    float mass = density * volume;
    // A body without a positive mass would be static in Bullet.
    if (!std::isfinite(mass) || mass <= 0.0f) {
        mass = 1.0f;
    }
    btVector3 inertia(0.0f, 0.0f, 0.0f);
    shape->calculateLocalInertia(mass, inertia);

    auto dynamic = std::make_unique<RigidDynamic>();
    dynamic->shapeOffset = shapeOffset;
    dynamic->material = material;
    dynamic->scene = &scene;

    btRigidBody::btRigidBodyConstructionInfo info(mass, nullptr, shape.get(), inertia);
    info.m_startWorldTransform = toTransform(pose) * toTransform(shapeOffset);
    info.m_friction = frictionOf(material);
    info.m_restitution = restitutionOf(material);
    info.m_linearDamping = 0.0f;
    info.m_angularDamping = DEFAULT_ANGULAR_DAMPING;
    dynamic->shape = std::move(shape);
    dynamic->body = std::make_unique<btRigidBody>(info);
    dynamic->body->setUserIndex2(0);
    dynamic->body->setUserPointer(dynamic.get());

    scene.internals->world->addRigidBody(dynamic->body.get());
    scene.dynamics.push_back(std::move(dynamic));
    return scene.dynamics.back().get();
}

BodyKind kindOf(const btCollisionObject* object) {
    if (!object || !object->getUserPointer()) {
        return BodyKind::Other;
    }
    if (btRigidBody::upcast(object)) {
        return static_cast<const RigidDynamic*>(object->getUserPointer())->kind;
    }
    return static_cast<const RigidStatic*>(object->getUserPointer())->kind;
}

BodyPair bodyPair(const btPersistentManifold& manifold) {
    const auto a = reinterpret_cast<std::uintptr_t>(manifold.getBody0());
    const auto b = reinterpret_cast<std::uintptr_t>(manifold.getBody1());
    return a < b ? BodyPair(a, b) : BodyPair(b, a);
}

// The pair's impulses in the last step, and the point that took the most.
StartedContact startedContact(const btPersistentManifold& manifold) {
    StartedContact contact;
    contact.a = kindOf(manifold.getBody0());
    contact.b = kindOf(manifold.getBody1());
    btScalar strongest = -1.0f;
    for (int i = 0; i < manifold.getNumContacts(); ++i) {
        const btManifoldPoint& point = manifold.getContactPoint(i);
        const btScalar impulse = point.getAppliedImpulse();
        contact.impulse += impulse;
        if (impulse > strongest) {
            strongest = impulse;
            contact.point =
                toVec((point.getPositionWorldOnA() + point.getPositionWorldOnB()) * 0.5f);
        }
    }
    return contact;
}

// Reads the pairs Bullet keeps after a step; a pair with points now that
// had none after the step before began touching in this one.
void listStartedContacts(PhysicsScene& scene) {
    PhysicsSceneInternals& in = *scene.internals;
    scene.startedContacts.clear();
    std::vector<BodyPair> touching;
    btDispatcher* dispatcher = in.world->getDispatcher();
    for (int i = 0; i < dispatcher->getNumManifolds(); ++i) {
        const btPersistentManifold* manifold = dispatcher->getManifoldByIndexInternal(i);
        if (manifold->getNumContacts() == 0) {
            continue;
        }
        const BodyPair pair = bodyPair(*manifold);
        touching.push_back(pair);
        if (!std::binary_search(in.touching.begin(), in.touching.end(), pair)) {
            scene.startedContacts.push_back(startedContact(*manifold));
        }
    }
    std::sort(touching.begin(), touching.end());
    in.touching = std::move(touching);
}

btTransform jointFrameInBody(const RigidDynamic& dynamic, const Pose& frame) {
    // Bullet's hinge turns about its frames' Z axis; a quarter turn about Y
    // brings the frame's X axis there.
    const btTransform quarterTurn(btQuaternion(btVector3(0.0f, 1.0f, 0.0f), SIMD_HALF_PI));
    return toTransform(dynamic.shapeOffset).inverse() * toTransform(frame) * quarterTurn;
}

}  // namespace

// ---------------------------------------------------------------- RigidDynamic

RigidDynamic::RigidDynamic() = default;
RigidDynamic::~RigidDynamic() = default;

Pose RigidDynamic::getGlobalPose() const {
    if (!body) {
        return Pose();
    }
    return toPose(body->getWorldTransform() * toTransform(shapeOffset).inverse());
}

Pose RigidDynamic::getCentreOfMassPose() const {
    return body ? toPose(body->getWorldTransform()) : Pose();
}

void RigidDynamic::setGlobalPose(const Pose& pose, bool autowake) {
    if (!body) {
        return;
    }
    // Sets the world and interpolation transforms and the world inertia.
    body->setCenterOfMassTransform(toTransform(pose) * toTransform(shapeOffset));
    if (scene && scene->internals && body->getBroadphaseHandle()) {
        scene->internals->world->updateSingleAabb(body.get());
    }
    if (autowake) {
        body->activate(true);
    }
}

void RigidDynamic::addForce(const vec3& force) {
    if (!body || !finite(force)) {
        return;
    }
    // A sleeping body would ignore the force.
    body->activate(true);
    body->applyCentralForce(toBt(force));
}

void RigidDynamic::setMaxAngularVelocity(float radiansPerSecond) {
    if (std::isfinite(radiansPerSecond)) {
        maxAngularVelocity = std::max(0.0f, radiansPerSecond);
    }
}

float RigidDynamic::getMaxAngularVelocity() const {
    return maxAngularVelocity;
}

float RigidDynamic::getAngularDamping() const {
    return body ? body->getAngularDamping() : DEFAULT_ANGULAR_DAMPING;
}

float RigidDynamic::getMass() const {
    if (!body || body->getInvMass() == 0.0f) {
        return 0.0f;
    }
    return 1.0f / body->getInvMass();
}

vec3 RigidDynamic::getLinearVelocity() const {
    return body ? toVec(body->getLinearVelocity()) : vec3(0.0f);
}

vec3 RigidDynamic::getAngularVelocity() const {
    return body ? toVec(body->getAngularVelocity()) : vec3(0.0f);
}

void RigidDynamic::setLinearVelocity(const vec3& v) {
    if (body && finite(v)) {
        body->setLinearVelocity(toBt(v));
        body->activate(true);
    }
}

void RigidDynamic::setAngularVelocity(const vec3& w) {
    if (body && finite(w)) {
        body->setAngularVelocity(toBt(w));
        body->activate(true);
    }
}

void RigidDynamic::setCollisionGroup(int group) {
    collisionGroup = group;
    if (!body) {
        return;
    }
    body->setUserIndex2(group);
    // Pairs made while the body was in another group would stay: taking the
    // body out and in again runs the filter on fresh pairs.
    if (scene && scene->internals && body->getBroadphaseHandle()) {
        btDiscreteDynamicsWorld* world = scene->internals->world.get();
        world->removeRigidBody(body.get());
        world->addRigidBody(body.get());
    }
}

bool RigidDynamic::isSleeping() const {
    return body && body->getActivationState() == ISLAND_SLEEPING;
}

// ----------------------------------------------------------------- RigidStatic

RigidStatic::RigidStatic() = default;
RigidStatic::~RigidStatic() = default;

Pose RigidStatic::getGlobalPose() const {
    if (!object) {
        return Pose();
    }
    const btTransform offset(btQuaternion::getIdentity(), toBt(shapeCentreOffset));
    return toPose(object->getWorldTransform() * offset.inverse());
}

// A static actor has nothing to wake; autowake is accepted for symmetry.
void RigidStatic::setGlobalPose(const Pose& pose, bool) {
    if (!object) {
        return;
    }
    const btTransform offset(btQuaternion::getIdentity(), toBt(shapeCentreOffset));
    object->setWorldTransform(toTransform(pose) * offset);
    object->setInterpolationWorldTransform(object->getWorldTransform());
    if (scene && scene->internals && object->getBroadphaseHandle()) {
        scene->internals->world->updateSingleAabb(object.get());
    }
}

// ---------------------------------------------------------------- PhysicsScene

PhysicsScene::PhysicsScene(Physics& owner)
    : physics(owner), internals(std::make_unique<PhysicsSceneInternals>()) {
    installGlobalCallbacks();
    PhysicsSceneInternals& in = *internals;
    in.configuration = std::make_unique<btDefaultCollisionConfiguration>();
    in.dispatcher = std::make_unique<btCollisionDispatcher>(in.configuration.get());
    in.broadphase = std::make_unique<btDbvtBroadphase>();
    in.broadphase->getOverlappingPairCache()->setOverlapFilterCallback(&in.overlapFilter);
    in.solver = std::make_unique<btSequentialImpulseConstraintSolver>();
    in.world = std::make_unique<CappedDynamicsWorld>(
        *this, in.dispatcher.get(), in.broadphase.get(), in.solver.get(), in.configuration.get());
    in.world->setGravity(GRAVITY);
}

PhysicsScene::~PhysicsScene() {
    if (!internals) {
        return;
    }
    btDiscreteDynamicsWorld* world = internals->world.get();
    if (world) {
        for (auto& joint : joints) {
            world->removeConstraint(joint.get());
        }
    }
    joints.clear();
    if (world) {
        for (auto& dynamic : dynamics) {
            world->removeRigidBody(dynamic->body.get());
        }
        for (auto& actor : statics) {
            world->removeCollisionObject(actor->object.get());
        }
    }
    dynamics.clear();
    statics.clear();
    internals->world.reset();
    internals->solver.reset();
    internals->broadphase.reset();
    internals->dispatcher.reset();
    internals->configuration.reset();
    internals.reset();
}

RigidDynamic* PhysicsScene::createDynamic(const Pose& pose, const BoxGeometry& box,
                                          const PhysicsMaterial& material, float density,
                                          const Pose& shapeOffset) {
    vec3 half(std::fabs(box.halfExtents.x), std::fabs(box.halfExtents.y),
              std::fabs(box.halfExtents.z));
    if (!finite(half)) {
        half = vec3(0.5f);
    }
    const float volume = 8.0f * half.x * half.y * half.z;
    return addDynamic(*this, std::make_unique<btBoxShape>(toBt(half)), volume, pose, material,
                      density, shapeOffset);
}

RigidDynamic* PhysicsScene::createDynamic(const Pose& pose, const SphereGeometry& sphere,
                                          const PhysicsMaterial& material, float density,
                                          const Pose& shapeOffset) {
    float radius = std::fabs(sphere.radius);
    if (!std::isfinite(radius)) {
        radius = 0.5f;
    }
    const float volume = 4.0f / 3.0f * static_cast<float>(M_PI) * radius * radius * radius;
    return addDynamic(*this, std::make_unique<btSphereShape>(radius), volume, pose, material,
                      density, shapeOffset);
}

RigidStatic* PhysicsScene::createHeightfield(const Pose& pose, const HeightfieldDesc& desc,
                                             float rowScale, float columnScale, float heightScale,
                                             const PhysicsMaterial& material) {
    if (!internals || !internals->world || desc.rows < 2 || desc.columns < 2 ||
        desc.heights.size() != static_cast<std::size_t>(desc.rows) * desc.columns) {
        return nullptr;
    }
    for (float s : {rowScale, columnScale, heightScale}) {
        if (!std::isfinite(s) || s <= 0.0f) {
            return nullptr;
        }
    }
    std::shared_ptr<HeightfieldShapeCache> cache = physics.heightfieldCache;
    if (!cache || !cache->matches(desc, rowScale, columnScale, heightScale)) {
        cache = buildHeightfieldShape(desc, rowScale, columnScale, heightScale);
        physics.heightfieldCache = cache;
    }

    auto actor = std::make_unique<RigidStatic>();
    actor->heightfield = cache;
    actor->material = material;
    actor->scene = this;
    // Bullet centres the shape on its bounds; our origin is sample (0, 0) at
    // height 0.
    actor->shapeCentreOffset = vec3((desc.rows - 1) * rowScale * 0.5f,
                                    (cache->minSample + cache->maxSample) * heightScale * 0.5f,
                                    (desc.columns - 1) * columnScale * 0.5f);
    actor->object = std::make_unique<btCollisionObject>();
    btCollisionObject* object = actor->object.get();
    object->setCollisionShape(cache->shape.get());
    object->setFriction(frictionOf(material));
    object->setRestitution(restitutionOf(material));
    object->setUserIndex2(0);
    object->setUserPointer(actor.get());
    object->setCollisionFlags(object->getCollisionFlags() | btCollisionObject::CF_STATIC_OBJECT |
                              btCollisionObject::CF_CUSTOM_MATERIAL_CALLBACK);
    // Static bodies count as asleep, so that pairs with sleeping bodies are
    // skipped (Bullet does this only for static rigid bodies).
    object->setActivationState(ISLAND_SLEEPING);
    actor->setGlobalPose(pose);
    internals->world->addCollisionObject(
        object, btBroadphaseProxy::StaticFilter,
        btBroadphaseProxy::AllFilter ^ btBroadphaseProxy::StaticFilter);
    statics.push_back(std::move(actor));
    return statics.back().get();
}

void PhysicsScene::createRevoluteJoint(RigidDynamic* a, const Pose& frameA, RigidDynamic* b,
                                       const Pose& frameB) {
    if (!a || !b || a == b || !a->body || !b->body || !internals || !internals->world) {
        return;
    }
    auto hinge = std::make_unique<btHingeConstraint>(
        *a->body, *b->body, jointFrameInBody(*a, frameA), jointFrameInBody(*b, frameB), false);
    // true: the jointed pair does not collide.
    internals->world->addConstraint(hinge.get(), true);
    joints.push_back(std::move(hinge));
}

void PhysicsScene::simulate(float dt) {
    if (!internals || !internals->world || !std::isfinite(dt) || dt <= 0.0f) {
        return;
    }
    // maxSubSteps 0: exactly one internal step of dt, no interpolation; the
    // forces are cleared after it.
    internals->world->stepSimulation(dt, 0);
    listStartedContacts(*this);
}

bool PhysicsScene::raycastDown(float x, float z, float top, float& hitY) const {
    if (!internals || !internals->world || !std::isfinite(x) || !std::isfinite(z) ||
        !std::isfinite(top)) {
        return false;
    }
    const btVector3 from(x, top, z);
    const btVector3 to(x, top - RAY_LENGTH, z);
    btCollisionWorld::ClosestRayResultCallback result(from, to);
    internals->world->rayTest(from, to, result);
    if (!result.hasHit()) {
        return false;
    }
    hitY = result.m_hitPointWorld.y();
    return true;
}

std::size_t PhysicsScene::actorCount() const {
    return dynamics.size() + statics.size();
}

// --------------------------------------------------------------------- Physics

Physics::Physics() {
    installGlobalCallbacks();
}
Physics::~Physics() = default;

// ----------------------------------------------------------- PhysicsFoundation

PhysicsFoundation::PhysicsFoundation() = default;

PhysicsFoundation::~PhysicsFoundation() {
    if (debuggerSocket >= 0) {
        close(debuggerSocket);
        debuggerSocket = -1;
    }
}

bool PhysicsFoundation::connectDebugger(const std::string& host, uint16_t port, int timeoutMs) {
    if (debuggerSocket >= 0) {
        close(debuggerSocket);
        debuggerSocket = -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
            return false;
        }
        address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
        int ready = 0;
        do {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd waiting{fd, POLLOUT, 0};
            ready = poll(&waiting, 1, static_cast<int>(std::max<long long>(0, left.count())));
        } while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t length = sizeof error;
        connected =
            ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (!connected) {
        close(fd);
        return false;
    }
    debuggerSocket = fd;
    return true;
}

// ------------------------------------------------------------------- Stepping

float driveShareOfStep(float frameTime) {
    if (physicsAccumulator >= static_cast<double>(PHYSICS_STEP)) {
        return PHYSICS_STEP;
    }
    return std::min(frameTime, PHYSICS_STEP);
}

bool stepPhysics(PhysicsScene* scene, double deltaTime) {
    if (!scene) {
        return false;
    }
    if (std::isfinite(deltaTime)) {
        physicsAccumulator += deltaTime;
    }
    const double step = static_cast<double>(PHYSICS_STEP);
    if (physicsAccumulator < step) {
        return false;
    }
    physicsAccumulator -= step;
    scene->simulate(PHYSICS_STEP);
    return true;
}
