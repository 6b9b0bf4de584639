#version 330 core
// Road, crates and figure into the car's environment cube map. Six
// 1024 x 1024 faces are filled every frame and only ever seen blurred in the
// car's paint, so each corner is lit here, once, and the fragments only
// blend: the texture's mean colour under the sky light and the lamp, with
// the lamp's shadow.
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoords;

uniform mat4 model;
uniform sampler2D texture_diffuse1;
uniform samplerCube depthMap;
uniform vec3 lightPos;
uniform float far_plane;

out vec3 vColour;

const vec3 LAMP_COLOUR = vec3(1.4);
// Past the last mip level: the smallest level, the texture's mean colour.
const float MEAN_COLOUR_LEVEL = 16.0;

void main() {
    vec4 worldPos = model * vec4(aPos, 1.0);
    gl_Position = worldPos;
    // Rotation with a uniform scale: no inverse needed for the normal.
    vec3 turned = mat3(model) * aNormal;
    vec3 normal = dot(turned, turned) > 1e-10 ? normalize(turned) : vec3(0.0, 1.0, 0.0);
    vec3 albedo = textureLod(texture_diffuse1, aTexCoords, MEAN_COLOUR_LEVEL).rgb;

    vec3 fromLight = worldPos.xyz - lightPos;
    float distanceToLight = length(fromLight);
    float cosine = -dot(normal, fromLight) / max(distanceToLight, 1e-4);
    float wrapped = max(cosine * 0.6 + 0.4, 0.0);
    float attenuation = 1.0 / (1.0 + 0.05 * distanceToLight + 0.012 * distanceToLight * distanceToLight);
    float closest = textureLod(depthMap, fromLight, 0.0).r * far_plane;
    float visible = (distanceToLight - 0.15 > closest && distanceToLight < far_plane) ? 0.0 : 1.0;

    float ambient = 0.4 + 0.14 * normal.y;
    vColour = albedo * (ambient + LAMP_COLOUR * (wrapped * attenuation * visible));
}
