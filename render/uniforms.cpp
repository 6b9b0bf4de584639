#include "render/uniforms.h"

void setMat4(GLuint program, const char* name, const mat4& m) {
    glUniformMatrix4fv(glGetUniformLocation(program, name), 1, GL_FALSE, &m[0][0]);
}

void setVec3(GLuint program, const char* name, const vec3& v) {
    glUniform3f(glGetUniformLocation(program, name), v.x, v.y, v.z);
}

void setFloat(GLuint program, const char* name, float value) {
    glUniform1f(glGetUniformLocation(program, name), value);
}

void bindSampler(GLuint program, GLuint unit, const char* name, GLenum target, GLuint texture) {
    glActiveTexture(GL_TEXTURE0 + unit);
    glUniform1i(glGetUniformLocation(program, name), static_cast<GLint>(unit));
    glBindTexture(target, texture);
}

void setLitObjectUniforms(GLuint program, const mat4& model, const mat4& view,
                          const mat4& projection, const vec3& cameraPos, const vec3& lightPos,
                          float farPlane) {
    setMat4(program, "model", model);
    setMat4(program, "view", view);
    setMat4(program, "projection", projection);
    setVec3(program, "cameraPos", cameraPos);
    setVec3(program, "lightPos", lightPos);
    setFloat(program, "far_plane", farPlane);
}

void LitDrawParameters::applyTo(GLuint program, const mat4& modelMatrix) const {
    setLitObjectUniforms(program, modelMatrix, viewMatrix, projectionMatrix, cameraPos, lightPos,
                         farPlane);
}

void LitDrawParameters::bindCubeMaps(GLuint program) const {
    bindSampler(program, 3, "skybox", GL_TEXTURE_CUBE_MAP, skyboxTexture);
    bindSampler(program, 4, "depthMap", GL_TEXTURE_CUBE_MAP, depthCubeMap);
}
