// Keyboard, mouse, window and pad events: the GLFW callbacks turn each into
// an InputEvent, hand it to the listener (the recorder, when there is one),
// then to the game's own handlers, which record what is held and steer the
// free camera; applyHeldKeys turns the held keys into actions once a frame.
#pragma once

#include <functional>

#include "app/gamepad.h"
#include "app/input_event.h"
#include "app/input_state.h"

struct GLFWwindow;

void onKey(GLFWwindow* window, int key, int scancode, int action, int mods);
void onCursorPos(GLFWwindow* window, double xpos, double ypos);
void onScroll(GLFWwindow* window, double xoffset, double yoffset);
void onWindowSize(GLFWwindow* window, int width, int height);
void onWindowFocus(GLFWwindow* window, int focused);
// The game's side of a pad state: buttons pressed since the last state act
// as the keys they stand for (A Space, Y X, Back C, Start P).
void onPadState(const PadState& state);

// Installs the callbacks that receive the window's events (keys, cursor,
// scroll, size, focus).
void installInputCallbacks(GLFWwindow* window);
// Hears every event the window or the pad gives before the game does; an
// empty one hears nothing. Replayed events are not heard (deliverEvent).
void setInputListener(std::function<void(const InputEvent&)> listener);
// An event of the window's or the pad's: the listener hears it, then the
// game gets it.
void receiveEvent(GLFWwindow* window, const InputEvent& event);
// Hands an event to the game's own handler, as GLFW would have.
void deliverEvent(GLFWwindow* window, const InputEvent& event);
// Reads the pad; a state that differs from the last one is received as an
// event.
void pollGamepad(GLFWwindow* window);

void applyHeldKeys();

// Puts every input flag back to its start value (tests and a fresh run).
void resetInput();
