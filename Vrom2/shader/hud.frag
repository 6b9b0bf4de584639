#version 330 core
in vec2 glyphCoords;
in vec4 tint;

// One channel: how much of the texel the glyph covers.
uniform sampler2D glyphs;

out vec4 FragColor;

void main()
{
    FragColor = vec4(tint.rgb, tint.a * texture(glyphs, glyphCoords).r);
}
