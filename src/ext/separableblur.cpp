#include "separableblur.h"

#include "tarn/framebuffer.h"
#include "tarn/postfx/effect.h"

namespace Tarn::Ext::SeparableBlur {

namespace {

// Weights by distance 0 to 7 halve with each step out; over all 15 taps they
// sum to 191. Alpha is 1: the blurred image is opaque whatever its input.
#define TARN_BLUR15_SOURCE(AXIS)                                                                   \
    "#version 330 core\n"                                                                          \
    "uniform sampler2D Input;\n"                                                                   \
    "uniform float uBlurFactor;\n"                                                                 \
    "in vec2 v_uv;\n"                                                                              \
    "layout(location = 0) out vec4 fragColor;\n"                                                   \
    "const float kWeights[8] = float[8](64.0, 32.0, 16.0, 8.0, 4.0, 2.0, 1.0, 0.5);\n"             \
    "void main() {\n"                                                                              \
    "    vec2 offset = " AXIS " * uBlurFactor;\n"                                                  \
    "    vec3 sum = texture(Input, v_uv).rgb * kWeights[0];\n"                                     \
    "    for (int k = 1; k < 8; ++k)\n"                                                            \
    "        sum += (texture(Input, v_uv - float(k) * offset).rgb +\n"                             \
    "                texture(Input, v_uv + float(k) * offset).rgb) * kWeights[k];\n"               \
    "    fragColor = vec4(sum / 191.0, 1.0);\n"                                                    \
    "}\n"

const char* const kHorizontalSource = TARN_BLUR15_SOURCE("vec2(1.0, 0.0)");
const char* const kVerticalSource = TARN_BLUR15_SOURCE("vec2(0.0, 1.0)");

#undef TARN_BLUR15_SOURCE

}  // namespace

PostFX::ProgramSource horizontal(const char* displayName) {
    return {displayName, kHorizontalSource, {{"Input", 0}}};
}

PostFX::ProgramSource vertical(const char* displayName) {
    return {displayName, kVerticalSource, {{"Input", 0}}};
}

void addPasses(PostFX::Effect* effect, ShaderProgram* verticalProgram,
               ShaderProgram* horizontalProgram, const char* blurParameter) {
    using PostFX::Pass;
    effect->addPass([=](PostFX::Chain::Buffers& buffers) {
        Pass pass(buffers, Pass::Low, verticalProgram);  // in -> low[lowCnt]
        pass.uniform("uBlurFactor", effect->property(blurParameter).value.f);
        pass.input(0, buffers.in);
        pass.draw();
    });
    effect->addPass([=](PostFX::Chain::Buffers& buffers) {
        Pass pass(buffers, Pass::Low, horizontalProgram);  // low[1 - lowCnt] -> low[lowCnt]
        pass.uniform("uBlurFactor", effect->property(blurParameter).value.f);
        pass.input(0, buffers.low[1 - buffers.lowCnt]);
        pass.draw();
    });
}

}  // namespace Tarn::Ext::SeparableBlur
