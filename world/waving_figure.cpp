#include "world/waving_figure.h"

#include <cmath>

#include "render/uniforms.h"

namespace {

const vec3 FIGURE_HALF_EXTENTS(0.2f, 0.4f, 0.2f);
const PhysicsMaterial FIGURE_MATERIAL{0.3f, 0.3f, 0.3f};
constexpr float FIGURE_DENSITY = 1.0f;
// The collision block stands beside the body origin, where the figure is
// modelled.
const vec3 FIGURE_SHAPE_OFFSET(1.5f, 0.52f, -1.1f);
const vec3 Z_AXIS(0.0f, 0.0f, 1.0f);

}  // namespace

WavingFigure::WavingFigure()
    : bodyModel(std::make_unique<Model>("Vrom2/model/plinn/body.obj")),
      leftHandModel(std::make_unique<Model>("Vrom2/model/plinn/lh.obj")),
      rightHandModel(std::make_unique<Model>("Vrom2/model/plinn/rh.obj")) {
    leftHandTransform = translate(mat4(1.0f), vec3(1.1f, -0.33f, -0.95f));
    rightHandTransform = rotate(mat4(1.0f), -65.0f, Z_AXIS);
    rightHandTransform = translate(rightHandTransform, vec3(-0.5f, 1.44f, -1.05f));
}

void WavingFigure::initPhysics(PhysicsScene* scene) {
    actor = scene->createDynamic(poseAt(vec3(0.0f, 1.0f, 0.0f)), BoxGeometry{FIGURE_HALF_EXTENTS},
                                 FIGURE_MATERIAL, FIGURE_DENSITY, poseAt(FIGURE_SHAPE_OFFSET));
    if (actor) {
        actor->kind = BodyKind::Figure;
    }
}

void WavingFigure::place(mat4 matrix) {
    modelMatrix = matrix;
    if (actor) {
        actor->setGlobalPose(poseFromMatrix(matrix), true);
    }
}

void WavingFigure::update(double clockSeconds) {
    if (actor) {
        modelMatrix = poseMatrix(actor->getGlobalPose());
    }
    // One increment per frame, never reset: the swing follows the frame rate.
    const float t = static_cast<float>(clockSeconds);
    const float wave = 0.5f * static_cast<float>(std::sin(static_cast<double>(5.0f * t)));
    rightHandTransform = rotate(rightHandTransform, wave, Z_AXIS);
}

void WavingFigure::draw(GLuint program) const {
    glUseProgram(program);
    applyTo(program, modelMatrix);
    bindCubeMaps(program);
    bodyModel->draw(program);
    setMat4(program, "model", modelMatrix * leftHandTransform);
    leftHandModel->draw(program);
    setMat4(program, "model", modelMatrix * rightHandTransform);
    rightHandModel->draw(program);
}
