// The visible road: a model that is only drawn; its collision is the
// separate heightfield.
#pragma once

#include <GL/glew.h>

#include <memory>

#include "gfx/model.h"
#include "render/draw_parameters.h"
#include "render/maths.h"

class Road : public LitDrawParameters {
public:
    std::unique_ptr<Model> model;
    mat4 modelMatrix{1.0f};

    Road();

    void draw(GLuint program) const;
};

const char* const ROAD_MODEL_PATH = "Vrom2/model/road3/road3.obj";
