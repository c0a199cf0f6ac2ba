#ifndef TARN_IMAGETEXTURE_H
#define TARN_IMAGETEXTURE_H

// A 2D texture: from an image file read through the archive, from raw RGBA
// pixels, or adopted from an existing GL texture (frame-buffer targets).
// Owned by whoever made it; lives until exit in practice.

#include <string>

#include "tarn/texture.h"

namespace Tarn {

class ImageTexture : public Texture {
public:
    // Minification filters; for magnification only Linear is linear.
    enum FilterMode {
        Nearest = 0,
        Linear = 1,
        NearestMipmapNearest = 2,
        NearestMipmapLinear = 3,
        LinearMipmapNearest = 4,
        LinearMipmapLinear = 5,
    };
    // Clamp is the legacy clamp, which a core context spells GL_CLAMP_TO_EDGE.
    enum WrapMode {
        Clamp = 0,
        ClampToEdge = 1,
        ClampToBorder = 2,
        Repeat = 3,
        MirroredRepeat = 4,
    };

    // width x height RGBA8 pixels, rows from t = 0 up; linear, repeat, no
    // mipmaps. Null data leaves the storage undefined; a size of 0 (or over
    // 32768) is refused with a message and gives the magenta placeholder.
    ImageTexture(const char* data, unsigned int width, unsigned int height);
    // A mipmapped texture from an image file in the archive, its top row at
    // t = 0 (no flip); trilinear minification, nearest magnification, repeat.
    // A missing or undecodable file, or an image larger than the driver's
    // GL_MAX_TEXTURE_SIZE, leaves a 1x1 opaque magenta texture, so the gap
    // shows on screen; the reason is printed.
    explicit ImageTexture(const std::string& filename);
    // Adopts a 2D texture and sets linear minification, nearest
    // magnification and repeat wrapping.
    explicit ImageTexture(unsigned int textureId);

    // Both setters leave the texture unbound and unit 0 active.
    void setFilterMode(FilterMode min, FilterMode mag);
    void setWrapMode(WrapMode s, WrapMode t);

    void bind(unsigned int unit) override;
    void release() override;

    // Size of level 0 in pixels (0 for an adopted texture).
    int width() const { return m_width; }
    int height() const { return m_height; }
    // True when the magenta placeholder stands in for a refused size or an
    // image that could not be used, so a loader can say what it got instead.
    bool isPlaceholder() const { return m_placeholder; }

private:
    int m_width = 0;
    int m_height = 0;
    bool m_placeholder = false;
};

}  // namespace Tarn

#endif
