// A shader effect from content against the stock effect it rewrites: fog,
// written as a content shader with the same formula, at 1024 x 600 over a
// frame with world heights and distances for the fog to work on. Prints the
// largest difference between the two images, both costs in trivial
// full-screen passes (interleaved rounds, medians; target: the shader at most
// 1.05 times the stock fog) and the heap allocations of a frame of each
// (target 0). Needs a display for its hidden GL window (xvfb-run -a).

#include <tarn/ext/fogeffect.h>
#include <tarn/framebuffer.h>
#include <tarn/graphics/camera.h>
#include <tarn/graphics/renderer.h>
#include <tarn/postfx/chain.h>
#include <tarn/postfx/effect.h>
#include <tarn/postfx/shadereffect.h>
#include <tarn/texture.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <GL/glew.h>

#include "support/allocation_counter.h"
#include "support/float_image.h"
#include "support/gl_bench.h"
#include "support/trivial_pass.h"

namespace {

const unsigned int kWidth = 1024;
const unsigned int kHeight = 600;

// The stock fog's formula, as a demo maker would write it.
const char* const kContentFog = R"(uniform float uFogYDensity; // @param 0.001..1000 = 3.06
uniform vec4 uFogColor; // @param 0..1 = 0.568 0.231 0.443 1
void main() {
    vec4 original = textureLod(uInput, v_uv, 0.0);
    vec3 wsPos = (uInverseView * vec4(textureLod(uGBuffer2, v_uv, 0.0).xyz, 1.0)).xyz;
    float fogFactor = 1.0 - clamp(wsPos.y / uFogYDensity, 0.0, 1.0);
    fogFactor *= clamp(length(wsPos.xz) / 60.0, 0.0, 1.0) * 0.8 + 0.2;
    fragColor = mix(original, mix(original, uFogColor, uFogColor.a), fogFactor);
}
)";

// One effect alone in a chain over the shared frame.
struct Run {
    std::unique_ptr<Tarn::PostFX::Effect> effect;
    Tarn::PostFX::Chain chain;
    Tarn::FrameBuffer* input;
    Run(Tarn::PostFX::Effect* made, Tarn::Graphics::Renderer& renderer, Tarn::FrameBuffer& frame)
        : effect(made), chain(kWidth, kHeight, &renderer), input(&frame) {
        chain.addEffect(effect.get());
    }
    Tarn::FrameBuffer* frame() { return chain.apply(input); }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    Tarn::Bench::GLBench bench("shader_effect_bench", &argc, argv);
    if (!bench.ok())
        return 1;
    bench.useEngineDepthState();
    std::printf("Frame %ux%u; GL renderer %s\n", kWidth, kHeight, glGetString(GL_RENDERER));

    // Heights and distances from the camera over the whole fog range.
    Tarn::Graphics::Renderer renderer(kWidth, kHeight);
    Tarn::Graphics::Camera camera;
    camera.setPosition({3.0f, 4.0f, 10.0f});
    camera.setTarget({0.0f, 1.0f, -20.0f});
    renderer.setCamera(&camera);
    Tarn::FrameBuffer input(kWidth, kHeight);
    std::vector<float> image, positions;
    for (unsigned int y = 0; y < kHeight; ++y)
        for (unsigned int x = 0; x < kWidth; ++x) {
            const float u = x / float(kWidth), v = y / float(kHeight);
            const float depth = -5.0f - 60.0f * v - ((x / 64) % 2 ? 2.0f : 0.0f);
            image.insert(image.end(), {0.3f * u, 0.3f * v, 0.2f, 1.0f});
            positions.insert(positions.end(),
                             {(u - 0.5f) * -depth, (v - 0.5f) * -depth, depth, 0.5f});
        }
    Tarn::Bench::upload(input.createRenderTarget(Tarn::FrameBuffer::RGBA32F), kWidth, kHeight,
                        image);
    Tarn::Bench::upload(renderer.gBuffer()->target(2), kWidth, kHeight, positions);

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "tarn_shader_effect_bench";
    std::filesystem::create_directories(folder / "fx");
    std::ofstream(folder / "fx/fog.frag") << kContentFog;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    Tarn::PostFX::Effect* shader = Tarn::PostFX::createShaderEffect("fx/fog.frag");
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    if (!shader) {
        std::printf("shader_effect_bench: the content fog did not compile\n");
        return 1;
    }
    Tarn::Ext::FogEffect::registerExtension();
    Run stock(Tarn::Ext::FogEffect::create(), renderer, input), content(shader, renderer, input);

    const std::vector<float> a = Tarn::Bench::download(stock.frame()),
                             b = Tarn::Bench::download(content.frame());
    float largest = 0.0f;
    for (std::size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::fabs(a[i] - b[i]));
    std::printf("largest difference between the images: %g\n", largest);

    long allocations[2] = {0, 0};
    Run* runs[2] = {&stock, &content};
    for (int r = 0; r < 2; ++r) {
        const long before = Tarn::Test::allocationCount();
        runs[r]->frame();
        allocations[r] = Tarn::Test::allocationCount() - before;
    }
    std::printf("heap allocations in a frame: stock %ld, content shader %ld (target 0)\n",
                allocations[0], allocations[1]);

    Tarn::Bench::TrivialPass trivial(kWidth, kHeight);
    std::vector<double> stockRatios, contentRatios, pairRatios;
    for (int round = 0; round < 9; ++round) {
        const double pass = Tarn::Bench::secondsPerCall([&] { trivial.run(); }, 10);
        const double s = Tarn::Bench::secondsPerCall([&] { stock.frame(); }, 10);
        const double c = Tarn::Bench::secondsPerCall([&] { content.frame(); }, 10);
        stockRatios.push_back(s / pass);
        contentRatios.push_back(c / pass);
        pairRatios.push_back(c / s);
    }
    std::printf("interleaved, 9 rounds: stock fog %.2f trivial passes, content fog %.2f; content / "
                "stock %.3f (target <= 1.05)\n",
                median(stockRatios), median(contentRatios), median(pairRatios));
    return bench.glStatus();
}
