#include "tarn/ext/fxaaeffect.h"

#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool FXAAEffect::ms_shadersInitialized = false;
ShaderProgram* FXAAEffect::ms_FXAAShader = nullptr;

namespace {

// v_popos is the corner half a texel down and left of the pixel centre. The
// texel size is the input's, not a fixed 1280 x 720 frame's, so the offsets
// hold at any size (and are the same at 1280 x 720).
const char* const kVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 uv;
uniform sampler2D uInput;
out vec2 v_uv;
out vec2 v_popos;
void main() {
    v_uv = uv;
    v_popos = uv - 0.5 / vec2(textureSize(uInput, 0));
    gl_Position = vec4(position, 1.0);
}
)";

const char* const kFragment = R"(#version 330 core
uniform sampler2D uInput;
in vec2 v_uv;
in vec2 v_popos;
layout(location = 0) out vec4 fragColor;
const float FXAA_SPAN_MAX = 8.0;
const float FXAA_REDUCE_MUL = 0.0;
const float FXAA_REDUCE_MIN = 1.0 / 128.0;
vec3 at(vec2 uv) {
    return textureLod(uInput, uv, 0.0).rgb;
}
void main() {
    vec2 rcpFrame = 1.0 / vec2(textureSize(uInput, 0));
    vec3 luma = vec3(0.299, 0.587, 0.114);
    float lumaNW = dot(at(v_popos), luma);
    float lumaNE = dot(textureLodOffset(uInput, v_popos, 0.0, ivec2(1, 0)).rgb, luma);
    float lumaSW = dot(textureLodOffset(uInput, v_popos, 0.0, ivec2(0, 1)).rgb, luma);
    float lumaSE = dot(textureLodOffset(uInput, v_popos, 0.0, ivec2(1, 1)).rgb, luma);
    vec4 rgbaM = textureLod(uInput, v_uv, 0.0);
    float lumaM = dot(rgbaM.rgb, luma);
    float lumaMin = min(lumaM, min(min(lumaNW, lumaNE), min(lumaSW, lumaSE)));
    float lumaMax = max(lumaM, max(max(lumaNW, lumaNE), max(lumaSW, lumaSE)));

    vec2 dir = vec2(-((lumaNW + lumaNE) - (lumaSW + lumaSE)), (lumaNW + lumaSW) - (lumaNE + lumaSE));
    float dirReduce =
        max((lumaNW + lumaNE + lumaSW + lumaSE) * (0.25 * FXAA_REDUCE_MUL), FXAA_REDUCE_MIN);
    float rcpDirMin = 1.0 / (min(abs(dir.x), abs(dir.y)) + dirReduce);
    dir = clamp(dir * rcpDirMin, -FXAA_SPAN_MAX, FXAA_SPAN_MAX) * rcpFrame;

    vec3 rgbA = 0.5 * (at(v_uv + dir * (1.0 / 3.0 - 0.5)) + at(v_uv + dir * (2.0 / 3.0 - 0.5)));
    vec3 rgbB = rgbA * 0.5 + 0.25 * (at(v_uv + dir * -0.5) + at(v_uv + dir * 0.5));
    float lumaB = dot(rgbB, luma);
    fragColor = vec4(lumaB < lumaMin || lumaB > lumaMax ? rgbA : rgbB, rgbaM.a);
}
)";

}  // namespace

void FXAAEffect::_register() {
    PostFX::EffectFactory::registerEffect("FXAA", &FXAAEffect::create);
}

PostFX::Effect* FXAAEffect::create() {
    if (!ms_shadersInitialized) {
        ms_FXAAShader = PostFX::buildProgram({"FXAA", kFragment, {{"uInput", 0}}, kVertex});
        ms_shadersInitialized = true;
    }
    auto* effect = new PostFX::Effect();
    effect->addPass([](PostFX::Chain::Buffers& buffers) {
        using PostFX::Pass;
        Pass pass(buffers, Pass::Full, ms_FXAAShader);  // in -> full[fullCnt]
        pass.input(0, buffers.in);
        buffers.out = pass.draw();
    });
    effect->setProperty("vx_offset", 0.0f);
    return effect;
}

}  // namespace Tarn::Ext
