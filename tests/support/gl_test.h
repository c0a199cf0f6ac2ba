#ifndef TARN_TESTS_SUPPORT_GL_TEST_H
#define TARN_TESTS_SUPPORT_GL_TEST_H

// Test support for code that needs OpenGL: a hidden window with a 3.3 core
// context (made once per test process, kept current for every test) and
// helpers that read images back as RGBA floats.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <gtest/gtest.h>

struct GLFWwindow;

namespace Tarn {
class FrameBuffer;
}

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

// An image of the given size with each pixel from pixel(x, y).
Image makeImage(int width, int height,
                const std::function<std::array<float, 4>(int x, int y)>& pixel);
// A frame buffer of the image's size whose one RGBA32F target holds it.
std::unique_ptr<FrameBuffer> makeFloatBuffer(const Image& image);
// Replaces level 0 of a 2D texture of the image's size (a G-buffer target,
// say) with the image, converted to the texture's format.
void writeTexture(GLuint texture, const Image& image);
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
