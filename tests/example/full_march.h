#ifndef TARN_TESTS_EXAMPLE_FULL_MARCH_H
#define TARN_TESTS_EXAMPLE_FULL_MARCH_H

// The ray-marched scene drawn the long way, as the yardstick of the scene's
// tests and benchmark: the same images (read from
// "assets/raymarchedscene/" at creation) and time, every ray marched.

#include <memory>
#include <string>

#include <tarn/cubetexture.h>
#include <tarn/imagetexture.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/pass.h>

namespace Tarn::Test {

// The scene as it was drawn before rays that meet no ball were left out:
// every ray marches until it finds the surface or runs out of steps.
inline const Tarn::PostFX::ProgramSource kFullMarch = {"Full march", R"(#version 330 core
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

// Moves p along dir to the surface; false once past maxDistance or steps.
bool march(inout vec3 p, vec3 dir, int steps, float maxDistance) {
    vec3 origin = p;
    for (int i = 0; i < steps; ++i) {
        float f = field(p);
        if (f < EPS)
            return true;
        p += f * dir;
        if (length(p - origin) > maxDistance)
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
                                                {{"backtex", 8}, {"frontex", 9}, {"skytex", 10}}};

// An effect of one pass drawing kFullMarch at the chain's demo time.
inline std::unique_ptr<PostFX::Effect> fullMarch() {
    static ShaderProgram* const program = PostFX::buildProgram(kFullMarch);
    struct Images {
        ImageTexture back{std::string("assets/raymarchedscene/back.png")};
        ImageTexture front{std::string("assets/raymarchedscene/front.png")};
        CubeTexture sky{"assets/raymarchedscene/cubemap.jpg"};
    };
    auto effect = std::make_unique<PostFX::Effect>();
    effect->addPass([images = std::make_shared<Images>()](PostFX::Chain::Buffers& buffers) {
        PostFX::Pass pass(buffers, PostFX::Pass::Full, program);
        pass.uniform("time", static_cast<float>(buffers.frame.time));
        pass.input(8, &images->back);
        pass.input(9, &images->front);
        pass.input(10, &images->sky);
        buffers.out = pass.draw();
    });
    return effect;
}

}  // namespace Tarn::Test

#endif
