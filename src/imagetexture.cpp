#include "tarn/imagetexture.h"

#include <string>

#include <GL/glew.h>

#include "imagefile.h"
#include "tarn/diagnostics.h"
#include "tarn/loadingpace.h"
#include "unpackstate.h"

namespace Tarn {

namespace {

GLint minFilter(ImageTexture::FilterMode mode) {
    switch (mode) {
    case ImageTexture::Linear:
        return GL_LINEAR;
    case ImageTexture::NearestMipmapNearest:
        return GL_NEAREST_MIPMAP_NEAREST;
    case ImageTexture::NearestMipmapLinear:
        return GL_NEAREST_MIPMAP_LINEAR;
    case ImageTexture::LinearMipmapNearest:
        return GL_LINEAR_MIPMAP_NEAREST;
    case ImageTexture::LinearMipmapLinear:
        return GL_LINEAR_MIPMAP_LINEAR;
    default:
        return GL_NEAREST;
    }
}

// The legacy GL_CLAMP does not exist on a core context; clamping to the edge
// is what it amounts to for textures without a border.
GLint wrap(ImageTexture::WrapMode mode) {
    switch (mode) {
    case ImageTexture::ClampToBorder:
        return GL_CLAMP_TO_BORDER;
    case ImageTexture::Repeat:
        return GL_REPEAT;
    case ImageTexture::MirroredRepeat:
        return GL_MIRRORED_REPEAT;
    default:
        return GL_CLAMP_TO_EDGE;
    }
}

void setSampling(GLint min, GLint mag, GLint wrapS, GLint wrapT) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapS);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapT);
}

void uploadRGBA8(const void* pixels, int width, int height) {
    const Detail::UnpackState unpack;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

const unsigned int kMaxSize = 1u << 15;

}  // namespace

ImageTexture::ImageTexture(const char* data, unsigned int width, unsigned int height) {
    bind(0);
    if (width > 0 && height > 0 && width <= kMaxSize && height <= kMaxSize) {
        // Null data allocates the storage and leaves it undefined, as GL does.
        m_width = static_cast<int>(width);
        m_height = static_cast<int>(height);
        uploadRGBA8(data, m_width, m_height);
    } else {
        Diagnostics::problem("ImageTexture", "Cannot make a " + std::to_string(width) + "x" +
                                                 std::to_string(height) + " texture");
        m_width = m_height = 1;
        m_placeholder = true;
        uploadRGBA8(Detail::kMissingPixel, 1, 1);
    }
    setSampling(GL_LINEAR, GL_LINEAR, GL_REPEAT, GL_REPEAT);
    release();
}

ImageTexture::ImageTexture(const std::string& filename) {
    const Detail::ImageFile image(filename, "ImageTexture");
    // Uploading past the driver's limit leaves a GL error and a texture that
    // samples black (ImageTextureGLTest.UnreadableFilesGiveTheirLineAndMagenta).
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const bool fits = image.width() <= maxSize && image.height() <= maxSize;
    if (image.valid() && !fits)
        Diagnostics::problem("ImageTexture", filename + " is " + std::to_string(image.width()) +
                                                 "x" + std::to_string(image.height()) +
                                                 ", over the driver's limit of " +
                                                 std::to_string(maxSize) + " pixels a side");
    bind(0);
    if (image.valid() && fits) {
        m_width = image.width();
        m_height = image.height();
        uploadRGBA8(image.pixels(), m_width, m_height);
    } else {
        m_width = m_height = 1;
        m_placeholder = true;
        uploadRGBA8(Detail::kMissingPixel, 1, 1);
    }
    glGenerateMipmap(GL_TEXTURE_2D);
    setSampling(GL_LINEAR_MIPMAP_LINEAR, GL_NEAREST, GL_REPEAT, GL_REPEAT);
    release();
    LoadingPace::step();
}

ImageTexture::ImageTexture(unsigned int textureId) : Texture(textureId) {
    bind(0);
    setSampling(GL_LINEAR, GL_NEAREST, GL_REPEAT, GL_REPEAT);
    release();
}

void ImageTexture::setFilterMode(FilterMode min, FilterMode mag) {
    bind(0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter(min));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag == Linear ? GL_LINEAR : GL_NEAREST);
    release();
}

void ImageTexture::setWrapMode(WrapMode s, WrapMode t) {
    bind(0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap(s));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap(t));
    release();
}

void ImageTexture::bind(unsigned int unit) {
    m_currentUnit = unit;
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_2D, m_textureId);
}

void ImageTexture::release() {
    glActiveTexture(GL_TEXTURE0 + m_currentUnit);
    glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace Tarn
