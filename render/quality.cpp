#include "render/quality.h"

#include <algorithm>
#include <cctype>

const char* const QUALITY_CHOICES = "auto, low, medium or high";

namespace {

// Measured on Mesa's llvmpipe, where the frame's cost lies: multisampling
// (which that renderer offers only as 4 samples or none) costs the scene
// pass two thirds of its time, the environment faces most of the rest, and
// the scene's pixels most of what is left at low.
const QualityPreset HIGH{Quality::High, 16, 1024, 1024, 1.0f};
const QualityPreset MEDIUM{Quality::Medium, 0, 512, 1024, 1.0f};
const QualityPreset LOW{Quality::Low, 0, 256, 512, 0.5f};

const Quality NAMED[] = {Quality::Auto, Quality::Low, Quality::Medium, Quality::High};

}  // namespace

const char* qualityName(Quality quality) {
    switch (quality) {
        case Quality::Auto:
            return "auto";
        case Quality::Low:
            return "low";
        case Quality::Medium:
            return "medium";
        case Quality::High:
            break;
    }
    return "high";
}

std::optional<Quality> qualityNamed(const std::string& name) {
    for (const Quality quality : NAMED) {
        if (name == qualityName(quality)) {
            return quality;
        }
    }
    return std::nullopt;
}

const QualityPreset& presetFor(Quality quality) {
    switch (quality) {
        case Quality::Low:
            return LOW;
        case Quality::Medium:
            return MEDIUM;
        case Quality::Auto:
        case Quality::High:
            break;
    }
    return HIGH;
}

bool isSoftwareRenderer(const std::string& renderer) {
    std::string lower = renderer;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* name : {"llvmpipe", "softpipe", "swrast"}) {
        if (lower.find(name) != std::string::npos) {
            return true;
        }
    }
    return false;
}

Quality resolveAuto(Quality quality, const std::string& renderer) {
    if (quality != Quality::Auto) {
        return quality;
    }
    return isSoftwareRenderer(renderer) ? Quality::Low : Quality::High;
}
