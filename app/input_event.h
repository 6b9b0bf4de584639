// One event as the game receives it, whatever its source: the window, the
// pad, or a recording that plays it back.
#pragma once

#include "app/gamepad.h"

struct InputEvent {
    enum class Kind { Key, Cursor, Scroll, WindowSize, Focus, Pad };
    Kind kind = Kind::Key;
    int key = 0, scancode = 0, action = 0, mods = 0;  // Key
    double x = 0.0, y = 0.0;                          // Cursor position, scroll offsets
    int width = 0, height = 0;                        // WindowSize
    int focused = 0;                                  // Focus: 1 gained, 0 lost
    PadState pad;                                     // Pad

    static InputEvent keyEvent(int key, int scancode, int action, int mods);
    // A cursor position or a scroll offset.
    static InputEvent pointEvent(Kind kind, double x, double y);
    static InputEvent sizeEvent(int width, int height);
    static InputEvent focusEvent(int focused);
    static InputEvent padEvent(const PadState& pad);
};
