#version 330 core
// The corners were lit in the vertex stage; the faces only blend them.
in vec3 Colour;

out vec4 FragColor;

void main() {
    FragColor = vec4(Colour, 1.0);
}
