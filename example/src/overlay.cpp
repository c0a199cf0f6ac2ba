#include "overlay.h"

#include <memory>

#include <tarn/imagetexture.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/effectfactory.h>
#include <tarn/postfx/pass.h>
#include <tarn/vfs.h>

bool OverlayEffect::ms_shadersInitialized = false;
Tarn::ShaderProgram* OverlayEffect::ms_overlayShader = nullptr;

namespace {

enum Unit { kInputUnit = 0, kOverlayUnit = 1 };

// TARN's logo, stored upside down since the pass reads this file unflipped.
constexpr const char* kFixedImage = "assets/velmoralogo.png";

// How the pass reads its image: none (the overlay adds nothing), the fixed
// file as stored, or an image the demo script named, upright like every
// other image.
enum OverlayMode { kNoImage = 0, kAsStored = 1, kUpright = 2 };

struct OverlayImage {
    std::unique_ptr<Tarn::ImageTexture> texture;
    OverlayMode mode = kNoImage;
};

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
uniform float uOverlayMode;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    vec4 rtinput1 = clamp(textureLod(uInput, v_uv, 0.0), 0.0, 1.0);
    vec3 gs = vec3(dot(rtinput1.rgb, vec3(0.299, 0.587, 0.114)));
    vec3 graded = rtinput1.rgb * 1.1568 - 0.1568;
    graded = mix(graded, vec3(1.0, 0.0745, 0.1921), 0.08);
    graded = mix(graded, gs, 0.1);
    vec4 rtinput = mix(rtinput1, vec4(graded, rtinput1.a), uEnhancements);
    vec2 overlayUv = uOverlayMode > 1.5 ? vec2(v_uv.x, 1.0 - v_uv.y) : v_uv;
    vec4 overlay = uOverlayMode < 0.5 ? vec4(0.0) : texture(uOverlayTex, overlayUv);
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
    auto image = std::make_shared<OverlayImage>();
    // Without the fixed file (a demo of one's own), no image and no line.
    const bool fixedImage = Tarn::VFS::tarnVFS ? Tarn::VFS::tarnVFS->exists(kFixedImage)
                                               : Tarn::VFS("", false).exists(kFixedImage);
    if (fixedImage) {
        image->texture = std::make_unique<Tarn::ImageTexture>(kFixedImage);
        image->mode = kAsStored;
    }
    effect->setImageHandler([image](const std::string& word, const std::string& path) {
        if (word != "image")
            return false;
        image->texture = std::make_unique<Tarn::ImageTexture>(path);
        image->mode = kUpright;
        return true;
    });
    effect->addPass([effect, image](Tarn::PostFX::Chain::Buffers& buffers) {
        using Tarn::PostFX::Pass;
        Pass pass(buffers, Pass::Full, ms_overlayShader);  // in + overlay image -> full[fullCnt]
        for (const auto& level : kLevels)
            pass.uniform(level.uniform, effect->property(level.parameter).value.f);
        pass.uniform("uOverlayMode", static_cast<float>(image->mode));
        pass.input(kInputUnit, buffers.in);
        pass.input(kOverlayUnit, image->texture.get());
        buffers.out = pass.draw();
    });
    for (const auto& level : kLevels)
        effect->setProperty(level.parameter, 0.0f);
    return effect;
}
