#include "world/road.h"

#include "render/uniforms.h"

Road::Road() : model(std::make_unique<Model>(ROAD_MODEL_PATH)) {}

void Road::draw(GLuint program) const {
    glUseProgram(program);
    applyTo(program, modelMatrix);
    // The cube maps go on units 3 and 4; the meshes bind their own textures
    // from unit 0 up.
    bindCubeMaps(program);
    model->draw(program);
}
