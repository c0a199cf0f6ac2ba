#include "raymarchedscene.h"

#include <memory>

#include <tarn/cubetexture.h>
#include <tarn/imagetexture.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/effectfactory.h>
#include <tarn/postfx/pass.h>


bool RaymarchedScene::ms_shadersInitialized = false;
Tarn::ShaderProgram* RaymarchedScene::ms_rmShader = nullptr;

namespace {

enum Unit { kBackUnit = 8, kFrontUnit = 9, kSkyUnit = 10 };

// The field f(p) = 1 - sum of 0.2 / |p / 1.5 - c|^2 over the six centres is
// negative inside the balls and near 1 far from them; it is the marching
// step. Far from the balls every step is under 1, so a miss would run all
// 128 steps. A march stops where f < EPS, which needs a sum above 1 - EPS,
// so some term above (1 - EPS) / 6: some |p / 1.5 - c| below
// sqrt(1.2 / 0.999) = 1.096. No step can stop outside the six spheres of
// radius 1.5 * 1.096 = 1.644 around 1.5 c: a march ends, as a miss, once it
// has passed the last of them along its ray, and a ray that meets none is
// not marched. The picture is the one a full march gives, bit for bit: the
// steps taken are the same ones, and only steps that could not find the
// surface are left out (DemoEffectsGLTest.RaymarcherSkipsOnlyWhatCannotHit).
// The radius used, 1.7, leaves room for rounding in the points marched.
// The reflection starts one unit along the mirrored ray, clear of the
// surface it leaves. Image files are stored top row first, hence 1 - v.
const Tarn::PostFX::ProgramSource kScene = {
    "Raymarcher",
    R"(#version 330 core
uniform sampler2D backtex;
uniform sampler2D frontex;
uniform samplerCube skytex;
uniform float time;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;

const float EPS = 0.001;
const vec3 SUNDIR = normalize(vec3(0.0, -0.4, -1.0));
vec3 centres[6];

void animate(float t) {
    centres[0] = vec3(sin(0.7 * t), -3.0 + cos(t + 0.7), cos(0.2 * t + 1.0));
    centres[1] = vec3(sin(0.4 * t + 0.5), -3.0 + cos(0.5 * t + 0.4), cos(0.57 * t + 1.4));
    centres[2] = vec3(sin(0.82 * t + 0.3), -3.0 + cos(0.82 * t + 0.3), sin(0.1 * t + 1.8));
    centres[3] = vec3(cos(0.7 * t), -3.0 + sin(0.7 * t + 0.7), cos(0.2 * t + 1.0));
    centres[4] = vec3(cos(0.4 * t + 0.5), -3.0 + sin(0.5 * t + 0.4), cos(0.57 * t + 1.4));
    centres[5] = vec3(cos(0.82 * t + 0.3), -3.0 + sin(0.82 * t + 0.3), cos(0.1 * t + 1.8));
}

float field(vec3 p) {
    vec3 q = p / 1.5;
    float potential = 0.0;
    for (int k = 0; k < 6; ++k) {
        vec3 d = q - centres[k];
        potential += 0.2 / dot(d, d);
    }
    return 1.0 - potential;
}

vec3 normalAt(vec3 p) {
    vec2 e = vec2(EPS, 0.0);
    return normalize(vec3(field(p + e.xyy) - field(p - e.xyy), field(p + e.yxy) - field(p - e.yxy),
                          field(p + e.yyx) - field(p - e.yyx)));
}

// How far along the ray from origin (dir of length 1) a surface may lie:
// the farthest exit from a sphere of REACH around a centre, or -1 where the
// ray meets none.
const float REACH = 1.7;
float reach(vec3 origin, vec3 dir) {
    float farthest = -1.0;
    for (int k = 0; k < 6; ++k) {
        vec3 oc = 1.5 * centres[k] - origin;
        float along = dot(oc, dir);
        float across = dot(oc, oc) - along * along;
        if (across <= REACH * REACH)
            farthest = max(farthest, along + sqrt(REACH * REACH - across));
    }
    return farthest;
}

// Moves p along dir to the surface; false once past maxDistance or steps,
// or past the last point the surface may be.
bool march(inout vec3 p, vec3 dir, int steps, float maxDistance) {
    vec3 origin = p;
    float limit = min(maxDistance, reach(origin, dir));
    if (limit < 0.0)
        return false;
    for (int i = 0; i < steps; ++i) {
        float f = field(p);
        if (f < EPS)
            return true;
        p += f * dir;
        if (length(p - origin) > limit)
            return false;
    }
    return false;
}

vec3 lit(vec3 p, vec3 eye, vec3 n) {
    vec3 h = normalize(SUNDIR - normalize(p - eye));
    float specular = pow(clamp(dot(n, h), 0.0, 1.0), 512.0);
    return (clamp(dot(SUNDIR, n), 0.0, 1.0) * 0.5 + 0.1 + specular) * vec3(1.0, 0.75, 0.75);
}

vec3 reflection(vec3 p, vec3 dir) {
    vec3 eye = p;
    vec3 colour = textureLod(skytex, dir, 0.0).rgb * vec3(1.0, 0.55, 0.3);
    if (march(p, dir, 32, 30.0))
        colour = lit(p, eye, normalAt(p));
    return clamp(colour, 0.0, 1.0);
}

void main() {
    animate(time);
    vec2 st = vec2(v_uv.x, 1.0 - v_uv.y);
    vec3 colour = texture(backtex, st).rgb;
    vec4 front = texture(frontex, st);
    vec3 ro = vec3(0.0, -5.0, 10.0);
    vec3 rd = normalize(vec3((2.0 * v_uv.x - 1.0) * 1.6, 2.0 * v_uv.y - 1.0, -1.5));
    vec3 p = ro;
    if (march(p, rd, 128, 404.0)) {
        vec3 n = normalAt(p);
        colour = lit(p, ro, n);
        float r = dot(n, -rd);
        if (r > 0.0) {
            vec3 d2 = reflect(rd, n);
            p += d2;
            colour = mix(colour, reflection(p + d2 * EPS, d2), r);
        }
    }
    fragColor = vec4(mix(colour, front.rgb, front.a), 1.0);
}
)",
    {{"backtex", kBackUnit}, {"frontex", kFrontUnit}, {"skytex", kSkyUnit}}};

// The effect's own images, freed with its pass.
struct Images {
    Tarn::ImageTexture back{"assets/raymarchedscene/back.png"};
    Tarn::ImageTexture front{"assets/raymarchedscene/front.png"};
    Tarn::CubeTexture sky{"assets/raymarchedscene/cubemap.jpg"};
};

}  // namespace

void RaymarchedScene::_register() {
    Tarn::PostFX::EffectFactory::registerEffect("Raymarcher", &RaymarchedScene::create);
}

Tarn::PostFX::Effect* RaymarchedScene::create() {
    if (!ms_shadersInitialized) {
        ms_rmShader = Tarn::PostFX::buildProgram(kScene);
        ms_shadersInitialized = true;
    }
    auto* effect = new Tarn::PostFX::Effect();
    effect->addPass([images = std::make_shared<Images>()](Tarn::PostFX::Chain::Buffers& buffers) {
        using Tarn::PostFX::Pass;
        Pass pass(buffers, Pass::Full, ms_rmShader);  // images -> full[fullCnt]; in is not read
        pass.uniform("time", static_cast<float>(buffers.frame.time));
        pass.input(kBackUnit, &images->back);
        pass.input(kFrontUnit, &images->front);
        pass.input(kSkyUnit, &images->sky);
        buffers.out = pass.draw();
    });
    effect->setProperty("Water_level", 0.0f);
    return effect;
}
