#include "tarn/graphics/renderer.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "graphics/two_pass_lights.h"
#include "support/gl_test.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/camera.h"
#include "tarn/graphics/gbuffer.h"
#include "tarn/graphics/light.h"
#include "tarn/graphics/material.h"
#include "tarn/graphics/mesh.h"
#include "tarn/imagetexture.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"
#include "tarn/vertexbuffer.h"
#include "tarn/videotexture.h"

namespace {

using glm::mat4;
using glm::vec2;
using glm::vec3;
using glm::vec4;
using Tarn::FrameBuffer;
using Tarn::ShaderProgram;
namespace GBuffer = Tarn::Graphics::GBuffer;
using Tarn::Graphics::Camera;
using Tarn::Graphics::Light;
using Tarn::Graphics::Renderer;
using Tarn::Test::GLTest;
using Tarn::Test::Image;
using Tarn::Test::readTexture;
using Tarn::Test::writePng;

const int kSize = 16;

// Albedo and material masks that differ from pixel to pixel, uploaded
// straight into G-buffer targets 0 and 1.
std::vector<vec4> albedoTexels() {
    std::vector<vec4> texels;
    for (int i = 0; i < kSize * kSize; ++i)
        texels.emplace_back((i % 7) / 7.0f, (i % 5) / 4.0f, (i % 11) / 10.0f, 0.5f);
    return texels;
}

std::vector<vec4> maskTexels() {
    std::vector<vec4> masks;
    for (int i = 0; i < kSize * kSize; ++i)
        masks.emplace_back(0.0f, 0.0f, (i % 3) * 0.25f, (i % 4) * 0.125f);
    return masks;
}

void upload(Tarn::Texture* target, const std::vector<vec4>& texels) {
    glBindTexture(GL_TEXTURE_2D, target->id());
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kSize, kSize, GL_RGBA, GL_FLOAT, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}

void fillGBuffer(Renderer& renderer) {
    upload(renderer.gBuffer()->target(0), albedoTexels());
    upload(renderer.gBuffer()->target(1), maskTexels());
}

Image output(Renderer& renderer) {
    return readTexture(renderer.renderOutput()->target(0)->id());
}

// Largest difference between the output's rgb and the sum of ambient
// lights of the given colours, A (c (1 - m) + m) with m = s + r_f each,
// and whether every alpha is 1.
struct Comparison {
    float largestError = 0.0f;
    bool opaque = true;
};

Comparison compareWithAmbientSum(const Image& image, const std::vector<vec3>& colors) {
    const std::vector<vec4> albedo = albedoTexels();
    const std::vector<vec4> masks = maskTexels();
    Comparison result;
    for (int i = 0; i < kSize * kSize; ++i) {
        const float m = masks[i].z + masks[i].w;
        vec3 expected(0.0f);
        for (const vec3& c : colors)
            expected += vec3(albedo[i]) * (c * (1.0f - m) + m);
        const float* p = &image.rgba[4 * i];
        for (int k = 0; k < 3; ++k)
            result.largestError = std::max(result.largestError, std::fabs(p[k] - expected[k]));
        result.opaque = result.opaque && p[3] == 1.0f;
    }
    return result;
}

using RendererGLTest = GLTest;

// Lights are summed in float, pushed once per frame, drawn once each
// however often pushed, into one buffer whatever their count.
TEST_F(RendererGLTest, SumsEachPushedLightOnceIntoOneBuffer) {
    Renderer renderer(kSize, kSize);
    fillGBuffer(renderer);
    Light white(Light::LT_AMBIENT), half(Light::LT_AMBIENT), bright(Light::LT_AMBIENT);
    half.setColor(vec3(0.5f));
    bright.setColor(vec3(2.0f, 3.0f, 4.0f));
    const vec3 cWhite(1.0f), cHalf(0.5f), cBright(2.0f, 3.0f, 4.0f);

    struct Frame {
        const char* name;
        std::vector<Light*> pushes;
        std::vector<vec3> drawn;  // colours of the lights that must be summed
    };
    const Frame frames[] = {
        {"no lights", {}, {}},
        {"one white ambient", {&white}, {cWhite}},
        {"pushed twice", {&half, &half}, {cHalf}},
        {"three, sum above 1", {&white, &bright, &half}, {cWhite, cBright, cHalf}},
        {"two", {&bright, &half}, {cBright, cHalf}},
        {"nothing pushed after a lit frame", {}, {}},
        {"repeats among others", {&half, &white, &half, &half, &white}, {cHalf, cWhite}},
    };
    FrameBuffer* const sum = renderer.renderOutput();
    for (const Frame& frame : frames) {
        SCOPED_TRACE(frame.name);
        for (Light* light : frame.pushes)
            renderer.pushLight(light);
        FrameBuffer* result = renderer.renderSecondPass();
        EXPECT_EQ(result, renderer.renderOutput());
        EXPECT_TRUE(renderer.lights().empty());
        EXPECT_EQ(result, sum);
        const Image image = output(renderer);
        const Comparison comparison = compareWithAmbientSum(image, frame.drawn);
        EXPECT_LT(comparison.largestError, 1e-5f)
            << "written to " << writePng(image, "renderer_sum");
        EXPECT_TRUE(comparison.opaque);
    }
}

// Each light is added to the sum by blending, in one pass, where it was
// shaded into a buffer of its own and then added by a second pass: the same
// float additions in the same order, so the same sum bit for bit. 24 lights
// of every type, colours from 1e-3 to 7, over a G-buffer whose albedo,
// normals, masks and positions differ from pixel to pixel.
TEST_F(RendererGLTest, BlendedLightsSumAsTheTwoPassMergeDid) {
    Renderer renderer(kSize, kSize);
    Camera camera;
    camera.setPosition(vec3(3.0f, 1.0f, 4.0f));
    camera.setTarget(vec3(0.0f));
    renderer.setCamera(&camera);
    std::vector<vec4> normals, positions;
    for (int i = 0; i < kSize * kSize; ++i) {
        const float x = static_cast<float>(i % kSize), y = static_cast<float>(i / kSize);
        normals.emplace_back(0.05f * x - 0.4f, 0.3f - 0.04f * y, (i % 3) * 0.25f, (i % 4) * 0.125f);
        positions.emplace_back(0.3f * x - 2.0f, 1.5f - 0.2f * y, -1.0f - 0.1f * (i % 13),
                               (i % 9) / 8.0f);
    }
    fillGBuffer(renderer);
    upload(renderer.gBuffer()->target(1), normals);
    upload(renderer.gBuffer()->target(2), positions);
    std::vector<std::unique_ptr<Light>> owned;
    std::vector<Light*> lights;
    for (int i = 0; i < 24; ++i) {
        auto light = std::make_unique<Light>(static_cast<Light::LightType>(i % 5));
        const float angle = 0.9f * static_cast<float>(i);
        light->setPosition(vec3(3.0f * std::cos(angle), 1.0f + 0.1f * i, 3.0f * std::sin(angle)));
        light->setDirection(vec3(std::sin(angle), -1.0f, 0.3f * std::cos(angle)));
        light->setTangent(vec3(1.0f, 0.0f, 0.0f));
        light->setSize(vec2(0.5f, 0.25f));
        light->setRadius(2.0f + 0.25f * i);
        light->setCutoffAngle(0.6f);
        light->setCutoffSmoothness(0.2f);
        const float scale = i % 4 == 0 ? 1e-3f : (i % 4 == 1 ? 7.0f : 0.37f);
        light->setColor(scale * vec3(1.0f, 0.1f * (i % 7) + 0.3f, 1.0f / (1.0f + i)));
        lights.push_back(light.get());
        owned.push_back(std::move(light));
    }
    Tarn::Test::TwoPassLights twoPass(kSize, kSize);
    const Image expected = readTexture(twoPass.run(renderer, lights)->target(0)->id());
    for (Light* light : lights)
        renderer.pushLight(light);
    const Image image = readTexture(renderer.renderSecondPass()->target(0)->id());
    EXPECT_EQ(image.rgba, expected.rgba) << "written to " << writePng(image, "blended_lights");
    float brightest = 0.0f;
    for (float value : expected.rgba)
        brightest = std::max(brightest, value);
    EXPECT_GT(brightest, 1.0f) << "the lights must reach the surfaces for the test to mean anything";
}

TEST_F(RendererGLTest, PushLightKeepsOrderAndIgnoresRepeatsAndNull) {
    Renderer renderer(4, 4);
    Light a(Light::LT_AMBIENT), b(Light::LT_POINT), c(Light::LT_SPOT);
    for (Light* light : {&a, &b, &a, static_cast<Light*>(nullptr), &c, &b})
        renderer.pushLight(light);
    EXPECT_EQ(renderer.lights(), (std::vector<Light*>{&a, &b, &c}));
}

// The renderer hands the light programs the camera's current view, so a
// directional light falls on the G-buffer as seen from that camera.
TEST_F(RendererGLTest, LightPassesUseTheCameraView) {
    Renderer renderer(kSize, kSize);
    Camera camera;
    camera.setPosition(vec3(3.0f, 1.0f, 4.0f));
    camera.setTarget(vec3(0.0f));
    renderer.setCamera(&camera);
    upload(renderer.gBuffer()->target(0),
           std::vector<vec4>(kSize * kSize, vec4(0.5f, 1.0f, 0.25f, 0.0f)));
    // View-space normal (0, 0, 1) everywhere (the rebuilt z of (0, 0) is 1).
    upload(renderer.gBuffer()->target(1), std::vector<vec4>(kSize * kSize, vec4(0.0f)));
    upload(renderer.gBuffer()->target(2),
           std::vector<vec4>(kSize * kSize, vec4(0.0f, 0.0f, -2.0f, 0.1f)));
    Light sun(Light::LT_DIRECTIONAL);
    const vec3 direction(-1.0f, -2.0f, 0.5f);
    sun.setDirection(direction);
    renderer.pushLight(&sun);
    renderer.renderSecondPass();

    float view[16] = {};
    glGetUniformfv(sun.shader()->id(), glGetUniformLocation(sun.shader()->id(), "view"), view);
    EXPECT_EQ(glm::make_mat4(view), camera.viewMatrix());
    const vec3 L =
        -glm::normalize(vec3(camera.viewMatrix() * vec4(glm::normalize(direction), 0.0f)));
    const float d = std::max(0.0f, L.z);
    ASSERT_GT(d, 0.1f) << "the light must reach the surface for the test to mean anything";
    const Image image = output(renderer);
    const float* p = image.at(5, 9);
    EXPECT_NEAR(p[0], 0.5f * d, 1e-4f);
    EXPECT_NEAR(p[1], 1.0f * d, 1e-4f);
    EXPECT_NEAR(p[2], 0.25f * d, 1e-4f);
}

// A quad in the plane z = z0 spanning [x0, x1] x [-8, 8], facing +z,
// tangent along +x (or, as imported without texture coordinates, with
// neither uv nor tangent).
std::unique_ptr<Tarn::Graphics::Mesh> makeQuad(float x0, float x1, float z0,
                                               bool withUvAndTangent = true) {
    const float positions[] = {x0, -8.0f, z0, x1, -8.0f, z0, x1, 8.0f, z0, x0, 8.0f, z0};
    const float normals[] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    const float uvs[] = {0, 0, 1, 0, 1, 1, 0, 1};
    const float tangents[] = {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0};
    const unsigned int indices[] = {0, 1, 2, 0, 2, 3};
    auto* vbo = new Tarn::VertexBuffer();
    vbo->setAttribute("position", positions, 12, 3);
    vbo->setAttribute("normal", normals, 12, 3);
    if (withUvAndTangent) {
        vbo->setAttribute("uv", uvs, 8, 2);
        vbo->setAttribute("tangent", tangents, 12, 3);
    }
    vbo->setIndices(indices, 6);
    return std::make_unique<Tarn::Graphics::Mesh>(vbo);
}

std::unique_ptr<Tarn::ImageTexture> texel(unsigned char r, unsigned char g, unsigned char b,
                                          unsigned char a) {
    const unsigned char data[4] = {r, g, b, a};
    return std::make_unique<Tarn::ImageTexture>(reinterpret_cast<const char*>(data), 1, 1);
}

// What the G-buffer should hold at one pixel of the opaque quad (z = 0),
// seen from (0, 0, 5) with a 90 degree field of view.
struct Expected {
    vec4 target[4];
};

Expected expectedOnQuad(int x, int y, int reflectionType) {
    const vec2 ndc((x + 0.5f) / kSize * 2.0f - 1.0f, (y + 0.5f) / kSize * 2.0f - 1.0f);
    const vec3 world(ndc.x * 5.0f, ndc.y * 5.0f, 0.0f);
    const vec3 viewPosition(world.x, world.y, -5.0f);
    // Flat normal map texel (128, 128, 255) in the tangent frame T = x, B = y, N = z.
    const vec3 m = vec3(128.0f, 128.0f, 255.0f) / 255.0f * 2.0f - 1.0f;
    const vec3 n = glm::normalize(m);
    const float facing = glm::dot(n, glm::normalize(-viewPosition));
    const float fresnel = 0.1f + 0.8f * facing * facing;  // reflection_fresnel = 1
    vec3 albedo = vec3(200.0f, 100.0f, 50.0f) / 255.0f;
    if (reflectionType == GBuffer::RT_MATCAP) {
        // Normal (0, 0, 1): x' = (-1, 0, 0) and y' = (0, 1, 0) give the
        // coordinate (0, 0), which has no direction: the middle of the gradient.
        albedo = glm::mix(vec3(0.1f, 0.15f, 0.25f), vec3(0.35f, 0.15f, 0.05f), 0.5f);
    }
    return {{vec4(albedo, 191.0f / 255.0f), vec4(n.x, n.y, 0.25f, fresnel * 0.5f),
             vec4(viewPosition, 51.0f / 255.0f), vec4(world, 1.0f)}};
}

// Five units in front of the origin, looking at it down -z through an
// 18 mm lens with a square picture.
void lookFromFront(Camera& camera) {
    camera.setPosition(vec3(0.0f, 0.0f, 5.0f));
    camera.setTarget(vec3(0.0f));
    camera.setFocalLength(18.0f);
    camera.setAspectRatio(1.0f);
}

// The G-buffer pass: an opaque quad on the left half, and in front of
// everything a quad whose diffuse alpha is 0.25, which must leave no trace
// (background (0, 0, 0, 1) on the right, the far quad's values on the left).
TEST_F(RendererGLTest, FirstPassWritesTheSurfaceAndAlphaTestedFragmentsLeaveNoTrace) {
    Renderer renderer(kSize, kSize);
    Camera camera;
    lookFromFront(camera);
    renderer.setCamera(&camera);
    auto opaqueQuad = makeQuad(-8.0f, 0.0f, 0.0f);
    auto clearQuad = makeQuad(-8.0f, 8.0f, 1.0f);
    auto orange = texel(200, 100, 50, 255);
    auto seeThrough = texel(255, 255, 255, 64);
    auto flatNormal = texel(128, 128, 255, 255);
    auto specular = texel(191, 51, 0, 255);
    const mat4 identity(1.0f);

    for (int reflectionType : {int(GBuffer::RT_NONE), int(GBuffer::RT_MATCAP)}) {
        SCOPED_TRACE(reflectionType);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        renderer.renderFirstPass([&](ShaderProgram* program) {
            program->uniform("model", glm::value_ptr(identity));
            program->uniform(GBuffer::DiffuseIsAnimated, 0);
            program->uniform(GBuffer::SelfIllum, 0.25f);
            program->uniform(GBuffer::ReflectionTypeName, reflectionType);
            program->uniform(GBuffer::ReflectionValue, 0.5f);
            program->uniform(GBuffer::ReflectionFresnel, 1.0f);
            program->uniform(GBuffer::UseProxy, 0);
            flatNormal->bind(1);
            specular->bind(2);
            orange->bind(0);
            opaqueQuad->draw();
            seeThrough->bind(0);
            clearQuad->draw();
            seeThrough->release();
            specular->release();
            flatNormal->release();
        });
        glDisable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);

        int wrong = 0;
        for (int t = 0; t < 4; ++t) {
            const Image image = readTexture(renderer.gBuffer()->target(t)->id());
            for (int y = 0; y < kSize; ++y)
                for (int x = 0; x < kSize; ++x) {
                    const vec4 expected = x < kSize / 2
                                              ? expectedOnQuad(x, y, reflectionType).target[t]
                                              : vec4(0.0f, 0.0f, 0.0f, 1.0f);
                    const float* p = image.at(x, y);
                    for (int c = 0; c < 4; ++c)
                        if (std::fabs(p[c] - expected[c]) >
                            4e-3f * std::max(1.0f, std::fabs(expected[c]))) {
                            if (wrong++ < 5)
                                ADD_FAILURE()
                                    << "target " << t << " pixel (" << x << ", " << y
                                    << ") channel " << c << ": " << p[c] << " instead of "
                                    << expected[c] << "; written to "
                                    << writePng(image, "renderer_gbuffer_" + std::to_string(t));
                        }
                }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// A mesh imported without texture coordinates has no tangents; its
// surface must still reach the G-buffer with its own normal, not NaN.
TEST_F(RendererGLTest, MeshesWithoutTangentsKeepTheirNormal) {
    Renderer renderer(kSize, kSize);
    Camera camera;
    camera.setPosition(vec3(0.0f, 0.0f, 5.0f));
    camera.setTarget(vec3(0.0f));
    renderer.setCamera(&camera);
    auto quad = makeQuad(-8.0f, 8.0f, 0.0f, false);
    auto orange = texel(200, 100, 50, 255);
    auto flatNormal = texel(128, 128, 255, 255);
    auto specular = texel(191, 51, 0, 255);
    const mat4 identity(1.0f);
    glEnable(GL_DEPTH_TEST);
    renderer.renderFirstPass([&](ShaderProgram* program) {
        program->uniform("model", glm::value_ptr(identity));
        program->uniform(GBuffer::DiffuseIsAnimated, 0);
        program->uniform(GBuffer::ReflectionTypeName, 0);
        program->uniform(GBuffer::UseProxy, 0);
        flatNormal->bind(1);
        specular->bind(2);
        orange->bind(0);
        quad->draw();
        orange->release();
        specular->release();
        flatNormal->release();
    });
    glDisable(GL_DEPTH_TEST);

    const Image albedo = readTexture(renderer.gBuffer()->target(0)->id());
    const Image normal = readTexture(renderer.gBuffer()->target(1)->id());
    for (const auto& [x, y] :
         {std::pair<int, int>{kSize / 2, kSize / 2}, {1, kSize - 2}, {kSize - 2, 1}}) {
        // The flat map's texel (128, 128, 255) tilts the normal by 1/255 at most.
        EXPECT_NEAR(normal.at(x, y)[0], 0.0f, 0.01f) << x << ", " << y;
        EXPECT_NEAR(normal.at(x, y)[1], 0.0f, 0.01f) << x << ", " << y;
        EXPECT_NEAR(albedo.at(x, y)[0], 200.0f / 255.0f, 1e-3f) << x << ", " << y;
    }
}

// Matcap materials replace the diffuse colour by a gradient picked by the
// matcap coordinate, worked out here from the vertex normal and its view
// direction for quads tilted up and down.
TEST_F(RendererGLTest, MatcapMaterialsTakeTheGradientOfTheirNormal) {
    Renderer renderer(kSize, kSize);
    Camera camera;
    lookFromFront(camera);
    renderer.setCamera(&camera);
    auto quad = makeQuad(-8.0f, 8.0f, 0.0f);
    auto white = texel(255, 255, 255, 255);
    for (float tilt : {0.5f, -0.5f, 1.0f}) {
        SCOPED_TRACE(tilt);
        const mat4 model = glm::rotate(mat4(1.0f), tilt, vec3(1.0f, 0.0f, 0.0f));
        const vec3 normal(0.0f, 0.0f, 1.0f);
        const vec3 zAxis = glm::normalize(vec3(camera.viewMatrix() * model * vec4(normal, 0.0f)));
        const vec3 xAxis = glm::cross(zAxis, vec3(0.0f, 1.0f, 0.0f));
        const vec3 yAxis = glm::cross(xAxis, zAxis);
        const vec2 matcap = glm::normalize(vec2(glm::dot(normal, xAxis), -glm::dot(normal, yAxis)));
        const vec3 expected =
            glm::mix(vec3(0.1f, 0.15f, 0.25f), vec3(0.35f, 0.15f, 0.05f), matcap.y * 0.5f + 0.5f);
        renderer.renderFirstPass([&](ShaderProgram* program) {
            program->uniform("model", glm::value_ptr(model));
            program->uniform(GBuffer::ReflectionTypeName, int(GBuffer::RT_MATCAP));
            white->bind(0);
            quad->draw();
            white->release();
        });
        const Image albedo = readTexture(renderer.gBuffer()->target(0)->id());
        const Image position = readTexture(renderer.gBuffer()->target(2)->id());
        int covered = 0, wrong = 0;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                if (position.at(x, y)[2] >= 0.0f)
                    continue;
                ++covered;
                const float* p = albedo.at(x, y);
                wrong += glm::length(vec3(p[0], p[1], p[2]) - expected) < 1e-4f ? 0 : 1;
            }
        EXPECT_GT(covered, kSize * kSize / 2);
        EXPECT_EQ(wrong, 0) << "written to " << writePng(albedo, "renderer_matcap");
    }
}

// The whole frame: geometry in, one white ambient light, the albedo out
// where the quad is and black elsewhere; building and running it prints
// nothing (every uniform the renderer sets exists).
// The G-buffer program has every uniform of its interface, each sampler on
// its unit, and materials of every kind send it nothing else: a frame prints
// nothing (a matcap or cube-map material once named a sampler the program
// lacks, and the missing-uniform line came every frame).
TEST_F(RendererGLTest, MaterialsSendOnlyWhatTheProgramHas) {
    Renderer renderer(kSize, kSize);
    const GLuint program = renderer.firstPassShader()->id();
    for (const GBuffer::Uniform& uniform : GBuffer::uniforms()) {
        const GLint location = glGetUniformLocation(program, uniform.name.c_str());
        EXPECT_GE(location, 0) << uniform.name;
        if (uniform.unit < 0 || location < 0)
            continue;
        GLint unit = -1;
        glGetUniformiv(program, location, &unit);
        EXPECT_EQ(unit, uniform.unit) << uniform.name;
    }

    using Tarn::Graphics::Material;
    auto image = texel(255, 255, 255, 255);
    Tarn::VideoTexture video(nullptr, 1, 1, 1);
    Material plain, matcap, cubemap, animated, stillProxy;
    matcap.setReflectionType(Material::RT_MATCAP);
    matcap.setReflectionMap(image.get());
    cubemap.setReflectionType(Material::RT_CUBEMAP);
    animated.setDiffuseMap(&video);
    animated.setPlaneProxy(&video, vec3(0.0f), vec3(0.0f, 0.0f, 1.0f), vec2(1.0f), 1.0f, true);
    stillProxy.setPlaneProxy(image.get(), vec3(0.0f), vec3(0.0f, 0.0f, 1.0f), vec2(1.0f), 1.0f,
                             false);
    Camera camera;
    lookFromFront(camera);
    renderer.setCamera(&camera);
    auto quad = makeQuad(-8.0f, 8.0f, 0.0f);
    const mat4 identity(1.0f);
    testing::internal::CaptureStdout();
    for (int frame = 0; frame < 2; ++frame)
        renderer.renderFirstPass([&](ShaderProgram* shader) {
            shader->uniform("model", glm::value_ptr(identity));
            for (Material* material : {&plain, &matcap, &cubemap, &animated, &stillProxy}) {
                material->apply(shader, 0.5);
                quad->draw();
            }
        });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(RendererGLTest, RenderDeferredLightsTheDrawnGeometry) {
    testing::internal::CaptureStdout();
    Renderer renderer(kSize, kSize);
    Camera camera;
    lookFromFront(camera);
    renderer.setCamera(&camera);
    auto quad = makeQuad(-8.0f, 0.0f, 0.0f);
    auto blue = texel(20, 40, 220, 255);
    const mat4 identity(1.0f);
    Light ambient(Light::LT_AMBIENT);
    renderer.pushLight(&ambient);
    int calls = 0;
    FrameBuffer* result = renderer.renderDeferred([&](ShaderProgram* program) {
        ++calls;
        program->uniform("model", glm::value_ptr(identity));
        program->uniform(GBuffer::ReflectionTypeName, 0);
        blue->bind(0);
        quad->draw();
        blue->release();
    });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(result, renderer.renderOutput());
    const Image image = readTexture(result->target(0)->id());
    const vec3 albedo = vec3(20.0f, 40.0f, 220.0f) / 255.0f;
    int wrong = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const vec3 expected = x < kSize / 2 ? albedo : vec3(0.0f);
            const float* p = image.at(x, y);
            wrong += glm::length(vec3(p[0], p[1], p[2]) - expected) < 1e-4f && p[3] == 1.0f ? 0 : 1;
        }
    EXPECT_EQ(wrong, 0) << "written to " << writePng(image, "renderer_deferred");
}

}  // namespace
