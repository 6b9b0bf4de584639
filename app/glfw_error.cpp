#include "app/glfw_error.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

std::string withGlfwReason(const std::string& message) {
    const char* description = nullptr;
    if (glfwGetError(&description) == GLFW_NO_ERROR || !description || !*description) {
        return message;
    }
    return message + ": " + description;
}

std::string withGlewReason(const std::string& message, unsigned glewError) {
    const auto* description = glewGetErrorString(static_cast<GLenum>(glewError));
    std::string line = message;
    if (description && *description) {
        line += ": " + std::string(reinterpret_cast<const char*>(description));
    }
    return withGlfwReason(line);
}
