#include "separableblur.h"

#include "tarn/framebuffer.h"
#include "tarn/postfx/effect.h"

namespace Tarn::Ext::SeparableBlur {

namespace {

// The weights halve with each step out. Alpha is left to the caller: the
// blurred images are opaque whatever their input.
const char* const kWide15 = "const int kTaps = 8;\n"
                            "const float kWeights[8] = float[8](64.0, 32.0, 16.0, 8.0, 4.0, 2.0, "
                            "1.0, 0.5);\n"
                            "const float kSum = 191.0;\n";
const char* const kNarrow7 = "const int kTaps = 4;\n"
                             "const float kWeights[4] = float[4](8.0, 4.0, 2.0, 1.0);\n"
                             "const float kSum = 22.0;\n";

const char* const kBlurBody = R"(vec3 blur(sampler2D image, vec2 uv, vec2 step) {
    vec3 sum = TAP(image, uv) * kWeights[0];
    for (int k = 1; k < kTaps; ++k)
        sum += (TAP(image, uv - float(k) * step) + TAP(image, uv + float(k) * step)) * kWeights[k];
    return sum / kSum;
}
)";

PostFX::ProgramSource axisBlur(const char* displayName, Taps taps, Read read, const char* axis) {
    return {displayName,
            std::string("#version 330 core\n"
                        "uniform sampler2D Input;\n"
                        "uniform float uBlurFactor;\n"
                        "in vec2 v_uv;\n"
                        "layout(location = 0) out vec4 fragColor;\n") +
                blurFunction(taps, read) +
                "void main() {\n    fragColor = vec4(blur(Input, v_uv, " + axis +
                " * uBlurFactor), 1.0);\n}\n",
            {{"Input", 0}}};
}

}  // namespace

std::string blurFunction(Taps taps, Read read) {
    return std::string(taps == Taps::Wide15 ? kWide15 : kNarrow7) +
           (read == Read::Filtered ? "#define TAP(image, uv) texture(image, uv).rgb\n"
                                   : "#define TAP(image, uv) textureLod(image, uv, 0.0).rgb\n") +
           kBlurBody;
}

PostFX::ProgramSource horizontal(const char* displayName, Taps taps, Read read) {
    return axisBlur(displayName, taps, read, "vec2(1.0, 0.0)");
}

PostFX::ProgramSource vertical(const char* displayName, Taps taps, Read read) {
    return axisBlur(displayName, taps, read, "vec2(0.0, 1.0)");
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
