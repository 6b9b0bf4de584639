#version 330 core
// Stores the distance to the light, scaled to [0, 1] by the far plane; the
// scene shaders compare against the same measure.
in vec4 FragPos;

uniform vec3 lightPos;
uniform float far_plane;

void main() {
    gl_FragDepth = distance(FragPos.xyz, lightPos) / far_plane;
}
