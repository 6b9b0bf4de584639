#version 330 core
// Scene objects on screen: a point light riding with the car, its shadow cube
// map, a soft sky ambient term and a touch of sky reflection.
in vec3 FragPos;
in vec3 Normal;
in vec2 TexCoords;

out vec4 FragColor;

uniform sampler2D texture_diffuse1;
uniform sampler2D texture_specular1;
uniform sampler2D texture_reflection1;
uniform samplerCube skybox;
uniform samplerCube depthMap;
uniform vec3 lightPos;
uniform vec3 cameraPos;
uniform float far_plane;

// A few taps around the lookup direction soften the shadow edge.
const int SHADOW_TAPS = 5;
const vec3 TAP_OFFSETS[SHADOW_TAPS] = vec3[](vec3(0.0, 0.0, 0.0), vec3(1.0, 1.0, 1.0),
                                             vec3(-1.0, -1.0, 1.0), vec3(-1.0, 1.0, -1.0),
                                             vec3(1.0, -1.0, -1.0));

// 1.0 where the light is blocked, 0.0 where it reaches the fragment.
float shadowAmount(vec3 toFragment, float distanceToLight, float cosine) {
    // Beyond the shadow map's reach nothing was recorded: treat as lit.
    if (distanceToLight >= far_plane) {
        return 0.0;
    }
    // Grazing surfaces need more bias to stay free of acne.
    float bias = mix(0.25, 0.06, clamp(cosine, 0.0, 1.0)) + 0.004 * distanceToLight;
    float radius = 0.012 + 0.02 * distanceToLight / far_plane;
    float blocked = 0.0;
    for (int i = 0; i < SHADOW_TAPS; ++i) {
        vec3 direction = toFragment + TAP_OFFSETS[i] * radius * distanceToLight;
        float closest = texture(depthMap, direction).r * far_plane;
        blocked += (distanceToLight - bias > closest) ? 1.0 : 0.0;
    }
    return blocked / float(SHADOW_TAPS);
}

void main() {
    vec3 albedo = texture(texture_diffuse1, TexCoords).rgb;
    vec3 specularMap = texture(texture_specular1, TexCoords).rgb;
    vec3 reflectionMap = texture(texture_reflection1, TexCoords).rgb;
    // A mesh without a reflection map leaves its sampler on unit 0, the
    // diffuse map: identical samples mean "no map", so nothing is reflected.
    float reflectivity = all(equal(reflectionMap, albedo)) ? 0.0 : reflectionMap.r;

    vec3 viewDir = normalize(cameraPos - FragPos);
    // Meshes without normals face the viewer rather than turning black.
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : viewDir;

    vec3 toLight = lightPos - FragPos;
    float distanceToLight = length(toLight);
    vec3 lightDir = toLight / max(distanceToLight, 1e-4);
    float cosine = dot(normal, lightDir);

    // Gentle falloff: the car's light dominates nearby, the sky term keeps
    // the road readable far away.
    float attenuation = 1.0 / (1.0 + 0.045 * distanceToLight + 0.0075 * distanceToLight * distanceToLight);
    float diffuse = max(cosine, 0.0) * attenuation * 1.2;
    vec3 halfway = normalize(lightDir + viewDir);
    float specular = pow(max(dot(normal, halfway), 0.0), 32.0) * attenuation * step(0.0, cosine);

    float lit = 1.0 - shadowAmount(-toLight, distanceToLight, cosine);

    // Ambient from the sky: brighter on surfaces facing up, tinted by the sky
    // around them, never below 0.35.
    vec3 skyTint = texture(skybox, normal).rgb;
    float hemisphere = 0.4 + 0.2 * (0.5 + 0.5 * normal.y);
    vec3 ambient = max(hemisphere * mix(vec3(1.0), skyTint, 0.3), vec3(0.35));

    vec3 colour = albedo * (ambient + vec3(diffuse * lit)) + specularMap * specular * lit;

    vec3 reflected = texture(skybox, reflect(-viewDir, normal)).rgb;
    colour = mix(colour, reflected, clamp(reflectivity, 0.0, 1.0) * 0.35);

    FragColor = vec4(colour, 1.0);
}
