#include "tarn/ext/anisotropicflareeffect.h"

#include <cmath>

#include "commonpasses.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool AnisotropicFlareEffect::ms_shadersInitialized = false;
ShaderProgram* AnisotropicFlareEffect::ms_downsampling = nullptr;
ShaderProgram* AnisotropicFlareEffect::ms_blurring = nullptr;
ShaderProgram* AnisotropicFlareEffect::ms_mergeShader = nullptr;

namespace {

// Blur_iterations 1.5 runs rounds i = 0 and 1, as a count compared with a
// float did; the raw sum is kept (weights 0.98 a round), alpha included: more
// rounds give a brighter streak. Quarter resolution: each tap down-samples
// bilinearly. The rounds are counted with an integer up to a constant, so no
// value can make the loop run on (a float counter stops growing at 2^24).
const int kMostRounds = 256;
// A density of 0 would put the taps 1 / 0 apart (NaN at round 0).
const float kLeastDensity = 0.001f;

const PostFX::ProgramSource kBlurring = {
    "Anisotropic flare blurring",
    std::string("#version 330 core\n") + CommonPasses::mostConstant("kMostRounds", kMostRounds) +
        R"(uniform sampler2D Input;
uniform float uBlurDensity;
uniform float uBlurIterations;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
const float kWeights[5] = float[5](0.16, 0.15, 0.12, 0.09, 0.05);
void main() {
    float spacing = 1.0 / (512.0 * uBlurDensity);
    int rounds = int(ceil(uBlurIterations));
    vec4 sum = vec4(0.0);
    for (int i = 0; i < kMostRounds && i < rounds; ++i)
        for (int k = -4; k <= 4; ++k)
            sum += texture(Input, vec2(v_uv.x + float(k) * spacing * float(i), v_uv.y)) *
                   kWeights[abs(k)];
    fragColor = sum;
}
)",
    {{"Input", 0}}};

const char* const kBlurDensity = "Blur_density";
const char* const kBlurIterations = "Blur_iterations";
const char* const kOpacity = "Opacity";

}  // namespace

void AnisotropicFlareEffect::_register() {
    PostFX::EffectFactory::registerEffect("AnisotropicFlare", &AnisotropicFlareEffect::create);
}

PostFX::Effect* AnisotropicFlareEffect::create() {
    if (!ms_shadersInitialized) {
        // All four channels, not clamped; full resolution despite the name.
        ms_downsampling = PostFX::buildProgram(CommonPasses::brightParts(
            "Anisotropic flare downsampling", "max(vec4(0.0), c - uBias) * uScale"));
        ms_blurring = PostFX::buildProgram(kBlurring);
        ms_mergeShader = PostFX::buildProgram(
            CommonPasses::flareMerge("Anisotropic flare merge", "Input", "blurred", "uOpacity"));
        ms_shadersInitialized = true;
    }
    using PostFX::Pass;
    auto* effect = new PostFX::Effect();
    CommonPasses::addBrightPartsPass(effect, ms_downsampling);
    effect->addPass([effect](PostFX::Chain::Buffers& buffers) {
        Pass pass(buffers, Pass::Low, ms_blurring);  // scratch[0] -> low[lowCnt]
        pass.uniform("uBlurDensity", CommonPasses::within(effect->property(kBlurDensity).value.f,
                                                          kLeastDensity, HUGE_VALF));
        pass.uniform("uBlurIterations",
                     CommonPasses::within(effect->property(kBlurIterations).value.f, 0.0f,
                                          static_cast<float>(kMostRounds)));
        pass.input(0, buffers.scratch[0]);
        pass.draw();
    });
    CommonPasses::addMergePass(effect, ms_mergeShader, {{"uOpacity", kOpacity}});
    effect->setProperty(CommonPasses::kBias, 0.89f);
    effect->setProperty(CommonPasses::kScale, 0.4f);
    effect->setProperty(kBlurDensity, 13.5f);
    effect->setProperty(kBlurIterations, 123.0f);
    effect->setProperty(kOpacity, 16.0f);
    effect->setMaximum(kBlurIterations, kMostRounds);
    return effect;
}

}  // namespace Tarn::Ext
