#ifndef TARN_TESTS_GRAPHICS_TWO_PASS_LIGHTS_H
#define TARN_TESTS_GRAPHICS_TWO_PASS_LIGHTS_H

// The lights summed the long way, as the yardstick of the renderer's tests
// and benchmark: as the renderer did before it blended each light into its
// sum, every light is shaded into a float buffer of its own, then a
// full-screen pass adds that buffer to the previous sum, ping-ponging two
// float buffers. Made and used with the GL context current.

#include <memory>
#include <vector>

#include <GL/glew.h>

#include <tarn/framebuffer.h>
#include <tarn/graphics/camera.h>
#include <tarn/graphics/fullscreenquad.h>
#include <tarn/graphics/light.h>
#include <tarn/graphics/renderer.h>
#include <tarn/postfx/pass.h>
#include <tarn/shaderprogram.h>
#include <tarn/texture.h>

namespace Tarn::Test {

inline const PostFX::ProgramSource kTwoPassMerge = {"Two-pass light merge", R"(#version 330 core
uniform sampler2D rt_merged;
uniform sampler2D rt_toMerge;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    ivec2 texel = ivec2(gl_FragCoord.xy);
    fragColor = vec4(texelFetch(rt_merged, texel, 0).rgb + texelFetch(rt_toMerge, texel, 0).rgb,
                     1.0);
}
)", {{"rt_merged", 0}, {"rt_toMerge", 1}}};

class TwoPassLights {
public:
    TwoPassLights(unsigned int width, unsigned int height) {
        for (auto& buffer : m_buffers) {
            buffer = std::make_unique<FrameBuffer>(width, height);
            buffer->createRenderTarget(FrameBuffer::RGBA32F);
        }
    }

    // Shades renderer's G-buffer with lights in order, seen from renderer's
    // camera, and returns their sum (alpha 1). Leaves the window bound and
    // the viewport as found.
    FrameBuffer* run(const Graphics::Renderer& renderer,
                     const std::vector<Graphics::Light*>& lights) {
        static ShaderProgram* const merge = PostFX::buildProgram(kTwoPassMerge);
        GLint viewport[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, viewport);
        const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
        glDisable(GL_DEPTH_TEST);
        for (int i : {1, 2}) {
            m_buffers[i]->enable();
            m_buffers[i]->disable();
        }
        Texture* const gBuffer[3] = {renderer.gBuffer()->target(0), renderer.gBuffer()->target(1),
                                     renderer.gBuffer()->target(2)};
        int sum = 2;
        for (Graphics::Light* light : lights) {
            overwrite(*m_buffers[0]);  // G-buffer -> shaded
            light->bind();
            if (renderer.camera())
                light->setViewMatrix(renderer.camera()->viewMatrix());
            for (unsigned int unit = 0; unit < 3; ++unit)
                gBuffer[unit]->bind(unit);
            Graphics::FullscreenQuad::draw();
            light->release();
            overwrite(*m_buffers[3 - sum]);  // sum + shaded -> the other sum
            m_buffers[sum]->target(0)->bind(0);
            m_buffers[0]->target(0)->bind(1);
            merge->bind();
            Graphics::FullscreenQuad::draw();
            merge->release();
            sum = 3 - sum;
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        if (depthTest)
            glEnable(GL_DEPTH_TEST);
        return m_buffers[sum].get();
    }

private:
    static void overwrite(const FrameBuffer& buffer) {
        static const GLenum attachment = GL_COLOR_ATTACHMENT0;
        glBindFramebuffer(GL_FRAMEBUFFER, buffer.id());
        glDrawBuffers(1, &attachment);
        glViewport(0, 0, static_cast<GLsizei>(buffer.width()),
                   static_cast<GLsizei>(buffer.height()));
    }

    // 0: one light shaded; 1 and 2: the sums.
    std::unique_ptr<FrameBuffer> m_buffers[3];
};

}  // namespace Tarn::Test

#endif
