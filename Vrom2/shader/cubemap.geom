#version 330 core
// Emits every triangle into each of the six cube faces it can touch.
layout(triangles) in;
layout(triangle_strip, max_vertices = 18) out;

uniform mat4 envMatrices[6];

in vec3 vColour[];

out vec3 Colour;

// True when all three corners lie beyond the same clip plane: the triangle
// cannot show on that face, and skipping it here is far cheaper than letting
// the rasteriser clip it away (most of the road misses most faces).
bool outsideFace(vec4 a, vec4 b, vec4 c) {
    vec3 x = vec3(a.x, b.x, c.x);
    vec3 y = vec3(a.y, b.y, c.y);
    vec3 z = vec3(a.z, b.z, c.z);
    vec3 w = vec3(a.w, b.w, c.w);
    return all(greaterThan(x, w)) || all(lessThan(x, -w)) || all(greaterThan(y, w)) ||
           all(lessThan(y, -w)) || all(greaterThan(z, w)) || all(lessThan(z, -w));
}

void main() {
    for (int face = 0; face < 6; ++face) {
        vec4 clip0 = envMatrices[face] * gl_in[0].gl_Position;
        vec4 clip1 = envMatrices[face] * gl_in[1].gl_Position;
        vec4 clip2 = envMatrices[face] * gl_in[2].gl_Position;
        if (outsideFace(clip0, clip1, clip2)) {
            continue;
        }
        vec4 clip[3] = vec4[](clip0, clip1, clip2);
        for (int i = 0; i < 3; ++i) {
            gl_Layer = face;
            Colour = vColour[i];
            gl_Position = clip[i];
            EmitVertex();
        }
        EndPrimitive();
    }
}
