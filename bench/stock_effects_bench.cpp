// Cost of ambient occlusion, lens flare, anisotropic flare, fog, motion blur
// and FXAA, each alone, and of the whole stock chain of eight effects, at
// 1024 x 600 in units of one trivial full-screen pass measured in the same
// run. Also fog as built, with its inverse view matrix computed once a frame
// on the CPU, against the same fog inverting the matrix in every pixel: the
// cost of each and the largest difference between their images. And the
// lens flare without fringes against its program with them.
// Needs a display for its hidden GL window (xvfb-run -a where there is none).

#include <tarn/ext/anisotropicflareeffect.h>
#include <tarn/ext/dofeffect.h>
#include <tarn/ext/fogeffect.h>
#include <tarn/ext/fxaaeffect.h>
#include <tarn/ext/gloweffect.h>
#include <tarn/ext/lensflareeffect.h>
#include <tarn/ext/motionblureffect.h>
#include <tarn/ext/ssaoeffect.h>
#include <tarn/framebuffer.h>
#include <tarn/graphics/camera.h>
#include <tarn/graphics/renderer.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/pass.h>
#include <tarn/shaderprogram.h>
#include <tarn/texture.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <benchmark/benchmark.h>
#include <glm/gtc/type_ptr.hpp>

#include "support/float_image.h"
#include "support/gl_bench.h"
#include "support/trivial_pass.h"

namespace {

const unsigned int kWidth = 1024;
const unsigned int kHeight = 600;

using Tarn::PostFX::Effect;
using Create = Effect* (*)();

// The same fog with the view matrix inverted in every pixel, to compare.
const char* const kPerPixelFog = R"(#version 330 core
uniform sampler2D uInput;
uniform sampler2D uRT2;
uniform mat4 uViewMatrix;
uniform float uFogYDensity;
uniform vec4 uFogColor;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    vec4 original = textureLod(uInput, v_uv, 0.0);
    vec4 vsPos = vec4(textureLod(uRT2, v_uv, 0.0).xyz, 1.0);
    vec3 wsPos = (inverse(uViewMatrix) * vsPos).xyz;
    float f = (1.0 - clamp(wsPos.y / uFogYDensity, 0.0, 1.0)) *
              (clamp(length(wsPos.xz) / 60.0, 0.0, 1.0) * 0.8 + 0.2);
    fragColor = mix(original, mix(original, uFogColor, uFogColor.a), f);
}
)";

// A new effect running that stage with the parameters of `fog`.
Effect* perPixelFog(Effect* fog) {
    static Tarn::ShaderProgram* program =
        Tarn::PostFX::buildProgram({"Fog per pixel", kPerPixelFog, {{"uInput", 0}, {"uRT2", 1}}});
    auto* effect = new Effect();
    effect->addPass([fog](Tarn::PostFX::Chain::Buffers& buffers) {
        using Tarn::PostFX::Pass;
        const float* color = fog->property("Fog_Color").value.v4;
        Pass pass(buffers, Pass::Full, program);
        pass.uniform("uViewMatrix", glm::value_ptr(buffers.camera->viewMatrix()));
        pass.uniform("uFogYDensity", fog->property("Y_Fog_Density").value.f);
        pass.uniform("uFogColor", color[0], color[1], color[2], color[3]);
        pass.input(0, buffers.in);
        pass.input(1, buffers.gBuffer->target(2));
        buffers.out = pass.draw();
    });
    return effect;
}

// A frame with something for every effect to do: bright spots on a dim
// gradient, view depths from 5 to 65 with a step every 64 columns, a camera
// off the origin, and small vectors in G-buffer target 1.
struct Setup {
    Tarn::Graphics::Renderer renderer{kWidth, kHeight};
    Tarn::Graphics::Camera camera;
    Tarn::Bench::TrivialPass trivial{kWidth, kHeight};
    Tarn::FrameBuffer input{kWidth, kHeight};

    Setup() {
        camera.setPosition({3.0f, 4.0f, 10.0f});
        camera.setTarget({0.0f, 1.0f, -20.0f});
        renderer.setCamera(&camera);
        std::vector<float> image, positions, vectors;
        for (unsigned int y = 0; y < kHeight; ++y)
            for (unsigned int x = 0; x < kWidth; ++x) {
                const float u = x / float(kWidth), v = y / float(kHeight);
                const float spot = (x % 128 < 4 && y % 96 < 4) ? 2.0f : 0.0f;
                const float depth = -5.0f - 60.0f * v - ((x / 64) % 2 ? 2.0f : 0.0f);
                image.insert(image.end(), {0.3f * u + spot, 0.3f * v + spot, 0.2f + spot, 1.0f});
                positions.insert(positions.end(),
                                 {(u - 0.5f) * -depth, (v - 0.5f) * -depth, depth, 0.5f});
                vectors.insert(vectors.end(), {0.0f, 0.0f, 0.5f, 0.25f});
            }
        Tarn::Bench::upload(input.createRenderTarget(Tarn::FrameBuffer::RGBA32F), kWidth, kHeight,
                            image);
        Tarn::Bench::upload(renderer.gBuffer()->target(1), kWidth, kHeight, vectors);
        Tarn::Bench::upload(renderer.gBuffer()->target(2), kWidth, kHeight, positions);
    }
};

Setup* g_setup = nullptr;

// Made when its benchmark starts and freed when it ends: each chain holds
// six full-size float buffers.
struct Run {
    std::vector<std::unique_ptr<Effect>> effects;
    Tarn::PostFX::Chain chain{kWidth, kHeight, &g_setup->renderer};

    explicit Run(const std::vector<Create>& creates) {
        for (Create create : creates)
            add(create());
    }
    // Takes the effect.
    void add(Effect* effect) {
        effects.emplace_back(effect);
        chain.addEffect(effect);
    }
    Tarn::FrameBuffer* frame() { return chain.apply(&g_setup->input); }
};

const struct {
    const char* name;
    std::vector<Create> creates;
} kRows[] = {
    {"SSAO", {&Tarn::Ext::SSAOEffect::create}},
    {"LensFlare", {&Tarn::Ext::LensFlareEffect::create}},
    {"AnisotropicFlare", {&Tarn::Ext::AnisotropicFlareEffect::create}},
    {"Fog", {&Tarn::Ext::FogEffect::create}},
    {"MotionBlur", {&Tarn::Ext::MotionBlurEffect::create}},
    {"FXAA", {&Tarn::Ext::FXAAEffect::create}},
    {"StockChainOfEight",
     {&Tarn::Ext::SSAOEffect::create, &Tarn::Ext::DoFEffect::create, &Tarn::Ext::FogEffect::create,
      &Tarn::Ext::MotionBlurEffect::create, &Tarn::Ext::GlowEffect::create,
      &Tarn::Ext::LensFlareEffect::create, &Tarn::Ext::AnisotropicFlareEffect::create,
      &Tarn::Ext::FXAAEffect::create}},
};

void BM_TrivialPass(benchmark::State& state) {
    for (auto _ : state) {
        g_setup->trivial.run();
        glFinish();
    }
}

void runFrames(benchmark::State& state, Run& run) {
    run.frame();
    glFinish();
    for (auto _ : state) {
        run.frame();
        glFinish();
    }
}

void BM_Effects(benchmark::State& state, const std::vector<Create>* creates) {
    Run run(*creates);
    runFrames(state, run);
}

void BM_FogPerPixelInverse(benchmark::State& state) {
    std::unique_ptr<Effect> fog(Tarn::Ext::FogEffect::create());
    Run run({});
    run.add(perPixelFog(fog.get()));
    runFrames(state, run);
}

// The largest difference, over all channels of all pixels, between the
// frames of two runs.
float largestDifference(Run& a, Run& b) {
    const std::vector<float> x = Tarn::Bench::download(a.frame()),
                             y = Tarn::Bench::download(b.frame());
    float largest = 0.0f;
    for (std::size_t i = 0; i < x.size(); ++i)
        largest = std::max(largest, std::fabs(x[i] - y[i]));
    return largest;
}

// Two runs against the trivial pass in short interleaved rounds, so a change
// of load on the machine falls on all three: their median costs in trivial
// passes, and the median of their ratio.
struct Interleaved {
    double a, b, ratio;
};
Interleaved interleaved(Run& a, Run& b) {
    const int rounds = 9;
    std::vector<double> as, bs, ratios;
    for (int round = 0; round < rounds; ++round) {
        const double trivial = Tarn::Bench::secondsPerCall([] { g_setup->trivial.run(); }, 10);
        as.push_back(Tarn::Bench::secondsPerCall([&] { a.frame(); }, 10) / trivial);
        bs.push_back(Tarn::Bench::secondsPerCall([&] { b.frame(); }, 10) / trivial);
        ratios.push_back(bs.back() / as.back());
    }
    for (auto* values : {&as, &bs, &ratios})
        std::sort(values->begin(), values->end());
    return {as[rounds / 2], bs[rounds / 2], ratios[rounds / 2]};
}

void reportInterleavedFog() {
    Run cpu({&Tarn::Ext::FogEffect::create}), gpu({});
    gpu.add(perPixelFog(cpu.effects[0].get()));
    std::printf("Fog, inverse view on the CPU against per pixel: largest difference %g\n",
                largestDifference(cpu, gpu));
    const Interleaved cost = interleaved(cpu, gpu);
    std::printf("Interleaved, 9 rounds: median fog %.2f trivial passes with the inverse from the "
                "CPU, %.2f with it per pixel\n",
                cost.a, cost.b);
}

// The lens flare with no fringe (its default, one read a ghost) against the
// same effect made to run the program with the fringe reads (three): a
// distortion of the least float gives a fringe of exactly 0, so both draw
// the same picture.
void reportLensFlareFringes() {
    Run fringed({&Tarn::Ext::LensFlareEffect::create}),
        plain({&Tarn::Ext::LensFlareEffect::create});
    fringed.effects[0]->setProperty("Chromatic_distortion_factor",
                                    std::numeric_limits<float>::denorm_min());
    std::printf("Lens flare, no fringe against the fringe reads at a zero fringe: largest "
                "difference %g\n",
                largestDifference(fringed, plain));
    const Interleaved cost = interleaved(fringed, plain);
    std::printf("Interleaved, 9 rounds: lens flare %.2f trivial passes with the fringe reads, "
                "%.2f without; median ratio %.3f\n",
                cost.a, cost.b, cost.ratio);
}

}  // namespace

int main(int argc, char** argv) {
    Tarn::Bench::GLBench bench("stock_effects_bench", &argc, argv);
    if (!bench.ok())
        return 1;
    bench.useEngineDepthState();
    std::printf("Frame %ux%u; GL renderer %s\n", kWidth, kHeight, glGetString(GL_RENDERER));
    Setup setup;
    g_setup = &setup;

    std::vector<benchmark::internal::Benchmark*> registered{
        benchmark::RegisterBenchmark("BM_TrivialPass", BM_TrivialPass)};
    for (const auto& row : kRows)
        registered.push_back(benchmark::RegisterBenchmark((std::string("BM_") + row.name).c_str(),
                                                          BM_Effects, &row.creates));
    registered.push_back(
        benchmark::RegisterBenchmark("BM_FogPerPixelInverse", BM_FogPerPixelInverse));
    for (auto* entry : registered)
        entry->MinTime(1.0)->Unit(benchmark::kMillisecond)->UseRealTime();

    Tarn::Bench::RecordingReporter reporter;
    bench.run(reporter);
    const double trivial = reporter.times["BM_TrivialPass"];
    if (trivial > 0) {
        std::printf("\n| Effect | ms per frame | trivial passes |\n|---|---|---|\n");
        for (const char* name : {"SSAO", "LensFlare", "AnisotropicFlare", "Fog", "MotionBlur",
                                 "FXAA", "StockChainOfEight", "FogPerPixelInverse"}) {
            const double time = reporter.times[std::string("BM_") + name];
            std::printf("| %s | %.3f | %.2f |\n", name, time, time / trivial);
        }
    }
    reportInterleavedFog();
    reportLensFlareFringes();
    g_setup = nullptr;
    return bench.glStatus();
}
