// Which quality preset a run plays at, and why: the command line over the
// settings file, and auto decided by the renderer.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "render/quality.h"

struct QualityChoice {
    Quality preset = Quality::High;  // Low, Medium or High
    // "command line", "settings file", "software renderer", "hardware
    // renderer" or "renderer unknown".
    std::string reason;
};

// `renderer` is asked only when the choice is auto; it gives GL_RENDERER, or
// "" when it cannot tell (then auto means high).
QualityChoice chooseQuality(std::optional<Quality> commandLine, Quality settingsFile,
                            const std::function<std::string()>& renderer);

// The start-up line for the choice, e.g. "quality: low (software renderer)".
std::string qualityLine(const QualityChoice& choice);

// GL_RENDERER, read from a throw-away hidden window with a context like the
// game's. The game's window must be told how many samples it gets before it
// exists, and the renderer is known only once a context does; a probe
// context settles it before the real window is made, so that every preset
// (high included) gets exactly the window it asks for. (Rendering every
// preset into a multisampled framebuffer of our own would avoid the probe,
// but would change the high preset's frame and add a resolve to it.) Needs
// glfwInit; leaves the window hints at their defaults; "" when no context
// can be made.
std::string probeRenderer();
