#version 330 core
// Each face matrix is projection * view around the car; the sky needs only
// the view's rotation, recovered by taking the projection back out.
layout(triangles) in;
layout(triangle_strip, max_vertices = 18) out;

uniform mat4 envMatrices[6];
uniform mat4 cmprojection;

in vec3 vDirection[];

out vec3 TexCoords;

void main() {
    mat4 unproject = inverse(cmprojection);
    for (int face = 0; face < 6; ++face) {
        mat4 rotation = mat4(mat3(unproject * envMatrices[face]));
        for (int i = 0; i < 3; ++i) {
            gl_Layer = face;
            TexCoords = vDirection[i];
            vec4 pos = cmprojection * rotation * gl_in[i].gl_Position;
            // At the far plane, behind everything drawn on that face.
            gl_Position = pos.xyww;
            EmitVertex();
        }
        EndPrimitive();
    }
}
