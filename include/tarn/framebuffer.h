#ifndef TARN_FRAMEBUFFER_H
#define TARN_FRAMEBUFFER_H

// An off-screen render target set: one GL framebuffer object with a depth
// renderbuffer and up to eight colour textures of one size. The renderer and
// the effect chain own theirs and keep them until exit; the frame buffer owns
// its GL objects and its targets, which live exactly as long as it does.

#include <vector>

namespace Tarn {

class Texture;

class FrameBuffer {
public:
    // Any other value is taken as RGBA8 (the fixed underlying type makes
    // such values well-defined).
    enum TargetType : unsigned int { RGBA8 = 0, RGBA16F = 1, RGBA32F = 2 };
    static constexpr unsigned int MaxTargets = 8;

    // Makes the framebuffer object and its depth renderbuffer (the unsized
    // depth format: the driver picks the precision). A size larger than the
    // driver allows is reported and leaves an unusable frame buffer that
    // takes no target and whose enable and disable do nothing.
    FrameBuffer(unsigned int width, unsigned int height);
    // Deletes the targets, the renderbuffer and the framebuffer object; an
    // enabled frame buffer is disabled first.
    ~FrameBuffer();

    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;

    // Adds a colour texture of the frame buffer's size at the next colour
    // attachment, sampled with linear minification, nearest magnification
    // and repeat wrapping, and returns it. Null for a ninth target (reported)
    // or on an unusable frame buffer. Prints one line when the driver then
    // reports the frame buffer incomplete. Add targets before the first
    // enable.
    Texture* createRenderTarget(TargetType type);

    // Draws into every target (fragment output i to target i), with the
    // viewport set to the frame buffer's size, after clearing colour to
    // (0, 0, 0, 1) and depth to the current clear depth. Remembers the
    // viewport for disable; enabling again before disable clears again and
    // keeps the viewport remembered first. The clear colour is left as it was.
    void enable();
    // Draws into the window again and restores the viewport enable found.
    void disable();

    // The target at index, or null when index is not less than targetCount().
    Texture* target(unsigned int index) const;
    unsigned int targetCount() const { return static_cast<unsigned int>(m_targets.size()); }

    unsigned int id() const { return m_bufferId; }
    unsigned int width() const { return m_width; }
    unsigned int height() const { return m_height; }
    // Frame buffers alive in the process (their targets count as textures).
    static int liveCount() { return ms_live; }

private:
    void f_reportIncomplete(unsigned int status) const;

    static int ms_live;

    unsigned int m_bufferId = 0;
    unsigned int m_depthRenderBufferId = 0;
    std::vector<Texture*> m_targets;
    unsigned int m_width;
    unsigned int m_height;
    bool m_enabled = false;
    int m_savedViewport[4] = {0, 0, 0, 0};
};

}  // namespace Tarn

#endif
