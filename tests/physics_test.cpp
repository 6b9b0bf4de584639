// The physics layer: each case is a behaviour the game relies on.
#include "world/physics.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <glm/gtc/quaternion.hpp>

#include "render/maths.h"

namespace {

const PhysicsMaterial GROUND{0.3f, 0.3f, 0.3f};

Pose at(float x, float y, float z) {
    Pose pose;
    pose.p = vec3(x, y, z);
    return pose;
}

Quat turn(float degrees, const vec3& axis) {
    return quatFromMatrix(rotate(mat4(), degrees, axis));
}

glm::quat toGlm(const Quat& q) {
    return glm::quat(q.w, q.x, q.y, q.z);
}

void run(PhysicsScene& scene, int steps) {
    for (int i = 0; i < steps; ++i) {
        scene.simulate(PHYSICS_STEP);
    }
}

// A flat field whose surface lies at y = top, covering x and z in [-span, span).
RigidStatic* flatGround(PhysicsScene& scene, float top, const PhysicsMaterial& material = GROUND,
                        float span = 40.0f) {
    HeightfieldDesc desc;
    desc.rows = desc.columns = 81;
    desc.heights.assign(81 * 81, 10);
    return scene.createHeightfield(at(-span, top - 10.0f, -span), desc, span / 40.0f, span / 40.0f,
                                   1.0f, material);
}

struct TestCar {
    RigidDynamic* chassis = nullptr;
    RigidDynamic* wheels[4] = {};  // rear-left, rear-right, front-left, front-right
    vec3 anchors[4] = {
        {-0.6f, -0.2f, 1.0f}, {0.6f, -0.2f, 1.0f}, {-0.6f, -0.2f, -1.0f}, {0.6f, -0.2f, -1.0f}};
};

// The game's car: five bodies starting at one place, wheels in one group.
TestCar buildCar(PhysicsScene& scene) {
    TestCar car;
    const Pose start = at(2.0f, 1.0f, 0.0f);
    car.chassis = scene.createDynamic(start, BoxGeometry{vec3(0.6f, 0.3f, 1.4f)},
                                      PhysicsMaterial{0.3f, 0.3f, 0.3f}, 1.0f);
    car.chassis->setMaxAngularVelocity(1.0f);
    const int group = scene.getPhysics().nextCollisionGroup++;
    for (int i = 0; i < 4; ++i) {
        const PhysicsMaterial grip =
            i < 2 ? PhysicsMaterial{1.3f, 1.3f, 0.1f} : PhysicsMaterial{0.8f, 0.8f, 0.1f};
        car.wheels[i] = scene.createDynamic(start, SphereGeometry{0.4f}, grip, 1.0f);
        car.wheels[i]->setCollisionGroup(group);
    }
    for (int i = 0; i < 4; ++i) {
        scene.createRevoluteJoint(car.chassis,
                                  at(car.anchors[i].x, car.anchors[i].y, car.anchors[i].z),
                                  car.wheels[i], Pose());
    }
    return car;
}

float headingDegrees(const RigidDynamic& chassis) {
    const vec3 forward = rotateVector(chassis.getGlobalPose().q, vec3(0.0f, 0.0f, -1.0f));
    return std::atan2(forward.x, -forward.z) * RAD_TO_DEG;
}

}  // namespace

// ------------------------------------------------------------------- bodies

TEST(PhysicsBodies, actorPoseIsTheOriginAndTheShapeSitsAtItsOffset) {
    Physics physics;
    PhysicsScene scene(physics);
    Pose offset = at(0.0f, 0.4f, 0.0f);
    Pose pose = at(16.5f, 30.0f, -20.6f);
    pose.q = turn(90.0f, vec3(0, 0, 1));
    RigidDynamic* crate = scene.createDynamic(pose, BoxGeometry{vec3(0.5f)}, GROUND, 1.0f, offset);
    EXPECT_NEAR(crate->getMass(), 1.0f, 1e-5f);  // density x volume
    RigidDynamic* wheel = scene.createDynamic(Pose(), SphereGeometry{0.4f}, GROUND, 2.0f);
    EXPECT_NEAR(wheel->getMass(), 2.0f * 4.0f / 3.0f * 3.14159265f * 0.064f, 1e-4f);

    // Turned a quarter about Z, the +Y offset points along -X.
    const vec3 centre = crate->getCentreOfMassPose().p;
    EXPECT_NEAR(centre.x, 16.1f, 1e-4f);
    EXPECT_NEAR(centre.y, 30.0f, 1e-4f);
    const Pose read = crate->getGlobalPose();
    EXPECT_NEAR(glm::distance(read.p, pose.p), 0.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(glm::dot(toGlm(read.q), toGlm(pose.q))), 1.0f, 1e-5f);

    // Setting the actor pose moves the origin there, not the centre.
    crate->setGlobalPose(at(1.0f, 2.0f, 3.0f));
    EXPECT_NEAR(glm::distance(crate->getGlobalPose().p, vec3(1, 2, 3)), 0.0f, 1e-5f);
    EXPECT_NEAR(glm::distance(crate->getCentreOfMassPose().p, vec3(1, 2.4f, 3)), 0.0f, 1e-5f);
}

TEST(PhysicsBodies, crateRestsWithItsOriginATenthAboveTheGround) {
    Physics physics;
    PhysicsScene scene(physics);
    ASSERT_NE(flatGround(scene, 0.0f), nullptr);
    RigidDynamic* crate = scene.createDynamic(at(16.5f, 1.0f, -20.6f), BoxGeometry{vec3(0.5f)},
                                              GROUND, 1.0f, at(0.0f, 0.4f, 0.0f));
    run(scene, 180);
    const vec3 p = crate->getGlobalPose().p;
    EXPECT_NEAR(p.y, 0.1f, 0.005f);
    // It lands with a bounce (restitution 0.3) and may shift a little.
    EXPECT_NEAR(p.x, 16.5f, 0.03f);
    EXPECT_NEAR(p.z, -20.6f, 0.03f);
}

// The contacts a step began: a box landing on the ground is reported in the
// step it lands, with the bodies' kinds, where it touched and an impulse
// that grows with the fall; each bounce is a new, softer contact, and once
// it rests nothing more is reported.
TEST(PhysicsContacts, aContactIsReportedInTheStepItBeginsWithItsImpulse) {
    auto land = [](float height, int& landingStep, StartedContact& landing) {
        Physics physics;
        PhysicsScene scene(physics);
        RigidStatic* ground = flatGround(scene, 0.0f);
        ground->kind = BodyKind::Road;
        RigidDynamic* box =
            scene.createDynamic(at(0.0f, height, 0.0f), BoxGeometry{vec3(0.5f)}, GROUND, 1.0f);
        box->kind = BodyKind::Crate;
        int reports = 0;
        int lastStep = 0;
        for (int step = 1; step <= 300; ++step) {
            const float vy = box->getLinearVelocity().y;
            scene.simulate(PHYSICS_STEP);
            for (const StartedContact& contact : scene.startedContacts) {
                lastStep = step;
                if (++reports == 1) {
                    landingStep = step;
                    landing = contact;
                    EXPECT_LT(vy, -1.0f) << "falling when the step began";
                } else {
                    EXPECT_LT(contact.impulse, landing.impulse) << "a bounce, step " << step;
                }
            }
        }
        EXPECT_GE(reports, 1) << "from " << height;
        EXPECT_LT(lastStep, 240) << "still reported while it rests";
        EXPECT_TRUE(box->isSleeping());
    };
    int lowStep = 0, highStep = 0;
    StartedContact low, high;
    land(1.0f, lowStep, low);
    land(5.0f, highStep, high);
    EXPECT_GT(highStep, lowStep);
    for (const StartedContact* contact : {&low, &high}) {
        const bool kinds = (contact->a == BodyKind::Crate && contact->b == BodyKind::Road) ||
                           (contact->a == BodyKind::Road && contact->b == BodyKind::Crate);
        EXPECT_TRUE(kinds);
        EXPECT_NEAR(contact->point.y, 0.0f, 0.1f);  // it may sink in for a step
        EXPECT_LT(std::fabs(contact->point.x), 0.55f);
    }
    // A 1 kg box stopped from sqrt(2 g h): about 3 N s from 0.5 m, 9 from 4.5.
    EXPECT_GT(low.impulse, 1.0f);
    EXPECT_GT(high.impulse, 2.0f * low.impulse);
}

TEST(PhysicsBodies, angularVelocityIsCappedPerBody) {
    Physics physics;
    PhysicsScene scene(physics);
    RigidDynamic* capped = scene.createDynamic(at(0, 50, 0), BoxGeometry{vec3(0.5f)}, GROUND, 1);
    RigidDynamic* free = scene.createDynamic(at(9, 50, 0), BoxGeometry{vec3(0.5f)}, GROUND, 1);
    capped->setMaxAngularVelocity(1.0f);
    capped->setAngularVelocity(vec3(0.0f, 5.0f, 3.0f));
    free->setAngularVelocity(vec3(0.0f, 20.0f, 0.0f));
    run(scene, 1);
    EXPECT_NEAR(glm::length(capped->getAngularVelocity()), 1.0f, 1e-4f);
    EXPECT_NEAR(glm::length(free->getAngularVelocity()), 7.0f, 1e-3f);
    // The cap keeps the direction.
    EXPECT_NEAR(glm::normalize(capped->getAngularVelocity()).y, 5.0f / std::sqrt(34.0f), 1e-4f);
    // The default angular damping of 0.05 takes 5% a second off the spin.
    run(scene, 60);
    EXPECT_NEAR(glm::length(free->getAngularVelocity()), 7.0f * 0.95f, 0.02f);
}

TEST(PhysicsBodies, forceActsDuringOneStepOnly) {
    Physics physics;
    PhysicsScene scene(physics);
    RigidDynamic* body = scene.createDynamic(at(0, 50, 0), SphereGeometry{0.5f}, GROUND, 1.0f);
    const float mass = body->getMass();
    body->addForce(vec3(6.0f, 0.0f, 0.0f));
    body->addForce(vec3(0.0f, 0.0f, -3.0f));  // forces add up
    run(scene, 1);
    EXPECT_NEAR(body->getLinearVelocity().x, 6.0f / mass * PHYSICS_STEP, 1e-5f);
    EXPECT_NEAR(body->getLinearVelocity().z, -3.0f / mass * PHYSICS_STEP, 1e-5f);
    EXPECT_NEAR(body->getLinearVelocity().y, -9.8f * PHYSICS_STEP, 1e-5f);
    run(scene, 1);
    EXPECT_NEAR(body->getLinearVelocity().x, 6.0f / mass * PHYSICS_STEP, 1e-5f);
    EXPECT_NEAR(body->getLinearVelocity().y, -9.8f * 2 * PHYSICS_STEP, 1e-5f);
}

TEST(PhysicsBodies, restingBodySleepsAndForceOrPoseWakesIt) {
    Physics physics;
    PhysicsScene scene(physics);
    flatGround(scene, 0.0f);
    RigidDynamic* box = scene.createDynamic(at(0, 0.6f, 0), BoxGeometry{vec3(0.5f)}, GROUND, 1);
    int steps = 0;
    while (!box->isSleeping() && steps < 600) {
        run(scene, 1);
        ++steps;
    }
    ASSERT_TRUE(box->isSleeping()) << "never fell asleep";

    box->addForce(vec3(100.0f, 0.0f, 0.0f));
    EXPECT_FALSE(box->isSleeping());
    run(scene, 1);
    EXPECT_GT(box->getLinearVelocity().x, 1.0f);

    while (!box->isSleeping() && steps < 1800) {
        run(scene, 1);
        ++steps;
    }
    ASSERT_TRUE(box->isSleeping());
    box->setGlobalPose(at(0, 3.0f, 0));
    EXPECT_FALSE(box->isSleeping());
    run(scene, 10);
    EXPECT_LT(box->getLinearVelocity().y, -1.0f);
}

// ---------------------------------------------------------------- materials

// A box sliding to rest on flat ground stops at v^2 / (2 mu g) with mu the
// average of the two frictions (0.2 and 0.6 average 0.4; their product 0.12
// would slide more than three times as far).
TEST(PhysicsMaterials, frictionIsTheAverageOfTheTwoMaterials) {
    for (const auto& [boxFriction, groundFriction] : {std::pair{0.2f, 0.6f}, {0.6f, 0.2f}}) {
        Physics physics;
        PhysicsScene scene(physics);
        flatGround(scene, 0.0f, PhysicsMaterial{groundFriction, groundFriction, 0.0f});
        RigidDynamic* box =
            scene.createDynamic(at(-10, 0.5f, 0), BoxGeometry{vec3(0.5f)},
                                PhysicsMaterial{boxFriction, boxFriction, 0.0f}, 1.0f);
        run(scene, 20);
        const float start = box->getGlobalPose().p.x;
        box->setLinearVelocity(vec3(4.0f, 0.0f, 0.0f));
        run(scene, 240);
        const float expected = 16.0f / (2.0f * 0.4f * 9.8f);
        EXPECT_NEAR(box->getGlobalPose().p.x - start, expected, 0.12f * expected);
        EXPECT_NEAR(glm::length(box->getLinearVelocity()), 0.0f, 0.01f);
    }
}

// A ball dropped on the ground bounces back with the average restitution of
// the two (0.9 and 0.1 give 0.5; their product would give 0.09).
TEST(PhysicsMaterials, restitutionIsTheAverageOfTheTwoMaterials) {
    Physics physics;
    PhysicsScene scene(physics);
    flatGround(scene, 0.0f, PhysicsMaterial{0.3f, 0.3f, 0.1f});
    RigidDynamic* ball = scene.createDynamic(at(0, 3.0f, 0), SphereGeometry{0.5f},
                                             PhysicsMaterial{0.3f, 0.3f, 0.9f}, 1.0f);
    float down = 0.0f;
    float up = 0.0f;
    for (int i = 0; i < 90; ++i) {
        run(scene, 1);
        down = std::min(down, ball->getLinearVelocity().y);
        up = std::max(up, ball->getLinearVelocity().y);
    }
    ASSERT_LT(down, -5.0f);
    EXPECT_NEAR(up / -down, 0.5f, 0.06f);
}

// ------------------------------------------------------------------- joints

TEST(PhysicsJoints, revoluteJointTurnsOnlyAboutItsFramesX) {
    Physics physics;
    PhysicsScene scene(physics);
    RigidDynamic* a = scene.createDynamic(at(0, 50, 0), BoxGeometry{vec3(0.5f)}, GROUND, 1.0f);
    // Frame A turned a quarter about Z: its X axis is A's +Y. The sphere
    // starts turned the same way, so the joint has nothing to correct (a
    // correction would be held to the default spin cap).
    Pose frameA = at(1.2f, 0.0f, 0.0f);
    frameA.q = turn(90.0f, vec3(0, 0, 1));
    Pose startB = at(1.2f, 50, 0);
    startB.q = frameA.q;
    RigidDynamic* b = scene.createDynamic(startB, SphereGeometry{0.4f}, GROUND, 1.0f);
    scene.createRevoluteJoint(a, frameA, b, Pose());
    b->setAngularVelocity(vec3(2.0f, 3.0f, 4.0f));
    run(scene, 40);

    const glm::quat worldFrameA = toGlm(a->getGlobalPose().q) * toGlm(frameA.q);
    const glm::quat relative = glm::inverse(worldFrameA) * toGlm(b->getGlobalPose().q);
    EXPECT_GT(std::fabs(relative.x), 0.2f) << "the wheel should have turned";
    EXPECT_NEAR(relative.y, 0.0f, 0.01f);
    EXPECT_NEAR(relative.z, 0.0f, 0.01f);
    // The sphere's centre stays on the anchor.
    const vec3 anchor = a->getGlobalPose().p + rotateVector(a->getGlobalPose().q, frameA.p);
    EXPECT_NEAR(glm::distance(anchor, b->getGlobalPose().p), 0.0f, 0.01f);
}

// Bodies in one group pass through each other, even when the group is set
// after both were added (as the car does); others push apart.
TEST(PhysicsJoints, bodiesOfOneCollisionGroupNeverCollide) {
    Physics physics;
    PhysicsScene scene(physics);
    flatGround(scene, 0.0f);
    RigidDynamic* grouped[2];
    RigidDynamic* plain[2];
    for (int i = 0; i < 2; ++i) {
        grouped[i] = scene.createDynamic(at(2, 1, 0), SphereGeometry{0.4f}, GROUND, 1.0f);
        plain[i] = scene.createDynamic(at(-5, 1, 0), SphereGeometry{0.4f}, GROUND, 1.0f);
    }
    const int group = physics.nextCollisionGroup++;
    grouped[0]->setCollisionGroup(group);
    grouped[1]->setCollisionGroup(group);
    run(scene, 60);
    EXPECT_LT(glm::distance(grouped[0]->getGlobalPose().p, grouped[1]->getGlobalPose().p), 1e-3f);
    EXPECT_NEAR(grouped[0]->getGlobalPose().p.y, 0.4f, 0.01f);
    EXPECT_GT(glm::distance(plain[0]->getGlobalPose().p, plain[1]->getGlobalPose().p), 0.7f);
}

// -------------------------------------------------------------- heightfield

// Sample (r, c) lies at x = r * rowScale, z = c * columnScale. The map is
// asymmetric and the scales differ, so a transposed or mirrored layout fails.
TEST(PhysicsHeightfield, samplesSitWhereRowsAndColumnsSay) {
    Physics physics;
    PhysicsScene scene(physics);
    HeightfieldDesc desc;
    desc.rows = 6;
    desc.columns = 9;
    auto sample = [](int r, int c) { return static_cast<int16_t>(r * r + 2 * c + r * c + 3); };
    for (int r = 0; r < desc.rows; ++r) {
        for (int c = 0; c < desc.columns; ++c) {
            desc.heights.push_back(sample(r, c));
        }
    }
    const float rowScale = 1.0f, columnScale = 2.0f, heightScale = 0.5f;
    const Pose pose = at(-10.0f, -3.0f, 5.0f);
    RigidStatic* field =
        scene.createHeightfield(pose, desc, rowScale, columnScale, heightScale, GROUND);
    ASSERT_NE(field, nullptr);
    EXPECT_NEAR(glm::distance(field->getGlobalPose().p, pose.p), 0.0f, 1e-5f);
    const float e = 2e-4f;  // just inside the cell, off the shared edges
    for (int r = 0; r < desc.rows - 1; ++r) {
        for (int c = 0; c < desc.columns - 1; ++c) {
            float y = 0.0f;
            ASSERT_TRUE(scene.raycastDown(pose.p.x + r * rowScale + e,
                                          pose.p.z + c * columnScale + e, 100.0f, y));
            EXPECT_NEAR(y, pose.p.y + sample(r, c) * heightScale, 0.01f) << r << "," << c;
        }
    }
    // Mid-cell the surface follows the diagonal from (r+1, c) to (r, c+1).
    float y = 0.0f;
    ASSERT_TRUE(
        scene.raycastDown(pose.p.x + 3.5f * rowScale, pose.p.z + 4.5f * columnScale, 100.0f, y));
    EXPECT_NEAR(y, pose.p.y + 0.5f * (sample(4, 4) + sample(3, 5)) * heightScale, 0.01f);
    // Outside the field nothing is hit.
    EXPECT_FALSE(scene.raycastDown(pose.p.x - 1.0f, pose.p.z + 1.0f, 100.0f, y));

    HeightfieldDesc thin;
    thin.rows = 1;
    thin.columns = 4;
    thin.heights.assign(4, 0);
    EXPECT_EQ(scene.createHeightfield(pose, thin, 1, 1, 1, GROUND), nullptr);
    thin.rows = 2;  // too few samples for 2 x 4
    EXPECT_EQ(scene.createHeightfield(pose, thin, 1, 1, 1, GROUND), nullptr);
    EXPECT_EQ(scene.actorCount(), 1u);
}

// The internal-edge data of a heightmap is built once and reused by later
// scenes made from the same samples.
TEST(PhysicsHeightfield, edgeDataIsReusedForTheSameHeightmap) {
    Physics physics;
    HeightfieldDesc desc;
    desc.rows = desc.columns = 512;
    for (int i = 0; i < 512 * 512; ++i) {
        desc.heights.push_back(static_cast<int16_t>((i * 7919) % 97 + (i / 512) % 50));
    }
    auto build = [&](PhysicsScene& scene, const HeightfieldDesc& d) {
        return scene.createHeightfield(Pose(), d, 0.66f, 0.66f, 0.315f, GROUND);
    };
    auto scene1 = std::make_unique<PhysicsScene>(physics);
    RigidStatic* field1 = build(*scene1, desc);
    ASSERT_NE(field1, nullptr);
    EXPECT_EQ(physics.heightfieldCache, field1->heightfield);
    const HeightfieldShapeCache* firstData = field1->heightfield.get();
    scene1.reset();  // the level is rebuilt

    PhysicsScene scene2(physics);
    RigidStatic* field2 = build(scene2, desc);
    ASSERT_NE(field2, nullptr);
    EXPECT_EQ(field2->heightfield.get(), firstData) << "the same samples reuse the edge data";

    HeightfieldDesc changed = desc;
    changed.heights[1000] += 1;
    PhysicsScene scene3(physics);
    RigidStatic* field3 = build(scene3, changed);
    ASSERT_NE(field3, nullptr);
    EXPECT_NE(field3->heightfield, field2->heightfield);
    // The changed map is now the cached one; the older scene keeps its own.
    EXPECT_EQ(physics.heightfieldCache, field3->heightfield);
    float y = 0.0f;
    EXPECT_TRUE(scene2.raycastDown(100.0f, 100.0f, 500.0f, y));
}

// ---------------------------------------------------------------------- car

// The game's car on a flat plateau: it assembles without turning, then the
// drive forces take it straight ahead with all wheels on the ground. Without
// the internal-edge handling the sphere wheels hop off the triangle edges.
TEST(PhysicsCar, assemblesAndDrivesStraightOnFlatHeightfield) {
    Physics physics;
    PhysicsScene scene(physics);
    HeightfieldDesc desc;
    desc.rows = 64;
    desc.columns = 256;
    desc.heights.assign(64 * 256, 114);
    // Surface at -35.83 + 114 * 0.315 = 0.08; z from -150 to 18.3.
    ASSERT_NE(
        scene.createHeightfield(at(-20.0f, -35.83f, -150.0f), desc, 0.66f, 0.66f, 0.315f, GROUND),
        nullptr);
    TestCar car = buildCar(scene);
    run(scene, 120);

    const Pose rest = car.chassis->getGlobalPose();
    EXPECT_NEAR(std::fabs(headingDegrees(*car.chassis)), 0.0f, 1.0f);
    for (int i = 0; i < 4; ++i) {
        const vec3 anchor = rest.p + rotateVector(rest.q, car.anchors[i]);
        const vec3 wheel = car.wheels[i]->getGlobalPose().p;
        ASSERT_TRUE(std::isfinite(wheel.x) && std::isfinite(wheel.y) && std::isfinite(wheel.z));
        EXPECT_LT(glm::distance(anchor, wheel), 0.05f) << "wheel " << i;
        EXPECT_NEAR(wheel.y, 0.48f, 0.02f) << "wheel " << i;
    }

    float speedAfter1s = 0.0f, speedAfter2s = 0.0f, worstLift = 0.0f, lowestUp = 1.0f;
    for (int step = 1; step <= 240; ++step) {
        const Pose pose = car.chassis->getGlobalPose();
        const vec3 push = rotateVector(pose.q, vec3(0.0f, 0.0f, -1000.0f * PHYSICS_STEP));
        for (RigidDynamic* wheel : car.wheels) {
            wheel->addForce(push);
        }
        run(scene, 1);
        const Pose now = car.chassis->getGlobalPose();
        worstLift = std::max(worstLift, std::fabs(now.p.y - rest.p.y));
        for (RigidDynamic* wheel : car.wheels) {
            worstLift = std::max(worstLift, std::fabs(wheel->getGlobalPose().p.y - 0.48f));
        }
        lowestUp = std::min(lowestUp, rotateVector(now.q, vec3(0, 1, 0)).y);
        if (step == 60)
            speedAfter1s = -car.chassis->getLinearVelocity().z;
        if (step == 120)
            speedAfter2s = -car.chassis->getLinearVelocity().z;
    }
    const vec3 end = car.chassis->getGlobalPose().p;
    EXPECT_LT(worstLift, 0.03f);
    EXPECT_GT(lowestUp, 0.99f);
    EXPECT_NEAR(speedAfter1s, 15.0f, 3.0f);
    EXPECT_NEAR(speedAfter2s, 28.0f, 4.0f);
    EXPECT_LT(end.z, rest.p.z - 60.0f);
    EXPECT_NEAR(end.x, rest.p.x, 1.0f);
    EXPECT_NEAR(std::fabs(headingDegrees(*car.chassis)), 0.0f, 2.0f);
}

// --------------------------------------------------------------- stepping

class PhysicsStepping : public ::testing::Test {
protected:
    Physics physics;
    PhysicsScene scene{physics};
    RigidDynamic* probe = scene.createDynamic(at(0, 1000, 0), SphereGeometry{0.5f}, GROUND, 1);
    void SetUp() override { physicsAccumulator = 0.0; }
    // Steps taken so far, read from the probe's free fall.
    int stepsTaken() const {
        return static_cast<int>(std::lround(-probe->getLinearVelocity().y / (9.8f * PHYSICS_STEP)));
    }
};

TEST_F(PhysicsStepping, sixtyFramesPerSecondStepOncePerFrame) {
    // 1/60 in double is just below the float step, so the first frame waits.
    EXPECT_FALSE(stepPhysics(&scene, 1.0 / 60.0));
    for (int frame = 0; frame < 599; ++frame) {
        ASSERT_TRUE(stepPhysics(&scene, 1.0 / 60.0)) << "frame " << frame;
    }
    EXPECT_EQ(stepsTaken(), 599);
}

TEST_F(PhysicsStepping, hundredTwentyFramesPerSecondStepEveryOtherFrame) {
    int steps = 0;
    bool previous = false;
    for (int frame = 0; frame < 600; ++frame) {
        const bool stepped = stepPhysics(&scene, 1.0 / 120.0);
        EXPECT_FALSE(stepped && previous) << "two steps in a row at frame " << frame;
        previous = stepped;
        steps += stepped;
    }
    EXPECT_GE(steps, 299);
    EXPECT_LE(steps, 300);
    EXPECT_EQ(stepsTaken(), steps);
}

TEST_F(PhysicsStepping, thirtyFramesPerSecondRunAtHalfSpeed) {
    for (int frame = 0; frame < 300; ++frame) {
        ASSERT_TRUE(stepPhysics(&scene, 1.0 / 30.0));
    }
    EXPECT_EQ(stepsTaken(), 300);
    // Half of the frame time is left over, never simulated.
    EXPECT_NEAR(physicsAccumulator, 300.0 / 30.0 - 300.0 * PHYSICS_STEP, 1e-9);
}

TEST_F(PhysicsStepping, longFrameIsCaughtUpOneStepPerFrame) {
    EXPECT_TRUE(stepPhysics(&scene, 1.0));
    EXPECT_EQ(stepsTaken(), 1);
    int catchUp = 0;
    while (stepPhysics(&scene, 0.0) && catchUp < 100) {
        ++catchUp;
        ASSERT_EQ(stepsTaken(), 1 + catchUp);
    }
    // 1 s holds 59.99999 float steps: 59 in all.
    EXPECT_EQ(catchUp, 58);
    EXPECT_NEAR(physicsAccumulator, 1.0 - 59.0 * PHYSICS_STEP, 1e-12);
    EXPECT_FALSE(stepPhysics(nullptr, 1.0));
    EXPECT_NEAR(physicsAccumulator, 1.0 - 59.0 * PHYSICS_STEP, 1e-12);
}

// --------------------------------------------------------- scene lifecycle

// Levels are rebuilt again and again: every scene gives back all it took.
TEST(PhysicsScenes, rebuildingScenesKeepsMemoryFlat) {
    Physics physics;
    auto level = [&] {
        PhysicsScene scene(physics);
        flatGround(scene, 0.0f);
        buildCar(scene);
        for (int i = 0; i < 18; ++i) {
            scene.createDynamic(at(i - 9.0f, 1, -10), BoxGeometry{vec3(0.5f)}, GROUND, 1.0f,
                                at(0, 0.4f, 0));
        }
        EXPECT_EQ(scene.actorCount(), 24u);
        run(scene, 5);
    };
    for (int i = 0; i < 5; ++i) {
        level();
    }
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 200; ++i) {
        level();
    }
    const std::size_t after = mallinfo2().uordblks;
    EXPECT_LT(after, before + 256 * 1024) << "grew by " << (after - before) << " bytes";
}

// ----------------------------------------------------------------- debugger

namespace {

// A listening socket on the loopback address; port 0 picks a free port.
int listenOnLoopback(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, 1) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length)) {
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

TEST(PhysicsDebugger, connectsToAListenerAndKeepsTheConnection) {
    uint16_t port = 0;
    const int listener = listenOnLoopback(port);
    ASSERT_GE(listener, 0);
    auto foundation = std::make_unique<PhysicsFoundation>();
    EXPECT_TRUE(foundation->hasDebuggerConnectionManager());
    ASSERT_TRUE(foundation->connectDebugger("127.0.0.1", port, 100));
    EXPECT_TRUE(foundation->debuggerConnected());
    const int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    char byte = 0;
    // Open and silent: nothing to read yet, no end of stream.
    EXPECT_EQ(recv(peer, &byte, 1, MSG_DONTWAIT), -1);
    foundation.reset();
    pollfd closing{peer, POLLIN, 0};
    ASSERT_EQ(poll(&closing, 1, 2000), 1) << "the foundation should close the connection";
    EXPECT_EQ(recv(peer, &byte, 1, MSG_DONTWAIT), 0);
    close(peer);
    close(listener);
}

TEST(PhysicsDebugger, failsWithNothingListening) {
    uint16_t port = 0;
    const int listener = listenOnLoopback(port);
    ASSERT_GE(listener, 0);
    close(listener);  // the port is now free and nothing listens on it
    PhysicsFoundation foundation;
    EXPECT_FALSE(foundation.connectDebugger("127.0.0.1", port, 100));
    EXPECT_FALSE(foundation.debuggerConnected());
}
