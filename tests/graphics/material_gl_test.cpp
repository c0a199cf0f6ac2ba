// Materials on the GPU: what a material script sets reaches the G-buffer
// program through the texture units and uniforms the G-buffer shader reads,
// every keyword logs its line, bad input is reported and skipped, and apply
// allocates nothing once the program's uniforms are known.

#include "tarn/graphics/material.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "support/allocation_counter.h"
#include "support/fuzz_inputs.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "tarn/cubetexture.h"
#include "tarn/diagnostics.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/fullscreenquad.h"
#include "tarn/graphics/gbuffer.h"
#include "tarn/imagetexture.h"
#include "tarn/shader.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"
#include "tarn/vfs.h"
#include "tarn/videotexture.h"

#define TARN_MATERIAL_FUZZ_NO_MAIN
#include "fuzz/material_fuzz.cpp"

namespace {

namespace fs = std::filesystem;
using Tarn::ShaderProgram;
using Tarn::VFS;
namespace GBuffer = Tarn::Graphics::GBuffer;
using Tarn::Graphics::Material;
using Tarn::Test::GLTest;
using Tarn::Test::Image;

using Rgba = std::array<float, 4>;

const char* const kQuadVertex = R"(#version 330 core
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 uv;
out vec2 v_uv;
void main() {
    v_uv = uv;
    gl_Position = vec4(position, 0.0, 1.0);
}
)";

// Follows the #version line and the G-buffer interface's declarations, and
// reads every uniform a material sets into an output, choosing the diffuse
// and proxy sources as the G-buffer shader does, so the driver keeps them
// all active. "matcap_probe" reads what the material bound on the matcap unit.
const char* const kMaterialFragmentBody = R"(
in vec2 v_uv;
uniform sampler2D matcap_probe;
layout(location = 0) out vec4 diffuseOut;
layout(location = 1) out vec4 normalOut;
layout(location = 2) out vec4 specularOut;
layout(location = 3) out vec4 proxyOut;
layout(location = 4) out vec4 matcapOut;
void main() {
    if (diffuse_is_animated == 1)
        diffuseOut = texture(map_diffuse_anim, vec3(v_uv, max(0.0, diffuse_animation_time)));
    else
        diffuseOut = texture(map_diffuse, v_uv);
    normalOut = vec4(texture(map_normal, v_uv).rgb, self_illum);
    specularOut = vec4(texture(map_specular, v_uv).rg, reflection_value, reflection_fresnel);
    vec2 at = clamp(planereflection_position.xy * planereflection_size
                    + planereflection_position.z + 0.5, 0.0, 1.0);
    vec4 proxy = vec4(0.0);
    if (use_planereflection_proxy == 1)
        proxy = texture(planereflection_map, at);
    else if (use_planereflection_proxy == 2)
        proxy = texture(planereflection_video, vec3(at, diffuse_animation_time));
    proxyOut = vec4(proxy.rgb * planereflection_proxy_factor, float(reflection_type));
    matcapOut = texture(matcap_probe, v_uv);
}
)";

const int kSize = 4;
const int kTargets = 5;

// Each test runs in a fresh folder of its own, its working directory, with
// an archive that serves the loose files written there.
class MaterialGLTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        m_folder = std::make_unique<Tarn::Test::ScratchFolder>();
        m_vfs = std::make_unique<VFS>("absent.tarn", false);
        f_buildProgram();
    }
    void TearDown() override {
        m_frame.reset();
        m_program.reset();
        m_fragment.reset();
        m_vertex.reset();
        m_vfs.reset();
        m_folder.reset();
        GLTest::TearDown();
    }

    // Reads a material script with its log lines swallowed.
    static std::unique_ptr<Material> load(const std::string& path, const std::string& script) {
        writeText(path, script);
        testing::internal::CaptureStdout();
        std::unique_ptr<Material> material(Material::createFromScript(path));
        testing::internal::GetCapturedStdout();
        return material;
    }

    static void writeText(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    // An image of one colour, written as a PNG.
    static void writeImage(const std::string& path, int width, int height,
                           std::array<unsigned char, 4> colour) {
        std::vector<unsigned char> pixels;
        for (int i = 0; i < width * height; ++i)
            pixels.insert(pixels.end(), colour.begin(), colour.end());
        ASSERT_NE(stbi_write_png(path.c_str(), width, height, 4, pixels.data(), 4 * width), 0);
    }

    // A video of `frames` frames of one colour, 10 frames per second.
    static void writeVideo(const std::string& path, std::array<unsigned char, 4> colour,
                           int frames = 1) {
        writeImage(path + ".png", 1, 1, colour);
        std::string script = "size 1 1 " + std::to_string(frames) + "\nfps 10\n";
        for (int i = 0; i < frames; ++i)
            script += "frame " + path + ".png\n";
        writeText(path, script);
    }

    // Applies the material to the test program and draws the quad into the
    // float targets; returns nothing that apply printed.
    std::string draw(Material& material, double time = 0.0) {
        m_frame->enable();
        m_program->bind();
        testing::internal::CaptureStdout();
        material.apply(m_program.get(), time);
        const std::string printed = testing::internal::GetCapturedStdout();
        Tarn::Graphics::FullscreenQuad::draw();
        m_program->release();
        m_frame->disable();
        return printed;
    }

    // Every pixel of the target, which must all be alike.
    Rgba pixel(int target) {
        const Image image = Tarn::Test::readTexture(m_frame->target(target)->id());
        const float* first = image.at(0, 0);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                for (int c = 0; c < 4; ++c)
                    EXPECT_EQ(image.at(x, y)[c], first[c]) << "target " << target;
        return {first[0], first[1], first[2], first[3]};
    }

    int uniformInt(const char* name) {
        GLint value = -12345;
        const GLint location = glGetUniformLocation(m_program->id(), name);
        EXPECT_GE(location, 0) << name;
        glGetUniformiv(m_program->id(), location, &value);
        return value;
    }

    std::vector<float> uniformFloats(const char* name, int count) {
        GLfloat values[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
        const GLint location = glGetUniformLocation(m_program->id(), name);
        EXPECT_GE(location, 0) << name;
        glGetUniformfv(m_program->id(), location, values);
        return std::vector<float>(values, values + count);
    }

    // The texture bound to `target` on a unit; unit 0 is active afterwards.
    static GLuint boundTexture(int unit, GLenum binding) {
        GLint name = 0;
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glGetIntegerv(binding, &name);
        glActiveTexture(GL_TEXTURE0);
        return static_cast<GLuint>(name);
    }

    // Puts the samplers back on units no material uses (4 for 2D, 8 for
    // arrays), so a unit read back was set by apply and no two sampler types
    // ever share a unit, and the other uniforms to values no material sets.
    void presetUniforms() {
        m_program->bind();
        for (const GBuffer::Uniform& uniform : GBuffer::uniforms()) {
            const GLint location = glGetUniformLocation(m_program->id(), uniform.name.c_str());
            const std::string type = uniform.type;
            if (type == "sampler2D")
                glUniform1i(location, 4);
            else if (type == "sampler2DArray")
                glUniform1i(location, 8);
            else if (type == "int")
                glUniform1i(location, -1);
            else if (type == "float")
                glUniform1f(location, -1.0f);
        }
        glUniform1i(glGetUniformLocation(m_program->id(), "matcap_probe"), GBuffer::MatcapUnit);
        m_program->release();
    }

    // Empties every unit a material uses, so a test sees only what it binds.
    static void clearUnits() {
        for (int unit = 0; unit < 8; ++unit) {
            glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
            glBindTexture(GL_TEXTURE_2D, 0);
            glBindTexture(GL_TEXTURE_2D_ARRAY, 0);
            glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        }
        glActiveTexture(GL_TEXTURE0);
    }

    std::unique_ptr<ShaderProgram> m_program;
    std::unique_ptr<Tarn::FrameBuffer> m_frame;
    std::unique_ptr<VFS> m_vfs;

private:
    void f_buildProgram() {
        m_vertex = std::make_unique<Tarn::Shader>(Tarn::Shader::VERTEX_SHADER, kQuadVertex);
        m_fragment = std::make_unique<Tarn::Shader>(
            Tarn::Shader::FRAGMENT_SHADER,
            "#version 330 core\n" + GBuffer::glslDeclarations() + kMaterialFragmentBody);
        m_program = std::make_unique<ShaderProgram>("material test");
        m_program->set(m_vertex.get());
        m_program->set(m_fragment.get());
        m_program->link();
        ASSERT_TRUE(m_program->linked());
        presetUniforms();

        m_frame = std::make_unique<Tarn::FrameBuffer>(kSize, kSize);
        for (int i = 0; i < kTargets; ++i)
            ASSERT_NE(m_frame->createRenderTarget(Tarn::FrameBuffer::RGBA32F), nullptr);
    }

    std::unique_ptr<Tarn::Test::ScratchFolder> m_folder;
    std::unique_ptr<Tarn::Shader> m_vertex;
    std::unique_ptr<Tarn::Shader> m_fragment;
};

void expectNear(const Rgba& actual, const Rgba& expected, const char* what) {
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(actual[c], expected[c], 1e-6f) << what << " channel " << c;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        out.push_back(line);
    return out;
}

// The script's numbers become bytes of the 1x1 default textures (c x 255,
// truncated), which the shader samples where no map is given.
TEST_F(MaterialGLTest, ScriptValuesReachTheDefaultTextures) {
    const float b127 = 127.0f / 255.0f;
    const struct {
        const char* name;
        const char* script;
        Material::Texel diffuseBytes;
        Material::Texel specularBytes;
        Rgba diffuse;
        Rgba specular;  // r, g sampled; reflection value and fresnel
        float selfIllum;
    } cases[] = {
        {"no keyword",
         "",
         {255, 127, 0},
         {255, 64, 0},
         {1.0f, b127, 0.0f, 1.0f},
         {1.0f, 64.0f / 255.0f, 0.0f, 0.0f},
         0.0f},
        {"red",
         "diffuse 1 0 0\n",
         {255, 0, 0},
         {255, 64, 0},
         {1.0f, 0.0f, 0.0f, 1.0f},
         {1.0f, 64.0f / 255.0f, 0.0f, 0.0f},
         0.0f},
        {"half grey",
         "diffuse 0.5 0.5 0.5\n",
         {127, 127, 127},
         {255, 64, 0},
         {b127, b127, b127, 1.0f},
         {1.0f, 64.0f / 255.0f, 0.0f, 0.0f},
         0.0f},
        {"a word that is no number skips the line",
         "diffuse 1e0 green 0.2\n",
         {255, 127, 0},
         {255, 64, 0},
         {1.0f, b127, 0.0f, 1.0f},
         {1.0f, 64.0f / 255.0f, 0.0f, 0.0f},
         0.0f},
        {"specular",
         "specular 0.5 1\n",
         {255, 127, 0},
         {127, 255, 0},
         {1.0f, b127, 0.0f, 1.0f},
         {b127, 1.0f, 0.0f, 0.0f},
         0.0f},
        {"later line wins",
         "diffuse 0 0 1\nself_illum 0.25\ndiffuse 0 1 0\n",
         {0, 255, 0},
         {255, 64, 0},
         {0.0f, 1.0f, 0.0f, 1.0f},
         {1.0f, 64.0f / 255.0f, 0.0f, 0.0f},
         0.25f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clearUnits();
        presetUniforms();
        const std::unique_ptr<Material> material = load("m.mat", c.script);
        EXPECT_EQ(material->diffuseValue(), c.diffuseBytes);
        EXPECT_EQ(material->normalValue(), (Material::Texel{127, 127, 255}));
        EXPECT_EQ(material->specularValue(), c.specularBytes);

        EXPECT_EQ(draw(*material), "");
        EXPECT_EQ(uniformInt("diffuse_is_animated"), 0);
        EXPECT_EQ(uniformInt("map_diffuse"), 0);
        EXPECT_EQ(uniformInt("map_normal"), 1);
        EXPECT_EQ(uniformInt("map_specular"), 2);
        EXPECT_EQ(boundTexture(0, GL_TEXTURE_BINDING_2D), material->defaultDiffuseId());
        EXPECT_EQ(boundTexture(1, GL_TEXTURE_BINDING_2D), material->defaultNormalId());
        EXPECT_EQ(boundTexture(2, GL_TEXTURE_BINDING_2D), material->defaultSpecularId());
        expectNear(pixel(0), c.diffuse, "diffuse");
        expectNear(pixel(1), {b127, b127, 1.0f, c.selfIllum}, "normal");
        expectNear(pixel(2), c.specular, "specular");

        // The specular texel keeps its third byte, 0.
        const Image specular = Tarn::Test::readTexture(material->defaultSpecularId());
        ASSERT_EQ(specular.width, 1);
        EXPECT_EQ(specular.at(0, 0)[2], 0.0f);
    }
}

// Setters mark the default textures for upload, which happens at the next
// apply, not before.
TEST_F(MaterialGLTest, SettersUploadAtTheNextApply) {
    Material material;
    material.setDiffuseColor(glm::vec3(0.0f, 0.0f, 1.0f));
    const Image before = Tarn::Test::readTexture(material.defaultDiffuseId());
    EXPECT_EQ(before.at(0, 0)[2], 0.0f);
    EXPECT_EQ(draw(material), "");
    const Image after = Tarn::Test::readTexture(material.defaultDiffuseId());
    EXPECT_EQ(after.at(0, 0)[0], 0.0f);
    EXPECT_EQ(after.at(0, 0)[2], 1.0f);
    expectNear(pixel(0), {0.0f, 0.0f, 1.0f, 1.0f}, "diffuse");
}

// Maps named by the script replace the default textures on their units.
TEST_F(MaterialGLTest, MapsReplaceTheDefaults) {
    writeImage("d.png", 2, 2, {0, 255, 0, 255});
    writeImage("n.png", 2, 2, {0, 0, 255, 255});
    writeImage("s.png", 2, 2, {51, 102, 0, 255});
    const std::unique_ptr<Material> material =
        load("m.mat", "diffuse_map d.png\nnormal_map n.png\nspecular_map s.png\n");
    ASSERT_NE(material->diffuseMap(), nullptr);
    ASSERT_NE(material->normalMap(), nullptr);
    ASSERT_NE(material->specularMap(), nullptr);
    clearUnits();
    EXPECT_EQ(draw(*material), "");
    EXPECT_EQ(boundTexture(0, GL_TEXTURE_BINDING_2D), material->diffuseMap()->id());
    EXPECT_EQ(boundTexture(1, GL_TEXTURE_BINDING_2D), material->normalMap()->id());
    EXPECT_EQ(boundTexture(2, GL_TEXTURE_BINDING_2D), material->specularMap()->id());
    expectNear(pixel(0), {0.0f, 1.0f, 0.0f, 1.0f}, "diffuse");
    expectNear(pixel(1), {0.0f, 0.0f, 1.0f, 0.0f}, "normal");
    expectNear(pixel(2), {0.2f, 0.4f, 0.0f, 0.0f}, "specular");
}

// A map the script made is freed once something replaces it: a setter, or a
// later line of the script for the same map.
TEST_F(MaterialGLTest, ReplacedScriptMapsAreFreed) {
    writeImage("i.png", 1, 1, {0, 255, 0, 255});
    writeImage("cross.png", 4, 3, {255, 255, 255, 255});
    Tarn::ImageTexture other(nullptr, 1, 1);
    const struct {
        const char* script;
        Tarn::Texture* (Material::*map)() const;
        void (*replace)(Material&, Tarn::Texture*);
    } cases[] = {
        {"diffuse_map i.png\n", &Material::diffuseMap,
         [](Material& m, Tarn::Texture* t) { m.setDiffuseMap(t); }},
        {"normal_map i.png\n", &Material::normalMap,
         [](Material& m, Tarn::Texture* t) { m.setNormalMap(t); }},
        {"specular_map i.png\n", &Material::specularMap,
         [](Material& m, Tarn::Texture* t) { m.setSpecularMap(t); }},
        {"reflection_type cubemap\nreflection_map cross.png\n", &Material::reflectionMap,
         [](Material& m, Tarn::Texture* t) { m.setReflectionMap(t); }},
        {"proxy_map i.png 0 0 0 0 0 1 1 1 1\n", &Material::proxy,
         [](Material& m, Tarn::Texture* t) { m.setPlaneProxy(t, {}, {}, {}, 1.0f, false); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const std::unique_ptr<Material> material = load("m.mat", c.script);
        Tarn::Texture* made = ((*material).*c.map)();
        ASSERT_NE(made, nullptr);
        const GLuint name = made->id();
        EXPECT_EQ(glIsTexture(name), GL_TRUE);
        c.replace(*material, &other);
        EXPECT_EQ(((*material).*c.map)(), &other);
        EXPECT_EQ(glIsTexture(name), GL_FALSE);
        c.replace(*material, nullptr);  // not the material's: left alone
        EXPECT_EQ(glIsTexture(other.id()), GL_TRUE);
    }
}

// A diffuse video goes to unit 5 with the frame due at the demo time; unit 0
// and "map_diffuse" are left alone. A later diffuse_map line makes it still.
TEST_F(MaterialGLTest, DiffuseVideoUsesUnitFiveAndTheFrameTime) {
    writeVideo("v.tarn", {0, 0, 255, 255}, 4);
    writeImage("d.png", 1, 1, {0, 255, 0, 255});
    const std::unique_ptr<Material> video = load("v.mat", "diffuse_video v.tarn\n");
    auto* texture = dynamic_cast<Tarn::VideoTexture*>(video->diffuseMap());
    ASSERT_NE(texture, nullptr);
    EXPECT_TRUE(video->diffuseIsAnimated());
    // 10 frames per second over 4 frames: 2.5 at 0.25 s; 9 at 0.9 s, which
    // wraps to 1 when looping and holds the last frame, 3, otherwise.
    const struct {
        double time;
        bool loops;
        float frame;
    } cases[] = {{0.25, true, 2.5f}, {0.9, true, 1.0f}, {0.9, false, 3.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        texture->setLoops(c.loops);
        clearUnits();
        presetUniforms();
        EXPECT_EQ(draw(*video, c.time), "");
        EXPECT_EQ(uniformInt("diffuse_is_animated"), 1);
        EXPECT_EQ(uniformInt("map_diffuse_anim"), 5);
        EXPECT_EQ(uniformInt("map_diffuse"), 4);
        const std::vector<float> frame = uniformFloats("diffuse_animation_time", 1);
        EXPECT_NEAR(frame[0], c.frame, 1e-4f);
        EXPECT_EQ(boundTexture(5, GL_TEXTURE_BINDING_2D_ARRAY), texture->id());
        EXPECT_EQ(boundTexture(0, GL_TEXTURE_BINDING_2D), 0u);
        expectNear(pixel(0), {0.0f, 0.0f, 1.0f, 1.0f}, "diffuse");
    }

    const std::unique_ptr<Material> still =
        load("s.mat", "diffuse_video v.tarn\ndiffuse_map d.png\n");
    EXPECT_FALSE(still->diffuseIsAnimated());
    EXPECT_EQ(draw(*still), "");
    EXPECT_EQ(uniformInt("diffuse_is_animated"), 0);
    expectNear(pixel(0), {0.0f, 1.0f, 0.0f, 1.0f}, "diffuse");
}

// reflection_map makes the kind of texture the type in force at its line
// asks for: nothing before a type line, an image for matcap (bound on unit
// 3), a cube map for cubemap (bound nowhere). Other words leave the type.
TEST_F(MaterialGLTest, ReflectionMapFollowsTheTypeInForce) {
    writeImage("m.png", 2, 2, {255, 0, 255, 255});
    writeImage("cross.png", 4, 3, {0, 255, 255, 255});
    const char* const values = "reflection_value 0.75\nreflection_fresnel 0.5\n";
    enum Kind { None, Image2D, Cube };
    const struct {
        const char* name;
        const char* script;
        int type;
        Kind map;
        bool matcapBound;
    } cases[] = {
        {"map before type", "reflection_map m.png\nreflection_type matcap\n", 2, None, false},
        {"matcap", "reflection_type matcap\nreflection_map m.png\n", 2, Image2D, true},
        {"cube map", "reflection_type cubemap\nreflection_map cross.png\n", 1, Cube, false},
        {"none", "reflection_type none\nreflection_map m.png\n", 0, None, false},
        {"unknown word keeps the type",
         "reflection_type matcap\nreflection_type glossy\nreflection_map m.png\n", 2, Image2D,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<Material> material = load("m.mat", std::string(c.script) + values);
        EXPECT_EQ(material->reflectionType(), c.type);
        Tarn::Texture* map = material->reflectionMap();
        EXPECT_EQ(map != nullptr, c.map != None);
        EXPECT_EQ(dynamic_cast<Tarn::CubeTexture*>(map) != nullptr, c.map == Cube);
        EXPECT_EQ(dynamic_cast<Tarn::ImageTexture*>(map) != nullptr, c.map == Image2D);

        clearUnits();
        presetUniforms();
        EXPECT_EQ(draw(*material), "");
        EXPECT_EQ(uniformInt("reflection_type"), c.type);
        const float strength = c.type == 0 ? 0.0f : 0.75f;
        const float fresnel = c.type == 0 ? 0.0f : 0.5f;
        EXPECT_EQ(uniformFloats("reflection_value", 1), std::vector<float>{strength});
        EXPECT_EQ(uniformFloats("reflection_fresnel", 1), std::vector<float>{fresnel});
        EXPECT_EQ(boundTexture(3, GL_TEXTURE_BINDING_2D), c.matcapBound ? map->id() : 0u);
        EXPECT_EQ(boundTexture(3, GL_TEXTURE_BINDING_CUBE_MAP), 0u);
        if (c.matcapBound)
            expectNear(pixel(4), {1.0f, 0.0f, 1.0f, 1.0f}, "matcap");
    }
}

// A still proxy switches the shader to 1 and unit 6, a video proxy to 2 and
// unit 7; a material without one writes 0 at every apply, whatever the
// material before it set.
TEST_F(MaterialGLTest, ProxySwitchAndUnitsAtEveryApply) {
    writeImage("p.png", 2, 2, {255, 255, 0, 255});
    writeVideo("pv.tarn", {0, 255, 255, 255});
    const std::string fields = " 0.1 0.2 0.3 0 0 1 2 3 0.5\n";
    const std::unique_ptr<Material> still = load("still.mat", "proxy_map p.png" + fields);
    const std::unique_ptr<Material> video = load("video.mat", "proxy_video pv.tarn" + fields);
    const std::unique_ptr<Material> plain = load("plain.mat", "diffuse 1 1 1\n");
    ASSERT_TRUE(still->usesProxy());
    EXPECT_FALSE(still->proxyIsVideo());
    EXPECT_EQ(still->proxyNormal(), glm::vec3(0.0f, 0.0f, 1.0f));
    ASSERT_TRUE(video->usesProxy());
    EXPECT_TRUE(video->proxyIsVideo());
    EXPECT_FALSE(plain->usesProxy());

    const struct {
        const char* name;
        Material* material;
        int use;
        int unit;
        GLenum binding;
        const char* sampler;
        Rgba proxy;  // rgb x factor, reflection type
    } sequence[] = {
        {"still",
         still.get(),
         1,
         6,
         GL_TEXTURE_BINDING_2D,
         "planereflection_map",
         {0.5f, 0.5f, 0.0f, 0.0f}},
        {"none after still", plain.get(), 0, -1, 0, nullptr, {0.0f, 0.0f, 0.0f, 0.0f}},
        {"video",
         video.get(),
         2,
         7,
         GL_TEXTURE_BINDING_2D_ARRAY,
         "planereflection_video",
         {0.0f, 0.5f, 0.5f, 0.0f}},
        {"none after video", plain.get(), 0, -1, 0, nullptr, {0.0f, 0.0f, 0.0f, 0.0f}},
        {"none again", plain.get(), 0, -1, 0, nullptr, {0.0f, 0.0f, 0.0f, 0.0f}},
    };
    for (const auto& s : sequence) {
        SCOPED_TRACE(s.name);
        clearUnits();
        EXPECT_EQ(draw(*s.material), "");
        EXPECT_EQ(uniformInt("use_planereflection_proxy"), s.use);
        expectNear(pixel(3), s.proxy, "proxy");
        if (s.use == 0)
            continue;
        EXPECT_EQ(uniformInt(s.sampler), s.unit);
        EXPECT_EQ(boundTexture(s.unit, s.binding), s.material->proxy()->id());
        EXPECT_EQ(uniformFloats("planereflection_proxy_factor", 1), std::vector<float>{0.5f});
        EXPECT_EQ(uniformFloats("planereflection_position", 3),
                  (std::vector<float>{0.1f, 0.2f, 0.3f}));
        EXPECT_EQ(uniformFloats("planereflection_size", 2), (std::vector<float>{2.0f, 3.0f}));
    }
}

// Each keyword logs its line, the arguments as written, before acting.
TEST_F(MaterialGLTest, EveryKeywordLogsItsLine) {
    writeImage("i.png", 1, 1, {255, 255, 255, 255});
    writeImage("cross.png", 4, 3, {255, 255, 255, 255});
    writeVideo("v.tarn", {255, 255, 255, 255});
    const struct {
        const char* line;
        const char* logged;
    } cases[] = {
        {"diffuse 1 0.5 0", "[Material]     Setting diffuse color: 1, 0.5, 0"},
        {"diffuse 1e0 0.25 .5", "[Material]     Setting diffuse color: 1e0, 0.25, .5"},
        {"diffuse_map i.png", "[Material]     Setting diffuse map: i.png"},
        {"diffuse_video v.tarn", "[Material]     Setting diffuse video map: v.tarn"},
        {"normal_map i.png", "[Material]     Setting normal map: i.png"},
        {"specular 0.5 1", "[Material]     Setting specular value: 0.5, 1"},
        {"specular_map i.png", "[Material]     Setting specular map: i.png"},
        {"self_illum 0.3", "[Material]     Setting self-illumination: 0.3"},
        {"reflection_type matcap", "[Material]     Setting reflection type: matcap"},
        {"reflection_value 0.7", "[Material]     Setting reflection value: 0.7"},
        {"reflection_fresnel 0.2", "[Material]     Setting reflection fresnel factor: 0.2"},
        {"refraction_value 1.5", "[Material]     Setting refraction value: 1.5"},
        {"reflection_map i.png", "[Material]     Setting reflection map: i.png"},
        {"proxy_map i.png 1 2 3 0 1 0 4 5 0.5",
         "[Material]     Setting plane reflection proxy map: i.png"},
        {"proxy_video v.tarn 1 2 3 0 1 0 4 5 0.5",
         "[Material]     Setting plane reflection proxy video: v.tarn"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        writeText("m.mat", std::string(c.line) + "\n");
        testing::internal::CaptureStdout();
        const std::unique_ptr<Material> material(Material::createFromScript("m.mat"));
        const std::vector<std::string> printed = lines(testing::internal::GetCapturedStdout());
        ASSERT_GE(printed.size(), 2u);
        EXPECT_EQ(printed[0], "[Material] Creating from m.mat");
        EXPECT_EQ(printed[1], c.logged);
        // The only other lines are the video loader's own.
        for (std::size_t i = 2; i < printed.size(); ++i)
            EXPECT_EQ(printed[i].rfind("[VideoTexture] ", 0), 0u) << printed[i];
    }
}

// A line with too few arguments logs its line, is reported with the script
// and line number, and changes nothing; so does a line that no keyword takes
// (without a log line). The lines around them still apply.
TEST_F(MaterialGLTest, ShortLinesAreReportedAndSkipped) {
    const struct {
        const char* line;
        const char* logged;
        const char* report;
    } cases[] = {
        {"diffuse 1 0", "[Material]     Setting diffuse color: 1, 0",
         "[Material] m.mat:2: diffuse needs 3 arguments, has 2; line skipped"},
        {"specular 0.5", "[Material]     Setting specular value: 0.5",
         "[Material] m.mat:2: specular needs 2 arguments, has 1; line skipped"},
        {"diffuse_map", "[Material]     Setting diffuse map: ",
         "[Material] m.mat:2: diffuse_map needs 1 argument, has 0; line skipped"},
        {"reflection_type", "[Material]     Setting reflection type: ",
         "[Material] m.mat:2: reflection_type needs 1 argument, has 0; line skipped"},
        {"proxy_map p.png 1 2 3", "[Material]     Setting plane reflection proxy map: p.png",
         "[Material] m.mat:2: proxy_map needs 10 arguments, has 4; line skipped"},
        {"proxy_video", "[Material]     Setting plane reflection proxy video: ",
         "[Material] m.mat:2: proxy_video needs 10 arguments, has 0; line skipped"},
        {"difuse 1 0 0", "",
         "[Material] m.mat:2: unknown keyword \"difuse\"; did you mean \"diffuse\"?; "
         "line ignored"},
        {"reflection_type shiny", "[Material]     Setting reflection type: shiny",
         "[Material] m.mat:2: unknown reflection type \"shiny\"; line ignored"},
        {"diffuse 1 O 0", "[Material]     Setting diffuse color: 1, O, 0",
         "[Material] m.mat:2: diffuse: \"O\" is not a number; line skipped"},
        {"proxy_map p.png 1 2 3 0 1 0 1 1 nan",
         "[Material]     Setting plane reflection proxy map: p.png",
         "[Material] m.mat:2: proxy_map: \"nan\" is not a number; line skipped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        writeText("m.mat", std::string("self_illum 0.5\n") + c.line + "\nrefraction_value 2\n");
        testing::internal::CaptureStdout();
        const std::unique_ptr<Material> material(Material::createFromScript("m.mat"));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string("[Material] Creating from m.mat\n"
                              "[Material]     Setting self-illumination: 0.5\n") +
                      (*c.logged ? c.logged + std::string("\n") : "") + c.report +
                      "\n[Material]     Setting refraction value: 2\n");
        EXPECT_EQ(material->selfIllum(), 0.5f);
        EXPECT_EQ(material->refractionValue(), 2.0f);
        EXPECT_EQ(material->diffuseValue(), (Material::Texel{255, 127, 0}));
        EXPECT_EQ(material->specularValue(), (Material::Texel{255, 64, 0}));
        EXPECT_EQ(material->diffuseMap(), nullptr);
        EXPECT_EQ(material->reflectionType(), Material::RT_NONE);
        EXPECT_FALSE(material->usesProxy());
    }
}

// A map whose file gives nothing is a problem at the material line naming
// it, after the reader's reason placed there; a video's frame is placed at
// the video's line.
TEST_F(MaterialGLTest, MissingMapsAreReportedAtTheirLine) {
    writeText("v.tarn", "size 1 1 1\nframe gone.png\n");
    const std::string gone = " not found in archive nor in real FS.";
    const struct {
        const char* script;
        std::vector<std::string> problems;
    } cases[] = {
        {"diffuse 1 1 1\ndiffuse_map gone.png\n",
         {"m.mat:2: File gone.png" + gone,
          "m.mat:2: diffuse_map gone.png gave no image; the magenta placeholder is used"}},
        {"proxy_video gone.tarn 0 0 0 0 0 1 1 1 1\n",
         {"m.mat:1: File gone.tarn" + gone,
          "m.mat:1: proxy_video gone.tarn gave no frames; the video draws black"}},
        {"diffuse_video v.tarn\n", {"v.tarn:2: File gone.png" + gone}},
    };
    for (const auto& c : cases) {
        writeText("m.mat", c.script);
        Tarn::Diagnostics::ProblemList problems(false);
        const Tarn::Diagnostics::ScopedCollector collect(problems);
        const std::unique_ptr<Material> material(Material::createFromScript("m.mat"));
        EXPECT_EQ(problems.lines(), c.problems) << c.script;
    }
}

// A missing script gives the default material, after the archive's line,
// as does a script with no archive to read it through; a null program is
// refused without touching GL.
TEST_F(MaterialGLTest, MissingScriptGivesTheDefaultMaterial) {
    testing::internal::CaptureStdout();
    const std::unique_ptr<Material> material(Material::createFromScript("absent.mat"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Material] Creating from absent.mat\n"
              "[VFS] File absent.mat not found in archive nor in real FS.\n");
    ASSERT_NE(material, nullptr);
    clearUnits();
    EXPECT_EQ(draw(*material), "");
    expectNear(pixel(0), {1.0f, 127.0f / 255.0f, 0.0f, 1.0f}, "diffuse");
    EXPECT_EQ(uniformInt("use_planereflection_proxy"), 0);

    testing::internal::CaptureStdout();
    material->apply(nullptr, 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Material] apply needs a program\n");

    writeText("m.mat", "diffuse 1 0 0\n");
    m_vfs.reset();
    testing::internal::CaptureStdout();
    const std::unique_ptr<Material> unread(Material::createFromScript("m.mat"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Material] Creating from m.mat\n"
                                                      "[Material] No archive to read m.mat from\n");
    EXPECT_EQ(unread->diffuseValue(), (Material::Texel{255, 127, 0}));
}

// Once the program knows its uniforms, apply makes no heap allocation,
// whatever the material holds, including re-uploads of dirty defaults.
TEST_F(MaterialGLTest, ApplyAllocatesNothingInSteadyState) {
    writeImage("i.png", 2, 2, {255, 255, 255, 255});
    writeVideo("v.tarn", {255, 255, 255, 255});
    const std::string fields = " 0.1 0.2 0.3 0 0 1 2 3 0.5\n";
    std::vector<std::unique_ptr<Material>> materials;
    materials.push_back(load("a.mat", ""));
    materials.push_back(load("b.mat", "diffuse_map i.png\nnormal_map i.png\nspecular_map i.png\n"
                                      "reflection_type matcap\nreflection_map i.png\n"
                                      "proxy_map i.png" +
                                          fields));
    materials.push_back(load("c.mat", "diffuse_video v.tarn\nreflection_type cubemap\n"
                                      "proxy_video v.tarn" +
                                          fields));
    m_program->bind();
    // The first apply looks every uniform up once.
    for (auto& material : materials)
        material->apply(m_program.get(), 0.0);

    const long before = Tarn::Test::allocationCount();
    for (int frame = 0; frame < 100; ++frame) {
        materials[0]->setDiffuseColor(glm::vec3(frame / 100.0f, 0.0f, 0.0f));
        for (auto& material : materials)
            material->apply(m_program.get(), frame / 60.0);
    }
    const long allocations = Tarn::Test::allocationCount() - before;
    m_program->release();
    EXPECT_EQ(allocations, 0);
}

// Scripts that once broke building or drawing with a material go through
// the fuzz target's steps again.
TEST_F(MaterialGLTest, SavedFuzzInputs) {
    Tarn::Graphics::Renderer renderer(16, 16);
    const auto mesh = Tarn::Fuzz::triangle();
    const auto inputs = Tarn::Test::fuzzRegressionInputs("material_fuzz");
    ASSERT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStdout();
        renderMaterialScript(bytes, "m.mat", renderer, *mesh);
        testing::internal::GetCapturedStdout();
    }
}

}  // namespace
