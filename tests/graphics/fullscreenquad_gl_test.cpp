#include "tarn/graphics/fullscreenquad.h"

#include <cmath>
#include <string>
#include <vector>

#include "support/gl_test.h"
#include "support/test_program.h"
#include "tarn/framebuffer.h"
#include "tarn/shader.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"

namespace {

using Tarn::FrameBuffer;
using Tarn::Test::GLTest;
using Tarn::Test::Image;
using Tarn::Test::readTexture;
using Tarn::Test::TestProgram;
using Tarn::Test::writePng;
namespace FullscreenQuad = Tarn::Graphics::FullscreenQuad;

GLint currentProgram() {
    GLint program = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    return program;
}

using FullscreenQuadGLTest = GLTest;

// Each pixel records the triangle that drew it and the uv it received: the
// first triangle covers the lower-right half, the second the upper-left, and
// uv runs from (0, 0) at the lower-left corner to (1, 1) at the upper-right.
TEST_F(FullscreenQuadGLTest, TrianglesCoverTheirHalvesWithUvFromTheLowerLeft) {
    TestProgram program(R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv;
out vec2 v_uv;
void main() {
    v_uv = uv;
    gl_Position = vec4(position, 1.0);
}
)",
                        R"(#version 330 core
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    fragColor = vec4(v_uv, float(gl_PrimitiveID) + 10.0, 1.0);
}
)");
    ASSERT_TRUE(program.program.linked());
    const int size = 32;
    FrameBuffer frame(size, size);
    Tarn::Texture* target = frame.createRenderTarget(FrameBuffer::RGBA32F);
    ASSERT_NE(target, nullptr);
    frame.enable();
    program.program.bind();
    FullscreenQuad::draw();
    program.program.release();
    frame.disable();

    const Image image = readTexture(target->id());
    int wrongTriangle = 0, wrongUv = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float* p = image.at(x, y);
            // Diagonal pixels lie on the shared edge: either triangle, never none.
            const bool ok = x > y   ? p[2] == 10.0f
                            : x < y ? p[2] == 11.0f
                                    : (p[2] == 10.0f || p[2] == 11.0f);
            wrongTriangle += ok ? 0 : 1;
            if (std::fabs(p[0] - (x + 0.5f) / size) > 1e-5f ||
                std::fabs(p[1] - (y + 0.5f) / size) > 1e-5f)
                ++wrongUv;
        }
    }
    EXPECT_EQ(wrongTriangle, 0) << "written to " << writePng(image, "fullscreenquad_triangles");
    EXPECT_EQ(wrongUv, 0) << "written to " << writePng(image, "fullscreenquad_uv");
}

// Blits a width x height RGBA32F frame of the given texels into a frame
// buffer of another size, as to a window, and reads it back; sized, with
// the blit told the texture's size.
Image blit(const std::vector<float>& texels, int width, int height, int toWidth, int toHeight,
           bool sized = false) {
    FrameBuffer source(width, height), destination(toWidth, toHeight);
    Tarn::Texture* input = source.createRenderTarget(FrameBuffer::RGBA32F);
    Tarn::Texture* output = destination.createRenderTarget(FrameBuffer::RGBA32F);
    if (!input || !output)
        return {};
    glBindTexture(GL_TEXTURE_2D, input->id());
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_FLOAT, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    destination.enable();
    if (sized)
        FullscreenQuad::bindSimpleShader(width, height);
    else
        FullscreenQuad::bindSimpleShader();
    input->bind(0);
    FullscreenQuad::draw();
    input->release();
    FullscreenQuad::releaseSimpleShader();
    destination.disable();
    return readTexture(output->id());
}

// The blit copies float values unchanged, outside [0, 1] included, from a
// frame-buffer target to another of the same size.
TEST_F(FullscreenQuadGLTest, BlitCopiesAFloatTextureExactly) {
    const int width = 8, height = 6;
    std::vector<float> texels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            texels.insert(texels.end(), {(x - 3.5f) * 1000.25f, y * 0.1f - 2.0f,
                                         1.0f / (1 + x + y * width), -65536.5f + x * y});
    const Image copy = blit(texels, width, height, width, height);
    EXPECT_EQ(copy.rgba, texels) << "written to " << writePng(copy, "fullscreenquad_blit");
}

// Told the texture's size, the blit draws what it draws untold, to the
// bit: into a frame buffer of the texture's size, larger ones (magnified,
// by whole and odd factors) and smaller ones (filtered).
TEST_F(FullscreenQuadGLTest, SizedBlitDrawsWhatTheBlitDraws) {
    const int width = 16, height = 12;
    std::vector<float> texels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            texels.insert(texels.end(), {(x - 7.5f) * 3.25f, y * 0.1f, 1.0f / (1 + x + y), 1.0f});
    const int sizes[][2] = {{16, 12}, {32, 24}, {24, 12}, {17, 13}, {8, 6}, {16, 6}, {5, 12}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1]);
        const Image sized = blit(texels, width, height, size[0], size[1], true);
        EXPECT_EQ(sized.rgba, blit(texels, width, height, size[0], size[1]).rgba);
        EXPECT_EQ(sized.width, size[0]);
    }
}

// Into a smaller window each pixel is the mean of the texels it covers: a
// checkerboard of single texels turns grey, exactly 0.5 where the window is
// a whole fraction of the frame, between 0.375 and 0.625 at 3/4 (each pixel
// covers 4/3 texels a side). Picking one texel would give black or white.
TEST_F(FullscreenQuadGLTest, BlitFiltersWhenTheWindowIsSmaller) {
    const int size = 64;
    std::vector<float> checker;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float v = static_cast<float>((x + y) % 2);
            checker.insert(checker.end(), {v, v, v, 1.0f});
        }
    const struct {
        int width, height;
        float low, high;
    } cases[] = {
        {32, 32, 0.5f, 0.5f}, {16, 16, 0.5f, 0.5f}, {32, 64, 0.5f, 0.5f}, {48, 48, 0.375f, 0.625f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const Image image = blit(checker, size, size, c.width, c.height);
        ASSERT_EQ(image.width, c.width);
        int wrong = 0;
        double sum = 0.0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const float* p = image.at(x, y);
                sum += p[0];
                if (p[0] < c.low - 1e-5f || p[0] > c.high + 1e-5f || p[3] != 1.0f)
                    ++wrong;
            }
        EXPECT_EQ(wrong, 0) << "written to " << writePng(image, "fullscreenquad_smaller");
        EXPECT_NEAR(sum / (c.width * c.height), 0.5, 1e-4);
    }
}

// The blit program is built once, reads unit 0 through "rt_final", and
// release leaves no program current.
TEST_F(FullscreenQuadGLTest, BlitProgramIsBuiltOnceAndReleased) {
    FullscreenQuad::bindSimpleShader();
    const GLint program = currentProgram();
    ASSERT_NE(program, 0);
    GLint linked = GL_FALSE;
    glGetProgramiv(static_cast<GLuint>(program), GL_LINK_STATUS, &linked);
    EXPECT_EQ(linked, GL_TRUE);
    const GLint location = glGetUniformLocation(static_cast<GLuint>(program), "rt_final");
    ASSERT_GE(location, 0);
    GLint unit = -1;
    glGetUniformiv(static_cast<GLuint>(program), location, &unit);
    EXPECT_EQ(unit, 0);
    FullscreenQuad::releaseSimpleShader();
    EXPECT_EQ(currentProgram(), 0);

    testing::internal::CaptureStdout();
    FullscreenQuad::bindSimpleShader();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(currentProgram(), program);
    FullscreenQuad::releaseSimpleShader();
    EXPECT_EQ(currentProgram(), 0);
}

}  // namespace
