#include "tarn/graphics/light.h"

#include <string>

#include <GL/glew.h>
#include <glm/gtc/type_ptr.hpp>

#include "tarn/graphics/fullscreenquad.h"
#include "tarn/imagetexture.h"
#include "tarn/shader.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"

namespace Tarn::Graphics {

Shader* Light::ms_vertexShader = nullptr;
Shader* Light::ms_fragmentShaders[Light::TypeCount] = {};
ShaderProgram* Light::ms_programs[Light::TypeCount] = {};
const Light* Light::ms_uniformOwners[Light::TypeCount] = {};
int Light::ms_viewLocations[Light::TypeCount] = {-1, -1, -1, -1, -1};

namespace {

// What an area light without an image emits: plain white, made on first use
// and kept until exit like the light programs.
Texture* whiteAreaTexture() {
    static ImageTexture* white = [] {
        const unsigned char texel[4] = {255, 255, 255, 255};
        return new ImageTexture(reinterpret_cast<const char*>(texel), 1, 1);
    }();
    return white;
}

// Names made once, so sending uniforms allocates nothing.
const std::string kPosition = "l_position";
const std::string kRadius = "l_radius";
const std::string kDirection = "l_direction";
const std::string kTangent = "l_tangent";
const std::string kSize = "l_size";
const std::string kTexture = "l_texture";
const std::string kCutoff = "l_cutoff";
const std::string kCutoffSmooth = "l_cutoff_smooth";
const std::string kColor = "l_color";

// What every light reads from the G-buffer: the pixel's own texel (the
// G-buffer and the light's target have one size), fetched unfiltered.
const char* const kCommon = R"(#version 330 core
uniform sampler2D t0;
uniform sampler2D t1;
uniform sampler2D t2;
uniform mat4 view;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;

struct Surface {
    vec3 albedo;
    float specularIntensity;
    vec3 rawNormal;
    vec3 normal;
    float selfIllum;
    float reflection;
    vec3 position;
    float glossiness;
};

Surface readSurface() {
    ivec2 texel = ivec2(gl_FragCoord.xy);
    vec4 g0 = texelFetch(t0, texel, 0);
    vec4 g1 = texelFetch(t1, texel, 0);
    vec4 g2 = texelFetch(t2, texel, 0);
    Surface s;
    s.albedo = g0.rgb;
    s.specularIntensity = g0.a;
    s.rawNormal = vec3(g1.rg, 1.0 - sqrt(dot(g1.rg, g1.rg)));
    s.normal = normalize(s.rawNormal);
    s.selfIllum = g1.b;
    s.reflection = g1.a;
    s.position = g2.rgb;
    s.glossiness = g2.a;
    return s;
}

vec3 toViewPosition(vec3 p) { return (view * vec4(p, 1.0)).xyz; }
vec3 toViewDirection(vec3 d) { return normalize((view * vec4(normalize(d), 0.0)).xyz); }

// Blinn-Phong: x = diffuse max(0, N.L), y = specular max(0, N.H)^(g 255).
// A zero base is 0 whatever the exponent (pow(0, 0) is undefined in GLSL).
vec2 blinnPhong(Surface s, vec3 L) {
    vec3 V = normalize(-s.position);
    vec3 H = normalize(L + V);
    float nh = max(0.0, dot(s.normal, H));
    float specular = nh > 0.0 ? pow(nh, s.glossiness * 255.0) : 0.0;
    return vec2(max(0.0, dot(s.normal, L)), specular);
}

float attenuation(float D, float R) { return 1.0 / (1.0 + (2.0 / R) * D + (1.0 / (R * R)) * D * D); }
)";

const char* const kAmbient = R"(
uniform vec3 l_color;
void main() {
    Surface s = readSurface();
    float m = s.selfIllum + s.reflection;
    fragColor = vec4(s.albedo * l_color * (1.0 - m) + s.albedo * m, 1.0);
}
)";

const char* const kDirectional = R"(
uniform vec3 l_direction;
uniform vec3 l_color;
void main() {
    Surface s = readSurface();
    vec3 L = normalize(-toViewDirection(l_direction));
    vec2 terms = blinnPhong(s, L);
    vec3 color = s.albedo * terms.x * l_color * (1.0 - clamp(s.selfIllum + s.reflection, 0.0, 1.0)) +
                 vec3(terms.y * s.specularIntensity) * (1.0 - clamp(s.reflection, 0.0, 1.0));
    fragColor = vec4(color, 1.0);
}
)";

const char* const kPoint = R"(
uniform vec3 l_position;
uniform float l_radius;
uniform vec3 l_color;
void main() {
    Surface s = readSurface();
    vec3 Lp = toViewPosition(l_position);
    vec3 L = normalize(Lp - s.position);
    float a = attenuation(length(Lp - s.position), l_radius);
    vec2 terms = blinnPhong(s, L);
    vec3 color = s.albedo * terms.x * l_color * (1.0 - clamp(s.selfIllum + s.reflection, 0.0, 1.0)) +
                 vec3(terms.y * s.specularIntensity) * (1.0 - clamp(s.reflection, 0.0, 1.0));
    fragColor = vec4(color * a, 1.0);
}
)";

// The specular mask uses the reflection factor unclamped, unlike the
// directional and point lights.
const char* const kSpot = R"(
uniform vec3 l_position;
uniform float l_radius;
uniform vec3 l_direction;
uniform float l_cutoff;
uniform float l_cutoff_smooth;
uniform vec3 l_color;
void main() {
    Surface s = readSurface();
    vec3 Lp = toViewPosition(l_position);
    vec3 Ds = toViewDirection(l_direction);
    vec3 L = normalize(Lp - s.position);
    float theta = acos(clamp(dot(L, -Ds), -1.0, 1.0));
    float t = clamp((l_cutoff - theta) / l_cutoff_smooth, 0.0, 1.0);
    float c = t * t * (3.0 - 2.0 * t);
    float a = attenuation(length(Lp - s.position), l_radius);
    vec2 terms = blinnPhong(s, L);
    vec3 color = s.albedo * terms.x * l_color * (1.0 - clamp(s.selfIllum + s.reflection, 0.0, 1.0)) +
                 vec3(terms.y * s.specularIntensity) * (1.0 - s.reflection);
    fragColor = vec4(color * a * c, 1.0);
}
)";

// A textured rectangle: diffuse from the nearest point of the rectangle,
// specular where the mirrored eye ray meets its plane. Its colour comes from
// the texture alone.
const char* const kArea = R"(
uniform vec3 l_position;
uniform float l_radius;
uniform vec3 l_direction;
uniform vec3 l_tangent;
uniform vec2 l_size;
uniform sampler2D l_texture;
void main() {
    Surface s = readSurface();
    vec3 P = s.position;
    vec3 Lp = toViewPosition(l_position);
    vec3 Ds = toViewDirection(l_direction);
    vec3 Ts = toViewDirection(l_tangent);
    vec3 Us = normalize(cross(Ts, -Ds));

    vec3 Q = P - dot(Ds, P - Lp) * Ds;
    vec2 o = vec2(dot(Q - Lp, Ts), dot(Q - Lp, Us));
    vec2 n = clamp(o, -l_size, l_size);
    vec3 Ed = Lp + Ts * n.x + Us * n.y;
    float D = length(P - Ed);
    vec3 L = normalize(Ed - P);
    float a = attenuation(D, l_radius);
    float f = dot(Ds, P - Lp) < 0.0 ? 0.0 : 1.0;
    float e = max(0.0, dot(Ds, -L));
    float lod = min(sqrt(sqrt(D)) * 8.0 + 2.0, 9.0);
    vec3 diffuse = f * a * e * textureLod(l_texture, n / (2.0 * l_size) + 0.5, lod).rgb;

    vec3 I = normalize(-P);
    vec3 Rv = reflect(I, s.rawNormal);
    float t = dot(Ds, Lp - P) / dot(Ds, Rv);
    vec3 Es = P + t * Rv;
    float q = max(0.0, dot(Rv, Ds));
    vec2 os = vec2(dot(Es - Lp, Ts), dot(Es - Lp, Us));
    vec2 ns = clamp(os, -l_size, l_size);
    float h = 1.0 - clamp(length(ns - os) * 32.0 * s.glossiness, 0.0, 1.0);
    vec3 specular = a * h * q * f * textureLod(l_texture, ns / (2.0 * l_size) + 0.5, 3.0).rgb;

    fragColor = vec4(diffuse + specular, 1.0);
}
)";

const char* const kTypeSources[Light::TypeCount] = {kAmbient, kDirectional, kPoint, kSpot, kArea};

Light::LightType validType(Light::LightType type) {
    return type >= Light::LT_AMBIENT && type <= Light::LT_AREA ? type : Light::LT_AMBIENT;
}

}  // namespace

Light::Light(LightType type)
    : m_lightType(validType(type)), m_lightShader(f_program(m_lightType)), m_position(0, 10, 0),
      m_direction(0, -1, 0), m_tangent(1, 0, 0), m_size(0, 0), m_radius(0.2f),
      m_cutoffAngle(0.707f), m_cutoffSmoothness(0.1f), m_color(1, 1, 1), m_areaTexture(nullptr),
      m_dirty(true), m_boundTexture(nullptr) {
    f_update();
}

Light::~Light() {
    // A later light at the same address must not pass for this one.
    if (ms_uniformOwners[m_lightType] == this)
        ms_uniformOwners[m_lightType] = nullptr;
}

ShaderProgram* Light::f_program(LightType type) {
    if (ms_programs[type])
        return ms_programs[type];
    if (!ms_vertexShader)
        ms_vertexShader = new Shader(Shader::VERTEX_SHADER, FullscreenQuad::vertexShaderSource());
    ms_fragmentShaders[type] =
        new Shader(Shader::FRAGMENT_SHADER, std::string(kCommon) + kTypeSources[type]);
    auto* program = new ShaderProgram("Light");
    program->set(ms_vertexShader);
    program->set(ms_fragmentShaders[type]);
    program->link();
    if (program->linked()) {
        // Each type reads only some of the targets; the others are optimised out.
        const GLuint id = program->id();
        program->bind();
        for (int unit = 0; unit < 3; ++unit) {
            const char name[3] = {'t', static_cast<char>('0' + unit), '\0'};
            const GLint location = glGetUniformLocation(id, name);
            if (location >= 0)
                glUniform1i(location, unit);
        }
        program->release();
        ms_viewLocations[type] = glGetUniformLocation(id, "view");
    }
    ms_programs[type] = program;
    return program;
}

void Light::setPosition(const glm::vec3& position) {
    m_position = position;
    m_dirty = true;
}

void Light::setDirection(const glm::vec3& direction) {
    m_direction = direction;
    m_dirty = true;
}

void Light::setTangent(const glm::vec3& tangent) {
    m_tangent = tangent;
    m_dirty = true;
}

void Light::setSize(const glm::vec2& size) {
    m_size = size;
    m_dirty = true;
}

void Light::setRadius(float radius) {
    m_radius = radius;
    m_dirty = true;
}

void Light::setCutoffAngle(float radians) {
    m_cutoffAngle = radians;
    m_dirty = true;
}

void Light::setCutoffSmoothness(float radians) {
    m_cutoffSmoothness = radians;
    m_dirty = true;
}

void Light::setColor(const glm::vec3& color) {
    m_color = color;
    m_dirty = true;
}

void Light::setAreaTexture(Texture* texture) {
    m_areaTexture = texture;
    m_dirty = true;
}

void Light::f_update() {
    ShaderProgram* program = m_lightShader;
    m_dirty = false;
    ms_uniformOwners[m_lightType] = this;
    // An unlinked program has no uniforms: it would only report each one.
    if (!program->linked())
        return;
    program->bind();
    const bool placed = m_lightType == LT_POINT || m_lightType == LT_SPOT || m_lightType == LT_AREA;
    const bool directed =
        m_lightType == LT_DIRECTIONAL || m_lightType == LT_SPOT || m_lightType == LT_AREA;
    if (placed) {
        program->uniform(kPosition, m_position.x, m_position.y, m_position.z);
        program->uniform(kRadius, m_radius);
    }
    if (directed)
        program->uniform(kDirection, m_direction.x, m_direction.y, m_direction.z);
    if (m_lightType == LT_AREA) {
        program->uniform(kTangent, m_tangent.x, m_tangent.y, m_tangent.z);
        program->uniform(kSize, m_size.x, m_size.y);
        program->uniform(kTexture, static_cast<int>(AreaTextureUnit));
    }
    if (m_lightType == LT_SPOT) {
        program->uniform(kCutoff, m_cutoffAngle);
        program->uniform(kCutoffSmooth, m_cutoffSmoothness);
    }
    // The area light takes its colour from its texture alone.
    if (m_lightType != LT_AREA)
        program->uniform(kColor, m_color.x, m_color.y, m_color.z);
    program->release();
}

void Light::bind() {
    if (m_dirty || ms_uniformOwners[m_lightType] != this)
        f_update();
    m_lightShader->bind();
    m_boundTexture = m_areaTexture;
    if (!m_boundTexture && m_lightType == LT_AREA)
        m_boundTexture = whiteAreaTexture();
    if (m_boundTexture)
        m_boundTexture->bind(AreaTextureUnit);
}

void Light::setViewMatrix(const glm::mat4& view) {
    if (ms_viewLocations[m_lightType] >= 0)
        glUniformMatrix4fv(ms_viewLocations[m_lightType], 1, GL_FALSE, glm::value_ptr(view));
}

void Light::release() {
    if (m_boundTexture)
        m_boundTexture->release();
    m_boundTexture = nullptr;
    m_lightShader->release();
}

}  // namespace Tarn::Graphics
