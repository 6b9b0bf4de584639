#version 330 core
// Shadow casters into the light's depth cube map: world space only, the
// geometry stage picks the face.
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoords;

uniform mat4 model;

void main() {
    gl_Position = model * vec4(aPos, 1.0);
}
