#include "world/world.h"

#include <malloc.h>

#include <cstdlib>
#include <iostream>

World* world = nullptr;

// clang-format off
const vec3 CRATE_POSITIONS[CRATE_COUNT] = {
    {16.5f, 1.0f, -20.6f},   {18.5f, 1.0f, -73.8f},   {13.8f, 1.0f, -111.5f},
    {-30.9f, 1.0f, -138.7f}, {-31.1f, 1.0f, -51.0f},  {-87.3f, 1.0f, -150.0f},
    {-164.2f, 1.0f, -151.2f}, {-200.7f, 1.0f, -141.1f}, {-239.2f, 1.0f, -116.1f},
    {-254.7f, 1.0f, -64.5f}, {-249.3f, 1.0f, -27.9f}, {-260.4f, 1.0f, 37.1f},
    {-275.8f, 1.0f, 82.1f},  {-232.8f, 1.0f, 128.1f}, {-189.6f, 1.0f, 144.5f},
    {-146.3f, 1.0f, 159.4f}, {-60.5f, 1.0f, 148.8f},  {-21.4f, 1.0f, 129.1f},
};
// clang-format on

namespace {

const Layout DEFAULT_LAYOUT{"Vrom2/model/sky1", "Vrom2/model/car1/coupe.obj", 0.2f,
                            vec3(0.0f, -5.0f, 0.0f)};
const Layout LEVEL_TWO_LAYOUT{"Vrom2/model/sky2", "Vrom2/model/car3/car3.obj", 1.0f,
                              vec3(0.0f, -1.0f, 0.0f)};

// Shared by every world, so that no two builds in the process share a number.
long levelBuilds = 0;

const vec3 HEIGHTFIELD_POSITION(-295.0f, -35.83f, -170.0f);
constexpr float ROAD_SCALE = 300.0f;
constexpr float ROAD_OFFSET_X = -0.42f;  // in the scaled frame: -126 world units

// The runtime cannot really fail to start on this engine; the path stays so
// a failure ends the game the way it always has.
[[noreturn]] void failPhysicsStartup(const char* message) {
    std::cout << message << std::endl;
    std::cout << "Press Enter to exit." << std::endl;
    std::cin.get();
    std::exit(-1);
}

mat4 roadMatrix() {
    mat4 m = scale(mat4(1.0f), vec3(ROAD_SCALE));
    return translate(m, vec3(ROAD_OFFSET_X, 0.0f, 0.0f));
}

mat4 carLocalTransform(const Layout& layout) {
    mat4 m = rotate(mat4(1.0f), 180.0f, vec3(0.0f, 1.0f, 0.0f));
    m = scale(m, vec3(layout.carScale));
    return translate(m, layout.carOffset);
}

bool levelCleared(const World& w) {
    return cratesOnRoad(w) == 0;
}

bool carFallen(const World& w) {
    return w.car && w.car->chassis && w.car->chassis->getGlobalPose().p.y < CAR_FALLEN_HEIGHT;
}

}  // namespace

int cratesOnRoad(const World& w) {
    int count = 0;
    for (const auto& crate : w.crates) {
        if (crate->actor && crate->actor->getGlobalPose().p.y > CRATE_FALLEN_HEIGHT) {
            ++count;
        }
    }
    return count;
}

const Layout& layoutFor(int number) {
    return number == 2 ? LEVEL_TWO_LAYOUT : DEFAULT_LAYOUT;
}

World::World(const QualityPreset& preset)
    : quality(preset), cratePositions(std::begin(CRATE_POSITIONS), std::end(CRATE_POSITIONS)) {
    level = 1;
    initPhysics();
    setupShadowFramebuffer();
    setupEnvironmentFramebuffer();
    loadLevel(level);
}

World::~World() {
    // Level objects first (they point into the scene), then the scene, the
    // render targets and the runtime.
    releaseLevel();
    releaseFramebuffers();
    physics.reset();
    foundation.reset();
}

void World::initPhysics() {
    foundation = std::make_unique<PhysicsFoundation>();
    if (!foundation) {
        failPhysicsStartup("Failed to initialize PhysX");
    }
    physics = std::make_unique<Physics>();
    if (!physics) {
        failPhysicsStartup("Failed to create Physics");
    }
    if (foundation->hasDebuggerConnectionManager()) {
        std::cout << "PVD Initialized" << std::endl;
        // The visual debugger is optional: the game plays the same without it.
        const bool connected = foundation->connectDebugger("127.0.0.1", 5425, 100);
        std::cout << (connected ? "Connected to Visual Debugger"
                                : "Failed to connect to Visual Debugger")
                  << std::endl;
    } else {
        std::cout << "PVD Failed" << std::endl;
        std::cout << "Failed to connect to Visual Debugger" << std::endl;
    }
}

void World::releaseLevel() {
    car.reset();
    crates.clear();
    figures.clear();
    roadHeightfield.reset();
    road.reset();
    sky.reset();
    scene.reset();
}

void World::loadLevel(int number) {
    releaseLevel();
    layoutNumber = number;
    levelSteps = 0;
    levelBuild = ++levelBuilds;
    scene = std::make_unique<PhysicsScene>(*physics);
    const Layout& layout = layoutFor(number);

    sky = std::make_unique<Skybox>(layout.skyDirectory);

    road = std::make_unique<Road>();
    road->modelMatrix = roadMatrix();

    roadHeightfield = std::make_unique<Heightfield>(HEIGHTFIELD_ROW_SCALE, HEIGHTFIELD_COLUMN_SCALE,
                                                    HEIGHTFIELD_HEIGHT_SCALE, scene.get());
    if (roadHeightfield->actor) {
        roadHeightfield->actor->setGlobalPose(poseAt(HEIGHTFIELD_POSITION), true);
    }

    for (const vec3& position : cratePositions) {
        auto crate = std::make_unique<Crate>();
        crate->initPhysics(scene.get());
        crate->place(translate(mat4(1.0f), position));
        crates.push_back(std::move(crate));
    }

    auto figure = std::make_unique<WavingFigure>();
    figure->initPhysics(scene.get());
    figure->place(translate(mat4(1.0f), FIGURE_POSITION));
    figures.push_back(std::move(figure));

    car = std::make_unique<Car>(layout.carModel);
    car->setLocalTransform(carLocalTransform(layout));
    car->initPhysics(scene.get());

    // A rebuild frees and allocates megabytes of decoded images and model
    // text; hand the freed pages back so memory stays flat however often a
    // level is rebuilt.
    malloc_trim(0);
}

void updateLevelObjects(World& w, double clockSeconds) {
    if (w.car) {
        w.car->update();
    }
    for (auto& crate : w.crates) {
        crate->update();
    }
    for (auto& figure : w.figures) {
        figure->update(clockSeconds);
    }
}

bool stepWorld(double frameTime, double clockSeconds) {
    if (!world) {
        return false;
    }
    const bool stepped = stepPhysics(world->scene.get(), frameTime);
    world->ruleEvents = RuleEvents();
    world->stepContacts.clear();
    if (stepped) {
        world->levelSteps += 1;
        world->stepContacts = world->scene->startedContacts;
    }

    // Model matrices follow the bodies every frame, stepped or not.
    updateLevelObjects(*world, clockSeconds);

    bool rebuilt = false;
    if (levelCleared(*world)) {
        RuleEvents& events = world->ruleEvents;
        events.levelCleared = true;
        events.clearSteps = world->levelSteps;
        events.clearedLayout = world->layoutNumber;
        events.clearedLevel = world->level;
        world->level += 1;
        world->loadLevel(world->level);
        rebuilt = true;
    }
    if (carFallen(*world)) {
        world->ruleEvents.carFell = true;
        world->loadLevel(world->level);
        rebuilt = true;
    }
    // A level built here is drawn in this very frame: its objects take their
    // start poses now, not one frame late.
    if (rebuilt) {
        updateLevelObjects(*world, clockSeconds);
    }
    return stepped;
}

RigidDynamic* currentChassis() {
    return world && world->car ? world->car->chassis : nullptr;
}

vec3 chassisPosition() {
    const RigidDynamic* chassis = currentChassis();
    return chassis ? chassis->getGlobalPose().p : vec3(0.0f);
}
