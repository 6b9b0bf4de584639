#version 330 core
// Emits every triangle once into each of the six cube faces.
layout(triangles) in;
layout(triangle_strip, max_vertices = 18) out;

uniform mat4 envMatrices[6];

in vec3 vNormal[];
in vec2 vTexCoords[];

out vec3 FragPos;
out vec3 Normal;
out vec2 TexCoords;

void main() {
    for (int face = 0; face < 6; ++face) {
        for (int i = 0; i < 3; ++i) {
            gl_Layer = face;
            FragPos = gl_in[i].gl_Position.xyz;
            Normal = vNormal[i];
            TexCoords = vTexCoords[i];
            gl_Position = envMatrices[face] * gl_in[i].gl_Position;
            EmitVertex();
        }
        EndPrimitive();
    }
}
