#include "app/input_state.h"

#include <algorithm>
#include <iterator>

bool keys[KEY_COUNT] = {};
bool freeCamera = false;
bool wireframe = false;
bool firstMouse = true;
float lastX = 400.0f;
float lastY = 300.0f;
int keyPresses[KEY_COUNT] = {};
int focusLosses = 0;
bool windowFocused = true;

void forgetKeyPresses() {
    std::fill(std::begin(keyPresses), std::end(keyPresses), 0);
}
