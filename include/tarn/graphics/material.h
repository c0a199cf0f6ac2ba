#ifndef TARN_GRAPHICS_MATERIAL_H
#define TARN_GRAPHICS_MATERIAL_H

// How a surface fills the G-buffer: diffuse, normal and specular maps (or
// 1x1 textures of constant values in their place), reflection and a plane
// reflection proxy. Read from a material script while the asset library
// loads, applied before every draw of a mesh that uses it, kept to exit.
//
// The material script is LUCE, one keyword per line (a number that is not a whole finite word skips its line):
//   diffuse <r> <g> <b>           default diffuse colour, components 0 to 1
//   diffuse_map <path>            diffuse image
//   diffuse_video <path>          diffuse video (a video script)
//   normal_map <path>             tangent-space normal image
//   specular <a> <b>              default specular intensity and glossiness
//   specular_map <path>           specular image (red intensity, green glossiness)
//   self_illum <value>
//   reflection_type <word>        none, matcap or cubemap; other words change nothing
//   reflection_value <value>
//   reflection_fresnel <value>
//   refraction_value <value>      stored only
//   reflection_map <path>         matcap image or cube cross, by the type set so far
//   proxy_map <path> <px> <py> <pz> <nx> <ny> <nz> <sx> <sy> <factor>
//   proxy_video <path> <px> <py> <pz> <nx> <ny> <nz> <sx> <sy> <factor>

#include <array>
#include <memory>
#include <string>

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

#include "tarn/graphics/gbuffer.h"

namespace Tarn {

class DecodeCache;
class ShaderProgram;
class Texture;

namespace Graphics {

class Material {
public:
    // The G-buffer interface's reflection types, under the material's name.
    using ReflectionType = GBuffer::ReflectionType;
    static constexpr ReflectionType RT_NONE = GBuffer::RT_NONE;
    static constexpr ReflectionType RT_CUBEMAP = GBuffer::RT_CUBEMAP;
    static constexpr ReflectionType RT_MATCAP = GBuffer::RT_MATCAP;

    using Texel = std::array<unsigned char, 3>;

    // Orange diffuse (255, 127, 0), flat normal (127, 127, 255), specular
    // (255, 64, 0), no maps, no reflection, no proxy; uploads the defaults.
    Material();
    // Deletes the three default textures and the maps its script created.
    ~Material();

    Material(const Material&) = delete;
    Material& operator=(const Material&) = delete;

    // Prints "[Material] Creating from <filename>" and one line per keyword
    // as it is applied. A keyword line with too few arguments is reported
    // with the script's path and line number and skipped; a missing script
    // (reported by the archive) gives the default material. Never null.
    static Material* createFromScript(const std::string& filename);
    // Asks cache to decode the images (and video frames) the script's maps
    // name, in script order; says nothing (createFromScript reports).
    static void prefetchFromScript(const std::string& filename, DecodeCache& cache);

    // c x 255 truncated toward zero, its low 8 bits; 0 for a value that is
    // not a number or does not fit a 32-bit integer.
    static unsigned char colorByte(float c);

    // Maps given to setters are not owned; a map that the script made is
    // freed when a setter (or a later script line) replaces it. Setters that
    // change a default texel mark it for upload at the next apply.
    void setDiffuseColor(const glm::vec3& color);
    // Does not change whether the diffuse is animated.
    void setDiffuseMap(Texture* map);
    void setNormalMap(Texture* map);
    // The third byte of the specular texel stays.
    void setSpecularValue(const glm::vec2& value);
    void setSpecularMap(Texture* map);
    void setSelfIllum(float value);
    void setReflectionType(ReflectionType type) { m_reflectionType = type; }
    void setReflectionMap(Texture* map);
    void setReflectionValue(float value) { m_reflectionValue = value; }
    void setReflectionFresnel(float value) { m_reflectionFresnel = value; }
    void setRefractionValue(float value) { m_refractionValue = value; }
    // isVideo says the proxy is a VideoTexture (sampled as an array).
    void setPlaneProxy(Texture* proxy, const glm::vec3& position, const glm::vec3& normal,
                       const glm::vec2& size, float factor, bool isVideo);

    // Binds the textures and sets the uniforms of the program the caller has
    // bound, for one draw at demo time `time`: the names and units of the
    // G-buffer interface (gbuffer.h), and nothing else. Leaves the textures
    // bound for the draw. Allocates nothing once each
    // uniform of the program has been looked up.
    void apply(ShaderProgram* program, double time);

    Texture* diffuseMap() const { return m_diffuseMap; }
    Texture* normalMap() const { return m_normalMap; }
    Texture* specularMap() const { return m_specularMap; }
    Texture* reflectionMap() const { return m_reflectionMap; }
    Texture* proxy() const { return m_proxy; }
    ReflectionType reflectionType() const { return m_reflectionType; }
    float reflectionValue() const { return m_reflectionValue; }
    float reflectionFresnel() const { return m_reflectionFresnel; }
    float refractionValue() const { return m_refractionValue; }
    float selfIllum() const { return m_selfIllum; }
    bool diffuseIsAnimated() const { return m_diffuseIsAnimated; }
    bool usesProxy() const { return m_useProxy; }
    bool proxyIsVideo() const { return m_proxyIsVideo; }
    const glm::vec3& proxyPosition() const { return m_proxyPosition; }
    const glm::vec3& proxyNormal() const { return m_proxyNormal; }
    const glm::vec2& proxySize() const { return m_proxySize; }
    float proxyFactor() const { return m_proxyFactor; }
    const Texel& diffuseValue() const { return m_diffuseValue; }
    const Texel& normalValue() const { return m_normalValue; }
    const Texel& specularValue() const { return m_specularValue; }
    // GL names of the 1x1 default textures.
    unsigned int defaultDiffuseId() const { return m_diffuse; }
    unsigned int defaultNormalId() const { return m_normal; }
    unsigned int defaultSpecularId() const { return m_specular; }

private:
    // Uploads the three default texels; leaves the 2D binding as it found it.
    void f_update();
    // The maps a script may make, one texture each at a time.
    enum OwnedSlot { OS_DIFFUSE, OS_NORMAL, OS_SPECULAR, OS_REFLECTION, OS_PROXY, OS_COUNT };
    // Keeps a map made by the script for as long as it is the slot's map,
    // freeing the one it replaces.
    Texture* f_own(OwnedSlot slot, Texture* texture);
    // Frees the slot's own map unless it is the replacement.
    void f_disown(OwnedSlot slot, const Texture* replacement);

    Texture* m_diffuseMap = nullptr;
    Texture* m_normalMap = nullptr;
    Texture* m_specularMap = nullptr;
    ReflectionType m_reflectionType = RT_NONE;
    Texture* m_reflectionMap = nullptr;
    float m_reflectionValue = 0.0f;
    float m_reflectionFresnel = 0.0f;
    float m_refractionValue = 0.0f;
    Texture* m_proxy = nullptr;
    glm::vec3 m_proxyPosition{0.0f};
    glm::vec3 m_proxyNormal{0.0f};
    glm::vec2 m_proxySize{0.0f};
    float m_proxyFactor = 0.0f;
    bool m_useProxy = false;
    bool m_proxyIsVideo = false;
    unsigned int m_diffuse = 0;
    unsigned int m_normal = 0;
    unsigned int m_specular = 0;
    Texel m_diffuseValue{{255, 127, 0}};
    Texel m_normalValue{{127, 127, 255}};
    Texel m_specularValue{{255, 64, 0}};
    float m_selfIllum = 0.0f;
    bool m_dirty = false;
    bool m_diffuseIsAnimated = false;
    std::array<std::unique_ptr<Texture>, OS_COUNT> m_owned;
};

}  // namespace Graphics
}  // namespace Tarn

#endif
