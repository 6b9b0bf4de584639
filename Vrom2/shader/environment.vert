#version 330 core
// The car on screen, reflecting the environment cube map around it. The
// reflection is looked up here, once per corner: per pixel, the lookups
// scatter over six large faces and cost more than the rest of the car; the
// paint is glossy, so a reflection blended across each triangle reads well.
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoords;

uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
uniform vec3 cameraPos;
uniform samplerCube skybox;

out vec3 FragPos;
out vec3 Normal;
out vec2 TexCoords;
out vec3 Reflected;

void main() {
    vec4 worldPos = model * vec4(aPos, 1.0);
    FragPos = worldPos.xyz;
    // The car's matrix turns, mirrors by 180 degrees and scales uniformly:
    // its upper 3 x 3 turns normals correctly; the fragment stage normalises.
    Normal = mat3(model) * aNormal;
    TexCoords = aTexCoords;
    gl_Position = projection * view * worldPos;

    vec3 toCamera = cameraPos - FragPos;
    vec3 viewDir = dot(toCamera, toCamera) > 1e-10 ? normalize(toCamera) : vec3(0.0, 0.0, 1.0);
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : viewDir;
    if (dot(normal, viewDir) < 0.0) {
        normal = -normal;
    }
    Reflected = textureLod(skybox, reflect(-viewDir, normal), 0.0).rgb;
}
