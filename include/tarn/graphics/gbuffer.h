#ifndef TARN_GRAPHICS_GBUFFER_H
#define TARN_GRAPHICS_GBUFFER_H

// The interface of the G-buffer program, written once: the uniforms a
// material sets, their GLSL types, the texture units of the samplers, and
// the reflection types. The renderer's shader declares it from here, the
// material sends exactly these names, and tests build their programs from
// it, so that none can drift from the others.

#include <string>
#include <vector>

namespace Tarn::Graphics::GBuffer {

// Reflection models as "reflection_type" numbers them.
enum ReflectionType { RT_NONE = 0, RT_CUBEMAP = 1, RT_MATCAP = 2 };

// Texture units the material binds its maps to.
constexpr int DiffuseUnit = 0;
constexpr int NormalUnit = 1;
constexpr int SpecularUnit = 2;
// A matcap material binds its image here; the G-buffer pass draws its matcap
// as a gradient and samples no image, so no sampler reads this unit.
constexpr int MatcapUnit = 3;
constexpr int DiffuseVideoUnit = 5;
constexpr int ProxyMapUnit = 6;
constexpr int ProxyVideoUnit = 7;

// Uniform names, made once so that sending them allocates nothing.
inline const std::string DiffuseIsAnimated = "diffuse_is_animated";
inline const std::string MapDiffuse = "map_diffuse";
inline const std::string MapDiffuseAnim = "map_diffuse_anim";
inline const std::string DiffuseAnimationTime = "diffuse_animation_time";
inline const std::string MapNormal = "map_normal";
inline const std::string MapSpecular = "map_specular";
inline const std::string SelfIllum = "self_illum";
inline const std::string ReflectionTypeName = "reflection_type";
inline const std::string ReflectionValue = "reflection_value";
inline const std::string ReflectionFresnel = "reflection_fresnel";
inline const std::string UseProxy = "use_planereflection_proxy";
inline const std::string ProxyFactor = "planereflection_proxy_factor";
inline const std::string ProxyPosition = "planereflection_position";
inline const std::string ProxySize = "planereflection_size";
inline const std::string ProxyMap = "planereflection_map";
inline const std::string ProxyVideo = "planereflection_video";

struct Uniform {
    const std::string& name;
    const char* type;  // GLSL type
    int unit;          // texture unit of a sampler; -1 for any other type
};

// Every uniform of the interface, in declaration order.
const std::vector<Uniform>& uniforms();

// GLSL for the fragment stage, to follow its #version line: the reflection
// types as constants and a declaration of every uniform.
const std::string& glslDeclarations();

}  // namespace Tarn::Graphics::GBuffer

#endif
