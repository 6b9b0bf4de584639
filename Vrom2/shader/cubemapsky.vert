#version 330 core
// Fallback sky for the environment cube map: the sky cube drawn into all six
// faces when the sky texture cannot be copied in.
layout(location = 0) in vec3 aPos;

out vec3 vDirection;

void main() {
    vDirection = aPos;
    gl_Position = vec4(aPos, 1.0);
}
