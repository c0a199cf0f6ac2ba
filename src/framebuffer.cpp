#include "tarn/framebuffer.h"

#include <algorithm>
#include <iomanip>
#include <sstream>
#include <string>

#include <GL/glew.h>

#include "tarn/diagnostics.h"
#include "tarn/imagetexture.h"

namespace Tarn {

namespace {

const GLenum kColorAttachments[FrameBuffer::MaxTargets] = {
    GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2, GL_COLOR_ATTACHMENT3,
    GL_COLOR_ATTACHMENT4, GL_COLOR_ATTACHMENT5, GL_COLOR_ATTACHMENT6, GL_COLOR_ATTACHMENT7,
};

struct TargetFormat {
    GLint internalFormat;
    GLenum pixelType;
};

TargetFormat formatOf(FrameBuffer::TargetType type) {
    switch (type) {
    case FrameBuffer::RGBA16F:
        return {GL_RGBA16F, GL_FLOAT};
    case FrameBuffer::RGBA32F:
        return {GL_RGBA32F, GL_FLOAT};
    default:
        return {GL_RGBA8, GL_UNSIGNED_BYTE};
    }
}

std::string statusName(GLenum status) {
    switch (status) {
    case GL_FRAMEBUFFER_UNDEFINED:
        return "GL_FRAMEBUFFER_UNDEFINED";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
        return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
        return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER:
        return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER:
        return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER";
    case GL_FRAMEBUFFER_UNSUPPORTED:
        return "GL_FRAMEBUFFER_UNSUPPORTED";
    case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE:
        return "GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE";
    case GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS:
        return "GL_FRAMEBUFFER_INCOMPLETE_LAYER_TARGETS";
    default: {
        std::ostringstream out;
        out << "status 0x" << std::hex << std::uppercase << status;
        return out.str();
    }
    }
}

// The largest width and height that both the depth renderbuffer and the
// colour textures accept.
unsigned int largestSize() {
    GLint renderbuffer = 0, texture = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    return static_cast<unsigned int>(std::max(0, std::min(renderbuffer, texture)));
}

}  // namespace

int FrameBuffer::ms_live = 0;

FrameBuffer::FrameBuffer(unsigned int width, unsigned int height)
    : m_width(width), m_height(height) {
    ++ms_live;
    const unsigned int largest = largestSize();
    if (width > largest || height > largest) {
        Diagnostics::problem(
            "FrameBuffer", "Cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                               " frame buffer: the driver allows at most " +
                               std::to_string(largest) + "x" + std::to_string(largest));
        return;
    }
    glGenFramebuffers(1, &m_bufferId);
    glBindFramebuffer(GL_FRAMEBUFFER, m_bufferId);
    // Without colour targets nothing is read; a driver may otherwise call
    // the depth-only frame buffer incomplete.
    glReadBuffer(GL_NONE);

    glGenRenderbuffers(1, &m_depthRenderBufferId);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depthRenderBufferId);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                              m_depthRenderBufferId);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

FrameBuffer::~FrameBuffer() {
    --ms_live;
    if (m_enabled)
        disable();
    if (m_bufferId)
        glDeleteFramebuffers(1, &m_bufferId);
    if (m_depthRenderBufferId)
        glDeleteRenderbuffers(1, &m_depthRenderBufferId);
    for (Texture* target : m_targets)
        delete target;
}

Texture* FrameBuffer::createRenderTarget(TargetType type) {
    if (!m_bufferId)
        return nullptr;
    if (m_targets.size() >= MaxTargets) {
        Diagnostics::problem("FrameBuffer",
                             "Cannot add a ninth target: a frame buffer holds at most " +
                                 std::to_string(MaxTargets));
        return nullptr;
    }
    const TargetFormat format = formatOf(type);
    GLuint textureId = 0;
    glGenTextures(1, &textureId);
    glBindTexture(GL_TEXTURE_2D, textureId);
    glTexImage2D(GL_TEXTURE_2D, 0, format.internalFormat, static_cast<GLsizei>(m_width),
                 static_cast<GLsizei>(m_height), 0, GL_RGBA, format.pixelType, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    // Sets linear minification, nearest magnification and repeat wrapping,
    // and deletes the texture name with the target.
    Texture* target = new ImageTexture(static_cast<unsigned int>(textureId));

    const GLenum attachment = kColorAttachments[m_targets.size()];
    glBindFramebuffer(GL_FRAMEBUFFER, m_bufferId);
    glFramebufferTexture(GL_FRAMEBUFFER, attachment, textureId, 0);
    if (m_targets.empty())
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    m_targets.push_back(target);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE)
        f_reportIncomplete(status);
    return target;
}

void FrameBuffer::f_reportIncomplete(unsigned int status) const {
    Diagnostics::problem(
        "FrameBuffer", "The " + std::to_string(m_width) + "x" + std::to_string(m_height) +
                           " frame buffer is incomplete with " + std::to_string(m_targets.size()) +
                           (m_targets.size() == 1 ? " target: " : " targets: ") +
                           statusName(status));
}

void FrameBuffer::enable() {
    if (!m_bufferId)
        return;
    if (!m_enabled)
        glGetIntegerv(GL_VIEWPORT, m_savedViewport);
    m_enabled = true;
    glBindFramebuffer(GL_FRAMEBUFFER, m_bufferId);
    glDrawBuffers(static_cast<GLsizei>(m_targets.size()), kColorAttachments);
    glViewport(0, 0, static_cast<GLsizei>(m_width), static_cast<GLsizei>(m_height));

    GLfloat clearColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
}

void FrameBuffer::disable() {
    if (!m_bufferId)
        return;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (m_enabled)
        glViewport(m_savedViewport[0], m_savedViewport[1], m_savedViewport[2], m_savedViewport[3]);
    m_enabled = false;
}

Texture* FrameBuffer::target(unsigned int index) const {
    return index < m_targets.size() ? m_targets[index] : nullptr;
}

}  // namespace Tarn
