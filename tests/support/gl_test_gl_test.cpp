// The GL test fixture itself: the context it makes and the read-back helpers
// every render test relies on.

#include "support/gl_test.h"

#include <cstdio>

#include <stb_image.h>

namespace {

using namespace Tarn::Test;

class GLFixtureTest : public GLTest {};

TEST_F(GLFixtureTest, ContextIsThreeThreeCore) {
    GLint major = 0, minor = 0, profile = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_GE(major * 10 + minor, 33);
    EXPECT_TRUE(profile & GL_CONTEXT_CORE_PROFILE_BIT);
}

// Float targets keep values outside [0, 1]; rows come back bottom first.
TEST_F(GLFixtureTest, ReadsFloatTexturesAndFramebuffersInGLOrder) {
    const float texels[2 * 2 * 4] = {
        0.5f, -2.0f, 3.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f,   // bottom row
        0.0f, 1.0f,  0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.25f,  // top row
    };
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 2, 2, 0, GL_RGBA, GL_FLOAT, texels);
    glBindTexture(GL_TEXTURE_2D, 0);

    const Image fromTexture = readTexture(texture);
    ASSERT_EQ(fromTexture.width, 2);
    ASSERT_EQ(fromTexture.height, 2);
    EXPECT_EQ(fromTexture.rgba, std::vector<float>(texels, texels + 16));
    EXPECT_EQ(fromTexture.at(1, 1)[3], 0.25f);

    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER),
              static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    const Image fromFramebuffer = readFramebuffer(framebuffer, GL_COLOR_ATTACHMENT0, 1, 0, 1, 2);
    EXPECT_EQ(fromFramebuffer.rgba,
              (std::vector<float>{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.25f}));
    GLint bound = -1;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(bound, 0);

    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
}

TEST_F(GLFixtureTest, WritesUprightPngs) {
    Image image;
    image.width = 1;
    image.height = 2;
    image.rgba = {1.0f, 0.0f, 0.0f, 1.0f,   // bottom: red
                  0.0f, 0.0f, 2.0f, 0.5f};  // top: blue, clamped
    const std::string path = writePng(image, "gl_fixture_upright");
    ASSERT_FALSE(path.empty());

    int w = 0, h = 0, channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), &w, &h, &channels, 4);
    ASSERT_NE(pixels, nullptr);
    const std::vector<int> got(pixels, pixels + 8);
    stbi_image_free(pixels);
    std::remove(path.c_str());
    EXPECT_EQ(got, (std::vector<int>{0, 0, 255, 128, 255, 0, 0, 255}));
}

}  // namespace
