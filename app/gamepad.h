// A gamepad, through GLFW's gamepad mappings: its state, read once a frame
// right after the events and handed to the game like any other input (so a
// recording keeps it and a replay hands it back), and what it asks of the
// car. Keyboard play is untouched: keys and pad add up, each command clamped
// to full strength.
#pragma once

#include <iosfwd>
#include <string>

constexpr int PAD_AXES = 6;      // GLFW's gamepad axes: left x, y, right x, y, triggers
constexpr int PAD_BUTTONS = 15;  // GLFW's gamepad buttons, A to d-pad left

// The first connected gamepad as GLFW reports it; a released trigger reads -1.
struct PadState {
    bool connected = false;
    float axes[PAD_AXES] = {0.0f, 0.0f, 0.0f, 0.0f, -1.0f, -1.0f};
    unsigned char buttons[PAD_BUTTONS] = {};

    bool operator==(const PadState& other) const;
    bool operator!=(const PadState& other) const { return !(*this == other); }
};

// The pad as the game last received it.
extern PadState pad;

// The left stick's radial dead zone: a resting stick never steers.
constexpr float STICK_DEAD_ZONE = 0.15f;
// Triggers that rest a little off their end never push.
constexpr float TRIGGER_DEAD_ZONE = 0.02f;

// How strongly the pad asks for each drive command, from 0 to 1.
struct PadDrive {
    float forward = 0.0f;   // right trigger
    float backward = 0.0f;  // left trigger
    float left = 0.0f;      // stick or d-pad
    float right = 0.0f;
};

// Right trigger forward, left trigger backward; the left stick steers past
// its dead zone, rescaled so that full travel is full lock, and the d-pad
// steers like the arrow keys.
PadDrive padDrive(const PadState& state);

// The first connected gamepad's state, or a disconnected one.
PadState readGamepad();

// Joystick hot-plugging: one console line when a pad comes or goes.
void onJoystick(int jid, int event);
// The line for a pad that came or went; a joystick with no gamepad mapping
// says where a mapping can go.
std::string padConnectionLine(bool connected, bool isGamepad, const std::string& name);
// The lines for pads already there at start-up, and the callback for later.
void watchGamepads(std::ostream& console);

// Whether a line of a mappings file is an SDL-style gamepad mapping
// (GUID,name,element:binding,...): GLFW takes garbage without a word.
bool isGamepadMapping(const std::string& line);
// Adds the mappings in the text to GLFW's own; every other line that is not
// blank or a comment costs one console line naming it. Returns how many
// mappings went in.
int addGamepadMappings(const std::string& text, const std::string& name, std::ostream& console);
// The optional gamecontrollerdb.txt in the settings folder.
void loadGamepadMappings(std::ostream& console);
