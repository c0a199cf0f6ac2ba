#include "tarn/postfx/chain.h"

#include <algorithm>

#include "../capabilitystate.h"
#include "tarn/diagnostics.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/fullscreenquad.h"
#include "tarn/graphics/renderer.h"
#include "tarn/postfx/effect.h"
#include "tarn/profiler.h"
#include "tarn/texture.h"

namespace Tarn::PostFX {

namespace {

std::unique_ptr<FrameBuffer> makeBuffer(unsigned int width, unsigned int height) {
    auto buffer = std::make_unique<FrameBuffer>(width, height);
    buffer->createRenderTarget(FrameBuffer::RGBA32F);
    return buffer;
}

}  // namespace

Chain::Chain(unsigned int width, unsigned int height, Graphics::Renderer* renderer)
    : m_renderer(renderer) {
    // A frame narrower or lower than four pixels still gets a one-pixel
    // quarter buffer rather than an incomplete empty one.
    const unsigned int lowWidth = std::max(1u, width >> 2), lowHeight = std::max(1u, height >> 2);
    m_ownedBuffers[0] = makeBuffer(width, height);
    m_ownedBuffers[1] = makeBuffer(width, height);
    m_ownedBuffers[2] = makeBuffer(lowWidth, lowHeight);
    m_ownedBuffers[3] = makeBuffer(lowWidth, lowHeight);
    m_ownedBuffers[4] = makeBuffer(width, height);
    m_ownedBuffers[5] = makeBuffer(width, height);
    m_buffers.full[0] = m_ownedBuffers[0].get();
    m_buffers.full[1] = m_ownedBuffers[1].get();
    m_buffers.low[0] = m_ownedBuffers[2].get();
    m_buffers.low[1] = m_ownedBuffers[3].get();
    m_buffers.scratch[0] = m_ownedBuffers[4].get();
    m_buffers.scratch[1] = m_ownedBuffers[5].get();
    m_buffers.gBuffer = renderer ? renderer->gBuffer() : nullptr;
}

Chain::~Chain() = default;

void Chain::addEffect(Effect* effect) {
    if (!effect) {
        Diagnostics::problem("Chain", "Cannot add a null effect; the chain is unchanged");
        return;
    }
    m_effects.push_back(effect);
}

Effect* Chain::effect(int i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= m_effects.size())
        return nullptr;
    return m_effects[static_cast<std::size_t>(i)];
}

FrameBuffer* Chain::apply(FrameBuffer* input) {
    m_buffers.fullCnt = 0;
    m_buffers.lowCnt = 0;
    m_buffers.in = input;
    m_buffers.out = input;
    // Read at every frame, so a camera switch takes effect at once.
    m_buffers.camera = m_renderer ? m_renderer->camera() : nullptr;
    // Full-screen passes need no depth test: without it a software
    // rasterizer skips a depth read and write per pixel of every pass.
    const Detail::CapabilityOff depthTest(GL_DEPTH_TEST);
    for (Effect* effect : m_effects) {
        effect->apply(m_buffers);
        m_buffers.in = m_buffers.out;
    }
    return m_buffers.out;
}

void Chain::applyAndDraw(FrameBuffer* input, FrameBuffer* target) {
    FrameBuffer* result = apply(input);
    Texture* image = result ? result->target(0) : nullptr;
    if (!image)
        return;
    const Profiler::Scope timed("Blit");
    if (target)
        target->enable();
    Graphics::FullscreenQuad::bindSimpleShader(result->width(), result->height());
    image->bind(0);
    Graphics::FullscreenQuad::draw();
    image->release();
    Graphics::FullscreenQuad::releaseSimpleShader();
    if (target)
        target->disable();
}

}  // namespace Tarn::PostFX
