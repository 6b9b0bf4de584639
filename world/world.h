// The world: the physics runtime, the two cube-map render targets, the level
// counter and the current level's objects.
#pragma once

#include <GL/glew.h>

#include <memory>
#include <vector>

#include "gfx/gl_handle.h"
#include "gfx/skybox.h"
#include "render/maths.h"
#include "render/quality.h"
#include "render/scene_target.h"
#include "world/car.h"
#include "world/crate.h"
#include "world/heightfield.h"
#include "world/physics.h"
#include "world/road.h"
#include "world/waving_figure.h"

// What differs between the two layouts.
struct Layout {
    const char* skyDirectory;
    const char* carModel;
    float carScale;
    vec3 carOffset;
};

// Layout 2 for number 2, the default for every other number.
const Layout& layoutFor(int number);

constexpr int CRATE_COUNT = 18;
extern const vec3 CRATE_POSITIONS[CRATE_COUNT];
const vec3 FIGURE_POSITION(1.1f, 1.0f, -12.0f);

// The road's heightfield: the heightmap's samples to world units.
constexpr float HEIGHTFIELD_ROW_SCALE = 0.66f;
constexpr float HEIGHTFIELD_COLUMN_SCALE = 0.66f;
constexpr float HEIGHTFIELD_HEIGHT_SCALE = 0.315f;

// Below these heights a crate counts as fallen and the car as lost.
constexpr float CRATE_FALLEN_HEIGHT = -20.0f;
constexpr float CAR_FALLEN_HEIGHT = -30.0f;

// What the rules did in the last stepWorld, for whoever reports it (the
// display, the sound); the simulation never reads it.
struct RuleEvents {
    bool levelCleared = false;
    long clearSteps = 0;    // the cleared level's time, in physics steps
    int clearedLayout = 0;  // the layout number that was cleared
    int clearedLevel = 0;   // the level counter's value when it was cleared
    bool carFell = false;
};

class World {
public:
    std::unique_ptr<Car> car;
    std::unique_ptr<Skybox> sky;
    std::unique_ptr<Road> road;
    std::vector<std::unique_ptr<Crate>> crates;
    std::vector<std::unique_ptr<WavingFigure>> figures;
    std::unique_ptr<Heightfield> roadHeightfield;
    // The two cube-map render targets, made once for the world's life.
    GLuint shadowWidth = 0, shadowHeight = 0;
    GlFramebuffer shadowFbo;
    GlTexture shadowCubeMap;
    GLuint envWidth = 0, envHeight = 0;
    GlFramebuffer envFbo;
    GlTexture envCubeMap, envDepthCubeMap;
    // The preset the render targets were made for; fixed for the world's life.
    QualityPreset quality;
    // Where the scene goes when the preset draws it below the window's size.
    SceneTarget sceneTarget;
    std::unique_ptr<PhysicsFoundation> foundation;
    std::unique_ptr<Physics> physics;
    std::unique_ptr<PhysicsScene> scene;
    int level = 1;
    // The layout the last loadLevel built, and the physics steps taken since:
    // the level's clock in game time.
    int layoutNumber = 1;
    long levelSteps = 0;
    // Which build of a level this is, never the same twice in the process:
    // every loadLevel takes a new one, so a drawing pass that readies
    // something per level (the environment pass's sky) sees when to.
    long levelBuild = 0;
    RuleEvents ruleEvents;
    // The contacts that began in the last stepWorld's physics step (none
    // when it took no step), kept when a rule then rebuilt the level.
    std::vector<StartedContact> stepContacts;

    explicit World(const QualityPreset& preset = presetFor(Quality::High));
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Builds the layout for `number` from scratch; the level counter stays.
    void loadLevel(int number);

    void initPhysics();
    void setupShadowFramebuffer();
    void setupEnvironmentFramebuffer();

    // Crate positions used by the next loadLevel; the game's table unless a
    // benchmark asks for more.
    std::vector<vec3> cratePositions;

private:
    void releaseLevel();
    void releaseFramebuffers();
};

// The single world, created by the program entry.
extern World* world;

// One frame of simulation and rules: a fixed step, object updates, then the
// cleared and fallen rules (either may rebuild the level, whose objects then
// take their start poses at once). `clockSeconds` is the game's timer in this
// frame, which the figure's wave follows. Returns whether a physics step was
// taken.
bool stepWorld(double frameTime, double clockSeconds);

// Crates still above the cleared rule's height: the level is cleared when
// none is left.
int cratesOnRoad(const World& w);

// Every object's model matrix from its body's pose, and the figure's wave at
// `clockSeconds` on the game's timer.
void updateLevelObjects(World& w, double clockSeconds);

// The current car's chassis, or null while there is no world or car.
RigidDynamic* currentChassis();

// The position of the current car's chassis: the light and the environment
// map ride with it.
vec3 chassisPosition();
