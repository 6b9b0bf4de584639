#include "app/game_sound.h"

#include <GLFW/glfw3.h>

#include <algorithm>

#include "app/gamepad.h"
#include "app/input_state.h"
#include "app/play_state.h"
#include "audio/sound_player.h"
#include "world/world.h"

SoundPlayer* gameSound = nullptr;

namespace {

SoundBody soundBody(BodyKind kind) {
    switch (kind) {
        case BodyKind::Car:
            return SoundBody::Car;
        case BodyKind::Crate:
            return SoundBody::Crate;
        case BodyKind::Road:
            return SoundBody::Road;
        case BodyKind::Figure:
            return SoundBody::Figure;
        case BodyKind::Other:
            break;
    }
    return SoundBody::Other;
}

// How hard the car is driven forward or back, as the drive adds keys and
// pad: a held key is wide open, a trigger as far as it is pulled.
float throttleOpening() {
    const PadDrive fromPad = padDrive(pad);
    const float forward = (keys[GLFW_KEY_UP] ? 1.0f : 0.0f) + fromPad.forward;
    const float backward = (keys[GLFW_KEY_DOWN] ? 1.0f : 0.0f) + fromPad.backward;
    return std::min(1.0f, std::max(forward, backward));
}

// The view's rows are the camera's right, up and backward axes; its
// inverse carries the camera's place.
SoundListener listenerOf(const mat4& view) {
    SoundListener listener;
    listener.position = vec3(glm::inverse(view)[3]);
    listener.up = vec3(view[0][1], view[1][1], view[2][1]);
    listener.forward = -vec3(view[0][2], view[1][2], view[2][2]);
    return listener;
}

SoundStep soundStep(const World& w) {
    SoundStep step;
    if (w.car) {
        step.carPosition = chassisPosition();
        step.wheelSpeed = wheelSpeed(*w.car);
    }
    step.throttle = throttleOpening();
    for (const StartedContact& contact : w.stepContacts) {
        step.contacts.push_back(
            {soundBody(contact.a), soundBody(contact.b), contact.point, contact.impulse});
    }
    for (const auto& crate : w.crates) {
        if (crate->actor) {
            step.crates.push_back(crate->actor->getGlobalPose().p);
        }
    }
    step.levelCleared = w.ruleEvents.levelCleared;
    step.carFell = w.ruleEvents.carFell;
    return step;
}

}  // namespace

SoundFrame soundFrame(bool stepped, const mat4& view) {
    SoundFrame frame;
    frame.listener = listenerOf(view);
    frame.stepped = stepped && world;
    if (frame.stepped) {
        frame.step = soundStep(*world);
    }
    frame.paused = playState.paused;
    frame.muted = playState.muted;
    return frame;
}

void updateSound(bool stepped, const mat4& view) {
    if (gameSound) {
        gameSound->update(soundFrame(stepped, view));
    }
}
