#ifndef TARN_TESTS_SUPPORT_GL_CONTEXT_H
#define TARN_TESTS_SUPPORT_GL_CONTEXT_H

// A hidden window with an OpenGL 3.3 core context, made current with the GL
// entry points loaded: what tests and benchmarks draw with. Needs no test
// framework.

#include <string>

struct GLFWwindow;

namespace Tarn::Test {

// Starts GLFW if needed and returns the new window, or null with `error`
// saying which step failed (on a machine without a display, run under
// xvfb-run). The caller destroys the window.
GLFWwindow* createHiddenContext(int width, int height, std::string& error);

}  // namespace Tarn::Test

#endif
