#include "overlay.h"

#include <memory>

#include <tarn/imagetexture.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/effectfactory.h>
#include <tarn/postfx/pass.h>

bool OverlayEffect::ms_shadersInitialized = false;
Tarn::ShaderProgram* OverlayEffect::ms_overlayShader = nullptr;

namespace {

enum Unit { kInputUnit = 0, kOverlayUnit = 1 };

// The contrast stretch maps 0.1355 to 0 and keeps 1 at 1; the luma is the
// ungraded input's.
const Tarn::PostFX::ProgramSource kOverlay = {
    "Overlay",
    R"(#version 330 core
uniform sampler2D uInput;
uniform sampler2D uOverlayTex;
uniform float uOverlayLevel;
uniform float uWhiteLevel;
uniform float uBlackLevel;
uniform float uEnhancements;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    vec4 rtinput1 = clamp(textureLod(uInput, v_uv, 0.0), 0.0, 1.0);
    vec3 gs = vec3(dot(rtinput1.rgb, vec3(0.299, 0.587, 0.114)));
    vec3 graded = rtinput1.rgb * 1.1568 - 0.1568;
    graded = mix(graded, vec3(1.0, 0.0745, 0.1921), 0.08);
    graded = mix(graded, gs, 0.1);
    vec4 rtinput = mix(rtinput1, vec4(graded, rtinput1.a), uEnhancements);
    vec4 overlay = texture(uOverlayTex, v_uv);
    vec3 composite = mix(rtinput.rgb, overlay.rgb, overlay.a * uOverlayLevel);
    composite = mix(composite, vec3(1.0), uWhiteLevel);
    composite = mix(composite, vec3(0.0), uBlackLevel);
    fragColor = vec4(composite, 1.0);
}
)",
    {{"uInput", kInputUnit}, {"uOverlayTex", kOverlayUnit}}};

// Parameter and uniform, in the order they are made and set.
const struct {
    const char* parameter;
    const char* uniform;
} kLevels[] = {{"Overlay_level", "uOverlayLevel"},
               {"White_level", "uWhiteLevel"},
               {"Black_level", "uBlackLevel"},
               {"Enhancements", "uEnhancements"}};

}  // namespace

void OverlayEffect::_register() {
    Tarn::PostFX::EffectFactory::registerEffect("Overlay", &OverlayEffect::create);
}

Tarn::PostFX::Effect* OverlayEffect::create() {
    if (!ms_shadersInitialized) {
        ms_overlayShader = Tarn::PostFX::buildProgram(kOverlay);
        ms_shadersInitialized = true;
    }
    auto* effect = new Tarn::PostFX::Effect();
    effect->addPass([effect, image = std::make_shared<Tarn::ImageTexture>(
                                 "assets/velmoralogo.png")](Tarn::PostFX::Chain::Buffers& buffers) {
        using Tarn::PostFX::Pass;
        Pass pass(buffers, Pass::Full, ms_overlayShader);  // in + overlay image -> full[fullCnt]
        for (const auto& level : kLevels)
            pass.uniform(level.uniform, effect->property(level.parameter).value.f);
        pass.input(kInputUnit, buffers.in);
        pass.input(kOverlayUnit, image.get());
        buffers.out = pass.draw();
    });
    for (const auto& level : kLevels)
        effect->setProperty(level.parameter, 0.0f);
    return effect;
}
