#include "app/window_state.h"

uint32_t windowWidth = 1024;
uint32_t windowHeight = 768;
bool fullscreen = false;
float deltaTime = 0.0f;
float lastFrame = 0.0f;
