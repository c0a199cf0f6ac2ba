#include "tarn/framebuffer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "support/gl_test.h"
#include "support/test_program.h"
#include "tarn/graphics/fullscreenquad.h"
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

using Viewport = std::array<GLint, 4>;

const char* const kQuadVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv;
out vec2 v_uv;
void main() {
    v_uv = uv;
    gl_Position = vec4(position, 1.0);
}
)";

// Output i writes outputColor(i); half floats hold every value exactly.
std::array<float, 4> outputColor(int i) {
    return {i + 0.5f, -(i + 1.0f), 0.25f * i, 1.0f - 0.125f * i};
}

std::string multiTargetFragment(int outputs) {
    std::string source = "#version 330 core\n";
    for (int i = 0; i < outputs; ++i)
        source +=
            "layout(location = " + std::to_string(i) + ") out vec4 out" + std::to_string(i) + ";\n";
    source += "void main() {\n";
    for (int i = 0; i < outputs; ++i) {
        const std::array<float, 4> c = outputColor(i);
        source += "    out" + std::to_string(i) + " = vec4(" + std::to_string(c[0]) + ", " +
                  std::to_string(c[1]) + ", " + std::to_string(c[2]) + ", " + std::to_string(c[3]) +
                  ");\n";
    }
    return source + "}\n";
}

// What a target of the given internal format stores for a written value.
float stored(GLint internalFormat, float value) {
    if (internalFormat != GL_RGBA8)
        return value;
    return std::round(std::clamp(value, 0.0f, 1.0f) * 255.0f) / 255.0f;
}

Viewport currentViewport() {
    Viewport viewport{};
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    return viewport;
}

GLint drawFramebufferBinding() {
    GLint binding = -1;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &binding);
    return binding;
}

float depthAt(GLuint framebuffer, int x, int y) {
    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    float depth = -1.0f;
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
    return depth;
}

GLint internalFormatOf(GLuint texture) {
    GLint format = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    glBindTexture(GL_TEXTURE_2D, 0);
    return format;
}

// Every texel of the image equals rgba within tolerance; writes the image
// as a PNG when it does not.
void expectUniform(const Image& image, const std::array<float, 4>& rgba, float tolerance,
                   const std::string& name) {
    int wrong = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 4; ++c)
                if (std::fabs(image.at(x, y)[c] - rgba[c]) > tolerance)
                    ++wrong;
    EXPECT_EQ(wrong, 0) << name << " differs from (" << rgba[0] << ", " << rgba[1] << ", "
                        << rgba[2] << ", " << rgba[3] << "); written to " << writePng(image, name);
}

class FrameBufferGLTest : public GLTest {
protected:
    void TearDown() override {
        glViewport(0, 0, 64, 64);
        GLTest::TearDown();
    }
};

// Enabling clears every target to opaque black and depth to the clear depth,
// the second enable too, with or without colour targets; it leaves the clear
// colour as it found it.
TEST_F(FrameBufferGLTest, EnableClearsColourAndDepth) {
    const struct {
        const char* name;
        std::vector<FrameBuffer::TargetType> types;
    } cases[] = {
        {"depth only", {}},
        {"three targets", {FrameBuffer::RGBA8, FrameBuffer::RGBA16F, FrameBuffer::RGBA32F}},
    };
    TestProgram writer(kQuadVertex, multiTargetFragment(3));
    ASSERT_TRUE(writer.program.linked());
    const float clearColor[4] = {0.25f, 0.5f, 0.75f, 0.125f};
    glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrameBuffer fb(8, 4);
        for (FrameBuffer::TargetType type : c.types)
            ASSERT_NE(fb.createRenderTarget(type), nullptr);
        glBindFramebuffer(GL_FRAMEBUFFER, fb.id());
        GLint depthBits = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                              GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depthBits);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        EXPECT_GE(depthBits, 16);

        fb.enable();
        for (unsigned int i = 0; i < fb.targetCount(); ++i)
            expectUniform(readTexture(fb.target(i)->id()), {0.0f, 0.0f, 0.0f, 1.0f}, 0.0f,
                          "framebuffer_first_clear_" + std::to_string(i));
        EXPECT_EQ(depthAt(fb.id(), 3, 2), 1.0f);

        // The quad lies at depth 0.5 and writes every output.
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_ALWAYS);
        writer.program.bind();
        FullscreenQuad::draw();
        writer.program.release();
        glDepthFunc(GL_LESS);
        glDisable(GL_DEPTH_TEST);
        // 24-bit depth holds 0.5 to within one step.
        EXPECT_NEAR(depthAt(fb.id(), 3, 2), 0.5f, 1.0f / (1 << 23));
        for (unsigned int i = 0; i < fb.targetCount(); ++i)
            EXPECT_GT(readTexture(fb.target(i)->id()).at(0, 0)[0], 0.0f) << "target " << i;

        fb.enable();
        for (unsigned int i = 0; i < fb.targetCount(); ++i)
            expectUniform(readTexture(fb.target(i)->id()), {0.0f, 0.0f, 0.0f, 1.0f}, 0.0f,
                          "framebuffer_second_clear_" + std::to_string(i));
        EXPECT_EQ(depthAt(fb.id(), 3, 2), 1.0f);
        fb.disable();

        float after[4] = {};
        glGetFloatv(GL_COLOR_CLEAR_VALUE, after);
        EXPECT_EQ(std::vector<float>(after, after + 4),
                  std::vector<float>(clearColor, clearColor + 4));
    }
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

TEST_F(FrameBufferGLTest, DisableRestoresTheViewportFoundByEnable) {
    const struct {
        Viewport before;
        unsigned int width, height;
        int enables;
    } cases[] = {
        {{0, 0, 64, 64}, 16, 8, 1},
        {{3, 5, 20, 30}, 64, 64, 1},
        {{10, 10, 1, 1}, 100, 3, 1},
        // Enabling again before disable keeps the viewport found first.
        {{7, 2, 40, 50}, 16, 16, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        FrameBuffer fb(c.width, c.height);
        ASSERT_NE(fb.createRenderTarget(FrameBuffer::RGBA8), nullptr);
        glViewport(c.before[0], c.before[1], c.before[2], c.before[3]);
        for (int i = 0; i < c.enables; ++i)
            fb.enable();
        EXPECT_EQ(currentViewport(),
                  (Viewport{0, 0, static_cast<GLint>(c.width), static_cast<GLint>(c.height)}));
        EXPECT_EQ(drawFramebufferBinding(), static_cast<GLint>(fb.id()));
        fb.disable();
        EXPECT_EQ(currentViewport(), c.before);
        EXPECT_EQ(drawFramebufferBinding(), 0);
    }
}

// Target n is colour attachment n, receives fragment output n and has the
// format asked for; a ninth target is refused and indices past the last
// target give null.
TEST_F(FrameBufferGLTest, TargetNIsAttachmentN) {
    GLint maxDrawBuffers = 0;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &maxDrawBuffers);
    ASSERT_GE(maxDrawBuffers, 8);
    const struct {
        FrameBuffer::TargetType type;
        GLint internalFormat;
    } targets[] = {
        {FrameBuffer::RGBA8, GL_RGBA8},     {FrameBuffer::RGBA16F, GL_RGBA16F},
        {FrameBuffer::RGBA32F, GL_RGBA32F}, {static_cast<FrameBuffer::TargetType>(7), GL_RGBA8},
        {FrameBuffer::RGBA16F, GL_RGBA16F}, {FrameBuffer::RGBA32F, GL_RGBA32F},
        {FrameBuffer::RGBA8, GL_RGBA8},     {FrameBuffer::RGBA32F, GL_RGBA32F},
    };
    FrameBuffer fb(4, 4);
    EXPECT_EQ(fb.target(0), nullptr);
    testing::internal::CaptureStdout();
    for (const auto& t : targets)
        ASSERT_NE(fb.createRenderTarget(t.type), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    testing::internal::CaptureStdout();
    EXPECT_EQ(fb.createRenderTarget(FrameBuffer::RGBA32F), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[FrameBuffer] Cannot add a ninth target: a frame buffer holds at most 8\n");
    EXPECT_EQ(fb.targetCount(), 8u);
    EXPECT_EQ(fb.target(8), nullptr);
    EXPECT_EQ(fb.target(1000), nullptr);

    TestProgram writer(kQuadVertex, multiTargetFragment(8));
    ASSERT_TRUE(writer.program.linked());
    fb.enable();
    writer.program.bind();
    FullscreenQuad::draw();
    writer.program.release();
    fb.disable();

    glBindFramebuffer(GL_FRAMEBUFFER, fb.id());
    for (int n = 0; n < 8; ++n) {
        SCOPED_TRACE("target " + std::to_string(n));
        ASSERT_NE(fb.target(n), nullptr);
        GLint attached = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + n,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
        EXPECT_EQ(static_cast<unsigned int>(attached), fb.target(n)->id());
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    for (int n = 0; n < 8; ++n) {
        const GLint format = internalFormatOf(fb.target(n)->id());
        EXPECT_EQ(format, targets[n].internalFormat) << "target " << n;
        const std::array<float, 4> written = outputColor(n);
        std::array<float, 4> expected{};
        for (int c = 0; c < 4; ++c)
            expected[c] = stored(format, written[c]);
        expectUniform(readTexture(fb.target(n)->id()), expected,
                      format == GL_RGBA8 ? 0.5f / 255.0f : 0.0f,
                      "framebuffer_target_" + std::to_string(n));
    }
}

// Targets sample with linear minification, nearest magnification and repeat
// wrapping: a 2x2 target drawn twice across an 8x8 one gives 2x2 blocks of
// exact texels, the second repeat equal to the first.
TEST_F(FrameBufferGLTest, TargetsMagnifyNearestAndRepeat) {
    FrameBuffer source(2, 2);
    Tarn::Texture* texels = source.createRenderTarget(FrameBuffer::RGBA32F);
    ASSERT_NE(texels, nullptr);

    glBindTexture(GL_TEXTURE_2D, texels->id());
    const struct {
        GLenum parameter;
        GLint expected;
    } parameters[] = {
        {GL_TEXTURE_MIN_FILTER, GL_LINEAR},
        {GL_TEXTURE_MAG_FILTER, GL_NEAREST},
        {GL_TEXTURE_WRAP_S, GL_REPEAT},
        {GL_TEXTURE_WRAP_T, GL_REPEAT},
    };
    for (const auto& p : parameters) {
        GLint value = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, p.parameter, &value);
        EXPECT_EQ(value, p.expected) << "parameter 0x" << std::hex << p.parameter;
    }
    glBindTexture(GL_TEXTURE_2D, 0);

    TestProgram coordinates(kQuadVertex, R"(#version 330 core
layout(location = 0) out vec4 fragColor;
void main() {
    fragColor = vec4(floor(gl_FragCoord.xy) + vec2(10.0, 20.0), 7.0, 1.0);
}
)");
    TestProgram sampler(kQuadVertex, R"(#version 330 core
uniform sampler2D source;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    fragColor = texture(source, v_uv * 2.0);
}
)");
    ASSERT_TRUE(coordinates.program.linked());
    ASSERT_TRUE(sampler.program.linked());

    source.enable();
    coordinates.program.bind();
    FullscreenQuad::draw();
    coordinates.program.release();
    source.disable();

    FrameBuffer destination(8, 8);
    Tarn::Texture* result = destination.createRenderTarget(FrameBuffer::RGBA32F);
    ASSERT_NE(result, nullptr);
    destination.enable();
    sampler.program.bind();
    sampler.program.uniform("source", 0);
    texels->bind(0);
    FullscreenQuad::draw();
    texels->release();
    sampler.program.release();
    destination.disable();

    const Image image = readTexture(result->id());
    int wrong = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const float expected[4] = {10.0f + (x / 2) % 2, 20.0f + (y / 2) % 2, 7.0f, 1.0f};
            if (!std::equal(expected, expected + 4, image.at(x, y)))
                ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0) << "written to " << writePng(image, "framebuffer_repeat_nearest");
}

TEST_F(FrameBufferGLTest, IncompleteFrameBufferIsReported) {
    FrameBuffer fb(0, 0);
    testing::internal::CaptureStdout();
    EXPECT_NE(fb.createRenderTarget(FrameBuffer::RGBA8), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[FrameBuffer] The 0x0 frame buffer is incomplete with 1 target: "
              "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT\n");
}

// A size the driver cannot hold leaves a frame buffer that takes no target
// and does not touch the bindings or the viewport.
TEST_F(FrameBufferGLTest, OversizedFrameBufferIsRefused) {
    GLint renderbuffer = 0, texture = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    const unsigned int largest = static_cast<unsigned int>(std::min(renderbuffer, texture));
    const std::string limit = std::to_string(largest) + "x" + std::to_string(largest);
    const struct {
        unsigned int width, height;
    } cases[] = {{largest + 1, 4}, {4, largest + 1}, {0xFFFFFFFFu, 0xFFFFFFFFu}};
    for (const auto& c : cases) {
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        SCOPED_TRACE(size);
        glViewport(1, 2, 3, 4);
        testing::internal::CaptureStdout();
        FrameBuffer fb(c.width, c.height);
        EXPECT_EQ(fb.createRenderTarget(FrameBuffer::RGBA32F), nullptr);
        fb.enable();
        EXPECT_EQ(currentViewport(), (Viewport{1, 2, 3, 4}));
        EXPECT_EQ(drawFramebufferBinding(), 0);
        fb.disable();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "[FrameBuffer] Cannot make a " + size +
                      " frame buffer: the driver allows at most " + limit + "\n");
        EXPECT_EQ(fb.id(), 0u);
        EXPECT_EQ(fb.target(0), nullptr);
    }
}

// The frame buffer owns its GL objects and targets; destroying an enabled
// one also gives the window and its viewport back.
TEST_F(FrameBufferGLTest, DestructionReleasesEverything) {
    GLuint framebuffer = 0, texture = 0;
    {
        FrameBuffer fb(4, 4);
        ASSERT_NE(fb.createRenderTarget(FrameBuffer::RGBA16F), nullptr);
        framebuffer = fb.id();
        texture = fb.target(0)->id();
        ASSERT_TRUE(glIsFramebuffer(framebuffer));
        ASSERT_TRUE(glIsTexture(texture));
        glViewport(5, 6, 7, 8);
        fb.enable();
    }
    EXPECT_FALSE(glIsFramebuffer(framebuffer));
    EXPECT_FALSE(glIsTexture(texture));
    EXPECT_EQ(drawFramebufferBinding(), 0);
    EXPECT_EQ(currentViewport(), (Viewport{5, 6, 7, 8}));
}

}  // namespace
