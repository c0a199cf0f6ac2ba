#include "tarn/graphics/gbuffer.h"

namespace Tarn::Graphics::GBuffer {

const std::vector<Uniform>& uniforms() {
    static const std::vector<Uniform> all = {
        {DiffuseIsAnimated, "int", -1},
        {MapDiffuse, "sampler2D", DiffuseUnit},
        {MapDiffuseAnim, "sampler2DArray", DiffuseVideoUnit},
        {DiffuseAnimationTime, "float", -1},
        {MapNormal, "sampler2D", NormalUnit},
        {MapSpecular, "sampler2D", SpecularUnit},
        {SelfIllum, "float", -1},
        {ReflectionTypeName, "int", -1},
        {ReflectionValue, "float", -1},
        {ReflectionFresnel, "float", -1},
        {UseProxy, "int", -1},
        {ProxyFactor, "float", -1},
        {ProxyPosition, "vec3", -1},
        {ProxySize, "vec2", -1},
        {ProxyMap, "sampler2D", ProxyMapUnit},
        {ProxyVideo, "sampler2DArray", ProxyVideoUnit},
    };
    return all;
}

const std::string& glslDeclarations() {
    static const std::string text = [] {
        std::string out = "const int RT_NONE = " + std::to_string(RT_NONE) +
                          ";\nconst int RT_CUBEMAP = " + std::to_string(RT_CUBEMAP) +
                          ";\nconst int RT_MATCAP = " + std::to_string(RT_MATCAP) + ";\n";
        for (const Uniform& uniform : uniforms())
            out += std::string("uniform ") + uniform.type + " " + uniform.name + ";\n";
        return out;
    }();
    return text;
}

}  // namespace Tarn::Graphics::GBuffer
