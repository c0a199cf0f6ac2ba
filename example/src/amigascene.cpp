#include "amigascene.h"

#include <memory>

#include <tarn/imagetexture.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/effectfactory.h>
#include <tarn/postfx/pass.h>


bool AmigaScene::ms_shadersInitialized = false;
Tarn::ShaderProgram* AmigaScene::ms_amigaShader = nullptr;

namespace {

enum Unit { kLogoUnit = 0, kRunnerUnit = 1, kScrollerUnit = 2 };

// (x, y) = (u, 1 - v): y grows downwards, and image files are stored top row
// first, so every image reads upright. The bars fade to black over 0.05 and
// stay black beyond, never below zero, which later effects would carry; once
// open they reach black exactly where the logo band and the bottom strip
// begin. The cyan bar starts at m1 itself, so a closed window (m1 = m2)
// shows no line of the middle. Both are pinned by
// DemoEffectsGLTest.RetroSceneAtItsStartShowsOnlyBarsLogoAndStrip. The
// starfield is drawn as for a 1000 x 1000 frame (aspect 1).
const Tarn::PostFX::ProgramSource kScene = {
    "Amiga",
    R"(#version 330 core
uniform sampler2D logoTex;
uniform sampler2D runnerTex;
uniform sampler2D scrollerTex;
uniform float time;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;

vec3 hsv(float h, float s, float v) {
    float c = v * s;
    float hp = mod(h * 6.0, 6.0);
    float x = c * (1.0 - abs(mod(hp, 2.0) - 1.0));
    int sector = int(floor(hp));
    vec3 rgb = vec3(0.0);
    if (sector == 0)
        rgb = vec3(c, x, 0.0);
    else if (sector == 1)
        rgb = vec3(x, c, 0.0);
    else if (sector == 2)
        rgb = vec3(0.0, c, x);
    else if (sector == 3)
        rgb = vec3(0.0, x, c);
    else if (sector == 4)
        rgb = vec3(x, 0.0, c);
    else if (sector == 5)
        rgb = vec3(c, 0.0, x);
    return rgb + (v - c);
}

vec4 plasmaTint(vec2 uv, float t) {
    if (t < 14.22)
        return vec4(1.0);
    vec2 q = uv * vec2(1.6, 1.0) * 8.0;
    q = vec2(cos(length(q) + t), sin(q.x + 1.33 * t) + cos(q.y * 3.1415) + 0.85 * t);
    vec3 rgb = hsv(clamp(sin(length(q)) * 0.5 + 0.5, 0.0, 1.0), 1.0, 1.0);
    return vec4(floor(rgb * 2.0) / 2.0, 1.0);
}

vec4 starfield(vec2 xy, float t) {
    float scale = sin(0.1 * t) * 0.5 + 5.0;
    vec2 centred = xy * scale + scale * 0.1 - vec2(2.0);
    float gradient = 0.0;
    for (int i = 1; i <= 64; ++i) {
        float fi = float(i);
        vec2 star = vec2(sin(fi) * 200.0, sin(fi * fi * fi) * 300.0);
        float z = mod(fi * fi - 200.0 * t, 512.0);
        float fade = (256.0 - z) / 200.0;
        gradient += (fade / 1800.0) / pow(length(centred - star / z), 1.5) * fade;
    }
    return vec4(vec3(gradient * 5.0), 1.0);
}

vec4 middle(vec2 xy, vec2 uv, vec2 runnerUv, float t) {
    vec2 scrollUv = vec2(xy.x + sin(xy.y + t) * 0.1 + 0.55 * (0.97 * t - 1.3),
                         (xy.y + sin(3.0 * t + xy.x) * 0.15) / 32.0) * 0.5;
    scrollUv.y = clamp((scrollUv.y - 0.01) * 32.0, 0.0, 1.0 / 32.0) + floor(scrollUv.x) / 32.0;
    vec4 scroller = textureLod(scrollerTex, scrollUv, 0.0);
    vec4 colour = mix(starfield(xy, t) * plasmaTint(uv, t), scroller, scroller.a);
    vec4 runner = textureLod(runnerTex, runnerUv, 0.0);
    runner.a = runner.a < 0.5 ? 0.0 : runner.a;
    return mix(colour, runner, runner.a);
}

void main() {
    float t = time;
    vec2 xy = vec2(v_uv.x, 1.0 - v_uv.y);
    vec2 uv = floor(xy * 256.0) / 256.0;
    vec2 uv2 = vec2(uv.x, uv.y + 0.02 * sin(uv.x + t));
    vec2 runnerUv = vec2(fract(xy.x * 0.1 + floor(t * 10.0) * 0.1) * 16.0,
                         clamp((xy.y + sin(3.0 * t + xy.x) * 0.15 - 0.45) * 5.5, 0.0, 1.0));
    if (uv.x < 0.44 || uv.x > 0.50)
        runnerUv.x = 0.0;
    float m1 = min(0.5 + 0.2 * t, 0.9);
    float m2 = max(0.5 - 0.125 * t, 0.25);
    vec4 colour;
    if (uv2.y < 0.2) {
        vec2 sway = vec2(0.8 + sin(t + uv.y * 6.0) * 0.2, 0.05);
        colour = textureLod(logoTex, clamp(uv * vec2(2.8, 6.0) - sway, 0.0, 1.0), 0.0);
    } else if (uv2.y > 0.95) {
        colour = vec4(0.0, 0.0, 0.0, 1.0);
    } else if (uv2.y < m2) {
        float fade = max(1.0 - (m2 - uv2.y) / 0.05, 0.0);
        colour = vec4(fade, 0.0, fade * 0.3, 1.0);
    } else if (uv2.y >= m1) {
        float fade = max(1.0 - (uv2.y - m1) / 0.05, 0.0);
        colour = vec4(0.0, fade, fade * 0.92, 1.0);
    } else {
        colour = middle(xy, uv, runnerUv, t);
    }
    fragColor = colour * (sin(xy.y * 1000.0) * 0.1 + 0.9);
}
)",
    {{"logoTex", kLogoUnit}, {"runnerTex", kRunnerUnit}, {"scrollerTex", kScrollerUnit}}};

// Nearest and repeating: the pixels stay crisp and the scroller and the
// sprite sheet wrap around.
struct Images {
    Tarn::ImageTexture logo{"assets/amiga_logo.png"};
    Tarn::ImageTexture runner{"assets/runner.png"};
    Tarn::ImageTexture scroller{"assets/scroller.png"};

    Images() {
        for (Tarn::ImageTexture* image : {&logo, &runner, &scroller}) {
            image->setFilterMode(Tarn::ImageTexture::Nearest, Tarn::ImageTexture::Nearest);
            image->setWrapMode(Tarn::ImageTexture::Repeat, Tarn::ImageTexture::Repeat);
        }
    }
};

}  // namespace

void AmigaScene::_register() {
    Tarn::PostFX::EffectFactory::registerEffect("Amiga", &AmigaScene::create);
}

Tarn::PostFX::Effect* AmigaScene::create() {
    if (!ms_shadersInitialized) {
        ms_amigaShader = Tarn::PostFX::buildProgram(kScene);
        ms_shadersInitialized = true;
    }
    auto* effect = new Tarn::PostFX::Effect();
    effect->addPass([images = std::make_shared<Images>()](Tarn::PostFX::Chain::Buffers& buffers) {
        using Tarn::PostFX::Pass;
        Pass pass(buffers, Pass::Full, ms_amigaShader);  // images -> full[fullCnt]; in is not read
        // The difference in double: the clock is exact at the start bar.
        pass.uniform("time", static_cast<float>(buffers.frame.time - AmigaScene::kStartTime));
        pass.input(kLogoUnit, &images->logo);
        pass.input(kRunnerUnit, &images->runner);
        pass.input(kScrollerUnit, &images->scroller);
        buffers.out = pass.draw();
    });
    return effect;
}
