#include "audio/knocks.h"

#include <algorithm>
#include <cmath>

namespace {

bool between(const SoundContact& contact, SoundBody one, SoundBody other) {
    return (contact.a == one && contact.b == other) || (contact.a == other && contact.b == one);
}

bool strikesACrate(const SoundContact& contact) {
    return between(contact, SoundBody::Crate, SoundBody::Car) ||
           between(contact, SoundBody::Crate, SoundBody::Crate);
}

bool isKnock(const SoundContact& contact) {
    return strikesACrate(contact) && std::isfinite(contact.impulse) &&
           contact.impulse >= KNOCK_MIN_IMPULSE;
}

}  // namespace

std::vector<SoundContact> knocksOf(const std::vector<SoundContact>& contacts) {
    std::vector<SoundContact> knocks;
    for (const SoundContact& contact : contacts) {
        if (!isKnock(contact)) {
            continue;
        }
        auto near = std::find_if(knocks.begin(), knocks.end(), [&](const SoundContact& knock) {
            return glm::distance(knock.point, contact.point) < KNOCK_MERGE_DISTANCE;
        });
        if (near == knocks.end()) {
            knocks.push_back(contact);
        } else if (contact.impulse > near->impulse) {
            *near = contact;
        }
    }
    return knocks;
}

float knockGain(float impulse) {
    const float share = std::clamp(impulse / KNOCK_FULL_IMPULSE, 0.0f, 1.0f);
    // Loudness grows with the square root of the impulse: a hard hit is
    // clearly louder without every light one vanishing.
    return 0.15f + 0.85f * std::sqrt(share);
}
