#include "tarn/ext/assimploader.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/mesh.h"
#include "tarn/shader.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"
#include "tarn/vfs.h"

namespace {

namespace fs = std::filesystem;
using Tarn::FrameBuffer;
using Tarn::VFS;
using Tarn::Ext::AssimpLoader;
using Tarn::Graphics::Mesh;
using Tarn::Test::GLTest;
using Tarn::Test::Image;
using Tarn::Test::readTexture;
using Tarn::Test::writePng;

// Reads the four locations the scene shaders use; an attribute the mesh
// lacks reads as zero.
const char* const kSceneVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;
layout(location = 3) in vec3 tangent;
out vec4 v_seen;
void main() {
    v_seen = vec4(uv, normal.z, tangent.x);
    gl_Position = vec4(position, 1.0);
}
)";

const char* const kSeenFragment = R"(#version 330 core
in vec4 v_seen;
layout(location = 0) out vec4 fragColor;
void main() {
    fragColor = v_seen;
}
)";

class AssimpLoaderGLTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        m_vfs = std::make_unique<VFS>("absent.tarn", false);
    }
    void TearDown() override {
        m_vfs.reset();
        GLTest::TearDown();
    }

    Tarn::Test::ScratchFolder m_scratch;
    std::unique_ptr<VFS> m_vfs;
};

// A loaded model feeds position, normal, uv and tangent to locations 0 to 3;
// without texture coordinates, locations 2 and 3 get nothing.
TEST_F(AssimpLoaderGLTest, LoadedMeshFeedsTheSceneLocations) {
    const struct {
        const char* name;
        const char* obj;
        bool hasUv;
    } cases[] = {
        {"with uv",
         "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
         "f 1/1 2/2 3/3 4/4\n",
         true},
        {"without uv", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3 4\n", false},
    };
    Tarn::Shader vertex(Tarn::Shader::VERTEX_SHADER, kSceneVertex);
    Tarn::Shader fragment(Tarn::Shader::FRAGMENT_SHADER, kSeenFragment);
    Tarn::ShaderProgram program("assimp loader test");
    program.set(&vertex);
    program.set(&fragment);
    program.link();
    ASSERT_TRUE(program.linked());
    const int size = 16;
    FrameBuffer frame(size, size);
    Tarn::Texture* target = frame.createRenderTarget(FrameBuffer::RGBA32F);
    ASSERT_NE(target, nullptr);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream("quad.obj", std::ios::binary) << c.obj;
        const std::unique_ptr<Mesh> mesh(AssimpLoader::load("quad.obj"));
        ASSERT_NE(mesh, nullptr);
        frame.enable();
        program.bind();
        mesh->draw();
        program.release();
        frame.disable();

        const Image image = readTexture(target->id());
        int wrong = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const float* p = image.at(x, y);
                const float expected[4] = {c.hasUv ? (x + 0.5f) / size : 0.0f,
                                           c.hasUv ? (y + 0.5f) / size : 0.0f, 1.0f,
                                           c.hasUv ? 1.0f : 0.0f};
                for (int i = 0; i < 4; ++i)
                    if (std::fabs(p[i] - expected[i]) > 1e-5f)
                        ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << "written to "
                            << writePng(image,
                                        std::string("assimploader_") + (c.hasUv ? "uv" : "no_uv"));
    }
}

}  // namespace
