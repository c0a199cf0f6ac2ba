#include "commonpasses.h"

#include "tarn/postfx/effect.h"

namespace Tarn::Ext::CommonPasses {

PostFX::ProgramSource flareMerge(const char* displayName, const char* original, const char* flare,
                                 const char* opacity) {
    const std::string o = original, f = flare, a = opacity;
    return {displayName,
            "#version 330 core\n"
            "uniform sampler2D " +
                o +
                ";\n"
                "uniform sampler2D " +
                f +
                ";\n"
                "uniform float " +
                a +
                ";\n"
                "in vec2 v_uv;\n"
                "layout(location = 0) out vec4 fragColor;\n"
                "void main() {\n"
                "    vec3 flare = textureLod(" +
                f + ", v_uv, 0.0).rgb * (" + a +
                " / 100.0);\n"
                "    fragColor = vec4(textureLod(" +
                o +
                ", v_uv, 0.0).rgb + flare, 1.0);\n"
                "}\n",
            {{original, 0}, {flare, 1}}};
}

std::string mostConstant(const char* name, int most) {
    return std::string("const int ") + name + " = " + std::to_string(most) + ";\n";
}

PostFX::ProgramSource brightParts(const char* displayName, const char* expression) {
    return {displayName,
            std::string("#version 330 core\n"
                        "uniform sampler2D Input;\n"
                        "uniform float uBias;\n"
                        "uniform float uScale;\n"
                        "in vec2 v_uv;\n"
                        "layout(location = 0) out vec4 fragColor;\n"
                        "void main() {\n"
                        "    vec4 c = textureLod(Input, v_uv, 0.0);\n"
                        "    fragColor = ") +
                expression + ";\n}\n",
            {{"Input", 0}}};
}

void addMergePass(PostFX::Effect* effect, ShaderProgram* program, Uniforms uniforms) {
    effect->addPass([=](PostFX::Chain::Buffers& buffers) {
        using PostFX::Pass;
        Pass pass(buffers, Pass::Full, program);  // in + low[1 - lowCnt] -> full[fullCnt]
        for (const auto& [uniform, parameter] : uniforms)
            pass.uniform(uniform, effect->property(parameter).value.f);
        pass.input(0, buffers.in);
        pass.input(1, buffers.low[1 - buffers.lowCnt]);
        buffers.out = pass.draw();
    });
}

void addBrightPartsPass(PostFX::Effect* effect, ShaderProgram* program) {
    effect->addPass([=](PostFX::Chain::Buffers& buffers) {
        PostFX::Pass pass(buffers, buffers.scratch[0], program);  // in -> scratch[0]
        pass.uniform("uBias", effect->property(kBias).value.f);
        pass.uniform("uScale", effect->property(kScale).value.f);
        pass.input(0, buffers.in);
        pass.draw();
    });
}

}  // namespace Tarn::Ext::CommonPasses
