#include "tests/support/gl_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "app/glfw_error.h"

namespace {

// The context, or null with the reason it could not be made.
struct TestContext {
    GLFWwindow* window = nullptr;
    std::string failure;
};

TestContext makeTestContext() {
    TestContext context;
    if (!glfwInit()) {
        context.failure = withGlfwReason(GLFW_INIT_FAILED);
        return context;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    context.window = glfwCreateWindow(1024, 768, "Vromdash test", nullptr, nullptr);
    if (!context.window) {
        context.failure = withGlfwReason(WINDOW_FAILED);
        return context;
    }
    glfwMakeContextCurrent(context.window);
    glewExperimental = GL_TRUE;
    const GLenum glewStatus = glewInit();
    if (glewStatus != GLEW_OK) {
        context.failure = withGlewReason(GLEW_INIT_FAILED, glewStatus);
        context.window = nullptr;
        return context;
    }
    glGetError();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    return context;
}

}  // namespace

GLFWwindow* testGlContext() {
    static const TestContext context = makeTestContext();
    if (!context.window) {
        ADD_FAILURE() << "no OpenGL context (is an X display running?): " << context.failure;
    }
    return context.window;
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
