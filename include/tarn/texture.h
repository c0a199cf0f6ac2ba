#ifndef TARN_TEXTURE_H
#define TARN_TEXTURE_H

// A handle on one GL texture name that binds to a numbered texture unit.
// Owns the name and deletes it on destruction, adopted names included.
// Image, cube and video textures and frame-buffer targets all derive from it.

namespace Tarn {

class Texture {
public:
    // Generates a new GL texture name.
    Texture();
    // Adopts an existing GL texture name; it is deleted with this object.
    explicit Texture(unsigned int textureId);
    virtual ~Texture();

    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    unsigned int id() const { return m_textureId; }
    // Textures alive in the process, of every kind: a reload that frees
    // what it replaces keeps this flat.
    static int liveCount() { return ms_live; }

    // Binds to GL_TEXTURE0 + unit, which stays active, and remembers the unit.
    virtual void bind(unsigned int unit) = 0;
    // Unbinds from the unit of the last bind, which stays active.
    virtual void release() = 0;

protected:
    static int ms_live;

    unsigned int m_textureId;
    unsigned int m_currentUnit;
};

}  // namespace Tarn

#endif
