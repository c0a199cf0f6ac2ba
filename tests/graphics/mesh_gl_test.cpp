#include "tarn/graphics/mesh.h"

#include <string>
#include <vector>

#include "support/gl_test.h"
#include "tarn/framebuffer.h"
#include "tarn/shader.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"
#include "tarn/vertexbuffer.h"

namespace {

using Tarn::FrameBuffer;
using Tarn::VertexBuffer;
using Tarn::Graphics::Mesh;
using Tarn::Test::GLTest;
using Tarn::Test::Image;
using Tarn::Test::readTexture;
using Tarn::Test::writePng;

using MeshGLTest = GLTest;

// A mesh draws its own buffer (the lower-right triangle of the viewport) and
// nothing else; one without a buffer draws nothing.
TEST_F(MeshGLTest, DrawsItsVertexBuffer) {
    Tarn::Shader vertex(Tarn::Shader::VERTEX_SHADER, R"(#version 330 core
layout(location = 0) in vec3 position;
void main() {
    gl_Position = vec4(position, 1.0);
}
)");
    Tarn::Shader fragment(Tarn::Shader::FRAGMENT_SHADER, R"(#version 330 core
layout(location = 0) out vec4 fragColor;
void main() {
    fragColor = vec4(0.0, 1.0, 0.0, 1.0);
}
)");
    Tarn::ShaderProgram program("mesh test");
    program.set(&vertex);
    program.set(&fragment);
    program.link();
    ASSERT_TRUE(program.linked());

    const float positions[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0};
    const unsigned int indices[] = {0, 1, 2};
    auto* buffer = new VertexBuffer();
    ASSERT_TRUE(buffer->setAttribute("position", positions, 9, 3));
    buffer->setIndices(indices, 3);
    const struct {
        const char* name;
        Mesh* mesh;
        float lowerRightGreen;
    } cases[] = {{"with buffer", new Mesh(buffer), 1.0f},
                 {"without buffer", new Mesh(nullptr), 0.0f}};

    FrameBuffer frame(8, 8);
    Tarn::Texture* target = frame.createRenderTarget(FrameBuffer::RGBA8);
    ASSERT_NE(target, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.mesh->vertexBuffer(), c.lowerRightGreen > 0 ? buffer : nullptr);
        frame.enable();
        program.bind();
        c.mesh->draw();
        program.release();
        frame.disable();
        const Image image = readTexture(target->id());
        int wrong = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                if (x != y && image.at(x, y)[1] != (x > y ? c.lowerRightGreen : 0.0f))
                    ++wrong;
        EXPECT_EQ(wrong, 0) << "written to "
                            << writePng(image, std::string("mesh_") +
                                                   (c.mesh->vertexBuffer() ? "buffer" : "none"));
        delete c.mesh;
    }
}

}  // namespace
