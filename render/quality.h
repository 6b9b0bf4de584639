// Quality presets: how much of a frame's work goes into what the player
// barely sees. High is the full frame; medium and low lower multisampling,
// the size of the car's environment faces (only ever seen blurred in its
// paint) and of the lamp's shadow faces, and low draws the scene at a lower
// resolution and scales it up. Every preset keeps every effect.
#pragma once

#include <GL/glew.h>

#include <optional>
#include <string>

// What the player asks for: a preset, or Auto to let the renderer decide.
enum class Quality { Auto, Low, Medium, High };

// "auto, low, medium or high", for messages that list the choices.
extern const char* const QUALITY_CHOICES;

// "auto", "low", "medium" or "high".
const char* qualityName(Quality quality);
// The quality of that exact (lower-case) name, or none.
std::optional<Quality> qualityNamed(const std::string& name);

struct QualityPreset {
    Quality quality = Quality::High;  // never Auto
    // GLFW_SAMPLES asked for the window; 0 for none.
    int windowSamples = 16;
    GLuint environmentFaceSize = 1024;
    GLuint shadowFaceSize = 1024;
    // Share of the window's width and height the scene is drawn at. Below 1
    // it is drawn into an off-screen target without multisampling and
    // scaled up to the window; the heads-up display is drawn after, sharp.
    float sceneScale = 1.0f;
};

// The preset of Low, Medium or High; Auto gives High (the renderer is
// asked before a preset is taken, see the start-up).
const QualityPreset& presetFor(Quality quality);

// True when a GL_RENDERER string names one of Mesa's software rasterisers
// (llvmpipe, softpipe, swrast), on which the full frame is far too slow.
bool isSoftwareRenderer(const std::string& renderer);

// Auto resolved: Low on a software renderer, else High. An empty renderer
// (unknown) counts as hardware. Any other quality is returned as it is.
Quality resolveAuto(Quality quality, const std::string& renderer);
