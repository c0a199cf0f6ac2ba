#include "glstatesnapshot.h"

#include <GL/glew.h>

namespace {

const GLenum kTargets[3] = {GL_TEXTURE_2D, GL_TEXTURE_2D_ARRAY, GL_TEXTURE_CUBE_MAP};
const GLenum kBindings[3] = {GL_TEXTURE_BINDING_2D, GL_TEXTURE_BINDING_2D_ARRAY,
                             GL_TEXTURE_BINDING_CUBE_MAP};
const GLenum kCapabilities[4] = {GL_DEPTH_TEST, GL_BLEND, GL_CULL_FACE, GL_SCISSOR_TEST};

}  // namespace

void GLStateSnapshot::save() {
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &m_drawFramebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &m_readFramebuffer);
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &m_renderbuffer);
    glGetIntegerv(GL_VIEWPORT, m_viewport);
    glGetIntegerv(GL_CURRENT_PROGRAM, &m_program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &m_vertexArray);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &m_arrayBuffer);
    glGetIntegerv(GL_UNIFORM_BUFFER_BINDING, &m_uniformBuffer);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &m_activeTexture);
    for (int unit = 0; unit < Units; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        for (int i = 0; i < 3; ++i)
            glGetIntegerv(kBindings[i], &m_textures[unit][i]);
    }
    glActiveTexture(static_cast<GLenum>(m_activeTexture));
    for (int i = 0; i < 4; ++i)
        m_capabilities[i] = glIsEnabled(kCapabilities[i]);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &m_depthMask);
    glGetBooleanv(GL_COLOR_WRITEMASK, m_colorMask);
    glGetIntegerv(GL_DEPTH_FUNC, &m_depthFunc);
    glGetIntegerv(GL_CULL_FACE_MODE, &m_cullFace);
    const GLenum blend[6] = {GL_BLEND_SRC_RGB,   GL_BLEND_DST_RGB,        GL_BLEND_SRC_ALPHA,
                             GL_BLEND_DST_ALPHA, GL_BLEND_EQUATION_RGB, GL_BLEND_EQUATION_ALPHA};
    for (int i = 0; i < 6; ++i)
        glGetIntegerv(blend[i], &m_blend[i]);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, m_clearColor);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &m_unpack[0]);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &m_unpack[1]);
    glGetIntegerv(GL_PACK_ALIGNMENT, &m_packAlignment);
}

void GLStateSnapshot::restore() const {
    const auto name = [](int value) { return static_cast<GLuint>(value); };
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, name(m_drawFramebuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, name(m_readFramebuffer));
    glBindRenderbuffer(GL_RENDERBUFFER, name(m_renderbuffer));
    glViewport(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
    glUseProgram(name(m_program));
    glBindVertexArray(name(m_vertexArray));
    glBindBuffer(GL_ARRAY_BUFFER, name(m_arrayBuffer));
    glBindBuffer(GL_UNIFORM_BUFFER, name(m_uniformBuffer));
    for (int unit = 0; unit < Units; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        for (int i = 0; i < 3; ++i)
            glBindTexture(kTargets[i], name(m_textures[unit][i]));
    }
    glActiveTexture(static_cast<GLenum>(m_activeTexture));
    for (int i = 0; i < 4; ++i)
        (m_capabilities[i] ? glEnable : glDisable)(kCapabilities[i]);
    glDepthMask(m_depthMask);
    glColorMask(m_colorMask[0], m_colorMask[1], m_colorMask[2], m_colorMask[3]);
    glDepthFunc(static_cast<GLenum>(m_depthFunc));
    glCullFace(static_cast<GLenum>(m_cullFace));
    const auto mode = [](int value) { return static_cast<GLenum>(value); };
    glBlendFuncSeparate(mode(m_blend[0]), mode(m_blend[1]), mode(m_blend[2]), mode(m_blend[3]));
    glBlendEquationSeparate(mode(m_blend[4]), mode(m_blend[5]));
    glClearColor(m_clearColor[0], m_clearColor[1], m_clearColor[2], m_clearColor[3]);
    glPixelStorei(GL_UNPACK_ALIGNMENT, m_unpack[0]);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, m_unpack[1]);
    glPixelStorei(GL_PACK_ALIGNMENT, m_packAlignment);
}

