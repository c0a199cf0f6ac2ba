#include "tarn/ext/motionblureffect.h"

#include <string>

#include "separableblur.h"
#include "tarn/framebuffer.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool MotionBlurEffect::ms_shadersInitialized = false;
ShaderProgram* MotionBlurEffect::ms_mblurShader = nullptr;

namespace {

// Taps at level 0: with a zero vector every tap is the pixel itself, exactly.
PostFX::ProgramSource blurSource() {
    using namespace SeparableBlur;
    return {"Motion blur",
            std::string(R"(#version 330 core
uniform sampler2D Input;
uniform sampler2D rt1;
uniform float uScale;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
)") + blurFunction(Taps::Wide15, Read::Level0) +
                R"(void main() {
    vec2 velocity = textureLod(rt1, v_uv, 0.0).zw * uScale;
    fragColor = vec4(blur(Input, v_uv, velocity), 1.0);
}
)",
            {{"Input", 0}, {"rt1", 1}}};
}

const char* const kScale = "Scale";

}  // namespace

void MotionBlurEffect::_register() {
    PostFX::EffectFactory::registerEffect("Motion blur", &MotionBlurEffect::create);
}

PostFX::Effect* MotionBlurEffect::create() {
    if (!ms_shadersInitialized) {
        ms_mblurShader = PostFX::buildProgram(blurSource());
        ms_shadersInitialized = true;
    }
    auto* effect = new PostFX::Effect();
    effect->addPass([effect](PostFX::Chain::Buffers& buffers) {
        using PostFX::Pass;
        Pass pass(buffers, Pass::Full, ms_mblurShader);  // in + G-buffer vector -> full[fullCnt]
        pass.uniform("uScale", effect->property(kScale).value.f);
        pass.input(0, buffers.in);
        pass.input(1, buffers.gBuffer ? buffers.gBuffer->target(1) : nullptr);
        buffers.out = pass.draw();
    });
    effect->setProperty(kScale, 0.01f);
    return effect;
}

}  // namespace Tarn::Ext
