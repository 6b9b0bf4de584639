#include "app/quality_choice.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

QualityChoice chooseQuality(std::optional<Quality> commandLine, Quality settingsFile,
                            const std::function<std::string()>& renderer) {
    const Quality asked = commandLine.value_or(settingsFile);
    if (asked != Quality::Auto) {
        return {asked, commandLine ? "command line" : "settings file"};
    }
    const std::string name = renderer ? renderer() : "";
    if (name.empty()) {
        return {Quality::High, "renderer unknown"};
    }
    const Quality resolved = resolveAuto(Quality::Auto, name);
    return {resolved, resolved == Quality::Low ? "software renderer" : "hardware renderer"};
}

std::string qualityLine(const QualityChoice& choice) {
    return std::string("quality: ") + qualityName(choice.preset) + " (" + choice.reason + ")";
}

std::string probeRenderer() {
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    GLFWwindow* probe = glfwCreateWindow(64, 64, "Vromdash", nullptr, nullptr);
    glfwDefaultWindowHints();
    if (!probe) {
        // Its error is not the game's: the real window reports its own.
        glfwGetError(nullptr);
        return "";
    }
    GLFWwindow* previous = glfwGetCurrentContext();
    glfwMakeContextCurrent(probe);
    const GLubyte* name = glGetString(GL_RENDERER);
    const std::string renderer = name ? reinterpret_cast<const char*>(name) : "";
    glfwMakeContextCurrent(previous);
    glfwDestroyWindow(probe);
    return renderer;
}
