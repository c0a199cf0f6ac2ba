#include "support/gl_context.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

namespace Tarn::Test {

namespace {

std::string glfwErrorText() {
    const char* description = nullptr;
    glfwGetError(&description);
    return description ? description : "no reason given";
}

}  // namespace

GLFWwindow* createHiddenContext(int width, int height, std::string& error) {
    if (!glfwInit()) {
        error = "cannot start GLFW: " + glfwErrorText();
        return nullptr;
    }
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(width, height, "tarn", nullptr, nullptr);
    if (!window) {
        error = "cannot create a hidden 3.3 core window: " + glfwErrorText();
        return nullptr;
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    const GLenum status = glewInit();
    if (status != GLEW_OK) {
        error = std::string("cannot load GL entry points: ") +
                reinterpret_cast<const char*>(glewGetErrorString(status));
        glfwDestroyWindow(window);
        return nullptr;
    }
    // GLEW's extension query leaves GL_INVALID_ENUM on a core context.
    while (glGetError() != GL_NO_ERROR) {
    }
    return window;
}

}  // namespace Tarn::Test
