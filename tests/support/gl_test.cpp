#include "support/gl_test.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <GLFW/glfw3.h>
#include <stb_image_write.h>

#include "support/gl_context.h"
#include "tarn/framebuffer.h"
#include "tarn/texture.h"

namespace Tarn::Test {

namespace {

GLFWwindow* g_window = nullptr;

}  // namespace

bool makeTestContext(std::string& error) {
    if (!g_window)
        g_window = createHiddenContext(64, 64, error);
    if (g_window)
        glfwMakeContextCurrent(g_window);
    return g_window != nullptr;
}

void GLTest::SetUp() {
    std::string error;
    ASSERT_TRUE(makeTestContext(error)) << error;
}

void GLTest::TearDown() {
    if (g_window) {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

GLFWwindow* GLTest::window() {
    return g_window;
}

Image makeImage(int width, int height,
                const std::function<std::array<float, 4>(int x, int y)>& pixel) {
    Image image{width, height, {}};
    image.rgba.reserve(static_cast<size_t>(4) * width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (float c : pixel(x, y))
                image.rgba.push_back(c);
    return image;
}

std::unique_ptr<FrameBuffer> makeFloatBuffer(const Image& image) {
    auto buffer = std::make_unique<FrameBuffer>(image.width, image.height);
    if (Texture* target = buffer->createRenderTarget(FrameBuffer::RGBA32F))
        writeTexture(target->id(), image);
    return buffer;
}

void writeTexture(GLuint texture, const Image& image) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width, image.height, GL_RGBA, GL_FLOAT,
                    image.rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}

Image readTexture(GLuint texture, int level) {
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture);
    Image image;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &image.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &image.height);
    image.rgba.resize(static_cast<size_t>(4) * image.width * image.height);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_FLOAT, image.rgba.data());
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    return image;
}

Image readFramebuffer(GLuint framebuffer, GLenum buffer, int x, int y, int width, int height) {
    GLint previousFramebuffer = 0, previousBuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previousFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glGetIntegerv(GL_READ_BUFFER, &previousBuffer);
    glReadBuffer(buffer);
    Image image;
    image.width = width;
    image.height = height;
    image.rgba.resize(static_cast<size_t>(4) * width * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x, y, width, height, GL_RGBA, GL_FLOAT, image.rgba.data());
    glReadBuffer(static_cast<GLenum>(previousBuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previousFramebuffer));
    return image;
}

std::string writePng(const Image& image, const std::string& name) {
    if (image.width <= 0 || image.height <= 0)
        return {};
    std::vector<std::uint8_t> bytes(static_cast<size_t>(4) * image.width * image.height);
    for (int y = 0; y < image.height; ++y) {
        const int row = image.height - 1 - y;  // PNG rows go top down
        for (int i = 0; i < 4 * image.width; ++i) {
            const float v = std::clamp(image.rgba[4 * y * image.width + i], 0.0f, 1.0f);
            bytes[4 * row * image.width + i] = static_cast<std::uint8_t>(std::lround(v * 255.0f));
        }
    }
    const std::string path = name + ".png";
    if (!stbi_write_png(path.c_str(), image.width, image.height, 4, bytes.data(), 4 * image.width))
        return {};
    return path;
}

}  // namespace Tarn::Test
