#version 330 core
// Road, crates and figure into the car's environment cube map: world space
// here, the geometry stage picks the faces.
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoords;

uniform mat4 model;

out vec3 vNormal;
out vec2 vTexCoords;

void main() {
    gl_Position = model * vec4(aPos, 1.0);
    // Rotation with a uniform scale: no inverse needed for the normal.
    vNormal = mat3(model) * aNormal;
    vTexCoords = aTexCoords;
}
