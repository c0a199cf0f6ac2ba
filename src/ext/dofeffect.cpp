#include "tarn/ext/dofeffect.h"

#include <cmath>

#include "commonpasses.h"
#include "separableblur.h"
#include "tarn/framebuffer.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool DoFEffect::ms_shadersInitialized = false;
ShaderProgram* DoFEffect::ms_dof_hblurShader = nullptr;
ShaderProgram* DoFEffect::ms_dof_vblurShader = nullptr;
ShaderProgram* DoFEffect::ms_dof_mergeShader = nullptr;

namespace {

// The absolute depth is compared, so the sign convention of view space does
// not matter. Pixels without geometry hold the G-buffer's clear value.
const PostFX::ProgramSource kMerge = {"DoF merge",
                                      R"(#version 330 core
uniform sampler2D Input;
uniform sampler2D blurred;
uniform sampler2D rt2;
uniform float uFocusDistance;
uniform float uFStop;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    float depth = textureLod(rt2, v_uv, 0.0).z;
    float blurfactor = abs(abs(depth) - uFocusDistance) / (uFStop * 8.0);
    vec3 sharp = textureLod(Input, v_uv, 0.0).rgb;
    vec3 blur = textureLod(blurred, v_uv, 0.0).rgb;
    fragColor = vec4(mix(sharp, blur, clamp(blurfactor, 0.0, 1.0)), 1.0);
}
)",
                                      {{"Input", 0}, {"blurred", 1}, {"rt2", 2}}};

// The image is fully blurred at F Stop x 8 from the focus; at 0 the focus
// plane itself would divide 0 by 0.
const float kLeastFStop = 0.001f;

const char* const kBlurFactor = "Blur factor";
const char* const kFocusDistance = "Focus distance";
const char* const kFStop = "F Stop";

}  // namespace

void DoFEffect::_register() {
    PostFX::EffectFactory::registerEffect("DepthOfField", &DoFEffect::create);
}

PostFX::Effect* DoFEffect::create() {
    if (!ms_shadersInitialized) {
        ms_dof_hblurShader = PostFX::buildProgram(SeparableBlur::horizontal("DoF H-blur"));
        ms_dof_vblurShader = PostFX::buildProgram(SeparableBlur::vertical("DoF V-blur"));
        ms_dof_mergeShader = PostFX::buildProgram(kMerge);
        ms_shadersInitialized = true;
    }
    auto* effect = new PostFX::Effect();
    SeparableBlur::addPasses(effect, ms_dof_vblurShader, ms_dof_hblurShader, kBlurFactor);
    effect->addPass([effect](PostFX::Chain::Buffers& buffers) {
        using PostFX::Pass;
        // in + low[1 - lowCnt] + G-buffer position -> full[fullCnt]
        Pass pass(buffers, Pass::Full, ms_dof_mergeShader);
        pass.uniform("uFocusDistance", effect->property(kFocusDistance).value.f);
        pass.uniform("uFStop", CommonPasses::within(effect->property(kFStop).value.f, kLeastFStop,
                                                    HUGE_VALF));
        pass.input(0, buffers.in);
        pass.input(1, buffers.low[1 - buffers.lowCnt]);
        pass.input(2, buffers.gBuffer ? buffers.gBuffer->target(2) : nullptr);
        buffers.out = pass.draw();
    });
    effect->setProperty(kBlurFactor, 0.008f);
    effect->setProperty(kFocusDistance, 5.0f);
    effect->setProperty(kFStop, 0.5f);
    return effect;
}

}  // namespace Tarn::Ext
