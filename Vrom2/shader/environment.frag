#version 330 core
// Car paint: the diffuse texture under the sky's light with a sun highlight,
// and this frame's surroundings (the environment cube map, looked up per
// corner) mirrored more strongly at grazing angles (Fresnel), as much as the
// reflection map allows.
in vec3 FragPos;
in vec3 Normal;
in vec2 TexCoords;
in vec3 Reflected;

out vec4 FragColor;

uniform sampler2D texture_diffuse1;
uniform sampler2D texture_specular1;
uniform sampler2D texture_reflection1;
uniform vec3 cameraPos;

// A high sun; the paint takes its light and highlight from it.
const vec3 SUN = vec3(0.27, 0.92, 0.28);

// The texel under a coordinate, unfiltered: one read where a filtered lookup
// takes eight. The highlight and mirror maps change little from texel to
// texel, so filtering them shows nowhere on screen.
vec4 nearestTexel(sampler2D map, vec2 uv) {
    ivec2 size = textureSize(map, 0);
    return texelFetch(map, min(ivec2(fract(uv) * vec2(size)), size - 1), 0);
}

// x to the 60th and 5th by multiplying: a few multiplies where pow costs a
// logarithm and an exponential per pixel.
float power60(float x) {
    float x2 = x * x;
    float x4 = x2 * x2;
    float x8 = x4 * x4;
    float x16 = x8 * x8;
    float x32 = x16 * x16;
    return x32 * x16 * x8 * x4;
}

float power5(float x) {
    float x2 = x * x;
    return x2 * x2 * x;
}

void main() {
    vec3 albedo = texture(texture_diffuse1, TexCoords).rgb;
    vec3 specularMap = nearestTexel(texture_specular1, TexCoords).rgb;
    float reflectivity = nearestTexel(texture_reflection1, TexCoords).r;

    vec3 viewDir = normalize(cameraPos - FragPos);
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : viewDir;
    // Seen from behind (thin or flipped faces), light the side facing us.
    if (dot(normal, viewDir) < 0.0) {
        normal = -normal;
    }

    float light = 0.42 + 0.18 * normal.y + 0.5 * max(dot(normal, SUN), 0.0);
    vec3 base = albedo * light;
    vec3 halfway = normalize(SUN + viewDir);
    vec3 highlight = specularMap * power60(max(dot(normal, halfway), 0.0));

    // Schlick's curve: a clear coat mirrors a little face-on and most at
    // grazing angles.
    float cosine = clamp(dot(normal, viewDir), 0.0, 1.0);
    float fresnel = 0.12 + 0.88 * power5(1.0 - cosine);

    FragColor = vec4(mix(base, Reflected, fresnel * reflectivity) + highlight, 1.0);
}
