#ifndef TARN_TESTS_EXT_PLAIN_ANISOTROPIC_FLARE_H
#define TARN_TESTS_EXT_PLAIN_ANISOTROPIC_FLARE_H

// The anisotropic flare drawn the long way, as the yardstick of its tests
// and benchmark: bias 0.89 and scale 0.4, the density, count and opacity
// given.

#include <memory>

#include <tarn/postfx/effect.h>
#include <tarn/postfx/pass.h>

namespace Tarn::Test {

// The flare as it was written before black runs were skipped: every streak
// pixel sums all of its taps. The bright parts and the merge are its own
// formulas, written again here.
inline const PostFX::ProgramSource kPlainBright = {"Plain bright parts", R"(#version 330 core
uniform sampler2D Input;
uniform float uBias;
uniform float uScale;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    fragColor = max(vec4(0.0), textureLod(Input, v_uv, 0.0) - uBias) * uScale;
}
)", {{"Input", 0}}};
inline const PostFX::ProgramSource kPlainStreak = {"Plain streak", R"(#version 330 core
const int kMostRounds = 256;
uniform sampler2D Input;
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
)", {{"Input", 0}}};
inline const PostFX::ProgramSource kPlainMerge = {"Plain merge", R"(#version 330 core
uniform sampler2D Original;
uniform sampler2D Flare;
uniform float uOpacity;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    vec3 flare = textureLod(Flare, v_uv, 0.0).rgb * (uOpacity / 100.0);
    fragColor = vec4(textureLod(Original, v_uv, 0.0).rgb + flare, 1.0);
}
)", {{"Original", 0}, {"Flare", 1}}};

inline std::unique_ptr<PostFX::Effect> plainAnisotropicFlare(float density, float iterations,
                                                             float opacity) {
    using PostFX::Pass;
    static ShaderProgram* const plain[3] = {PostFX::buildProgram(kPlainBright),
                                            PostFX::buildProgram(kPlainStreak),
                                            PostFX::buildProgram(kPlainMerge)};
    auto effect = std::make_unique<PostFX::Effect>();
    effect->addPass([](PostFX::Chain::Buffers& buffers) {
        Pass pass(buffers, buffers.scratch[0], plain[0]);  // in -> scratch[0]
        pass.uniform("uBias", 0.89f);
        pass.uniform("uScale", 0.4f);
        pass.input(0, buffers.in);
    });
    effect->addPass([=](PostFX::Chain::Buffers& buffers) {
        Pass pass(buffers, Pass::Low, plain[1]);  // scratch[0] -> low[lowCnt]
        pass.uniform("uBlurDensity", density);
        pass.uniform("uBlurIterations", iterations);
        pass.input(0, buffers.scratch[0]);
    });
    effect->addPass([=](PostFX::Chain::Buffers& buffers) {
        Pass pass(buffers, Pass::Full, plain[2]);  // in + low[1 - lowCnt] -> full[fullCnt]
        pass.uniform("uOpacity", opacity);
        pass.input(0, buffers.in);
        pass.input(1, buffers.low[1 - buffers.lowCnt]);
        buffers.out = pass.draw();
    });
    return effect;
}

}  // namespace Tarn::Test

#endif
