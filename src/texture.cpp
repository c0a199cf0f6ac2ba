#include "tarn/texture.h"

#include <GL/glew.h>

namespace Tarn {

int Texture::ms_live = 0;

Texture::Texture() : m_textureId(0), m_currentUnit(0) {
    glGenTextures(1, &m_textureId);
    ++ms_live;
}

Texture::Texture(unsigned int textureId) : m_textureId(textureId), m_currentUnit(0) {
    ++ms_live;
}

Texture::~Texture() {
    --ms_live;
    if (m_textureId)
        glDeleteTextures(1, &m_textureId);
}

}  // namespace Tarn
