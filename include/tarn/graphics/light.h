#ifndef TARN_GRAPHICS_LIGHT_H
#define TARN_GRAPHICS_LIGHT_H

// One light source of the deferred renderer: a full-screen pass over the
// G-buffer that writes this light's contribution. Created by the scene that
// owns it, placed every frame by its component, pushed to the renderer once
// per frame. The programs are shared by every light of a type and kept to exit.

#include <glm/glm.hpp>

namespace Tarn {

class Shader;
class ShaderProgram;
class Texture;

namespace Graphics {

class Light {
public:
    enum LightType { LT_AMBIENT = 0, LT_DIRECTIONAL = 1, LT_POINT = 2, LT_SPOT = 3, LT_AREA = 4 };
    static constexpr int TypeCount = 5;
    // Texture unit the area light's image is bound to.
    static constexpr unsigned int AreaTextureUnit = 3;

    // Builds the type's program on first use and sends the light's uniforms
    // once. A type outside the enumeration is taken as LT_AMBIENT.
    explicit Light(LightType type);
    ~Light();

    Light(const Light&) = delete;
    Light& operator=(const Light&) = delete;

    // The type's program (shared with the other lights of the type); the
    // renderer sets its "view" uniform before every pass.
    ShaderProgram* shader() const { return m_lightShader; }
    LightType lightType() const { return m_lightType; }
    glm::vec3 position() const { return m_position; }
    glm::vec3 direction() const { return m_direction; }
    glm::vec3 tangent() const { return m_tangent; }
    glm::vec2 size() const { return m_size; }
    float radius() const { return m_radius; }
    float cutoffAngle() const { return m_cutoffAngle; }
    float cutoffSmoothness() const { return m_cutoffSmoothness; }
    glm::vec3 color() const { return m_color; }
    Texture* areaTexture() const { return m_areaTexture; }

    // Each setter stores and marks the uniforms for sending at the next
    // bind, whether or not the light's type uses the value. Positions and
    // directions are in world space and need not be normalised.
    void setPosition(const glm::vec3& position);
    void setDirection(const glm::vec3& direction);
    // Area light: world direction of the rectangle's first side.
    void setTangent(const glm::vec3& tangent);
    // Area light: half-extents along the tangent and the second side.
    void setSize(const glm::vec2& size);
    // Attenuation radius: at this distance the light is down to a quarter.
    void setRadius(float radius);
    // Spot: cone half-angle and the width of its soft edge, in radians.
    void setCutoffAngle(float radians);
    void setCutoffSmoothness(float radians);
    void setColor(const glm::vec3& color);
    // Area light: the emitted image, not owned; it needs mipmaps up to level 9.
    // Without one an area light emits white.
    void setAreaTexture(Texture* texture);

    // Sends the uniforms when a setter ran, or when another light of the
    // type sent its own since; makes the program current; binds the area
    // texture to unit 3 when there is one.
    void bind();
    // Unbinds the area texture (if bound) and makes no program current.
    void release();
    // Sets the program's "view" to the camera's view matrix, between bind
    // and release; ambient light reads no position and ignores it.
    void setViewMatrix(const glm::mat4& view);

private:
    void f_update();
    static ShaderProgram* f_program(LightType type);

    LightType m_lightType;
    ShaderProgram* m_lightShader;
    glm::vec3 m_position;
    glm::vec3 m_direction;
    glm::vec3 m_tangent;
    glm::vec2 m_size;
    float m_radius;
    float m_cutoffAngle;
    float m_cutoffSmoothness;
    glm::vec3 m_color;
    Texture* m_areaTexture;
    bool m_dirty;
    // What bind put on unit 3, for release to take off again.
    Texture* m_boundTexture;

    static Shader* ms_vertexShader;
    static Shader* ms_fragmentShaders[TypeCount];
    static ShaderProgram* ms_programs[TypeCount];
    // Location of "view" in each program, -1 where the type does not read it.
    static int ms_viewLocations[TypeCount];
    // The light whose values each type's program holds: lights of one type
    // share the program, so a clean light still re-sends after another.
    static const Light* ms_uniformOwners[TypeCount];
};

}  // namespace Graphics
}  // namespace Tarn

#endif
