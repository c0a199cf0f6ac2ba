#include "tarn/vertexbuffer.h"

#include <array>
#include <cmath>
#include <memory>
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
using Tarn::VertexBuffer;
using Tarn::Test::GLTest;
using Tarn::Test::Image;
using Tarn::Test::readTexture;
using Tarn::Test::TestProgram;
using Tarn::Test::writePng;

using Rgba = std::array<float, 4>;

// Shows colour (location 1) plus extra (location 2). An attribute the
// buffer lacks reads as (0, 0, 0, 1), so it adds nothing.
const char* const kSumVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
layout(location = 2) in vec3 extra;
out vec3 v_colour;
void main() {
    v_colour = colour + extra;
    gl_Position = vec4(position, 1.0);
}
)";

// Shows location 2 only.
const char* const kThirdVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 2) in vec3 extra;
out vec3 v_colour;
void main() {
    v_colour = extra;
    gl_Position = vec4(position, 1.0);
}
)";

const char* const kColourFragment = R"(#version 330 core
in vec3 v_colour;
layout(location = 0) out vec4 fragColor;
void main() {
    fragColor = vec4(v_colour, 1.0);
}
)";

// The corners of clip space, counter-clockwise from the lower left.
const std::vector<float> kQuadPositions = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
const std::vector<unsigned int> kLowerRight = {0, 1, 2};
const std::vector<unsigned int> kUpperLeft = {0, 2, 3};
const Rgba kBlack = {0, 0, 0, 1};

std::vector<float> repeated(const std::vector<float>& value, int times) {
    std::vector<float> values;
    for (int i = 0; i < times; ++i)
        values.insert(values.end(), value.begin(), value.end());
    return values;
}

bool near(const float* got, const Rgba& expected) {
    for (int c = 0; c < 4; ++c)
        if (std::fabs(got[c] - expected[c]) > 1e-6f)
            return false;
    return true;
}

// Pixels above the diagonal (x < y) must be upperLeft, below it lowerRight;
// pixels on the diagonal belong to either triangle and are not checked.
void expectHalves(const Image& image, const Rgba& upperLeft, const Rgba& lowerRight,
                  const std::string& name) {
    int wrong = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (x != y && !near(image.at(x, y), x < y ? upperLeft : lowerRight))
                ++wrong;
    EXPECT_EQ(wrong, 0) << name << " written to " << writePng(image, name);
}

class VertexBufferGLTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        m_frame = std::make_unique<FrameBuffer>(16, 16);
        m_target = m_frame->createRenderTarget(FrameBuffer::RGBA32F);
    }

    // Clears the 16x16 frame, draws the buffer with the program, reads back.
    Image render(VertexBuffer& buffer, Tarn::ShaderProgram& program) {
        m_frame->enable();
        program.bind();
        buffer.draw();
        program.release();
        m_frame->disable();
        return readTexture(m_target->id());
    }

    // Made once the context exists.
    std::unique_ptr<FrameBuffer> m_frame;
    Tarn::Texture* m_target = nullptr;
};

TEST_F(VertexBufferGLTest, ThirdAttributeFeedsLocationTwoWhateverItsName) {
    const struct {
        const char* first;
        const char* second;
        const char* third;
    } cases[] = {
        {"position", "normal", "uv"},
        {"uv", "tangent", "position"},
        {"a", "b", "colour"},
    };
    TestProgram program(kThirdVertex, kColourFragment);
    ASSERT_TRUE(program.program.linked());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.third);
        const std::vector<float> second = repeated({1, 0, 0}, 4);
        const std::vector<float> third = repeated({0, 0.5f, 0.25f}, 4);
        VertexBuffer buffer;
        ASSERT_TRUE(buffer.setAttribute(c.first, kQuadPositions.data(), 12, 3));
        ASSERT_TRUE(buffer.setAttribute(c.second, second.data(), 12, 3));
        ASSERT_TRUE(buffer.setAttribute(c.third, third.data(), 12, 3));
        const std::vector<unsigned int> indices = {0, 1, 2, 0, 2, 3};
        buffer.setIndices(indices.data(), 6);
        const Rgba expected = {0, 0.5f, 0.25f, 1};
        expectHalves(render(buffer, program.program), expected, expected,
                     std::string("vertexbuffer_third_") + c.third);
    }
}

// New indices and new attributes set after a draw reach the next draw.
TEST_F(VertexBufferGLTest, ChangesAfterADrawAreUploaded) {
    TestProgram program(kSumVertex, kColourFragment);
    ASSERT_TRUE(program.program.linked());
    const std::vector<float> red = repeated({1, 0, 0}, 4);
    const std::vector<float> blue = repeated({0, 0, 1}, 4);
    VertexBuffer buffer;
    ASSERT_TRUE(buffer.setAttribute("position", kQuadPositions.data(), 12, 3));
    ASSERT_TRUE(buffer.setAttribute("colour", red.data(), 12, 3));
    buffer.setIndices(kLowerRight.data(), 3);
    expectHalves(render(buffer, program.program), kBlack, {1, 0, 0, 1}, "vertexbuffer_first_draw");

    buffer.setIndices(kUpperLeft.data(), 3);
    expectHalves(render(buffer, program.program), {1, 0, 0, 1}, kBlack, "vertexbuffer_new_indices");

    ASSERT_TRUE(buffer.setAttribute("extra", blue.data(), 12, 3));
    expectHalves(render(buffer, program.program), {1, 0, 1, 1}, kBlack,
                 "vertexbuffer_new_attribute");
}

TEST_F(VertexBufferGLTest, EmptyIndexListDrawsNothing) {
    TestProgram program(kSumVertex, kColourFragment);
    ASSERT_TRUE(program.program.linked());
    const std::vector<float> red = repeated({1, 0, 0}, 4);
    const struct {
        const char* name;
        bool drawnBefore;
    } cases[] = {{"never indexed", false}, {"emptied after a draw", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VertexBuffer buffer;
        ASSERT_TRUE(buffer.setAttribute("position", kQuadPositions.data(), 12, 3));
        ASSERT_TRUE(buffer.setAttribute("colour", red.data(), 12, 3));
        if (c.drawnBefore) {
            buffer.setIndices(kLowerRight.data(), 3);
            render(buffer, program.program);
            buffer.setIndices(nullptr, 0);
        }
        testing::internal::CaptureStdout();
        const Image image = render(buffer, program.program);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        expectHalves(image, kBlack, kBlack,
                     std::string("vertexbuffer_empty_") + (c.drawnBefore ? "emptied" : "never"));
    }
}

// An index past the shortest attribute would make GL read outside the
// buffers: it is reported once and nothing is drawn until it is fixed.
TEST_F(VertexBufferGLTest, IndexPastTheVerticesIsRefused) {
    TestProgram program(kSumVertex, kColourFragment);
    ASSERT_TRUE(program.program.linked());
    const std::vector<float> red = repeated({1, 0, 0}, 3);
    VertexBuffer buffer;
    ASSERT_TRUE(buffer.setAttribute("position", kQuadPositions.data(), 12, 3));
    ASSERT_TRUE(buffer.setAttribute("colour", red.data(), 9, 3));
    const unsigned int past[] = {0, 2, 3};
    buffer.setIndices(past, 3);

    testing::internal::CaptureStdout();
    render(buffer, program.program);
    const Image image = render(buffer, program.program);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VertexBuffer] Index 3 is past the 3 vertices the attributes hold; nothing is "
              "drawn\n");
    expectHalves(image, kBlack, kBlack, "vertexbuffer_index_past");

    buffer.setIndices(kLowerRight.data(), 3);
    testing::internal::CaptureStdout();
    const Image fixed = render(buffer, program.program);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    expectHalves(fixed, kBlack, {1, 0, 0, 1}, "vertexbuffer_index_fixed");
}

TEST_F(VertexBufferGLTest, DestructionDeletesTheGLObjects) {
    TestProgram program(kSumVertex, kColourFragment);
    ASSERT_TRUE(program.program.linked());
    GLint vertexArray = 0, elements = 0;
    {
        VertexBuffer buffer;
        ASSERT_TRUE(buffer.setAttribute("position", kQuadPositions.data(), 12, 3));
        buffer.setIndices(kLowerRight.data(), 3);
        EXPECT_EQ(buffer.vertexArray(), 0u);
        render(buffer, program.program);
        vertexArray = static_cast<GLint>(buffer.vertexArray());
        ASSERT_TRUE(glIsVertexArray(static_cast<GLuint>(vertexArray)));
        glBindVertexArray(static_cast<GLuint>(vertexArray));
        glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elements);
        glBindVertexArray(0);
        ASSERT_TRUE(glIsBuffer(static_cast<GLuint>(elements)));
    }
    EXPECT_FALSE(glIsVertexArray(static_cast<GLuint>(vertexArray)));
    EXPECT_FALSE(glIsBuffer(static_cast<GLuint>(elements)));
}

}  // namespace
