#ifndef TARN_SRC_UNPACKSTATE_H
#define TARN_SRC_UNPACKSTATE_H

// Internal: for the life of the object, texture uploads read tightly packed
// rows and layers from client memory (no unpack buffer, alignment 1),
// whatever state the caller left; the caller's state is put back afterwards.

#include <array>

#include <GL/glew.h>

namespace Tarn::Detail {

class UnpackState {
public:
    UnpackState() {
        for (std::size_t i = 0; i < kParameters.size(); ++i)
            glGetIntegerv(kParameters[i], &m_saved[i]);
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &m_buffer);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        for (GLenum parameter : kParameters)
            glPixelStorei(parameter, parameter == GL_UNPACK_ALIGNMENT ? 1 : 0);
    }
    ~UnpackState() {
        for (std::size_t i = 0; i < kParameters.size(); ++i)
            glPixelStorei(kParameters[i], m_saved[i]);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(m_buffer));
    }
    UnpackState(const UnpackState&) = delete;
    UnpackState& operator=(const UnpackState&) = delete;

private:
    static constexpr std::array<GLenum, 6> kParameters = {
        GL_UNPACK_ROW_LENGTH,   GL_UNPACK_SKIP_PIXELS, GL_UNPACK_SKIP_ROWS,
        GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_SKIP_IMAGES, GL_UNPACK_ALIGNMENT};
    std::array<GLint, 6> m_saved{};
    GLint m_buffer = 0;
};

// Opaque magenta stands in for an image that could not be had, so the gap
// is visible on screen.
constexpr unsigned char kMissingPixel[4] = {255, 0, 255, 255};

}  // namespace Tarn::Detail

#endif
