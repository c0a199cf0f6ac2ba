#include "tarn/framereader.h"

#include <algorithm>

#include <GL/glew.h>

#include "tarn/diagnostics.h"
#include "tarn/framebuffer.h"

namespace Tarn {

namespace {

// Pack state saved, forced for one read or map, and restored.
class PackState {
public:
    explicit PackState(GLuint buffer) {
        glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &m_buffer);
        glGetIntegerv(GL_PACK_ALIGNMENT, &m_alignment);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
    }
    ~PackState() {
        glPixelStorei(GL_PACK_ALIGNMENT, m_alignment);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(m_buffer));
    }
    PackState(const PackState&) = delete;
    PackState& operator=(const PackState&) = delete;

private:
    GLint m_buffer = 0;
    GLint m_alignment = 4;
};

}  // namespace

FrameReader::FrameReader(int width, int height, int depth)
    : m_width(std::max(width, 1)), m_height(std::max(height, 1)),
      m_buffers(static_cast<std::size_t>(std::max(depth, 1)), 0u) {
    const auto bytes = static_cast<GLsizeiptr>(4) * m_width * m_height;
    glGenBuffers(static_cast<GLsizei>(m_buffers.size()), m_buffers.data());
    for (GLuint buffer : m_buffers) {
        const PackState state(buffer);
        glBufferData(GL_PIXEL_PACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
    }
}

FrameReader::~FrameReader() {
    glDeleteBuffers(static_cast<GLsizei>(m_buffers.size()), m_buffers.data());
}

bool FrameReader::read(const FrameBuffer& source, const Sink& sink) {
    if (static_cast<int>(source.width()) != m_width ||
        static_cast<int>(source.height()) != m_height) {
        Diagnostics::problem("FrameReader", "cannot read a " + std::to_string(source.width()) +
                                                "x" + std::to_string(source.height()) +
                                                " frame buffer into " + std::to_string(m_width) +
                                                "x" + std::to_string(m_height) + " frames");
        return false;
    }
    if (m_inFlight == m_buffers.size() && !f_handOldest(sink))
        return false;

    GLint readFramebuffer = 0, readBuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source.id());
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    {
        const PackState state(m_buffers[m_next]);
        glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    glReadBuffer(static_cast<GLenum>(readBuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));

    m_next = (m_next + 1) % m_buffers.size();
    ++m_inFlight;
    return true;
}

bool FrameReader::flush(const Sink& sink) {
    while (m_inFlight > 0) {
        if (!f_handOldest(sink)) {
            m_inFlight = 0;
            return false;
        }
    }
    return true;
}

bool FrameReader::f_handOldest(const Sink& sink) {
    const std::size_t oldest = (m_next + m_buffers.size() - m_inFlight) % m_buffers.size();
    --m_inFlight;
    const PackState state(m_buffers[oldest]);
    const auto bytes = static_cast<GLsizeiptr>(4) * m_width * m_height;
    const void* pixels = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, bytes, GL_MAP_READ_BIT);
    if (!pixels) {
        Diagnostics::problem("FrameReader", "cannot map a read-back buffer");
        return false;
    }
    const bool accepted = sink(static_cast<const unsigned char*>(pixels), m_width, m_height);
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    return accepted;
}

}  // namespace Tarn
