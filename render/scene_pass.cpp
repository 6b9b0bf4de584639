#include "render/scene_pass.h"

#include "render/cube_faces.h"
#include "render/environment_pass.h"
#include "render/shadow_pass.h"
#include "world/world.h"

void prepareFrame(vec3 cameraPosition, mat4 view, mat4 projection) {
    const GLuint skyTexture = world->sky ? world->sky->cubeMapTexture.get() : 0;
    if (world->sky) {
        world->sky->view = withoutTranslation(view);
        world->sky->projection = projection;
    }
    // The light is read from the chassis for every object that takes it.
    if (world->road) {
        world->road->setDrawParameters(view, projection, cameraPosition, chassisPosition(),
                                       CUBE_FAR, skyTexture, world->shadowCubeMap.get());
    }
    if (world->car) {
        world->car->setDrawParameters(view, projection, cameraPosition, world->envCubeMap.get());
    }
    for (auto& crate : world->crates) {
        crate->setDrawParameters(view, projection, cameraPosition, chassisPosition(), CUBE_FAR,
                                 skyTexture, world->shadowCubeMap.get());
    }
    for (auto& figure : world->figures) {
        figure->setDrawParameters(view, projection, cameraPosition, chassisPosition(), CUBE_FAR,
                                  skyTexture, world->shadowCubeMap.get());
    }
}

void renderScenePass(const FramePrograms& programs, uint32_t width, uint32_t height) {
    glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    glClearColor(0.1f, 0.1f, 0.1f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (world->road) {
        world->road->draw(programs.sceneA);
    }
    for (const auto& crate : world->crates) {
        crate->draw(programs.sceneB);
    }
    for (const auto& figure : world->figures) {
        figure->draw(programs.sceneA);
    }
    if (world->car) {
        world->car->draw(programs.environment);
    }
    if (world->sky) {
        world->sky->draw(programs.sky);
    }
}

void renderScene(const FramePrograms& programs, uint32_t width, uint32_t height) {
    const float scale = world->quality.sceneScale;
    const uint32_t sceneWidth = scaledSide(width, scale);
    const uint32_t sceneHeight = scaledSide(height, scale);
    if (scale >= 1.0f || sceneWidth == 0 || sceneHeight == 0) {
        renderScenePass(programs, width, height);
        return;
    }
    world->sceneTarget.bind(sceneWidth, sceneHeight);
    renderScenePass(programs, sceneWidth, sceneHeight);
    world->sceneTarget.present(width, height);
}

void renderFrame(const FramePrograms& programs, vec3 cameraPosition, mat4 view, mat4 projection,
                 uint32_t width, uint32_t height) {
    prepareFrame(cameraPosition, view, projection);
    renderShadowPass(programs.shadow);
    renderEnvironmentPass(programs.cubemap, programs.cubemapSky);
    renderScene(programs, width, height);
}
