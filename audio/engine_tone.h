// The engine's pitch and loudness: the pitch follows the wheels' speed, the
// loudness the throttle, and both move only part of the way each physics
// step, so that a sudden change of speed or a tap on a key never clicks.
#pragma once

constexpr float ENGINE_IDLE_PITCH = 0.7f;
constexpr float ENGINE_TOP_PITCH = 2.0f;
// The wheels' speed (m/s) at which the pitch reaches the top: about as fast
// as the road's bends let the car go.
constexpr float ENGINE_TOP_SPEED = 30.0f;
constexpr float ENGINE_IDLE_GAIN = 0.35f;
constexpr float ENGINE_THROTTLE_GAIN = 0.9f;
// The share of the way to the target taken in one step: about a tenth of a
// second to settle.
constexpr float ENGINE_SMOOTHING = 0.15f;

struct EngineTone {
    float pitch = ENGINE_IDLE_PITCH;
    float gain = ENGINE_IDLE_GAIN;
};

// Where the tone heads for at this wheel speed (either way) and throttle
// (0 closed to 1 wide open).
EngineTone engineTarget(float wheelSpeed, float throttle);

// One step of the way from `now` towards `target`.
EngineTone smoothEngine(const EngineTone& now, const EngineTone& target);
