#ifndef TARN_CUBETEXTURE_H
#define TARN_CUBETEXTURE_H

// A cube map, cut from one horizontal-cross image or built from six face
// images read through the archive. Owned by whoever made it (the asset
// library, a material, a scene); lives until exit in practice.

#include <string>

#include "tarn/texture.h"

namespace Tarn {

class CubeTexture : public Texture {
public:
    // Cuts the faces out of a horizontal cross of 4 x 3 square cells: +Y
    // above and -Y below the second column, the middle row holding -X, -Z,
    // +X, +Z from left to right. The face size is width / 4 (1024 for a
    // 4096 x 3072 image); the image's top row lands on each face's row t = 0.
    // An image of any other shape is refused with a message. A missing,
    // undecodable or refused image leaves six 1x1 opaque magenta faces.
    explicit CubeTexture(const std::string& filename);
    // One square image per face, in GL face order, all of the same size.
    // If any face is missing, undecodable or of the wrong size, all six
    // faces become the 1x1 magenta placeholder.
    CubeTexture(const std::string& xPlus, const std::string& xMinus, const std::string& yPlus,
                const std::string& yMinus, const std::string& zPlus, const std::string& zMinus);

    // Both forms sample with linear filtering, clamp to edge on S, T and R,
    // and a single level (base and max level 0).
    void bind(unsigned int unit) override;
    void release() override;

    // Edge length of each face in pixels; 1 for the placeholder.
    int faceSize() const { return m_faceSize; }
    // True when the magenta placeholder stands in for the images (a real
    // cross may have faces of 1 pixel too).
    bool isPlaceholder() const { return m_placeholder; }

private:
    void f_setSampling();
    // Six 1x1 opaque magenta faces.
    void f_uploadPlaceholder();
    // Uploads the size x size square at (offsetX, offsetY) of an RGBA8 image
    // `rowLength` pixels wide, straight from the image through the unpack
    // row length and skips, so nothing is copied. The caller has set the
    // rest of the unpack state to tightly packed rows.
    void f_generateFace(unsigned int face, const unsigned char* pixels, int rowLength, int size,
                        int offsetX, int offsetY);
    // False (with a message naming path) when a face of `size` pixels is
    // more than the driver can hold.
    bool f_fitsDriver(const std::string& path, int size) const;

    int m_faceSize = 1;
    bool m_placeholder = false;
};

}  // namespace Tarn

#endif
