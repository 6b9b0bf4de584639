#include "tests/support/gl_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

GLFWwindow* testGlContext() {
    static GLFWwindow* window = [] {
        if (!glfwInit()) {
            return static_cast<GLFWwindow*>(nullptr);
        }
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        GLFWwindow* created = glfwCreateWindow(1024, 768, "Vromdash test", nullptr, nullptr);
        if (!created) {
            return created;
        }
        glfwMakeContextCurrent(created);
        glewExperimental = GL_TRUE;
        glewInit();
        glGetError();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        return created;
    }();
    if (!window) {
        ADD_FAILURE() << "no OpenGL context: is an X display (Xvfb) running?";
    }
    return window;
}

StdoutCapture::StdoutCapture() {
    std::cout.flush();
    testing::internal::CaptureStdout();
}

StdoutCapture::~StdoutCapture() {
    if (open) {
        text();
    }
}

std::string StdoutCapture::text() {
    if (!open) {
        return {};
    }
    std::cout.flush();
    std::fflush(stdout);
    open = false;
    return testing::internal::GetCapturedStdout();
}

std::string sourcePath(const std::string& relative) {
    return std::string(VROMDASH_SOURCE_DIR) + "/" + relative;
}

std::string buildPath(const std::string& relative) {
    return std::string(VROMDASH_BINARY_DIR) + "/" + relative;
}

std::string scratchDirectory(const std::string& name) {
    const std::filesystem::path dir =
        std::filesystem::path(VROMDASH_BINARY_DIR) / "test-scratch" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}
