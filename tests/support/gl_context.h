// A hidden OpenGL 3.3 core window for tests that need a context. Made once per
// test process and kept current; GLEW is initialised on it.
#pragma once

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <string>

GLFWwindow* testGlContext();

// Everything written to standard output while the capture is open.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    std::string text();

private:
    bool open = true;
};

// Absolute path under the repository (tests run from the repository root too).
std::string sourcePath(const std::string& relative);
// Absolute path under the build tree, e.g. for preview images.
std::string buildPath(const std::string& relative);
// A fresh empty directory for one test's files, under the build tree.
std::string scratchDirectory(const std::string& name);
