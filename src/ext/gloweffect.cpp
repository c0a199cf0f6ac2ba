#include "tarn/ext/gloweffect.h"

#include "commonpasses.h"
#include "separableblur.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool GlowEffect::ms_shadersInitialized = false;
ShaderProgram* GlowEffect::ms_hblurShader = nullptr;
ShaderProgram* GlowEffect::ms_vblurShader = nullptr;
ShaderProgram* GlowEffect::ms_mergeShader = nullptr;

namespace {

// Level 0 read: the input is the target's size and copies exactly; the
// quarter-resolution blur is magnified, nearest, as the targets sample.
const PostFX::ProgramSource kMerge = {"Glow merge",
                                      R"(#version 330 core
uniform sampler2D Input;
uniform sampler2D blurred;
uniform float uThreshold;
uniform float uPower;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    vec3 blur = textureLod(blurred, v_uv, 0.0).rgb;
    blur = smoothstep(0.0, 1.0 - uThreshold, blur - uThreshold);
    fragColor = vec4(textureLod(Input, v_uv, 0.0).rgb + blur * uPower, 1.0);
}
)",
                                      {{"Input", 0}, {"blurred", 1}}};

const char* const kBlurFactor = "Blur_factor";
const char* const kThreshold = "Threshold";
const char* const kPower = "Power";

}  // namespace

void GlowEffect::_register() {
    PostFX::EffectFactory::registerEffect("Glow", &GlowEffect::create);
}

PostFX::Effect* GlowEffect::create() {
    if (!ms_shadersInitialized) {
        ms_hblurShader = PostFX::buildProgram(SeparableBlur::horizontal("Glow H-blur"));
        ms_vblurShader = PostFX::buildProgram(SeparableBlur::vertical("Glow V-blur"));
        ms_mergeShader = PostFX::buildProgram(kMerge);
        ms_shadersInitialized = true;
    }
    auto* effect = new PostFX::Effect();
    SeparableBlur::addPasses(effect, ms_vblurShader, ms_hblurShader, kBlurFactor);
    CommonPasses::addMergePass(effect, ms_mergeShader,
                               {{"uThreshold", kThreshold}, {"uPower", kPower}});
    effect->setProperty(kBlurFactor, 0.004f);
    effect->setProperty(kThreshold, 0.05f);
    effect->setProperty(kPower, 1.5f);
    return effect;
}

}  // namespace Tarn::Ext
