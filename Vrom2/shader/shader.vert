#version 330 core
// Scene objects on screen: road, crates and the waving figure. The sky they
// mirror changes slowly across a surface, so it is looked up here, once per
// corner, rather than for every pixel.
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
out vec3 Mirrored;  // the sky this corner mirrors

void main() {
    vec4 worldPos = model * vec4(aPos, 1.0);
    FragPos = worldPos.xyz;
    // Every model matrix here is a rotation with a uniform scale, so its
    // upper 3 x 3 turns normals correctly; the fragment stage normalises.
    Normal = mat3(model) * aNormal;
    TexCoords = aTexCoords;
    gl_Position = projection * view * worldPos;

    vec3 toCamera = cameraPos - FragPos;
    vec3 viewDir = dot(toCamera, toCamera) > 1e-10 ? normalize(toCamera) : vec3(0.0, 0.0, 1.0);
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : viewDir;
    Mirrored = textureLod(skybox, reflect(-viewDir, normal), 0.0).rgb;
}
