#version 330 core
// Road, crates and the waving figure on screen. A lamp riding with the car
// lights them, with shadows from its depth cube map; the sky lights them
// from everywhere (ambient), is mirrored where the reflection map says so,
// and swallows distant geometry as haze before the far plane.
in vec3 FragPos;
in vec3 Normal;
in vec2 TexCoords;
in vec3 Mirrored;

out vec4 FragColor;

uniform sampler2D texture_diffuse1;
uniform sampler2D texture_specular1;
uniform sampler2D texture_reflection1;
uniform samplerCube skybox;
uniform samplerCube depthMap;
uniform vec3 lightPos;
uniform vec3 cameraPos;
uniform float far_plane;

// The lamp's light is white; colour comes from the textures and the sky.
const vec3 LAMP_COLOUR = vec3(1.4);
// The camera sees 100 units; haze covers the last stretch so the road fades
// into the sky instead of being cut off.
const float HAZE_START = 60.0;
const float HAZE_END = 98.0;

// Three taps around the lookup direction, 120 degrees apart on whichever
// face they land (the axes seen along the cube's diagonal): a soft edge in
// four steps for the price of three lookups.
const vec3 TAPS[3] = vec3[](vec3(0.816, -0.408, -0.408), vec3(-0.408, 0.816, -0.408),
                            vec3(-0.408, -0.408, 0.816));

// The texel under a coordinate, unfiltered: one read where a filtered lookup
// takes eight. The highlight and mirror maps change little from texel to
// texel, so filtering them shows nowhere on screen.
vec4 nearestTexel(sampler2D map, vec2 uv) {
    ivec2 size = textureSize(map, 0);
    return texelFetch(map, min(ivec2(fract(uv) * vec2(size)), size - 1), 0);
}

// x to the 32nd by squaring: a few multiplies where pow costs a logarithm
// and an exponential per pixel.
float power32(float x) {
    float x2 = x * x;
    float x4 = x2 * x2;
    float x8 = x4 * x4;
    float x16 = x8 * x8;
    return x16 * x16;
}

// Share of the lamp's light that reaches the fragment (1 lit, 0 shadowed).
float lampVisibility(vec3 fromLight, float distanceToLight, float cosine) {
    // The bias (world units) grows where the surface turns away from the
    // lamp and with distance, as one shadow texel covers more ground. It
    // stays well under a crate's size, so shadows start at the crate.
    float bias = 0.04 + 0.12 * (1.0 - clamp(cosine, 0.0, 1.0)) + 0.003 * distanceToLight;
    // About three shadow texels wide at any distance.
    float spread = 0.006 * distanceToLight;
    // A smaller map (the lower presets) has larger texels: the distance's
    // share of the bias and the spread grow with them. Kept apart, so that
    // a full-size map's figures stay exactly what they were.
    int faceSize = textureSize(depthMap, 0).x;
    if (faceSize < 1024) {
        float texelScale = 1024.0 / float(faceSize);
        bias += 0.003 * distanceToLight * (texelScale - 1.0);
        spread *= texelScale;
    }
    float lit = 0.0;
    for (int i = 0; i < 3; ++i) {
        float closest = texture(depthMap, fromLight + TAPS[i] * spread).r * far_plane;
        lit += (distanceToLight - bias > closest) ? 0.0 : 1.0;
    }
    // Nothing is recorded beyond the map's reach: lit.
    return distanceToLight < far_plane ? lit / 3.0 : 1.0;
}

void main() {
    vec3 albedo = texture(texture_diffuse1, TexCoords).rgb;
    vec3 specularMap = nearestTexel(texture_specular1, TexCoords).rgb;
    float reflectivity = nearestTexel(texture_reflection1, TexCoords).r;

    vec3 toCamera = cameraPos - FragPos;
    float cameraDistance = length(toCamera);
    vec3 viewDir = toCamera / max(cameraDistance, 1e-4);
    // Meshes without normals face the viewer rather than turning black.
    vec3 normal = dot(Normal, Normal) > 1e-10 ? normalize(Normal) : viewDir;

    vec3 toLight = lightPos - FragPos;
    float distanceToLight = length(toLight);
    vec3 lightDir = toLight / max(distanceToLight, 1e-4);
    float cosine = dot(normal, lightDir);

    // The lamp sits about a unit above the road, so the road sees it at
    // grazing angles: a wrapped cosine keeps its pool of light (and the
    // shadows in it) readable for a dozen units, and the falloff hands over
    // to the sky light well inside the shadow map's 50 units.
    float wrapped = max(cosine * 0.6 + 0.4, 0.0);
    float attenuation = 1.0 / (1.0 + 0.05 * distanceToLight + 0.012 * distanceToLight * distanceToLight);
    float visibility = lampVisibility(-toLight, distanceToLight, cosine);
    vec3 halfway = normalize(lightDir + viewDir);
    float highlight = power32(max(dot(normal, halfway), 0.0)) * step(0.0, cosine);
    vec3 lamp = LAMP_COLOUR * (attenuation * visibility);

    // Sky light: brighter from above, tinted by the sky the surface mirrors,
    // never so dim that a wall far from the lamp turns unreadable.
    float hemisphere = 0.4 + 0.14 * normal.y;
    vec3 ambient = hemisphere * mix(vec3(1.0), Mirrored * 1.4, 0.35);

    vec3 colour = albedo * (ambient + lamp * wrapped) + specularMap * lamp * highlight;
    colour = mix(colour, Mirrored, clamp(reflectivity, 0.0, 1.0) * 0.35);

    // The sky right behind the fragment, per pixel: across the long road and
    // wall triangles a blend of their corners' sky would show seams.
    float haze = smoothstep(HAZE_START, HAZE_END, cameraDistance);
    vec3 skyBehind = textureLod(skybox, -viewDir, 0.0).rgb;
    FragColor = vec4(mix(colour, skyBehind, haze), 1.0);
}
