#include "tarn/texture.h"

#include <GL/glew.h>

namespace Tarn {

Texture::Texture() : m_textureId(0), m_currentUnit(0) {
    glGenTextures(1, &m_textureId);
}

Texture::Texture(unsigned int textureId) : m_textureId(textureId), m_currentUnit(0) {}

Texture::~Texture() {
    if (m_textureId)
        glDeleteTextures(1, &m_textureId);
}

}  // namespace Tarn
