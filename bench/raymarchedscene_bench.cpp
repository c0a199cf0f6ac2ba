// Cost of the ray-marched scene, the heaviest pass of the demo, in units of
// one trivial full-screen pass of the same size measured in the same run, at
// the demo's 1024 x 600 and at 256 x 150 (a quarter in each direction). A
// pixel that misses every ball marches all 128 steps: the steps stay under
// one unit, so the 404 limit is never reached first. Drawn at demo time
// 45 s, inside the scene's section, with images of the demo's size written
// to a temporary folder. The scene is also timed against the same picture
// marched the long way (every ray, hit or miss: the yardstick of the tests),
// interleaved in the same run.
// Needs a display for its hidden GL window (xvfb-run -a where there is none).

#include <tarn/application.h>
#include <tarn/framebuffer.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <benchmark/benchmark.h>
#include <stb_image_write.h>
#include <unistd.h>

#include "example/full_march.h"
#include "raymarchedscene.h"
#include "support/gl_bench.h"
#include "support/trivial_pass.h"

namespace {

namespace fs = std::filesystem;

const unsigned int kSizes[2][2] = {{1024, 600}, {256, 150}};
double g_now = 0.0;

// The scene in a chain of one size, with its yardstick.
struct Setup {
    Tarn::Bench::TrivialPass trivial;
    Tarn::FrameBuffer input;
    Tarn::PostFX::Chain chain, fullChain;

    Setup(unsigned int width, unsigned int height, Tarn::PostFX::Effect* scene,
          Tarn::PostFX::Effect* full)
        : trivial(width, height), input(width, height), chain(width, height, nullptr),
          fullChain(width, height, nullptr) {
        input.createRenderTarget(Tarn::FrameBuffer::RGBA32F);
        Tarn::PostFX::FrameInfo frame;
        frame.time = g_now;
        chain.setFrameInfo(frame);
        fullChain.setFrameInfo(frame);
        chain.addEffect(scene);
        fullChain.addEffect(full);
    }
    void frame() { chain.apply(&input); }
    void fullFrame() { fullChain.apply(&input); }
};

std::vector<std::unique_ptr<Setup>> g_setups;

// A backdrop gradient, a foreground clear but for its lower quarter, and a
// small sky cross: loose files the scene reads at creation.
bool writeImages() {
    const int width = 1024, height = 600;
    std::vector<unsigned char> back(4 * width * height), front(4 * width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) {
                const std::size_t i = 4 * (static_cast<std::size_t>(y) * width + x) + c;
                back[i] = static_cast<unsigned char>(c == 3 ? 255 : (x + y * c) & 255);
                front[i] = static_cast<unsigned char>(c == 3 ? (y > height * 3 / 4 ? 255 : 0) : 90);
            }
    std::vector<unsigned char> sky(4 * 64 * 48, 200);
    fs::create_directories("assets/raymarchedscene");
    return stbi_write_png("assets/raymarchedscene/back.png", width, height, 4, back.data(),
                          4 * width) &&
           stbi_write_png("assets/raymarchedscene/front.png", width, height, 4, front.data(),
                          4 * width) &&
           stbi_write_png("assets/raymarchedscene/cubemap.jpg", 64, 48, 4, sky.data(), 4 * 64);
}

void BM_TrivialPass(benchmark::State& state) {
    for (auto _ : state) {
        g_setups[state.range(0)]->trivial.run();
        glFinish();
    }
}

void BM_Raymarcher(benchmark::State& state) {
    for (auto _ : state) {
        g_setups[state.range(0)]->frame();
        glFinish();
    }
}

// Argument: 0 for 1024 x 600, 1 for 256 x 150.
BENCHMARK(BM_TrivialPass)
    ->Arg(0)
    ->Arg(1)
    ->MinTime(0.2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Raymarcher)
    ->Arg(0)
    ->Arg(1)
    ->MinTime(0.2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The ratio at each size measured in short interleaved rounds; the median
// is reported. One frame at 1024 x 600 is long enough to time alone; at
// 256 x 150 five are timed together.
void reportInterleavedRatios() {
    const int rounds = 5;
    for (std::size_t size = 0; size < g_setups.size(); ++size) {
        Setup& setup = *g_setups[size];
        std::vector<double> ratios, fullRatios, gains;
        for (int round = 0; round < rounds; ++round) {
            const double trivial = Tarn::Bench::secondsPerCall([&] { setup.trivial.run(); }, 10);
            const double scene =
                Tarn::Bench::secondsPerCall([&] { setup.frame(); }, size == 0 ? 1 : 5);
            const double full =
                Tarn::Bench::secondsPerCall([&] { setup.fullFrame(); }, size == 0 ? 1 : 5);
            ratios.push_back(scene / trivial);
            fullRatios.push_back(full / trivial);
            gains.push_back(full / scene);
        }
        for (auto* list : {&ratios, &fullRatios, &gains})
            std::sort(list->begin(), list->end());
        std::printf(
            "Interleaved, %d rounds at %ux%u: median %.1f trivial passes (min %.1f, max %.1f); "
            "every ray marched %.1f; the scene %.2fx faster (min %.2f, max %.2f)\n",
            rounds, kSizes[size][0], kSizes[size][1], ratios[rounds / 2], ratios.front(),
            ratios.back(), fullRatios[rounds / 2], gains[rounds / 2], gains.front(), gains.back());
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Before the GL context, so that it is destroyed after it.
    Tarn::Application application;
    Tarn::Bench::GLBench bench("raymarchedscene_bench", &argc, argv);
    if (!bench.ok())
        return 1;
    const fs::path previous = fs::current_path();
    const fs::path folder =
        fs::temp_directory_path() / ("tarn_raymarchedscene_bench_" + std::to_string(getpid()));
    fs::create_directories(folder);
    fs::current_path(folder);
    if (!writeImages()) {
        std::printf("[raymarchedscene_bench] Cannot write the images to %s\n", folder.c_str());
        return 1;
    }
    Tarn::Clock::setTimeSource([] { return g_now; });
    application.time.reset();
    g_now = 45.0;

    std::unique_ptr<Tarn::PostFX::Effect> scene(RaymarchedScene::create());
    const std::unique_ptr<Tarn::PostFX::Effect> full = Tarn::Test::fullMarch();
    for (const auto& size : kSizes)
        g_setups.push_back(std::make_unique<Setup>(size[0], size[1], scene.get(), full.get()));
    std::printf("GL renderer %s; demo time %.1f s\n", glGetString(GL_RENDERER), g_now);

    Tarn::Bench::RecordingReporter reporter;
    bench.run(reporter);
    for (int size = 0; size < 2; ++size) {
        const std::string arg = "/" + std::to_string(size);
        const auto trivial = reporter.times.find("BM_TrivialPass" + arg);
        const auto raymarcher = reporter.times.find("BM_Raymarcher" + arg);
        if (trivial != reporter.times.end() && raymarcher != reporter.times.end() &&
            trivial->second > 0)
            std::printf("%ux%u: the scene %.2f ms = %.1f trivial passes of %.3f ms\n",
                        kSizes[size][0], kSizes[size][1], raymarcher->second,
                        raymarcher->second / trivial->second, trivial->second);
    }
    reportInterleavedRatios();
    g_setups.clear();
    scene.reset();
    fs::current_path(previous);
    fs::remove_all(folder);
    return bench.glStatus();
}
