#version 330 core
// The heads-up display: quads in window pixels, origin top left.
layout (location = 0) in vec2 position;
layout (location = 1) in vec2 texCoords;
layout (location = 2) in vec4 colour;

uniform vec2 screenSize;

out vec2 glyphCoords;
out vec4 tint;

void main()
{
    glyphCoords = texCoords;
    tint = colour;
    vec2 clip = position / screenSize * 2.0 - 1.0;
    gl_Position = vec4(clip.x, -clip.y, 0.0, 1.0);
}
