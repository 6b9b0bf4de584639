#version 330 core
// Car paint: the diffuse texture under the sky's light with a sun highlight,
// and this frame's surroundings (the environment cube map) mirrored more
// strongly at grazing angles (Fresnel), as much as the reflection map allows.
in vec3 FragPos;
in vec3 Normal;
in vec2 TexCoords;

out vec4 FragColor;

uniform sampler2D texture_diffuse1;
uniform sampler2D texture_specular1;
uniform sampler2D texture_reflection1;
uniform samplerCube skybox;
uniform vec3 cameraPos;

// A high sun; the paint takes its light and highlight from it.
const vec3 SUN = vec3(0.27, 0.92, 0.28);
const float SHININESS = 60.0;

void main() {
    vec3 albedo = texture(texture_diffuse1, TexCoords).rgb;
    vec3 specularMap = texture(texture_specular1, TexCoords).rgb;
    float reflectivity = texture(texture_reflection1, TexCoords).r;

    vec3 viewDir = normalize(cameraPos - FragPos);
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : viewDir;
    // Seen from behind (thin or flipped faces), light the side facing us.
    if (dot(normal, viewDir) < 0.0) {
        normal = -normal;
    }

    float light = 0.42 + 0.18 * normal.y + 0.5 * max(dot(normal, SUN), 0.0);
    vec3 base = albedo * light;
    vec3 halfway = normalize(SUN + viewDir);
    vec3 highlight = specularMap * pow(max(dot(normal, halfway), 0.0), SHININESS);

    // Schlick's curve: a clear coat mirrors a little face-on and most at
    // grazing angles.
    float cosine = clamp(dot(normal, viewDir), 0.0, 1.0);
    float fresnel = 0.12 + 0.88 * pow(1.0 - cosine, 5.0);
    vec3 reflected = texture(skybox, reflect(-viewDir, normal)).rgb;

    FragColor = vec4(mix(base, reflected, fresnel * reflectivity) + highlight, 1.0);
}
