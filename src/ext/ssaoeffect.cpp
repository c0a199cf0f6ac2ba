#include "tarn/ext/ssaoeffect.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "separableblur.h"
#include "tarn/framebuffer.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool SSAOEffect::ms_shadersInitialized = false;
ShaderProgram* SSAOEffect::ms_ssaoShader = nullptr;
ShaderProgram* SSAOEffect::ms_ssaoHBlurShader = nullptr;
ShaderProgram* SSAOEffect::ms_ssaoVBlurShader = nullptr;
ShaderProgram* SSAOEffect::ms_ssaoMergeShader = nullptr;

namespace {

// Each draw maps fract(sin(dot(seed, (12.9898, 78.233))) * 43758.5453) onto
// [low, high), then steps the seed by 1.337 in both components. Run in single
// precision, as a shader would; the kernel is drawn once instead of in every
// pixel, which gives the same points everywhere for 64 fewer sines a pixel.
std::array<glm::vec3, 16> drawKernel() {
    glm::vec2 seed(13.37f);
    auto draw = [&seed](float low, float high) {
        const float x = std::sin(glm::dot(seed, glm::vec2(12.9898f, 78.233f))) * 43758.5453f;
        seed += glm::vec2(1.337f);
        return (x - std::floor(x)) * (high - low) + low;
    };
    std::array<glm::vec3, 16> kernel;
    for (glm::vec3& point : kernel) {
        const float a = draw(-1.0f, 1.0f), b = draw(-1.0f, 1.0f), c = draw(-2.0f, 2.0f);
        const float length = draw(0.0f, 1.0f);
        point = glm::normalize(glm::vec3(a, b, c)) * length;
    }
    return kernel;
}

// Points mix texture-coordinate offsets (x, y) with a depth offset (z);
// depths are the view-space z of G-buffer target 2. The kernel is spelled
// into the stage as constants.
std::string generationSource() {
    std::string source = R"(#version 330 core
uniform sampler2D rt2;
uniform float uScale;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
const float kBias = 0.1;
const vec3 kKernel[16] = vec3[16]()";
    char point[64];
    for (const glm::vec3& p : SSAOEffect::kernel()) {
        std::snprintf(point, sizeof point, "%svec3(%.9g, %.9g, %.9g)",
                      &p == &SSAOEffect::kernel()[0] ? "" : ", ", p.x, p.y, p.z);
        source += point;
    }
    return source + R"();
void main() {
    float depth = textureLod(rt2, v_uv, 0.0).z;
    vec3 base = vec3(v_uv, depth);
    float reach = uScale * max(1.0, abs(depth / 100.0));
    float occlusion = 0.0;
    for (int i = 0; i < 16; ++i) {
        vec3 p = base + kKernel[i] * reach;
        if (abs(textureLod(rt2, p.xy, 0.0).z - p.z) < kBias)
            occlusion += 1.0 / 16.0;
    }
    fragColor = vec4(vec3(clamp(occlusion, 0.0, 1.0)), 1.0);
}
)";
}

const PostFX::ProgramSource kMerge = {"SSAO merge",
                                      R"(#version 330 core
uniform sampler2D Input;
uniform sampler2D ssao;
uniform float uPower;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    // pow(0, 0) is undefined in GLSL (NaN on some drivers); Power 0 means 1.
    float share = textureLod(ssao, v_uv, 0.0).r;
    float factor = uPower == 0.0 ? 1.0 : pow(share, uPower);
    fragColor = vec4(textureLod(Input, v_uv, 0.0).rgb * factor, 1.0);
}
)",
                                      {{"Input", 0}, {"ssao", 1}}};

const char* const kScale = "Scale";
const char* const kPower = "Power";
const char* const kBlurFactor = "Blur factor";

void addBlurPass(PostFX::Effect* effect, ShaderProgram* program, int from, int to) {
    effect->addPass([=](PostFX::Chain::Buffers& buffers) {
        PostFX::Pass pass(buffers, buffers.scratch[to], program);  // scratch[from] -> scratch[to]
        pass.uniform("uBlurFactor", effect->property(kBlurFactor).value.f);
        pass.input(0, buffers.scratch[from]);
        pass.draw();
    });
}

}  // namespace

const std::array<glm::vec3, 16>& SSAOEffect::kernel() {
    static const std::array<glm::vec3, 16> points = drawKernel();
    return points;
}

void SSAOEffect::_register() {
    PostFX::EffectFactory::registerEffect("SSAO", &SSAOEffect::create);
}

PostFX::Effect* SSAOEffect::create() {
    using SeparableBlur::Read;
    using SeparableBlur::Taps;
    if (!ms_shadersInitialized) {
        ms_ssaoShader = PostFX::buildProgram({"SSAO generation", generationSource(), {{"rt2", 1}}});
        ms_ssaoHBlurShader = PostFX::buildProgram(
            SeparableBlur::horizontal("SSAO H-blur", Taps::Narrow7, Read::Level0));
        ms_ssaoVBlurShader = PostFX::buildProgram(
            SeparableBlur::vertical("SSAO V-blur", Taps::Narrow7, Read::Level0));
        ms_ssaoMergeShader = PostFX::buildProgram(kMerge);
        ms_shadersInitialized = true;
    }
    auto* effect = new PostFX::Effect();
    effect->addPass([effect](PostFX::Chain::Buffers& buffers) {
        // G-buffer position -> scratch[0]
        PostFX::Pass pass(buffers, buffers.scratch[0], ms_ssaoShader);
        pass.uniform("uScale", effect->property(kScale).value.f);
        pass.input(1, buffers.gBuffer ? buffers.gBuffer->target(2) : nullptr);
        pass.draw();
    });
    addBlurPass(effect, ms_ssaoVBlurShader, 0, 1);
    addBlurPass(effect, ms_ssaoHBlurShader, 1, 0);
    effect->addPass([effect](PostFX::Chain::Buffers& buffers) {
        using PostFX::Pass;
        Pass pass(buffers, Pass::Full, ms_ssaoMergeShader);  // in * scratch[0] -> full[fullCnt]
        pass.uniform("uPower", effect->property(kPower).value.f);
        pass.input(0, buffers.in);
        pass.input(1, buffers.scratch[0]);
        buffers.out = pass.draw();
    });
    effect->setProperty(kScale, 0.005f);
    effect->setProperty(kPower, 1.0f);
    effect->setProperty(kBlurFactor, 0.002f);
    return effect;
}

}  // namespace Tarn::Ext
