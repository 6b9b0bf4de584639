#include "audio/engine_tone.h"

#include <algorithm>
#include <cmath>

EngineTone engineTarget(float wheelSpeed, float throttle) {
    const float speed = std::isfinite(wheelSpeed) ? std::fabs(wheelSpeed) : 0.0f;
    const float share = std::min(speed / ENGINE_TOP_SPEED, 1.0f);
    EngineTone target;
    target.pitch = ENGINE_IDLE_PITCH + (ENGINE_TOP_PITCH - ENGINE_IDLE_PITCH) * share;
    const float open = std::isfinite(throttle) ? std::clamp(throttle, 0.0f, 1.0f) : 0.0f;
    target.gain = ENGINE_IDLE_GAIN + (ENGINE_THROTTLE_GAIN - ENGINE_IDLE_GAIN) * open;
    return target;
}

EngineTone smoothEngine(const EngineTone& now, const EngineTone& target) {
    EngineTone next;
    next.pitch = now.pitch + (target.pitch - now.pitch) * ENGINE_SMOOTHING;
    next.gain = now.gain + (target.gain - now.gain) * ENGINE_SMOOTHING;
    return next;
}
