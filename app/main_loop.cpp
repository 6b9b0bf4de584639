#include "app/main_loop.h"

#include <iostream>

uint32_t windowWidth = 1024;
uint32_t windowHeight = 768;
bool fullscreen = false;
float deltaTime = 0.0f;
float lastFrame = 0.0f;

bool askFullscreen(std::istream& in, std::ostream& out) {
    out << "Hallo Vrom" << std::endl;
    out << "Fullscreen? y/N: " << std::flush;
    const int answer = in.get();
    return answer == 'y';
}

mat4 screenProjection(float zoomDegrees) {
    static float lastValidAspect = 1024.0f / 768.0f;
    if (windowWidth > 0 && windowHeight > 0) {
        lastValidAspect = static_cast<float>(windowWidth) / static_cast<float>(windowHeight);
    }
    return perspective(zoomDegrees, lastValidAspect, 0.1f, 100.0f);
}

int runGame() { return 0; }
