#ifndef TARN_POSTFX_CHAIN_H
#define TARN_POSTFX_CHAIN_H

// The post-processing chain: runs every effect, in the order added, over the
// frame the renderer produced and draws the result to the window. It owns a
// full-resolution and a quarter-resolution pair of float buffers and two
// full-resolution scratch buffers, made once, that all passes of all effects
// share through one Buffers record. One chain is made at launch, at the
// window's size, and kept until exit; it does not own its effects or the
// renderer.

#include <cstddef>
#include <memory>
#include <vector>

#include "tarn/postfx/frameinfo.h"

namespace Tarn {

class FrameBuffer;

namespace Graphics {
class Camera;
class Renderer;
}  // namespace Graphics

namespace PostFX {

class Effect;

class Chain {
public:
    // What every pass receives. A pass writes full[fullCnt] or low[lowCnt],
    // then flips that counter, so full[1 - fullCnt] (low[1 - lowCnt]) is
    // always the buffer of the pair written last. `in` is what the current
    // effect starts from and stays so for all its passes; `out` is what it
    // produced (equal to `in` until a pass sets it).
    struct Buffers {
        FrameBuffer* full[2] = {nullptr, nullptr};  // width x height, RGBA32F
        FrameBuffer* low[2] = {nullptr, nullptr};   // (width >> 2) x (height >> 2), RGBA32F
        // width x height, RGBA32F, for an effect's intermediate full-size
        // images: no counter, never an effect's in or out, so an effect that
        // writes full-size images more than once can stand anywhere in the
        // chain. Nothing in them outlives the effect that wrote them.
        FrameBuffer* scratch[2] = {nullptr, nullptr};
        FrameBuffer* in = nullptr;
        FrameBuffer* out = nullptr;
        FrameBuffer* gBuffer = nullptr;      // the renderer's, read only; null without one
        Graphics::Camera* camera = nullptr;  // the renderer's current camera, or null
        int fullCnt = 0;
        int lowCnt = 0;
        // The frame being drawn: its demo time and what follows from it.
        FrameInfo frame;
    };

    // Makes full[0], full[1], low[0], low[1] (at least 1x1), scratch[0] and
    // scratch[1], all once. The renderer supplies the G-buffer and the
    // camera; it may be null for effects that need neither.
    Chain(unsigned int width, unsigned int height, Graphics::Renderer* renderer);
    ~Chain();

    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    // Appends an effect; the same effect may be added more than once and
    // then runs once per entry. A null effect (a name the factory did not
    // know) is refused with one line, so indices count real effects only.
    void addEffect(Effect* effect);
    // The effect at position i in order of addition, or null when i is
    // negative or not below effectCount().
    Effect* effect(int i) const;
    std::size_t effectCount() const { return m_effects.size(); }

    // What the next apply's effects read as Buffers::frame; kept until set
    // again.
    void setFrameInfo(const FrameInfo& frame) { m_buffers.frame = frame; }
    const FrameInfo& frameInfo() const { return m_buffers.frame; }

    // Runs every effect over input and returns the buffer holding the final
    // image: input itself when there is no effect or all are bypassed.
    // Allocates nothing.
    FrameBuffer* apply(FrameBuffer* input);
    // apply, then copies the result's target 0 unchanged over the whole of
    // target, or of the window when target is null. A null input draws
    // nothing.
    void applyAndDraw(FrameBuffer* input, FrameBuffer* target = nullptr);

    // The record as the last apply left it (counters, in, out, camera).
    const Buffers& buffers() const { return m_buffers; }

private:
    Buffers m_buffers;
    std::vector<Effect*> m_effects;
    Graphics::Renderer* m_renderer;
    std::unique_ptr<FrameBuffer> m_ownedBuffers[6];
};

}  // namespace PostFX
}  // namespace Tarn

#endif
