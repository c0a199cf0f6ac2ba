#ifndef TARN_TESTS_SUPPORT_TEST_PROGRAM_H
#define TARN_TESTS_SUPPORT_TEST_PROGRAM_H

// Small GL programs for tests: a linked program that keeps its own stages,
// and a way to run a fragment shader once per pixel of a row and read the
// results back as floats.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <GL/glew.h>

#include "tarn/shader.h"
#include "tarn/shaderprogram.h"

namespace Tarn::Test {

// A program linked from two stages it owns, for as long as the test needs it.
struct TestProgram {
    Tarn::Shader vertex;
    Tarn::Shader fragment;
    Tarn::ShaderProgram program;

    TestProgram(const std::string& vertexSource, const std::string& fragmentSource,
                const std::string& name = "test program");
};

// Draws one full-screen triangle into a count x 1 RGBA32F target with the
// given fragment stage and returns the count pixels from left to right; the
// shader tells its pixels apart by int(gl_FragCoord.x). setUp runs with the
// program current, to set uniforms and bind what the shader samples. Every
// state it changes is restored.
std::vector<std::array<float, 4>> shadeRow(const std::string& fragmentSource, int count,
                                           const std::function<void(GLuint program)>& setUp);

}  // namespace Tarn::Test

#endif
