// What the last draw of an offline frame costs: the chain's picture copied
// into the renderer's 8-bit target (Chain::applyAndDraw, as tarn-demo
// --render and --frame run it), against the demo's Overlay pass (one
// picture and one image in, a grade and a blend), at the preview size
// (384x226) and at 1024x600, in 9 interleaved rounds so that a change of
// load falls on both (target: at most 1.5 Overlay passes). Overlay has no
// image here; its shader reads the unit anyway. Needs a display for its
// hidden window (xvfb-run -a where there is none).

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <GL/glew.h>

#include <tarn/framebuffer.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>

#include "overlay.h"
#include "support/gl_bench.h"
#include "support/trivial_pass.h"

namespace {

void compare(unsigned int width, unsigned int height) {
    Tarn::FrameBuffer picture(width, height);
    picture.createRenderTarget(Tarn::FrameBuffer::RGBA32F);
    Tarn::FrameBuffer target(width, height);
    target.createRenderTarget(Tarn::FrameBuffer::RGBA8);
    Tarn::PostFX::Chain empty(width, height, nullptr), overlaid(width, height, nullptr);
    const std::unique_ptr<Tarn::PostFX::Effect> overlay(OverlayEffect::create());
    overlaid.addEffect(overlay.get());
    const int rounds = 9;
    std::vector<double> blits, overlays, ratios;
    for (int round = 0; round < rounds; ++round) {
        overlays.push_back(
            Tarn::Bench::secondsPerCall([&] { overlaid.apply(&picture); }, 20) * 1e3);
        blits.push_back(
            Tarn::Bench::secondsPerCall([&] { empty.applyAndDraw(&picture, &target); }, 20) *
            1e3);
        ratios.push_back(blits.back() / overlays.back());
    }
    for (auto* values : {&blits, &overlays, &ratios})
        std::sort(values->begin(), values->end());
    std::printf("%ux%u: blit %.3f ms, Overlay %.3f ms; median blit / Overlay %.2f (%.2f-%.2f)\n",
                width, height, blits[rounds / 2], overlays[rounds / 2], ratios[rounds / 2],
                ratios.front(), ratios.back());
}

}  // namespace

int main(int argc, char** argv) {
    Tarn::Bench::GLBench bench("blit_bench", &argc, argv);
    if (!bench.ok())
        return 1;
    bench.useEngineDepthState();
    std::printf("GL renderer %s\n", glGetString(GL_RENDERER));
    compare(384, 226);
    compare(1024, 600);
    return bench.glStatus();
}
