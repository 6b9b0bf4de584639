// A small figure that stands by the road and waves its right hand; one light
// body with a small offset box carries all three models.
#pragma once

#include <GL/glew.h>

#include <memory>

#include "gfx/model.h"
#include "render/draw_parameters.h"
#include "render/maths.h"
#include "world/physics.h"

class WavingFigure : public LitDrawParameters {
public:
    std::unique_ptr<Model> bodyModel;
    std::unique_ptr<Model> leftHandModel;
    std::unique_ptr<Model> rightHandModel;
    mat4 modelMatrix{1.0f};
    mat4 leftHandTransform{1.0f};
    mat4 rightHandTransform{1.0f};
    RigidDynamic* actor = nullptr;

    WavingFigure();

    void initPhysics(PhysicsScene* scene);
    void place(mat4 matrix);
    // Follows the body and advances the wave by one frame's increment, the
    // wave's value at `clockSeconds` on the game's timer.
    void update(double clockSeconds);
    void draw(GLuint program) const;
};
