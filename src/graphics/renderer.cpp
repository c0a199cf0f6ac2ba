#include "tarn/graphics/renderer.h"

#include <algorithm>
#include <string>

#include <GL/glew.h>
#include <glm/gtc/type_ptr.hpp>

#include "../blendstate.h"
#include "../capabilitystate.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/camera.h"
#include "tarn/graphics/fullscreenquad.h"
#include "tarn/graphics/gbuffer.h"
#include "tarn/graphics/light.h"
#include "tarn/profiler.h"
#include "tarn/shader.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"

namespace Tarn::Graphics {

namespace {

// Names made once, so a frame sends uniforms without allocating.
const std::string kView = "view";
const std::string kProjection = "projection";

const char* const kFirstPassVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 uv;
layout(location = 3) in vec3 tangent;
uniform mat4 model;
uniform mat4 view;
uniform mat4 projection;
out vec3 v_viewPosition;
out vec3 v_worldPosition;
out vec3 v_normal;
out vec3 v_tangent;
out vec2 v_uv;
out vec2 v_matcap;
void main() {
    vec4 world = model * vec4(position, 1.0);
    vec4 viewPosition = view * world;
    v_viewPosition = viewPosition.xyz;
    v_worldPosition = world.xyz;
    v_normal = normalize((view * model * vec4(normal, 0.0)).xyz);
    v_tangent = (view * model * vec4(tangent, 0.0)).xyz;
    vec3 zAxis = v_normal;
    vec3 xAxis = cross(zAxis, vec3(0.0, 1.0, 0.0));
    vec3 yAxis = cross(xAxis, zAxis);
    v_matcap = vec2(dot(normal, xAxis), -dot(normal, yAxis));
    v_uv = uv;
    gl_Position = projection * viewPosition;
}
)";

// Follows the #version line and the declarations of the G-buffer interface
// (gbuffer.h), which it uses every one of. The alpha test comes last so that
// every lookup runs in uniform control flow; a discarded fragment writes
// nothing either way.
const char* const kFirstPassFragmentBody = R"(
in vec3 v_viewPosition;
in vec3 v_worldPosition;
in vec3 v_normal;
in vec3 v_tangent;
in vec2 v_uv;
in vec2 v_matcap;
layout(location = 0) out vec4 albedoSpecular;
layout(location = 1) out vec4 normalMaterial;
layout(location = 2) out vec4 viewPositionGloss;
layout(location = 3) out vec4 worldPosition;
void main() {
    vec3 N = v_normal;
    // A mesh without texture coordinates has no tangents (the attribute reads
    // 0): any axis across the normal will do, as there is no normal map to
    // orient (RendererGLTest.MeshesWithoutTangentsKeepTheirNormal).
    vec3 T = length(v_tangent) > 1e-6
        ? normalize(v_tangent)
        : normalize(cross(N, abs(N.y) < 0.99 ? vec3(0.0, 1.0, 0.0) : vec3(1.0, 0.0, 0.0)));
    vec3 B = normalize(cross(N, T));
    vec3 m = texture(map_normal, v_uv).rgb * 2.0 - 1.0;
    vec3 n = normalize(T * m.x + B * m.y + N * m.z);

    vec2 spec = texture(map_specular, v_uv).rg;

    float facing = dot(n, normalize(-v_viewPosition));
    float fresnel = mix(1.0, 0.1 + 0.8 * facing * facing, reflection_fresnel);
    float reflection = fresnel * reflection_value;

    vec4 diffuse = diffuse_is_animated == 1
        ? texture(map_diffuse_anim, vec3(v_uv, max(0.0, diffuse_animation_time)))
        : texture(map_diffuse, v_uv);
    float alpha = diffuse.a;

    if (reflection_type == RT_MATCAP) {
        // A normal along the view's y axis has no matcap direction: the
        // middle of the gradient instead of a division by zero.
        float len = length(v_matcap);
        float w = (len > 0.0 ? v_matcap.y / len : 0.0) * 0.5 + 0.5;
        diffuse.rgb = mix(vec3(0.1, 0.15, 0.25), vec3(0.35, 0.15, 0.05), w);
    }

    if (use_planereflection_proxy > 0) {
        vec2 offset = vec2(v_viewPosition.x, -v_viewPosition.y) - planereflection_position.xy;
        vec2 proxyUv = clamp((offset * planereflection_size + v_normal.xy * 0.1) * 0.5 + 0.5,
                             0.0, 1.0);
        vec4 proxy = use_planereflection_proxy == 1
            ? texture(planereflection_map, proxyUv)
            : texture(planereflection_video, vec3(proxyUv, diffuse_animation_time));
        diffuse.rgb = mix(diffuse.rgb, proxy.rgb * planereflection_proxy_factor, proxy.a);
    }

    if (alpha < 0.5)
        discard;
    albedoSpecular = vec4(diffuse.rgb, spec.r);
    normalMaterial = vec4(n.x, n.y, self_illum, reflection);
    viewPositionGloss = vec4(v_viewPosition, spec.g);
    worldPosition = vec4(v_worldPosition, 1.0);
}
)";

std::unique_ptr<FrameBuffer> makeFloatBuffer(unsigned int width, unsigned int height) {
    auto buffer = std::make_unique<FrameBuffer>(width, height);
    buffer->createRenderTarget(FrameBuffer::RGBA32F);
    return buffer;
}

}  // namespace

Renderer::Renderer(unsigned int width, unsigned int height)
    : m_mrtFbo(std::make_unique<FrameBuffer>(width, height)),
      m_firstPassVertex(std::make_unique<Shader>(Shader::VERTEX_SHADER, kFirstPassVertex)),
      m_firstPassFragment(std::make_unique<Shader>(
          Shader::FRAGMENT_SHADER,
          "#version 330 core\n" + GBuffer::glslDeclarations() + kFirstPassFragmentBody)),
      m_firstPassShader(std::make_unique<ShaderProgram>("Deferred first pass")),
      m_lightSum(makeFloatBuffer(width, height)), m_camera(nullptr) {
    m_mrtFbo->createRenderTarget(FrameBuffer::RGBA32F);
    m_mrtFbo->createRenderTarget(FrameBuffer::RGBA16F);
    m_mrtFbo->createRenderTarget(FrameBuffer::RGBA16F);
    m_mrtFbo->createRenderTarget(FrameBuffer::RGBA16F);

    m_firstPassShader->set(m_firstPassVertex.get());
    m_firstPassShader->set(m_firstPassFragment.get());
    m_firstPassShader->link();
    if (m_firstPassShader->linked()) {
        // Samplers of different types must never share a unit, even unused:
        // each gets the unit materials bind it to before any draw.
        m_firstPassShader->bind();
        for (const GBuffer::Uniform& uniform : GBuffer::uniforms())
            if (uniform.unit >= 0)
                m_firstPassShader->uniform(uniform.name, uniform.unit);
        m_firstPassShader->release();
    }

    glEnable(GL_CULL_FACE);
}

Renderer::~Renderer() = default;

void Renderer::pushLight(Light* light) {
    if (light && std::find(m_lights.begin(), m_lights.end(), light) == m_lights.end())
        m_lights.push_back(light);
}

FrameBuffer* Renderer::renderDeferred(const DrawCallback& draw) {
    renderFirstPass(draw);
    return renderSecondPass(draw);
}

FrameBuffer* Renderer::renderFirstPass(const DrawCallback& draw) {
    const Profiler::Scope timed("G-buffer");
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    m_mrtFbo->enable();
    m_firstPassShader->bind();
    if (m_camera && m_firstPassShader->linked()) {
        m_firstPassShader->uniform(kView, glm::value_ptr(m_camera->viewMatrix()));
        m_firstPassShader->uniform(kProjection, glm::value_ptr(m_camera->projectionMatrix()));
    }
    if (draw)
        draw(m_firstPassShader.get());
    m_firstPassShader->release();
    m_mrtFbo->disable();
    return m_mrtFbo.get();
}

FrameBuffer* Renderer::renderSecondPass(const DrawCallback&) {
    // Full-screen passes need no depth test: without it a software
    // rasterizer skips a depth read and write per pixel of every pass.
    const Detail::CapabilityOff depthTest(GL_DEPTH_TEST);
    m_lightSum->enable();
    {
        const Detail::AdditiveBlend adding;
        for (std::size_t i = 0; i < m_lights.size(); ++i)
            f_shade(m_lights[i], static_cast<int>(i) + 1);
    }
    m_lightSum->disable();
    m_lights.clear();
    return renderOutput();
}

// G-buffer -> m_lightSum, this light's colour added to the sum by blending:
// the float addition a second pass reading both would make, in the same
// order, without writing the light alone to a buffer and reading it back
// (RendererGLTest.BlendedLightsSumAsTheTwoPassMergeDid).
void Renderer::f_shade(Light* light, int number) {
    Texture* gAlbedo = m_mrtFbo->target(0);
    Texture* gNormal = m_mrtFbo->target(1);
    Texture* gPosition = m_mrtFbo->target(2);
    if (!gAlbedo || !gNormal || !gPosition)
        return;
    const Profiler::Scope timed("Light", number);
    light->bind();
    if (m_camera)
        light->setViewMatrix(m_camera->viewMatrix());
    gAlbedo->bind(0);
    gNormal->bind(1);
    gPosition->bind(2);
    FullscreenQuad::draw();
    gPosition->release();
    gNormal->release();
    gAlbedo->release();
    light->release();
}

}  // namespace Tarn::Graphics
