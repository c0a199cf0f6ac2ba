#ifndef TARN_TESTS_SUPPORT_GL_TEST_H
#define TARN_TESTS_SUPPORT_GL_TEST_H

// Test support for code that needs OpenGL: a hidden window with a 3.3 core
// context (made once per test process, kept current for every test) and
// helpers that read images back as RGBA floats.

#include <string>
#include <vector>

#include <GL/glew.h>
#include <gtest/gtest.h>

struct GLFWwindow;

namespace Tarn::Test {

// An RGBA float image with rows in GL order: y = 0 is the bottom row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<float> rgba;

    const float* at(int x, int y) const { return &rgba[4 * (y * width + x)]; }
};

// Fixture for GL tests. SetUp fails the test (never skips it) when no
// context can be made; TearDown checks that the test left no GL error.
class GLTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static GLFWwindow* window();
};

// Makes the shared hidden 64x64 context current; returns false and fills
// `error` when the windowing library, the window or GLEW fail.
bool makeTestContext(std::string& error);

// Level `level` of a 2D texture, as stored, converted to floats.
Image readTexture(GLuint texture, int level = 0);
// A rectangle of a frame buffer's colour attachment (0 and GL_BACK for the
// window), read as floats. Restores the read bindings it changes.
Image readFramebuffer(GLuint framebuffer, GLenum buffer, int x, int y, int width, int height);

// Writes the image as an 8-bit PNG, top row first, so a person can look at
// a failed result. Returns the path written, or an empty string on failure.
std::string writePng(const Image& image, const std::string& name);

}  // namespace Tarn::Test

#endif
