// Cost of the Glow and depth-of-field effects at 1024 x 600 against one
// trivial full-screen pass (a float texture copied to a float target) at the
// same size, in the same run. Each blurs at a quarter of the resolution and
// merges at full resolution, so Glow should cost at most 2.5 trivial passes
// and depth of field at most 3. Also counts the heap allocations of a
// steady-state chain frame, which should be none.
// Needs a display for its hidden GL window (xvfb-run -a where there is none).

#include <tarn/ext/dofeffect.h>
#include <tarn/ext/gloweffect.h>
#include <tarn/framebuffer.h>
#include <tarn/graphics/renderer.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include "support/allocation_counter.h"
#include "support/gl_bench.h"
#include "support/trivial_pass.h"

namespace {

const unsigned int kWidth = 1024;
const unsigned int kHeight = 600;

struct Setup {
    Tarn::Graphics::Renderer renderer{kWidth, kHeight};
    Tarn::Bench::TrivialPass trivial{kWidth, kHeight};
    std::unique_ptr<Tarn::PostFX::Effect> glow{Tarn::Ext::GlowEffect::create()};
    std::unique_ptr<Tarn::PostFX::Effect> dof{Tarn::Ext::DoFEffect::create()};
    Tarn::PostFX::Chain glowChain{kWidth, kHeight, &renderer};
    Tarn::PostFX::Chain dofChain{kWidth, kHeight, &renderer};

    Setup() {
        glowChain.addEffect(glow.get());
        dofChain.addEffect(dof.get());
    }
    void glowFrame() { glowChain.apply(renderer.renderOutput()); }
    void dofFrame() { dofChain.apply(renderer.renderOutput()); }
};

Setup* g_setup = nullptr;

void BM_TrivialPass(benchmark::State& state) {
    for (auto _ : state) {
        g_setup->trivial.run();
        glFinish();
    }
}

void BM_Glow(benchmark::State& state) {
    for (auto _ : state) {
        g_setup->glowFrame();
        glFinish();
    }
}

void BM_DepthOfField(benchmark::State& state) {
    for (auto _ : state) {
        g_setup->dofFrame();
        glFinish();
    }
}

BENCHMARK(BM_TrivialPass)->MinTime(2.0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Glow)->MinTime(2.0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DepthOfField)->MinTime(2.0)->Unit(benchmark::kMillisecond)->UseRealTime();

double allocationsPerFrame() {
    for (int i = 0; i < 3; ++i) {
        g_setup->glowFrame();
        g_setup->dofFrame();
    }
    glFinish();
    const int frames = 20;
    const long before = Tarn::Test::allocationCount();
    for (int i = 0; i < frames; ++i) {
        g_setup->glowFrame();
        g_setup->dofFrame();
    }
    const long after = Tarn::Test::allocationCount();
    glFinish();
    return static_cast<double>(after - before) / frames;
}

// Both ratios measured in short interleaved rounds; the median is reported.
void reportInterleavedRatios() {
    const int rounds = 9;
    std::vector<double> glowRatios, dofRatios;
    for (int round = 0; round < rounds; ++round) {
        const double trivial = Tarn::Bench::secondsPerCall([] { g_setup->trivial.run(); }, 10);
        const double glow = Tarn::Bench::secondsPerCall([] { g_setup->glowFrame(); }, 5);
        const double dof = Tarn::Bench::secondsPerCall([] { g_setup->dofFrame(); }, 5);
        glowRatios.push_back(glow / trivial);
        dofRatios.push_back(dof / trivial);
    }
    for (auto* ratios : {&glowRatios, &dofRatios})
        std::sort(ratios->begin(), ratios->end());
    std::printf("Interleaved, %d rounds: median Glow %.2f trivial passes (min %.2f, max %.2f), "
                "depth of field %.2f (min %.2f, max %.2f)\n",
                rounds, glowRatios[rounds / 2], glowRatios.front(), glowRatios.back(),
                dofRatios[rounds / 2], dofRatios.front(), dofRatios.back());
}

}  // namespace

int main(int argc, char** argv) {
    Tarn::Bench::GLBench bench("postfx_bench", &argc, argv);
    if (!bench.ok())
        return 1;
    bench.useEngineDepthState();
    Setup setup;
    g_setup = &setup;
    std::cout << "Frame " << kWidth << "x" << kHeight << "; GL renderer "
              << glGetString(GL_RENDERER) << std::endl;
    std::printf("Heap allocations per frame of both chains: %.2f\n", allocationsPerFrame());

    Tarn::Bench::RecordingReporter reporter;
    bench.run(reporter);
    const auto trivial = reporter.times.find("BM_TrivialPass");
    if (trivial != reporter.times.end() && trivial->second > 0)
        for (const auto& [name, target] : {std::pair{"BM_Glow", 2.5}, {"BM_DepthOfField", 3.0}}) {
            const auto effect = reporter.times.find(name);
            if (effect != reporter.times.end())
                std::printf("%s: %.3f ms = %.2f trivial passes of %.3f ms (target <= %.2f)\n", name,
                            effect->second, effect->second / trivial->second, trivial->second,
                            target);
        }
    reportInterleavedRatios();
    g_setup = nullptr;
    return bench.glStatus();
}
