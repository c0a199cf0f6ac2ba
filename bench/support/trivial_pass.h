#ifndef TARN_BENCH_SUPPORT_TRIVIAL_PASS_H
#define TARN_BENCH_SUPPORT_TRIVIAL_PASS_H

// The yardstick of the GL benchmarks: one trivial full-screen pass, a float
// texture copied to a float target of the same size. Costs of real passes
// are reported as multiples of it, measured in the same run. Also a timer
// for interleaved rounds, so that a change of load falls on both sides of a
// ratio.

#include <chrono>

#include <GL/glew.h>

#include <tarn/framebuffer.h>
#include <tarn/graphics/fullscreenquad.h>
#include <tarn/texture.h>

namespace Tarn::Bench {

struct TrivialPass {
    Tarn::FrameBuffer source;
    Tarn::FrameBuffer destination;
    Tarn::Texture* input = source.createRenderTarget(Tarn::FrameBuffer::RGBA32F);
    Tarn::Texture* output = destination.createRenderTarget(Tarn::FrameBuffer::RGBA32F);

    TrivialPass(unsigned int width, unsigned int height)
        : source(width, height), destination(width, height) {}

    // With the depth test off, as the renderer runs its full-screen passes.
    void run() {
        glDisable(GL_DEPTH_TEST);
        destination.enable();
        Tarn::Graphics::FullscreenQuad::bindSimpleShader(source.width(), source.height());
        input->bind(0);
        Tarn::Graphics::FullscreenQuad::draw();
        input->release();
        Tarn::Graphics::FullscreenQuad::releaseSimpleShader();
        destination.disable();
        glEnable(GL_DEPTH_TEST);
    }
};

// Mean seconds per call of work, each call finished with glFinish.
template <typename Work> double secondsPerCall(Work work, int calls) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) {
        work();
        glFinish();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / calls;
}

}  // namespace Tarn::Bench

#endif
