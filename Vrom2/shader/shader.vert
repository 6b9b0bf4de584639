#version 330 core
// Scene objects on screen: road, crates and the waving figure.
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoords;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;

out vec3 FragPos;
out vec3 Normal;
out vec2 TexCoords;

void main() {
    vec4 worldPos = model * vec4(aPos, 1.0);
    FragPos = worldPos.xyz;
    // Every model matrix here is a rotation with a uniform scale, so its
    // upper 3 x 3 turns normals correctly; the fragment stage normalises.
    Normal = mat3(model) * aNormal;
    TexCoords = aTexCoords;
    gl_Position = projection * view * worldPos;
}
