// Uniform setters: every location is looked up by name at each use, so a
// program that does not declare a uniform simply ignores it.
#pragma once

#include <GL/glew.h>

#include "render/draw_parameters.h"
#include "render/maths.h"

void setMat4(GLuint program, const char* name, const mat4& m);
void setVec3(GLuint program, const char* name, const vec3& v);
void setFloat(GLuint program, const char* name, float value);
// Makes `unit` active, points the sampler at it and binds the texture there.
void bindSampler(GLuint program, GLuint unit, const char* name, GLenum target, GLuint texture);

// What the road, the crates and the figures hand their programs: the three
// matrices, the camera and light positions and the light's far plane.
void setLitObjectUniforms(GLuint program, const mat4& model, const mat4& view,
                          const mat4& projection, const vec3& cameraPos, const vec3& lightPos,
                          float farPlane);
