#include "support/test_program.h"

#include <gtest/gtest.h>

#include "support/gl_test.h"

namespace Tarn::Test {

TestProgram::TestProgram(const std::string& vertexSource, const std::string& fragmentSource,
                         const std::string& name)
    : vertex(Tarn::Shader::VERTEX_SHADER, vertexSource),
      fragment(Tarn::Shader::FRAGMENT_SHADER, fragmentSource), program(name) {
    program.set(&vertex);
    program.set(&fragment);
    program.link();
}

std::vector<std::array<float, 4>> shadeRow(const std::string& fragmentSource, int count,
                                           const std::function<void(GLuint program)>& setUp) {
    // One triangle larger than the screen, made from the vertex index alone.
    static const char* const kVertex = R"(#version 330 core
void main() {
    vec2 corner = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);
    gl_Position = vec4(corner, 0.0, 1.0);
})";
    TestProgram shader(kVertex, fragmentSource, "row shader");
    EXPECT_TRUE(shader.program.linked());

    GLuint target = 0, framebuffer = 0, vao = 0;
    GLint previousFramebuffer = 0, viewport[4] = {};
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previousFramebuffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, count, 1, 0, GL_RGBA, GL_FLOAT, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    glGenVertexArrays(1, &vao);

    glViewport(0, 0, count, 1);
    shader.program.bind();
    setUp(shader.program.id());
    glBindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    shader.program.release();
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFramebuffer));

    const Image image = readFramebuffer(framebuffer, GL_COLOR_ATTACHMENT0, 0, 0, count, 1);
    glDeleteVertexArrays(1, &vao);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &target);
    std::vector<std::array<float, 4>> pixels(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 4; ++c)
            pixels[static_cast<size_t>(i)][static_cast<size_t>(c)] = image.at(i, 0)[c];
    return pixels;
}

}  // namespace Tarn::Test
