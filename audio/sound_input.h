// What the sound hears of the game, as plain values: the frame loop fills
// them from the world, the camera and the keys, so that nothing here needs
// to know the world.
#pragma once

#include <vector>

#include "render/maths.h"

// The listener: the camera's place and the way it looks.
struct SoundListener {
    vec3 position{0.0f};
    vec3 forward{0.0f, 0.0f, -1.0f};
    vec3 up{0.0f, 1.0f, 0.0f};
};

// The bodies a contact can be between.
enum class SoundBody { Other, Car, Crate, Road, Figure };

// A contact that began in the step: where, how hard (N s), and between what.
struct SoundContact {
    SoundBody a = SoundBody::Other;
    SoundBody b = SoundBody::Other;
    vec3 point{0.0f};
    float impulse = 0.0f;
};

// What one physics step did that can be heard.
struct SoundStep {
    vec3 carPosition{0.0f};
    float wheelSpeed = 0.0f;  // m/s, averaged over the wheels
    float throttle = 0.0f;    // 0 closed to 1 wide open (Up or Down held)
    std::vector<SoundContact> contacts;
    std::vector<vec3> crates;  // every crate's place after the step
    bool levelCleared = false;
    bool carFell = false;
};

// One frame: the listener and switches always, the step only when one was
// taken.
struct SoundFrame {
    SoundListener listener;
    bool stepped = false;
    SoundStep step;
    bool paused = false;
    bool muted = false;
};
