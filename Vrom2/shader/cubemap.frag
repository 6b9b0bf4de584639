#version 330 core
// Road, crates and figure as the car sees them. Six 1024 x 1024 faces are
// filled every frame, so this stays cheap: the scene's lamp and sky light
// without their refinements, one shadow lookup, and the texture read from a
// fixed, smaller mip level (no derivatives; a reflection wants it soft).
in vec3 FragPos;
in vec3 Normal;
in vec2 TexCoords;

out vec4 FragColor;

uniform sampler2D texture_diffuse1;
uniform samplerCube depthMap;
uniform vec3 lightPos;
uniform float far_plane;

const vec3 LAMP_COLOUR = vec3(1.4);
const float TEXTURE_LOD = 2.0;

void main() {
    vec3 albedo = textureLod(texture_diffuse1, TexCoords, TEXTURE_LOD).rgb;
    vec3 fromLight = FragPos - lightPos;
    float distanceToLight = length(fromLight);
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : vec3(0.0, 1.0, 0.0);
    float cosine = -dot(normal, fromLight) / max(distanceToLight, 1e-4);

    float wrapped = max(cosine * 0.6 + 0.4, 0.0);
    float attenuation = 1.0 / (1.0 + 0.05 * distanceToLight + 0.012 * distanceToLight * distanceToLight);
    float closest = texture(depthMap, fromLight).r * far_plane;
    float visible = (distanceToLight - 0.15 > closest && distanceToLight < far_plane) ? 0.0 : 1.0;

    float ambient = 0.4 + 0.14 * normal.y;
    FragColor = vec4(albedo * (ambient + LAMP_COLOUR * (wrapped * attenuation * visible)), 1.0);
}
