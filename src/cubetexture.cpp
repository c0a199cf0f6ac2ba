#include "tarn/cubetexture.h"

#include <array>
#include <string>

#include <GL/glew.h>

#include "imagefile.h"
#include "tarn/diagnostics.h"
#include "tarn/loadingpace.h"
#include "unpackstate.h"

namespace Tarn {

namespace {

// Where each face sits in the cross, as (column, row) of its 4 x 3 grid of
// cells, in GL face order +X, -X, +Y, -Y, +Z, -Z.
const int kCrossCells[6][2] = {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {3, 1}, {1, 1}};

// The face size of a 4:3 cross of square cells, or 0 for any other shape.
int crossFaceSize(int width, int height) {
    if (width < 4 || height < 3 || width % 4 != 0 || height % 3 != 0 || width / 4 != height / 3)
        return 0;
    return width / 4;
}

GLenum faceTarget(unsigned int face) {
    return GL_TEXTURE_CUBE_MAP_POSITIVE_X + face;
}

std::string sizeText(const Detail::ImageFile& image) {
    return std::to_string(image.width()) + "x" + std::to_string(image.height());
}

}  // namespace

CubeTexture::CubeTexture(const std::string& filename) {
    const Detail::ImageFile image(filename, "CubeTexture");
    bind(0);
    f_setSampling();
    int size = 0;
    if (image.valid()) {
        size = crossFaceSize(image.width(), image.height());
        if (size == 0)
            Diagnostics::problem("CubeTexture", filename + ": image of " + sizeText(image) +
                                                    " is not a 4:3 cross of square faces");
        else if (!f_fitsDriver(filename, size))
            size = 0;
    }
    if (size > 0) {
        const Detail::UnpackState unpack;
        for (unsigned int face = 0; face < 6; ++face)
            f_generateFace(face, image.pixels(), image.width(), size, kCrossCells[face][0] * size,
                           kCrossCells[face][1] * size);
        m_faceSize = size;
    } else {
        f_uploadPlaceholder();
    }
    release();
    LoadingPace::step();
}

CubeTexture::CubeTexture(const std::string& xPlus, const std::string& xMinus,
                         const std::string& yPlus, const std::string& yMinus,
                         const std::string& zPlus, const std::string& zMinus) {
    const std::string* const paths[6] = {&xPlus, &xMinus, &yPlus, &yMinus, &zPlus, &zMinus};
    bind(0);
    f_setSampling();
    int size = 0;
    bool complete = true;
    {
        const Detail::UnpackState unpack;
        // One face at a time, so only one decoded image is held.
        for (unsigned int face = 0; face < 6 && complete; ++face) {
            const std::string& path = *paths[face];
            const Detail::ImageFile image(path, "CubeTexture");
            if (!image.valid()) {
                complete = false;
            } else if (image.width() != image.height()) {
                Diagnostics::problem("CubeTexture",
                                     path + ": face of " + sizeText(image) + " is not square");
                complete = false;
            } else if (face == 0) {
                size = image.width();
                complete = f_fitsDriver(path, size);
            } else if (image.width() != size) {
                Diagnostics::problem("CubeTexture", path + ": face of " + sizeText(image) +
                                                        " does not match the " +
                                                        std::to_string(size) + "x" +
                                                        std::to_string(size) + " of " + xPlus);
                complete = false;
            }
            if (complete)
                f_generateFace(face, image.pixels(), size, size, 0, 0);
        }
    }
    if (complete) {
        m_faceSize = size;
    } else {
        f_uploadPlaceholder();
    }
    release();
}

void CubeTexture::bind(unsigned int unit) {
    m_currentUnit = unit;
    glActiveTexture(GL_TEXTURE0 + unit);
    glBindTexture(GL_TEXTURE_CUBE_MAP, m_textureId);
}

void CubeTexture::release() {
    glActiveTexture(GL_TEXTURE0 + m_currentUnit);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
}

void CubeTexture::f_setSampling() {
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, 0);
}

void CubeTexture::f_uploadPlaceholder() {
    const Detail::UnpackState unpack;
    for (unsigned int face = 0; face < 6; ++face)
        f_generateFace(face, Detail::kMissingPixel, 1, 1, 0, 0);
    m_faceSize = 1;
    m_placeholder = true;
}

void CubeTexture::f_generateFace(unsigned int face, const unsigned char* pixels, int rowLength,
                                 int size, int offsetX, int offsetY) {
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, offsetX);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, offsetY);
    glTexImage2D(faceTarget(face), 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

bool CubeTexture::f_fitsDriver(const std::string& path, int size) const {
    GLint limit = 0;
    glGetIntegerv(GL_MAX_CUBE_MAP_TEXTURE_SIZE, &limit);
    if (size <= limit)
        return true;
    Diagnostics::problem("CubeTexture", path + ": faces of " + std::to_string(size) +
                                            " pixels exceed the driver's limit of " +
                                            std::to_string(limit));
    return false;
}

}  // namespace Tarn
