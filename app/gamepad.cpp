#include "app/gamepad.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iostream>
#include <sstream>
#include <vector>

#include "storage/atomic_file.h"
#include "storage/xdg_paths.h"

PadState pad;

static_assert(PAD_AXES == GLFW_GAMEPAD_AXIS_LAST + 1, "GLFW's gamepad axes");
static_assert(PAD_BUTTONS == GLFW_GAMEPAD_BUTTON_LAST + 1, "GLFW's gamepad buttons");

namespace {

constexpr size_t MOST_MAPPING_BYTES = 4 * 1024 * 1024;

// Names of joysticks while they are connected: GLFW has none to give once
// one is gone.
std::string joystickNames[GLFW_JOYSTICK_LAST + 1];

float triggerStrength(float axis) {
    const float strength = std::clamp((axis + 1.0f) / 2.0f, 0.0f, 1.0f);
    return strength < TRIGGER_DEAD_ZONE ? 0.0f : strength;
}

// The stick's sideways share, past the dead zone and rescaled to full lock.
float stickSteer(float x, float y) {
    const float length = std::sqrt(x * x + y * y);
    if (!(length > STICK_DEAD_ZONE)) {
        return 0.0f;
    }
    const float travel = std::min(1.0f, (length - STICK_DEAD_ZONE) / (1.0f - STICK_DEAD_ZONE));
    return x / length * travel;
}

bool isHexGuid(const std::string& text) {
    return text.size() == 32 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// "b3", "a2", "+a1", "-a0~", "h0.4": a button, an axis (or half of one,
// maybe inverted) or a hat's direction.
bool isBinding(const std::string& text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    if (i >= text.size() || (text[i] != 'a' && text[i] != 'b' && text[i] != 'h')) {
        return false;
    }
    const bool hat = text[i] == 'h';
    const size_t digits = ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    if (i == digits) {
        return false;
    }
    if (hat) {
        if (i >= text.size() || text[i] != '.') {
            return false;
        }
        const size_t mask = ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        return i > mask && i == text.size();
    }
    if (i < text.size() && text[i] == '~') {
        ++i;
    }
    return i == text.size();
}

bool isElementName(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::islower(c) || std::isdigit(c) || c == '+' || c == '-';
    });
}

// The elements GLFW maps, each maybe as half an axis ("+leftx"). Mappings
// from the community's files also name elements GLFW has no use for
// ("misc1", "paddle1", "touchpad") and carry hints and checksums
// ("hint:!SDL_...:=1", "crc:1a2b"); GLFW skips those, and so does the check.
bool isGlfwElement(std::string name) {
    // Each name with a space on both sides, so only a whole name matches.
    static const std::string ELEMENTS =
        " a b x y back start guide leftshoulder rightshoulder leftstick rightstick dpup dpright"
        " dpdown dpleft lefttrigger righttrigger leftx lefty rightx righty ";
    if (!name.empty() && (name[0] == '+' || name[0] == '-')) {
        name.erase(0, 1);
    }
    return !name.empty() && ELEMENTS.find(" " + name + " ") != std::string::npos;
}

}  // namespace

bool PadState::operator==(const PadState& other) const {
    return connected == other.connected && std::equal(axes, axes + PAD_AXES, other.axes) &&
           std::equal(buttons, buttons + PAD_BUTTONS, other.buttons);
}

PadDrive padDrive(const PadState& state) {
    PadDrive drive;
    if (!state.connected) {
        return drive;
    }
    drive.forward = triggerStrength(state.axes[GLFW_GAMEPAD_AXIS_RIGHT_TRIGGER]);
    drive.backward = triggerStrength(state.axes[GLFW_GAMEPAD_AXIS_LEFT_TRIGGER]);
    const float steer =
        stickSteer(state.axes[GLFW_GAMEPAD_AXIS_LEFT_X], state.axes[GLFW_GAMEPAD_AXIS_LEFT_Y]);
    drive.left = std::max(0.0f, -steer);
    drive.right = std::max(0.0f, steer);
    if (state.buttons[GLFW_GAMEPAD_BUTTON_DPAD_LEFT]) {
        drive.left = 1.0f;
    }
    if (state.buttons[GLFW_GAMEPAD_BUTTON_DPAD_RIGHT]) {
        drive.right = 1.0f;
    }
    return drive;
}

PadState readGamepad() {
    PadState state;
    for (int jid = GLFW_JOYSTICK_1; jid <= GLFW_JOYSTICK_LAST; ++jid) {
        GLFWgamepadstate read;
        if (glfwJoystickIsGamepad(jid) && glfwGetGamepadState(jid, &read)) {
            state.connected = true;
            std::copy(read.axes, read.axes + PAD_AXES, state.axes);
            std::copy(read.buttons, read.buttons + PAD_BUTTONS, state.buttons);
            break;
        }
    }
    return state;
}

std::string padConnectionLine(bool connected, bool isGamepad, const std::string& name) {
    if (!connected) {
        return "gamepad disconnected: " + name;
    }
    if (!isGamepad) {
        return "joystick connected without a gamepad mapping: " + name + " (a mapping can go in " +
               configDirectory() + "/gamecontrollerdb.txt)";
    }
    return "gamepad connected: " + name;
}

void onJoystick(int jid, int event) {
    if (jid < GLFW_JOYSTICK_1 || jid > GLFW_JOYSTICK_LAST) {
        return;
    }
    std::string& name = joystickNames[jid];
    if (event == GLFW_CONNECTED) {
        const char* reported = glfwGetJoystickName(jid);
        name = reported ? reported : "joystick " + std::to_string(jid + 1);
        std::cout << padConnectionLine(true, glfwJoystickIsGamepad(jid), name) << std::endl;
    } else if (event == GLFW_DISCONNECTED) {
        std::cout << padConnectionLine(false, false,
                                       name.empty() ? "joystick " + std::to_string(jid + 1) : name)
                  << std::endl;
        name.clear();
    }
}

void watchGamepads(std::ostream& console) {
    for (int jid = GLFW_JOYSTICK_1; jid <= GLFW_JOYSTICK_LAST; ++jid) {
        if (glfwJoystickPresent(jid)) {
            const char* reported = glfwGetJoystickName(jid);
            joystickNames[jid] = reported ? reported : "joystick " + std::to_string(jid + 1);
            console << padConnectionLine(true, glfwJoystickIsGamepad(jid), joystickNames[jid])
                    << std::endl;
        }
    }
    glfwSetJoystickCallback(onJoystick);
}

bool isGamepadMapping(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) {
        fields.push_back(field);
    }
    if (fields.size() < 3 || !isHexGuid(fields[0]) || fields[1].empty()) {
        return false;
    }
    int bindings = 0;
    for (size_t i = 2; i < fields.size(); ++i) {
        const std::string& field = fields[i];
        if (field.empty() && i + 1 == fields.size()) {
            break;  // the customary trailing comma
        }
        const size_t colon = field.find(':');
        if (colon == std::string::npos || !isElementName(field.substr(0, colon))) {
            return false;
        }
        const std::string element = field.substr(0, colon);
        const std::string value = field.substr(colon + 1);
        if (!isGlfwElement(element)) {
            if (value.empty()) {
                return false;
            }
            continue;
        }
        if (!isBinding(value)) {
            return false;
        }
        ++bindings;
    }
    return bindings > 0;
}

int addGamepadMappings(const std::string& text, const std::string& name, std::ostream& console) {
    std::string accepted;
    int count = 0;
    int number = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') {
            continue;
        }
        if (!isGamepadMapping(line)) {
            console << "vromdash: " << name << " line " << number
                    << " is not a gamepad mapping; skipped" << std::endl;
            continue;
        }
        accepted += line + "\n";
        ++count;
    }
    if (count > 0 && !glfwUpdateGamepadMappings(accepted.c_str())) {
        console << "vromdash: GLFW refused the gamepad mappings in " << name << std::endl;
        return 0;
    }
    return count;
}

void loadGamepadMappings(std::ostream& console) {
    const std::string folder = configDirectory();
    if (folder.empty()) {
        return;
    }
    const std::string path = folder + "/gamecontrollerdb.txt";
    std::string text, problem;
    switch (readSmallFile(path, MOST_MAPPING_BYTES, text, problem)) {
        case FileRead::Missing:
            return;
        case FileRead::Failed:
            console << "vromdash: cannot read the gamepad mappings in " << path << " (" << problem
                    << ")" << std::endl;
            return;
        case FileRead::Read:
            addGamepadMappings(text, path, console);
            return;
    }
}
