#include "app/input_event.h"

InputEvent InputEvent::keyEvent(int key, int scancode, int action, int mods) {
    InputEvent event;
    event.kind = Kind::Key;
    event.key = key;
    event.scancode = scancode;
    event.action = action;
    event.mods = mods;
    return event;
}

InputEvent InputEvent::pointEvent(Kind kind, double x, double y) {
    InputEvent event;
    event.kind = kind;
    event.x = x;
    event.y = y;
    return event;
}

InputEvent InputEvent::sizeEvent(int width, int height) {
    InputEvent event;
    event.kind = Kind::WindowSize;
    event.width = width;
    event.height = height;
    return event;
}

InputEvent InputEvent::focusEvent(int focused) {
    InputEvent event;
    event.kind = Kind::Focus;
    event.focused = focused;
    return event;
}

InputEvent InputEvent::padEvent(const PadState& pad) {
    InputEvent event;
    event.kind = Kind::Pad;
    event.pad = pad;
    return event;
}
