#version 330 core
// Kept cheap: it fills six large faces every frame. Plain diffuse light with
// a single shadow lookup.
in vec3 FragPos;
in vec3 Normal;
in vec2 TexCoords;

out vec4 FragColor;

uniform sampler2D texture_diffuse1;
uniform samplerCube depthMap;
uniform vec3 lightPos;
uniform float far_plane;

void main() {
    vec3 albedo = texture(texture_diffuse1, TexCoords).rgb;
    vec3 toLight = lightPos - FragPos;
    float distanceToLight = length(toLight);
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : vec3(0.0, 1.0, 0.0);
    float cosine = max(dot(normal, toLight / max(distanceToLight, 1e-4)), 0.0);
    float attenuation = 1.0 / (1.0 + 0.045 * distanceToLight + 0.0075 * distanceToLight * distanceToLight);

    float lit = 1.0;
    if (distanceToLight < far_plane) {
        float closest = texture(depthMap, -toLight).r * far_plane;
        lit = (distanceToLight - 0.15 > closest) ? 0.0 : 1.0;
    }

    float ambient = 0.4 + 0.2 * (0.5 + 0.5 * normal.y);
    FragColor = vec4(albedo * (ambient + 1.2 * cosine * attenuation * lit), 1.0);
}
