// Cost of building a cube map from a 4096 x 3072 JPEG cross against the cost
// of decoding that JPEG alone, in the same run: cutting and uploading the
// six faces should add at most half the decode time (ratio <= 1.5).
// Needs a display for its hidden GL window (xvfb-run -a where there is none).

#include <tarn/cubetexture.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <benchmark/benchmark.h>
#include <stb_image.h>
#include <stb_image_write.h>
#include <unistd.h>

#include "support/gl_bench.h"

namespace {

namespace fs = std::filesystem;

const int kWidth = 4096;
const int kHeight = 3072;

std::vector<unsigned char> g_jpeg;
std::string g_path;

// A sky-like cross: smooth gradients with some detail and a little noise,
// so that the JPEG is about as costly to decode as a photographed one.
std::vector<unsigned char> makeJpeg() {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
    std::uint32_t state = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28) - 8;
            const double detail = 20.0 * std::sin(x * 0.05) * std::cos(y * 0.03);
            unsigned char* p = &pixels[3 * (static_cast<std::size_t>(y) * kWidth + x)];
            p[0] = static_cast<unsigned char>(std::clamp(60 + y / 24 + noise, 0, 255));
            p[1] = static_cast<unsigned char>(std::clamp(int(110 + detail) + noise, 0, 255));
            p[2] = static_cast<unsigned char>(std::clamp(230 - y / 16 + noise, 0, 255));
        }
    std::vector<unsigned char> jpeg;
    stbi_write_jpg_to_func(
        [](void* context, void* data, int size) {
            auto* out = static_cast<std::vector<unsigned char>*>(context);
            out->insert(out->end(), static_cast<unsigned char*>(data),
                        static_cast<unsigned char*>(data) + size);
        },
        &jpeg, kWidth, kHeight, 3, pixels.data(), 90);
    return jpeg;
}

void BM_DecodeOnly(benchmark::State& state) {
    for (auto _ : state) {
        int width = 0, height = 0;
        unsigned char* pixels = stbi_load_from_memory(
            g_jpeg.data(), static_cast<int>(g_jpeg.size()), &width, &height, nullptr, 4);
        if (!pixels) {
            state.SkipWithError(stbi_failure_reason());
            break;
        }
        benchmark::DoNotOptimize(pixels[0]);
        stbi_image_free(pixels);
    }
}

// Reading the loose file, decoding, cutting and uploading all six faces;
// glFinish so that the upload is counted whole.
void BM_CubeBuild(benchmark::State& state) {
    for (auto _ : state) {
        Tarn::CubeTexture cube(g_path);
        glFinish();
        if (cube.faceSize() != kWidth / 4) {
            state.SkipWithError("the cube was not built");
            break;
        }
    }
}

BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CubeBuild)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    Tarn::Bench::GLBench bench("cubetexture_bench", &argc, argv);
    if (!bench.ok())
        return 1;

    g_jpeg = makeJpeg();
    const fs::path folder =
        fs::temp_directory_path() / ("tarn_cubetexture_bench_" + std::to_string(getpid()));
    fs::create_directories(folder);
    g_path = (folder / "cross.jpg").string();
    std::ofstream(g_path, std::ios::binary)
        .write(reinterpret_cast<const char*>(g_jpeg.data()),
               static_cast<std::streamsize>(g_jpeg.size()));
    std::cout << "Cross image: " << kWidth << "x" << kHeight << " JPEG of " << g_jpeg.size()
              << " bytes; GL renderer " << glGetString(GL_RENDERER) << std::endl;

    Tarn::Bench::RecordingReporter reporter;
    bench.run(reporter);

    const auto decode = reporter.times.find("BM_DecodeOnly");
    const auto build = reporter.times.find("BM_CubeBuild");
    if (decode != reporter.times.end() && build != reporter.times.end() && decode->second > 0) {
        const double ratio = build->second / decode->second;
        std::printf("Cube build / decode alone: %.2f (target <= 1.50)\n", ratio);
    }
    fs::remove_all(folder);
    return bench.glStatus();
}
