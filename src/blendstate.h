#ifndef TARN_SRC_BLENDSTATE_H
#define TARN_SRC_BLENDSTATE_H

// Internal: for the life of the object, draws add their colour to the
// target's (GL_FUNC_ADD with GL_ONE, GL_ONE: the one float addition a pass
// summing two textures would do) and leave its alpha untouched, whatever
// state the caller left; the caller's state is put back afterwards.

#include <GL/glew.h>

namespace Tarn::Detail {

class AdditiveBlend {
public:
    AdditiveBlend() : m_wasEnabled(glIsEnabled(GL_BLEND) == GL_TRUE) {
        glGetIntegerv(GL_BLEND_SRC_RGB, &m_saved[0]);
        glGetIntegerv(GL_BLEND_DST_RGB, &m_saved[1]);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &m_saved[2]);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &m_saved[3]);
        glGetIntegerv(GL_BLEND_EQUATION_RGB, &m_saved[4]);
        glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &m_saved[5]);
        glGetBooleanv(GL_COLOR_WRITEMASK, m_mask);
        glEnable(GL_BLEND);
        glBlendEquation(GL_FUNC_ADD);
        glBlendFunc(GL_ONE, GL_ONE);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    }
    ~AdditiveBlend() {
        glColorMask(m_mask[0], m_mask[1], m_mask[2], m_mask[3]);
        glBlendEquationSeparate(static_cast<GLenum>(m_saved[4]), static_cast<GLenum>(m_saved[5]));
        glBlendFuncSeparate(static_cast<GLenum>(m_saved[0]), static_cast<GLenum>(m_saved[1]),
                            static_cast<GLenum>(m_saved[2]), static_cast<GLenum>(m_saved[3]));
        if (!m_wasEnabled)
            glDisable(GL_BLEND);
    }
    AdditiveBlend(const AdditiveBlend&) = delete;
    AdditiveBlend& operator=(const AdditiveBlend&) = delete;

private:
    bool m_wasEnabled;
    GLint m_saved[6] = {0, 0, 0, 0, 0, 0};
    GLboolean m_mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
};

}  // namespace Tarn::Detail

#endif
