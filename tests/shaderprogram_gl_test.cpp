// Shader stages and programs: compile and link failures with their exact
// lines, uniform setters by name, and the harmless unlinked program.

#include "tarn/shaderprogram.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/gl_test.h"

namespace {

using Tarn::Shader;
using Tarn::ShaderProgram;

const char* const kVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
uniform mat4 model;
void main() { gl_Position = model * vec4(position, 1.0); }
)";

const char* const kFragment = R"(#version 330 core
uniform float f1; uniform vec2 f2; uniform vec3 f3; uniform vec4 f4;
uniform int i1; uniform ivec2 i2; uniform ivec3 i3; uniform ivec4 i4;
out vec4 color;
void main() {
    color = vec4(f1) + vec4(f2, 0, 0) + vec4(f3, 0) + f4
          + vec4(i1) + vec4(i2, 0, 0) + vec4(i3, 0) + vec4(i4);
}
)";

const char* const kBrokenFragment = R"(#version 330 core
out vec4 color;
void main() { color = undeclared; }
)";

// Declares "model" with another type than the vertex stage: each stage
// compiles, the pair cannot link.
const char* const kUnlinkableFragment = R"(#version 330 core
uniform vec4 model;
out vec4 color;
void main() { color = model; }
)";

class ShaderProgramGLTest : public Tarn::Test::GLTest {
protected:
    std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> result;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            result.push_back(text.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return result;
    }
    GLint currentProgram() {
        GLint program = -1;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        return program;
    }
};

TEST_F(ShaderProgramGLTest, StagesBeforeAndAfterCompiling) {
    Shader vertex(Shader::VERTEX_SHADER, kVertex);
    Shader broken(Shader::FRAGMENT_SHADER, kBrokenFragment);
    EXPECT_EQ(vertex.id(), 0u);
    EXPECT_EQ(vertex.typeString(), "");
    EXPECT_FALSE(vertex.compiled());

    vertex.compile("Stages");
    EXPECT_TRUE(vertex.compiled());
    EXPECT_NE(vertex.id(), 0u);
    EXPECT_EQ(vertex.typeString(), "Vertex");

    testing::internal::CaptureStdout();
    broken.compile("Stages");
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(broken.compiled());
    EXPECT_EQ(broken.id(), 0u);
    EXPECT_EQ(broken.typeString(), "Fragment");
}

// A stage that does not compile reports itself, then the link reports; the
// program stays unlinked, bind leaves the current program alone and release
// still unbinds.
TEST_F(ShaderProgramGLTest, CompileFailureLeavesAHarmlessProgram) {
    Shader vertex(Shader::VERTEX_SHADER, kVertex);
    Shader fragment(Shader::FRAGMENT_SHADER, kFragment);
    ShaderProgram good("Good");
    good.set(&vertex);
    good.set(&fragment);
    good.link();
    ASSERT_TRUE(good.linked());

    Shader broken(Shader::FRAGMENT_SHADER, kBrokenFragment);
    ShaderProgram bad("Velvet glow");
    bad.set(&vertex);
    bad.set(&broken);
    testing::internal::CaptureStdout();
    bad.link();
    const std::vector<std::string> out = lines(testing::internal::GetCapturedStdout());
    EXPECT_FALSE(bad.linked());
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out[0], "Fragment Shader for program \"Velvet glow\" failed to compile :");
    EXPECT_NE(out[1].find("undeclared"), std::string::npos) << out[1];
    const auto link =
        std::find(out.begin(), out.end(), "Shader program \"Velvet glow\"failed to link :");
    EXPECT_NE(link, out.end());

    good.bind();
    bad.bind();
    EXPECT_EQ(currentProgram(), static_cast<GLint>(good.id()));
    testing::internal::CaptureStdout();
    bad.uniform("f1", 1.0f);  // reported, nothing sent
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[!!!!!!!!!!!!!!! 1f] Cannot find location for uniform \"f1\" in shader \"Velvet "
              "glow\"\n");
    bad.release();
    EXPECT_EQ(currentProgram(), 0);
}

TEST_F(ShaderProgramGLTest, LinkFailureLine) {
    Shader vertex(Shader::VERTEX_SHADER, kVertex);
    Shader fragment(Shader::FRAGMENT_SHADER, kUnlinkableFragment);
    ShaderProgram program("Broken pair");
    program.set(&vertex);
    program.set(&fragment);
    testing::internal::CaptureStdout();
    program.link();
    const std::vector<std::string> out = lines(testing::internal::GetCapturedStdout());
    EXPECT_FALSE(program.linked());
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0], "Shader program \"Broken pair\"failed to link :");
    EXPECT_FALSE(out[1].empty());  // the driver's log
    EXPECT_TRUE(vertex.compiled());
    EXPECT_TRUE(fragment.compiled());
}

// Each setter reaches its uniform; each reports a missing one with its tag
// and sends nothing.
TEST_F(ShaderProgramGLTest, UniformSettersByName) {
    Shader vertex(Shader::VERTEX_SHADER, kVertex);
    Shader fragment(Shader::FRAGMENT_SHADER, kFragment);
    ShaderProgram program("Setters");
    program.set(&vertex);
    program.set(&fragment);
    program.link();
    ASSERT_TRUE(program.linked());
    program.bind();

    const float matrix[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    program.uniform("f1", 0.5f);
    program.uniform("f2", 1.0f, 2.0f);
    program.uniform("f3", 1.0f, 2.0f, 3.0f);
    program.uniform("f4", 1.0f, 2.0f, 3.0f, 4.0f);
    program.uniform("i1", 7);
    program.uniform("i2", 1, 2);
    program.uniform("i3", 1, 2, 3);
    program.uniform("i4", 1, 2, 3, -4);
    program.uniform("model", matrix);

    const GLuint id = program.id();
    auto floats = [id](const char* name, int count) {
        std::vector<float> v(16, 0.0f);
        glGetUniformfv(id, glGetUniformLocation(id, name), v.data());
        v.resize(count);
        return v;
    };
    auto ints = [id](const char* name, int count) {
        std::vector<int> v(4, 0);
        glGetUniformiv(id, glGetUniformLocation(id, name), v.data());
        v.resize(count);
        return v;
    };
    EXPECT_EQ(floats("f1", 1), (std::vector<float>{0.5f}));
    EXPECT_EQ(floats("f2", 2), (std::vector<float>{1, 2}));
    EXPECT_EQ(floats("f3", 3), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(floats("f4", 4), (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(ints("i1", 1), (std::vector<int>{7}));
    EXPECT_EQ(ints("i2", 2), (std::vector<int>{1, 2}));
    EXPECT_EQ(ints("i3", 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ints("i4", 4), (std::vector<int>{1, 2, 3, -4}));
    EXPECT_EQ(floats("model", 16), std::vector<float>(matrix, matrix + 16));

    const struct {
        std::function<void()> set;
        const char* tag;
    } missing[] = {
        {[&] { program.uniform("nope", 1.0f); }, "1f"},
        {[&] { program.uniform("nope", 1.0f, 2.0f); }, "2f"},
        {[&] { program.uniform("nope", 1.0f, 2.0f, 3.0f); }, "3f"},
        {[&] { program.uniform("nope", 1.0f, 2.0f, 3.0f, 4.0f); }, "4f"},
        {[&] { program.uniform("nope", 1); }, "1i"},
        {[&] { program.uniform("nope", 1, 2); }, "2i"},
        {[&] { program.uniform("nope", 1, 2, 3); }, "3i"},
        {[&] { program.uniform("nope", 1, 2, 3, 4); }, "4i"},
        {[&] { program.uniform("nope", matrix); }, "M4fv"},
    };
    for (const auto& m : missing) {
        // Twice: a missing uniform is reported at every call, cached or not.
        for (int call = 0; call < 2; ++call) {
            testing::internal::CaptureStdout();
            m.set();
            EXPECT_EQ(testing::internal::GetCapturedStdout(),
                      std::string("[!!!!!!!!!!!!!!! ") + m.tag +
                          "] Cannot find location for uniform \"nope\" in shader \"Setters\"\n");
        }
    }
    EXPECT_EQ(floats("f1", 1), (std::vector<float>{0.5f}));
    EXPECT_EQ(program.attribute("position"), 0);
    program.release();
}

// Locations found for one link must not survive the next: a uniform that a
// vertex-only program lacks is found once the fragment stage joins.
TEST_F(ShaderProgramGLTest, RelinkDropsCachedLocations) {
    Shader vertex(Shader::VERTEX_SHADER, kVertex);
    Shader fragment(Shader::FRAGMENT_SHADER, kFragment);
    ShaderProgram program("Relinked");
    program.set(&vertex);
    program.link();
    ASSERT_TRUE(program.linked());
    program.bind();
    testing::internal::CaptureStdout();
    program.uniform("f1", 1.0f);
    EXPECT_NE(testing::internal::GetCapturedStdout(), "");

    program.set(&fragment);
    program.link();
    ASSERT_TRUE(program.linked());
    program.bind();
    testing::internal::CaptureStdout();
    program.uniform("f1", 3.0f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    float value = 0.0f;
    glGetUniformfv(program.id(), glGetUniformLocation(program.id(), "f1"), &value);
    EXPECT_EQ(value, 3.0f);
    program.release();
}

}  // namespace
