#include "tarn/graphics/light.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "support/gl_test.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/fullscreenquad.h"
#include "tarn/imagetexture.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"

namespace {

using glm::mat4;
using glm::vec2;
using glm::vec3;
using Tarn::FrameBuffer;
using Tarn::Graphics::Light;
using Tarn::Test::GLTest;
using Tarn::Test::Image;
using Tarn::Test::readTexture;
using Tarn::Test::writePng;

// One G-buffer pixel as the lights read it.
struct Texel {
    vec3 albedo;
    float specularIntensity;
    vec2 normalXY;
    float selfIllum;
    float reflection;
    vec3 position;  // view space
    float glossiness;
};

const int kAreaLevels = 10;  // 512 x 512 down to 1 x 1

// Each mip level of the area texture is one flat colour, so a lookup tells
// which level it read.
vec3 levelColor(int level) {
    const unsigned char r = static_cast<unsigned char>(level * 25);
    const unsigned char g = static_cast<unsigned char>(255 - level * 20);
    const unsigned char b = static_cast<unsigned char>(60 + level * 10);
    return vec3(r, g, b) / 255.0f;
}

std::unique_ptr<Tarn::ImageTexture> makeAreaTexture() {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    for (int level = 0; level < kAreaLevels; ++level) {
        const int size = 512 >> level;
        const vec3 color = levelColor(level) * 255.0f;
        std::vector<unsigned char> pixels;
        for (int i = 0; i < size * size; ++i)
            pixels.insert(pixels.end(), {static_cast<unsigned char>(std::lround(color.r)),
                                         static_cast<unsigned char>(std::lround(color.g)),
                                         static_cast<unsigned char>(std::lround(color.b)), 255});
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     pixels.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    auto texture = std::make_unique<Tarn::ImageTexture>(static_cast<unsigned int>(id));
    texture->setFilterMode(Tarn::ImageTexture::NearestMipmapNearest, Tarn::ImageTexture::Nearest);
    return texture;
}

// The level GL reads for an explicit level of detail with nearest mipmap
// selection (lod > 0 always minifies here).
int nearestLevel(float lod) {
    if (lod <= 0.5f)
        return 0;
    return std::min(kAreaLevels - 1, static_cast<int>(std::ceil(lod + 0.5f)) - 1);
}

// The light model written out on the CPU, for one pixel.
vec3 reference(const Light& light, const Texel& t, const mat4& view) {
    const vec3 A = t.albedo;
    const vec3 rawN(t.normalXY, 1.0f - std::sqrt(glm::dot(t.normalXY, t.normalXY)));
    const vec3 N = glm::normalize(rawN);
    const vec3 P = t.position;
    const vec3 V = glm::normalize(-P);
    const vec3 color = light.color();
    const float s = t.selfIllum, rf = t.reflection, ks = t.specularIntensity;
    const auto toView = [&](vec3 p) { return vec3(view * glm::vec4(p, 1.0f)); };
    const auto toViewDir = [&](vec3 d) {
        return glm::normalize(vec3(view * glm::vec4(glm::normalize(d), 0.0f)));
    };
    const auto attenuation = [&](float D) {
        const float R = light.radius();
        return 1.0f / (1.0f + (2.0f / R) * D + (1.0f / (R * R)) * D * D);
    };
    const auto diffuseTerm = [&](vec3 L) { return std::max(0.0f, glm::dot(N, L)); };
    const auto specularTerm = [&](vec3 L) {
        const float nh = std::max(0.0f, glm::dot(N, glm::normalize(L + V)));
        return nh > 0.0f ? std::pow(nh, t.glossiness * 255.0f) : 0.0f;
    };
    const float diffuseMask = 1.0f - glm::clamp(s + rf, 0.0f, 1.0f);

    switch (light.lightType()) {
    case Light::LT_AMBIENT: {
        const float m = s + rf;
        return A * color * (1.0f - m) + A * m;
    }
    case Light::LT_DIRECTIONAL: {
        const vec3 L = glm::normalize(-toViewDir(light.direction()));
        return A * diffuseTerm(L) * color * diffuseMask +
               vec3(specularTerm(L) * ks) * (1.0f - glm::clamp(rf, 0.0f, 1.0f));
    }
    case Light::LT_POINT: {
        const vec3 Lp = toView(light.position());
        const vec3 L = glm::normalize(Lp - P);
        return (A * diffuseTerm(L) * color * diffuseMask +
                vec3(specularTerm(L) * ks) * (1.0f - glm::clamp(rf, 0.0f, 1.0f))) *
               attenuation(glm::length(Lp - P));
    }
    case Light::LT_SPOT: {
        const vec3 Lp = toView(light.position());
        const vec3 Ds = toViewDir(light.direction());
        const vec3 L = glm::normalize(Lp - P);
        const float theta = std::acos(glm::clamp(glm::dot(L, -Ds), -1.0f, 1.0f));
        const float x =
            glm::clamp((light.cutoffAngle() - theta) / light.cutoffSmoothness(), 0.0f, 1.0f);
        const float c = x * x * (3.0f - 2.0f * x);
        return (A * diffuseTerm(L) * color * diffuseMask +
                vec3(specularTerm(L) * ks) * (1.0f - rf)) *
               attenuation(glm::length(Lp - P)) * c;
    }
    case Light::LT_AREA: {
        const vec3 Lp = toView(light.position());
        const vec3 Ds = toViewDir(light.direction());
        const vec3 Ts = toViewDir(light.tangent());
        const vec3 Us = glm::normalize(glm::cross(Ts, -Ds));
        const vec2 size = light.size();
        const vec3 Q = P - glm::dot(Ds, P - Lp) * Ds;
        const vec2 o(glm::dot(Q - Lp, Ts), glm::dot(Q - Lp, Us));
        const vec2 n = glm::clamp(o, -size, size);
        const vec3 Ed = Lp + Ts * n.x + Us * n.y;
        const float D = glm::length(P - Ed);
        const vec3 L = glm::normalize(Ed - P);
        const float a = attenuation(D);
        const float f = glm::dot(Ds, P - Lp) < 0.0f ? 0.0f : 1.0f;
        const float e = std::max(0.0f, glm::dot(Ds, -L));
        const float lod = std::min(std::sqrt(std::sqrt(D)) * 8.0f + 2.0f, 9.0f);
        const vec3 diffuse = f * a * e * levelColor(nearestLevel(lod));
        const vec3 I = glm::normalize(-P);
        const vec3 Rv = I - 2.0f * glm::dot(rawN, I) * rawN;
        const float tHit = glm::dot(Ds, Lp - P) / glm::dot(Ds, Rv);
        const vec3 Es = P + tHit * Rv;
        const float q = std::max(0.0f, glm::dot(Rv, Ds));
        const vec2 os(glm::dot(Es - Lp, Ts), glm::dot(Es - Lp, Us));
        const vec2 ns = glm::clamp(os, -size, size);
        const float h = 1.0f - glm::clamp(glm::length(ns - os) * 32.0f * t.glossiness, 0.0f, 1.0f);
        return diffuse + a * h * q * f * levelColor(nearestLevel(3.0f));
    }
    }
    return vec3(0.0f);
}

// A G-buffer of targets 0 to 2 with one texel per pixel in a row, and the
// light's pass drawn over it exactly as the renderer draws it.
class LightPass {
public:
    explicit LightPass(int width) : m_width(width), m_gbuffer(width, 1), m_output(width, 1) {
        m_targets[0] = m_gbuffer.createRenderTarget(FrameBuffer::RGBA32F);
        m_targets[1] = m_gbuffer.createRenderTarget(FrameBuffer::RGBA16F);
        m_targets[2] = m_gbuffer.createRenderTarget(FrameBuffer::RGBA16F);
        m_result = m_output.createRenderTarget(FrameBuffer::RGBA32F);
    }

    // Uploads the texels and returns them as stored (16-bit floats round).
    std::vector<Texel> upload(const std::vector<Texel>& texels) {
        std::vector<float> t0, t1, t2;
        for (const Texel& t : texels) {
            t0.insert(t0.end(), {t.albedo.r, t.albedo.g, t.albedo.b, t.specularIntensity});
            t1.insert(t1.end(), {t.normalXY.x, t.normalXY.y, t.selfIllum, t.reflection});
            t2.insert(t2.end(), {t.position.x, t.position.y, t.position.z, t.glossiness});
        }
        const std::vector<float>* data[3] = {&t0, &t1, &t2};
        for (int i = 0; i < 3; ++i) {
            glBindTexture(GL_TEXTURE_2D, m_targets[i]->id());
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_width, 1, GL_RGBA, GL_FLOAT, data[i]->data());
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        const Image g0 = readTexture(m_targets[0]->id());
        const Image g1 = readTexture(m_targets[1]->id());
        const Image g2 = readTexture(m_targets[2]->id());
        std::vector<Texel> stored;
        for (int x = 0; x < m_width; ++x) {
            const float *a = g0.at(x, 0), *b = g1.at(x, 0), *c = g2.at(x, 0);
            stored.push_back({vec3(a[0], a[1], a[2]), a[3], vec2(b[0], b[1]), b[2], b[3],
                              vec3(c[0], c[1], c[2]), c[3]});
        }
        return stored;
    }

    Image shade(Light& light, const mat4& view) {
        m_output.enable();
        light.bind();
        light.setViewMatrix(view);
        for (unsigned int i = 0; i < 3; ++i)
            m_targets[i]->bind(i);
        Tarn::Graphics::FullscreenQuad::draw();
        for (int i = 2; i >= 0; --i)
            m_targets[i]->release();
        light.release();
        m_output.disable();
        return readTexture(m_result->id());
    }

private:
    int m_width;
    FrameBuffer m_gbuffer;
    FrameBuffer m_output;
    Tarn::Texture* m_targets[3] = {nullptr, nullptr, nullptr};
    Tarn::Texture* m_result = nullptr;
};

mat4 testView() {
    return glm::lookAt(vec3(1.5f, 2.0f, 6.0f), vec3(0.0f, 0.5f, 0.0f), vec3(0.0f, 1.0f, 0.0f));
}

// World-space point and direction for a view-space one.
vec3 worldPoint(const mat4& view, vec3 p) {
    return vec3(glm::inverse(view) * glm::vec4(p, 1.0f));
}
vec3 worldDirection(const mat4& view, vec3 d) {
    return vec3(glm::inverse(view) * glm::vec4(d, 0.0f));
}

// Surfaces seen from the camera at several distances, normals, glossiness
// and material masks, some facing away from the lights.
std::vector<Texel> variedTexels() {
    return {
        {vec3(0.8f, 0.5f, 0.25f), 0.75f, vec2(0.0f, 0.0f), 0.0f, 0.0f, vec3(0.0f, 0.0f, -4.0f),
         0.05f},
        {vec3(0.2f, 0.9f, 0.4f), 1.0f, vec2(0.3f, -0.2f), 0.25f, 0.25f, vec3(0.5f, -0.75f, -3.0f),
         0.1f},
        {vec3(1.0f, 1.0f, 1.0f), 0.5f, vec2(-0.5f, 0.4f), 0.0f, 0.5f, vec3(-1.0f, 1.0f, -5.0f),
         0.02f},
        {vec3(0.6f, 0.3f, 0.9f), 0.25f, vec2(0.6f, 0.6f), 0.5f, 0.0f, vec3(1.5f, 0.5f, -2.5f),
         0.2f},
        {vec3(0.5f, 0.5f, 0.5f), 1.0f, vec2(-0.1f, -0.7f), 0.0f, 1.25f, vec3(-0.25f, -1.0f, -6.0f),
         0.0f},
        {vec3(0.9f, 0.1f, 0.1f), 0.5f, vec2(0.05f, 0.1f), 1.5f, 0.0f, vec3(0.0f, 2.0f, -3.5f),
         0.08f},
        {vec3(0.3f, 0.7f, 0.2f), 0.0f, vec2(0.7f, -0.1f), 0.0f, 0.0f, vec3(2.0f, -1.5f, -7.0f),
         0.04f},
        {vec3(0.1f, 0.2f, 0.3f), 0.9f, vec2(-0.3f, 0.3f), 0.1f, 0.2f, vec3(-2.0f, -0.5f, -4.5f),
         0.15f},
    };
}

struct FormulaCase {
    const char* name;
    Light::LightType type;
    std::function<void(Light&, const mat4& view)> setUp;
};

const FormulaCase kFormulaCases[] = {
    {"ambient", Light::LT_AMBIENT,
     [](Light& l, const mat4&) { l.setColor(vec3(0.3f, 0.6f, 2.0f)); }},
    {"directional", Light::LT_DIRECTIONAL,
     [](Light& l, const mat4& view) {
         l.setDirection(worldDirection(view, vec3(0.3f, -0.4f, -1.0f)));
         l.setColor(vec3(1.0f, 0.8f, 0.5f));
     }},
    {"point", Light::LT_POINT,
     [](Light& l, const mat4& view) {
         l.setPosition(worldPoint(view, vec3(0.5f, 1.0f, -2.0f)));
         l.setRadius(3.0f);
         l.setColor(vec3(2.0f, 1.0f, 0.5f));
     }},
    {"spot", Light::LT_SPOT,
     [](Light& l, const mat4& view) {
         l.setPosition(worldPoint(view, vec3(0.0f, 1.0f, 0.0f)));
         l.setDirection(worldDirection(view, vec3(0.0f, -0.2f, -1.0f)));
         l.setRadius(4.0f);
         l.setCutoffAngle(0.5f);
         l.setCutoffSmoothness(0.2f);
         l.setColor(vec3(1.0f, 1.5f, 0.75f));
     }},
    {"area", Light::LT_AREA,
     [](Light& l, const mat4& view) {
         l.setPosition(worldPoint(view, vec3(0.0f, 0.5f, -1.0f)));
         l.setDirection(worldDirection(view, vec3(0.1f, -0.1f, -1.0f)));
         l.setTangent(worldDirection(view, vec3(1.0f, 0.0f, 0.1f)));
         l.setSize(vec2(1.5f, 1.0f));
         l.setRadius(2.0f);
     }},
};

bool near(vec3 actual, vec3 expected) {
    const float tolerance = 2e-3f * std::max(1.0f, glm::length(expected));
    return glm::length(actual - expected) <= tolerance;
}

using LightGLTest = GLTest;

// Every type against its formula at pixels of varied material, normal and
// distance, seen through a camera that is not at the origin.
TEST_F(LightGLTest, EachTypeMatchesItsFormulaAtEveryPixel) {
    auto areaTexture = makeAreaTexture();
    const mat4 view = testView();
    for (const FormulaCase& c : kFormulaCases) {
        SCOPED_TRACE(c.name);
        LightPass pass(8);
        const std::vector<Texel> texels = pass.upload(variedTexels());
        Light light(c.type);
        c.setUp(light, view);
        light.setAreaTexture(areaTexture.get());
        const Image image = pass.shade(light, view);
        int lit = 0;
        for (int x = 0; x < 8; ++x) {
            const vec3 expected = reference(light, texels[x], view);
            const float* p = image.at(x, 0);
            lit += glm::length(expected) > 0.02f ? 1 : 0;
            EXPECT_TRUE(near(vec3(p[0], p[1], p[2]), expected))
                << "pixel " << x << ": got (" << p[0] << ", " << p[1] << ", " << p[2]
                << "), expected (" << expected.r << ", " << expected.g << ", " << expected.b
                << "); written to " << writePng(image, std::string("light_") + c.name);
            EXPECT_EQ(p[3], 1.0f);
        }
        // The case must light some pixels, or it proves nothing.
        EXPECT_GE(lit, 3);
    }
}

// Values worked out by hand. The surface sits 4 units in front of the
// camera facing it (stored normal (0, 0)), with no specular unless given;
// light placements are written in view space.
struct WorkedCase {
    const char* name;
    Light::LightType type;
    Texel texel;
    std::function<void(Light&, const mat4& view)> setUp;
    vec3 expected;
};

const vec3 kAlbedo(0.8f, 0.5f, 0.25f);
const vec3 kWhite(1.0f);

Texel surface(float specularIntensity, float selfIllum, float reflection) {
    return {kAlbedo,    specularIntensity,       vec2(0.0f), selfIllum,
            reflection, vec3(0.0f, 0.0f, -4.0f), 0.5f};
}

// A spot one unit above the surface (along view +z) whose axis leans by
// theta away from the surface direction.
std::function<void(Light&, const mat4&)> spotAt(float theta) {
    return [theta](Light& l, const mat4& view) {
        l.setPosition(worldPoint(view, vec3(0.0f, 0.0f, -3.0f)));
        l.setDirection(worldDirection(view, vec3(0.0f, std::sin(theta), -std::cos(theta))));
        l.setRadius(1.0f);
        l.setCutoffAngle(0.5f);
        l.setCutoffSmoothness(0.1f);
        l.setColor(kWhite);
    };
}

// A 2 x 1 area light one unit in front of the camera's surface, facing
// away from the camera (towards -z) or towards it.
std::function<void(Light&, const mat4&)> areaFacing(float z) {
    return [z](Light& l, const mat4& view) {
        l.setPosition(worldPoint(view, vec3(0.0f, 0.0f, -3.0f)));
        l.setDirection(worldDirection(view, vec3(0.0f, 0.0f, z)));
        l.setTangent(worldDirection(view, vec3(1.0f, 0.0f, 0.0f)));
        l.setSize(vec2(1.0f, 0.5f));
        l.setRadius(1.0f);
    };
}

TEST_F(LightGLTest, WorkedValues) {
    auto areaTexture = makeAreaTexture();
    const mat4 view = testView();
    const WorkedCase cases[] = {
        // s + r_f = 1: the albedo whatever the colour.
        {"ambient, s + r_f = 1", Light::LT_AMBIENT, surface(0.0f, 0.25f, 0.75f),
         [](Light& l, const mat4&) { l.setColor(vec3(0.3f, 5.0f, 0.0f)); }, kAlbedo},
        {"ambient, no masks", Light::LT_AMBIENT, surface(0.0f, 0.0f, 0.0f),
         [](Light& l, const mat4&) { l.setColor(vec3(0.5f, 2.0f, 1.0f)); },
         kAlbedo * vec3(0.5f, 2.0f, 1.0f)},
        // Head-on: d = 1 and p = 1; the specular stays white.
        {"directional head-on", Light::LT_DIRECTIONAL, surface(0.5f, 0.25f, 0.5f),
         [](Light& l, const mat4& view) {
             l.setDirection(worldDirection(view, vec3(0.0f, 0.0f, -2.0f)));
             l.setColor(vec3(1.0f, 0.0f, 2.0f));
         },
         kAlbedo * vec3(1.0f, 0.0f, 2.0f) * 0.25f + vec3(0.5f * 0.5f)},
        // D = R: a = 1 / (1 + 2 + 1).
        {"point at its radius", Light::LT_POINT, surface(0.0f, 0.0f, 0.0f),
         [](Light& l, const mat4& view) {
             l.setPosition(worldPoint(view, vec3(0.0f, 0.0f, -2.5f)));
             l.setRadius(1.5f);
             l.setColor(vec3(2.0f, 1.0f, 1.0f));
         },
         kAlbedo * vec3(2.0f, 1.0f, 1.0f) * 0.25f},
        {"spot well inside", Light::LT_SPOT, surface(0.0f, 0.0f, 0.0f), spotAt(0.35f),
         kAlbedo * 0.25f},
        {"spot at cutoff - smooth", Light::LT_SPOT, surface(0.0f, 0.0f, 0.0f), spotAt(0.4f),
         kAlbedo * 0.25f},
        {"spot mid edge", Light::LT_SPOT, surface(0.0f, 0.0f, 0.0f), spotAt(0.45f),
         kAlbedo * 0.25f * 0.5f},
        {"spot at cutoff", Light::LT_SPOT, surface(1.0f, 0.0f, 0.0f), spotAt(0.5f), vec3(0.0f)},
        // The specular mask 1 - r_f is not clamped: r_f = 1.5 subtracts.
        {"spot, r_f above 1", Light::LT_SPOT, surface(0.5f, 0.0f, 1.5f), spotAt(0.0f),
         vec3(0.5f * -0.5f * 0.25f)},
        // Nearest point = centre at D = 1 (level 9), mirror ray hits the centre (level 3).
        {"area in front", Light::LT_AREA, surface(0.0f, 0.0f, 0.0f), areaFacing(-1.0f),
         0.25f * (levelColor(9) + levelColor(3))},
        {"area behind", Light::LT_AREA, surface(1.0f, 0.0f, 0.0f), areaFacing(1.0f), vec3(0.0f)},
    };
    for (const WorkedCase& c : cases) {
        SCOPED_TRACE(c.name);
        LightPass pass(1);
        pass.upload({c.texel});
        Light light(c.type);
        c.setUp(light, view);
        light.setAreaTexture(areaTexture.get());
        const Image image = pass.shade(light, view);
        const float* p = image.at(0, 0);
        EXPECT_NEAR(p[0], c.expected.r, 1e-3f);
        EXPECT_NEAR(p[1], c.expected.g, 1e-3f);
        EXPECT_NEAR(p[2], c.expected.b, 1e-3f);
    }
}

GLint uniformLocation(const Light& light, const char* name) {
    return glGetUniformLocation(light.shader()->id(), name);
}

vec3 uniformVec3(const Light& light, const char* name) {
    float value[3] = {-1.0f, -1.0f, -1.0f};
    glGetUniformfv(light.shader()->id(), uniformLocation(light, name), value);
    return vec3(value[0], value[1], value[2]);
}

float uniformFloat(const Light& light, const char* name) {
    float value = -1.0f;
    glGetUniformfv(light.shader()->id(), uniformLocation(light, name), &value);
    return value;
}

// Writes a value straight into the program, behind the light's back.
void overwriteUniform(const Light& light, const char* name, float value) {
    glUseProgram(light.shader()->id());
    glUniform1f(uniformLocation(light, name), value);
    glUseProgram(0);
}

TEST_F(LightGLTest, ConstructorSendsTheDefaultsAndBindSendsOnlyAfterASetter) {
    Light light(Light::LT_SPOT);
    EXPECT_EQ(uniformVec3(light, "l_position"), vec3(0.0f, 10.0f, 0.0f));
    EXPECT_EQ(uniformVec3(light, "l_direction"), vec3(0.0f, -1.0f, 0.0f));
    EXPECT_EQ(uniformVec3(light, "l_color"), vec3(1.0f));
    EXPECT_FLOAT_EQ(uniformFloat(light, "l_radius"), 0.2f);
    EXPECT_FLOAT_EQ(uniformFloat(light, "l_cutoff"), 0.707f);
    EXPECT_FLOAT_EQ(uniformFloat(light, "l_cutoff_smooth"), 0.1f);

    // Clean: bind sends nothing, so the planted value survives.
    overwriteUniform(light, "l_radius", 42.0f);
    light.bind();
    light.release();
    EXPECT_EQ(uniformFloat(light, "l_radius"), 42.0f);

    // Changing only the colour sends every uniform of the type again.
    light.setColor(vec3(0.25f, 0.5f, 0.75f));
    EXPECT_EQ(uniformVec3(light, "l_color"), vec3(1.0f)) << "sent before bind";
    light.bind();
    light.release();
    EXPECT_EQ(uniformVec3(light, "l_color"), vec3(0.25f, 0.5f, 0.75f));
    EXPECT_FLOAT_EQ(uniformFloat(light, "l_radius"), 0.2f);
}

// Lights of one type share a program: each bind must leave that program
// holding the bound light's own values, dirty or not.
TEST_F(LightGLTest, LightsOfOneTypeEachSeeTheirOwnValues) {
    Light red(Light::LT_POINT), blue(Light::LT_POINT);
    ASSERT_EQ(red.shader(), blue.shader());
    red.setColor(vec3(1.0f, 0.0f, 0.0f));
    blue.setColor(vec3(0.0f, 0.0f, 1.0f));
    blue.setRadius(7.0f);
    for (int frame = 0; frame < 2; ++frame) {
        red.bind();
        red.release();
        EXPECT_EQ(uniformVec3(red, "l_color"), vec3(1.0f, 0.0f, 0.0f));
        EXPECT_FLOAT_EQ(uniformFloat(red, "l_radius"), 0.2f);
        blue.bind();
        blue.release();
        EXPECT_EQ(uniformVec3(blue, "l_color"), vec3(0.0f, 0.0f, 1.0f));
        EXPECT_FLOAT_EQ(uniformFloat(blue, "l_radius"), 7.0f);
    }
}

// Every type builds, links and sends its uniforms without a single
// missing-uniform line; the area light samples unit 3 and bind puts its
// texture (white without one) there until release.
TEST_F(LightGLTest, EveryTypeLinksQuietlyAndAreaTextureUsesUnitThree) {
    auto areaTexture = makeAreaTexture();
    for (int type = Light::LT_AMBIENT; type <= Light::LT_AREA; ++type) {
        SCOPED_TRACE(type);
        testing::internal::CaptureStdout();
        Light light(static_cast<Light::LightType>(type));
        light.setAreaTexture(areaTexture.get());
        light.setColor(vec3(0.5f));
        light.bind();
        light.setViewMatrix(testView());
        GLint current = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &current);
        GLint onUnit3 = 0;
        glActiveTexture(GL_TEXTURE3);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &onUnit3);
        light.release();
        GLint afterRelease = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &afterRelease);
        glActiveTexture(GL_TEXTURE0);
        GLint currentAfter = -1;
        glGetIntegerv(GL_CURRENT_PROGRAM, &currentAfter);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_TRUE(light.shader()->linked());
        EXPECT_EQ(light.lightType(), type);
        EXPECT_EQ(current, static_cast<GLint>(light.shader()->id()));
        EXPECT_EQ(onUnit3, static_cast<GLint>(areaTexture->id()));
        EXPECT_EQ(afterRelease, 0);
        EXPECT_EQ(currentAfter, 0);
        if (type == Light::LT_AREA) {
            GLint unit = -1;
            glGetUniformiv(light.shader()->id(), uniformLocation(light, "l_texture"), &unit);
            EXPECT_EQ(unit, 3);
        }
    }
    // Without an image an area light emits white, not whatever unit 3 held.
    Light bare(Light::LT_AREA);
    bare.bind();
    GLint white = 0;
    glActiveTexture(GL_TEXTURE3);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &white);
    glActiveTexture(GL_TEXTURE0);
    bare.release();
    ASSERT_NE(white, 0);
    EXPECT_EQ(Tarn::Test::readTexture(static_cast<GLuint>(white)).rgba,
              std::vector<float>(4, 1.0f));
}

}  // namespace
