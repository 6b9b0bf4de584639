// libFuzzer target: any bytes as an OBJ model (with a fixed material file
// beside it), imported and uploaded by the game's Model on a hidden GL
// context, then drawn once.
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/glfw_error.h"
#include "gfx/model.h"

namespace {

std::string directory;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    directory = "/tmp/vromdash-fuzz-model-" + std::to_string(getpid());
    std::filesystem::create_directories(directory);
    FILE* material = std::fopen((directory + "/m.mtl").c_str(), "w");
    if (material) {
        std::fputs("newmtl a\nmap_Kd t.png\nmap_Ks t.png\nmap_Ka r.png\n", material);
        std::fclose(material);
    }
    // Without a GL context nothing of the model would run: a fuzz run that
    // only ever returned at once would look clean. Stop instead.
    if (!glfwInit()) {
        std::printf("%s\n", withGlfwReason(GLFW_INIT_FAILED).c_str());
        std::exit(1);
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(64, 64, "fuzz", nullptr, nullptr);
    if (!window) {
        std::printf("%s\n", withGlfwReason(WINDOW_FAILED).c_str());
        std::exit(1);
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    const GLenum glewStatus = glewInit();
    if (glewStatus != GLEW_OK) {
        std::printf("%s\n", withGlewReason(GLEW_INIT_FAILED, glewStatus).c_str());
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = directory + "/model.obj";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return 0;
    }
    std::fputs("mtllib m.mtl\nusemtl a\n", file);
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    const Model model(path.c_str());
    model.draw(0);
    return 0;
}
