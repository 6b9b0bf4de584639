#version 330 core
// Car paint: the diffuse texture under a fixed sky light, with the
// environment reflected more strongly at grazing angles (Fresnel) and only
// where the reflection map allows it.
in vec3 FragPos;
in vec3 Normal;
in vec2 TexCoords;

out vec4 FragColor;

uniform sampler2D texture_diffuse1;
uniform sampler2D texture_reflection1;
uniform samplerCube skybox;
uniform vec3 cameraPos;

const vec3 SKY_LIGHT = normalize(vec3(0.3, 1.0, 0.2));

void main() {
    vec3 albedo = texture(texture_diffuse1, TexCoords).rgb;
    vec3 reflectionMap = texture(texture_reflection1, TexCoords).rgb;
    // A mesh without a reflection map leaves its sampler on unit 0, the
    // diffuse map: identical samples mean "no map", and the paint then gets
    // a modest uniform gloss.
    float reflectivity = all(equal(reflectionMap, albedo)) ? 0.3 : reflectionMap.r;

    vec3 viewDir = normalize(cameraPos - FragPos);
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : viewDir;
    // Seen from behind (thin or flipped faces), light the side facing us.
    if (dot(normal, viewDir) < 0.0) {
        normal = -normal;
    }

    float light = 0.45 + 0.55 * max(dot(normal, SKY_LIGHT), 0.0);
    vec3 base = albedo * light;

    float cosine = clamp(dot(normal, viewDir), 0.0, 1.0);
    float fresnel = 0.2 + 0.8 * pow(1.0 - cosine, 5.0);
    vec3 reflected = texture(skybox, reflect(-viewDir, normal)).rgb;

    FragColor = vec4(mix(base, reflected, fresnel * reflectivity), 1.0);
}
