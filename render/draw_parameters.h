// The frame's values that a lit object (road, crate, figure) keeps between
// prepareFrame and its draws in every pass.
#pragma once

#include <GL/glew.h>

#include "render/maths.h"

class LitDrawParameters {
public:
    mat4 viewMatrix{1.0f};
    mat4 projectionMatrix{1.0f};
    GLuint skyboxTexture = 0;
    GLuint depthCubeMap = 0;
    vec3 cameraPos{0.0f};
    vec3 lightPos{0.0f};
    float farPlane = 0.0f;

    void setDrawParameters(mat4 view, mat4 projection, vec3 cameraPosition, vec3 lightPosition,
                           float farPlaneDistance, GLuint skybox, GLuint depthMap) {
        viewMatrix = view;
        projectionMatrix = projection;
        cameraPos = cameraPosition;
        lightPos = lightPosition;
        farPlane = farPlaneDistance;
        skyboxTexture = skybox;
        depthCubeMap = depthMap;
    }

    // Sets the matrices (with this model matrix), the camera and light
    // positions and the far plane on the program.
    void applyTo(GLuint program, const mat4& modelMatrix) const;
    // Binds the sky cube map on unit 3 and the shadow cube map on unit 4.
    void bindCubeMaps(GLuint program) const;
};
