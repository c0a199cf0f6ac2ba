// Ambient occlusion, both flares, fog, motion blur and FXAA: each against its
// formula at 64 x 64, on inputs whose answer is exact or worked by hand, and
// all six in a chain.

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "support/allocation_counter.h"
#include "ext/plain_anisotropic_flare.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "tarn/ext/anisotropicflareeffect.h"
#include "tarn/ext/dofeffect.h"
#include "tarn/ext/fogeffect.h"
#include "tarn/ext/fxaaeffect.h"
#include "tarn/ext/gloweffect.h"
#include "tarn/ext/lensflareeffect.h"
#include "tarn/ext/motionblureffect.h"
#include "tarn/ext/reflectioneffect.h"
#include "tarn/ext/ssaoeffect.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/camera.h"
#include "tarn/graphics/renderer.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/texture.h"

namespace {

using namespace Tarn::Ext;
using Tarn::PostFX::Chain;
using Tarn::PostFX::Effect;
using Tarn::Test::Image;
using StockEffectsGLTest = Tarn::Test::GLTest;
using Pixel = std::array<float, 4>;

const int kSize = 64;

Image image(const std::function<Pixel(int x, int y)>& pixel) {
    return Tarn::Test::makeImage(kSize, kSize, pixel);
}

// 1.0 in the square of side `side` from (x0, y0), `background` elsewhere;
// alpha 1.
Image square(int x0, int y0, int side, float value, float background = 0.0f) {
    return image([=](int x, int y) {
        const float v = x >= x0 && x < x0 + side && y >= y0 && y < y0 + side ? value : background;
        return Pixel{v, v, v, 1.0f};
    });
}

// The G-buffer and camera that effects read. The camera stands at (5, 2, 0)
// looking along +z, so a view-space (x, y, z) is the world's (5 - x, y + 2, -z).
struct Scene {
    Tarn::Graphics::Renderer renderer{kSize, kSize};
    Tarn::Graphics::Camera camera;

    Scene() {
        camera.setPosition({5.0f, 2.0f, 0.0f});
        camera.setTarget({5.0f, 2.0f, 1.0f});
        renderer.setCamera(&camera);
    }
    void set(unsigned int target, const std::function<Pixel(int x, int y)>& pixel) {
        Tarn::Test::writeTexture(renderer.gBuffer()->target(target)->id(), image(pixel));
    }
};

Image read(Tarn::FrameBuffer* buffer) {
    return Tarn::Test::readTexture(buffer->target(0)->id());
}

// A parameter's name and value; four values set a vector.
using Set = std::pair<const char*, std::vector<float>>;

// The effect alone in a fresh chain over `input`, with its parameters set.
// A second frame must give the same image.
Image run(Effect* (*create)(), const Image& input, const std::vector<Set>& parameters,
          Scene* scene = nullptr) {
    std::unique_ptr<Effect> effect(create());
    for (const auto& [name, v] : parameters)
        v.size() == 4 ? effect->setProperty(name, v[0], v[1], v[2], v[3])
                      : effect->setProperty(name, v[0]);
    const auto buffer = Tarn::Test::makeFloatBuffer(input);
    Chain chain(kSize, kSize, scene ? &scene->renderer : nullptr);
    chain.addEffect(effect.get());
    const Image first = read(chain.apply(buffer.get()));
    EXPECT_EQ(read(chain.apply(buffer.get())).rgba, first.rgba);
    return first;
}

// Channels off `expected(x, y)` by more than the tolerance.
int wrongPixels(const Image& out, const std::function<Pixel(int x, int y)>& expected,
                float tolerance = 1e-5f) {
    int wrong = 0;
    for (int i = 0; i < kSize * kSize; ++i)
        for (int c = 0; c < 4; ++c)
            wrong += std::fabs(out.rgba[4 * i + c] - expected(i % kSize, i / kSize)[c]) > tolerance;
    return wrong;
}

// Each effect as a demo script makes it: by its registered name, with each
// parameter as NAME=DEFAULT (a vector by its components). Making and running
// print nothing (no stage is sent a uniform it does not read, no unread image
// is loaded) and a frame allocates nothing. Each writes the full pair once,
// last, its intermediate images going to the scratch buffers, so after Glow
// (whose output is full[0]) it gives what it gives on Glow's output alone.
TEST_F(StockEffectsGLTest, EachEffectByItsNameAnywhereInTheChain) {
    const struct {
        const char* name;
        int lowFlips;
        const char* defaults;
    } rows[] = {
        {"SSAO", 0, "Scale=0.005;Power=1;Blur factor=0.002"},
        {"LensFlare", 1,
         "Downsampling_scale=10;Downsampling_bias=0.22;Number_of_ghosts=12;Dispersal_of_ghosts=0.1;"
         "Width_of_the_halo=0.52;Chromatic_distortion_factor=0;Blur_iterations_count=8;"
         "Effect_opacity=100"},
        {"AnisotropicFlare", 1,
         "Downsampling_bias=0.89;Downsampling_scale=0.4;Blur_density=13.5;Blur_iterations=123;"
         "Opacity=16"},
        {"Fog", 0, "Z_Fog_Density=4.91;Y_Fog_Density=3.06;Fog_Color=0.568,0.231,0.443,1"},
        {"Motion blur", 0, "Scale=0.01"},
        {"FXAA", 0, "vx_offset=0"}};
    for (auto registerExtension :
         {&SSAOEffect::registerExtension, &LensFlareEffect::registerExtension,
          &AnisotropicFlareEffect::registerExtension, &FogEffect::registerExtension,
          &MotionBlurEffect::registerExtension, &FXAAEffect::registerExtension})
        registerExtension();
    Scene scene;
    scene.set(1, [](int, int) { return Pixel{0.0f, 0.0f, 1.0f, 0.5f}; });
    scene.set(2, [](int x, int y) {
        return Pixel{x / 8.0f - 4.0f, y / 16.0f - 2.0f, (x / 8) % 2 ? -10.0f : -5.0f, 1.0f};
    });
    const auto input = Tarn::Test::makeFloatBuffer(square(24, 24, 16, 1.0f, 0.1f));
    std::unique_ptr<Effect> glow(GlowEffect::create());
    Chain glowAlone(kSize, kSize, &scene.renderer);
    glowAlone.addEffect(glow.get());
    testing::internal::CaptureStdout();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<Effect> effect(Tarn::PostFX::EffectFactory::createEffect(row.name));
        ASSERT_TRUE(effect);
        std::istringstream list(row.defaults);
        for (std::string item; std::getline(list, item, ';');) {
            const std::string name = item.substr(0, item.find('='));
            std::istringstream values(item.substr(name.size() + 1));
            std::size_t n = 0;
            for (std::string v; std::getline(values, v, ','); ++n)
                EXPECT_EQ(effect->property(name).value.v4[n], std::stof(v)) << item;
            EXPECT_EQ(effect->automatableProperty(name).values().size(), n) << item;
        }
        Chain afterGlow(kSize, kSize, &scene.renderer), alone(kSize, kSize, &scene.renderer);
        afterGlow.addEffect(glow.get());
        afterGlow.addEffect(effect.get());
        alone.addEffect(effect.get());
        const Image expected = read(alone.apply(glowAlone.apply(input.get())));
        EXPECT_EQ(alone.buffers().out, alone.buffers().full[0]);
        EXPECT_EQ(alone.buffers().fullCnt, 1);
        EXPECT_EQ(alone.buffers().lowCnt, row.lowFlips);
        const Image out = read(afterGlow.apply(input.get()));
        const long before = Tarn::Test::allocationCount();
        afterGlow.apply(input.get());
        EXPECT_EQ(Tarn::Test::allocationCount() - before, 0);
        EXPECT_EQ(afterGlow.buffers().out, afterGlow.buffers().full[1]);
        EXPECT_EQ(out.rgba, expected.rgba) << Tarn::Test::writePng(out, row.name);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Bands of eight columns at view depth `near` and, with a step, `near` - 5,
// which the 0.1 bias never bridges; the input is flat. The share of kernel
// points on the surface is counted here from the kernel; blurs one texel
// apart mix seven columns by 8, 4, 2, 1 over 22 (rows are all alike), so a flat
// region keeps 1.0. All pixels of a column agree: one kernel everywhere.
TEST_F(StockEffectsGLTest, AmbientOcclusionCountsKernelPointsOnTheSurface) {
    const struct {
        float near, scale, power;
        bool step;
    } rows[] = {{-5.0f, 0.05f, 1.0f, false},
                {-5.0f, 0.05f, 1.0f, true},
                {-5.0f, 0.05f, 2.0f, true},
                {-500.0f, 0.01f, 1.0f, true},
                {-5.0f, 0.05f, 0.0f, true}};
    const Pixel color{0.5f, 0.25f, 1.0f, 0.3f};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        auto depth = [&](int x) { return row.step && (x / 8) % 2 ? row.near - 5.0f : row.near; };
        auto share = [&](int x) {
            const float z = depth(x), reach = row.scale * std::max(1.0f, std::fabs(z / 100.0f));
            int on = 0;
            for (const glm::vec3& k : SSAOEffect::kernel()) {
                const float u = (x + 0.5f) / kSize + k.x * reach;
                const int texel = (static_cast<int>(std::floor(u * kSize)) + kSize) % kSize;
                on += std::fabs(depth(texel) - (z + k.z * reach)) < 0.1f;
            }
            return on / 16.0f;
        };
        auto expected = [&](int x, int) {
            float blurred = 0.0f;
            for (int k = -3; k <= 3; ++k)
                blurred += (8 >> std::abs(k)) * share((x + k + kSize) % kSize) / 22.0f;
            const float f = std::pow(blurred, row.power);
            return Pixel{color[0] * f, color[1] * f, color[2] * f, 1.0f};
        };
        Scene scene;
        scene.set(2, [&](int x, int) { return Pixel{0.0f, 0.0f, depth(x), 1.0f}; });
        const Image out =
            run(&SSAOEffect::create, image([&](int, int) { return color; }),
                {{"Scale", {row.scale}}, {"Power", {row.power}}, {"Blur factor", {1.0f / kSize}}},
                &scene);
        EXPECT_EQ(wrongPixels(out, expected, 1e-4f), 0) << Tarn::Test::writePng(out, "ao");
    }
}

// A 4 x 4 block at (40, 24) mirrors through the centre onto (20, 36), the
// pixels of quarter texel (5, 9). With the halo at width 0 and the first
// ghost both reading the mirror point t, the features there weigh w^5 and
// 0.5 w^10 with w = 1 - |(0.5, 0.5) - t| / |(0.5, 0.5)|; one blur tap reads
// the mean of texels 21, 22 x 37, 38 over 16, and an opacity of 1600 %
// undoes the 16. Chromatic fringes of 8 texels move red and blue off the
// block; where other pixels' fringes land is not worked out here.
TEST_F(StockEffectsGLTest, LensFlareMirrorsBrightPartsIntoGhostsAndHalo) {
    const struct {
        float value, ghosts, distortion, opacity;
    } rows[] = {{1.0f, 0.0f, 0.0f, 1600.0f},   {1.0f, 1.0f, 0.0f, 1600.0f},
                {1.0f, 1.9f, 0.0f, 1600.0f},   {1.0f, 1.0f, 512.0f, 1600.0f},
                {0.22f, 12.0f, 0.0f, 1600.0f}, {1.0f, 12.0f, 0.0f, 0.0f}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        float flare = 0.0f;
        for (int texel : {21 * kSize + 37, 21 * kSize + 38, 22 * kSize + 37, 22 * kSize + 38}) {
            const float tx = 1.0f - (texel / kSize + 0.5f) / kSize;
            const float ty = 1.0f - (texel % kSize + 0.5f) / kSize;
            const float w = 1.0f - std::hypot(0.5f - tx, 0.5f - ty) / std::sqrt(0.5f);
            flare += (std::pow(w, 5.0f) + (row.ghosts >= 1.0f) * 0.5f * std::pow(w, 10.0f)) / 4;
        }
        flare *= row.value > 0.22f && row.opacity > 0.0f;
        const Image input = square(40, 24, 4, row.value);
        const Image out = run(&LensFlareEffect::create, input,
                              {{"Number_of_ghosts", {row.ghosts}},
                               {"Width_of_the_halo", {0.0f}},
                               {"Chromatic_distortion_factor", {row.distortion}},
                               {"Blur_iterations_count", {1.0f}},
                               {"Effect_opacity", {row.opacity}}});
        const bool fringes = row.distortion != 0.0f;
        auto expected = [&](int x, int y) {
            const bool mirror = x / 4 == 5 && y / 4 == 9;
            const float in = input.at(x, y)[0], f = mirror ? flare : 0.0f;
            const float rb = fringes ? (mirror ? in : out.at(x, y)[0]) : in + f;
            return Pixel{rb, in + f, fringes && !mirror ? out.at(x, y)[2] : rb, 1.0f};
        };
        EXPECT_EQ(wrongPixels(out, expected), 0) << Tarn::Test::writePng(out, "lensflare");
    }
}

// A 4 x 4 block at (24, 32) is quarter texel (6, 8); the taps of a density
// of 1 / 32 are one quarter texel apart. Round 0 puts all nine taps (0.98) on
// the block's texel, round 1 spreads them over its neighbours by 0.16, 0.15,
// 0.12, 0.09, 0.05; rounds are counted while i < Blur_iterations.
TEST_F(StockEffectsGLTest, AnisotropicFlareStreaksBrightPartsSideways) {
    const float weights[5] = {0.16f, 0.15f, 0.12f, 0.09f, 0.05f};
    const struct {
        float value, iterations, opacity;
    } rows[] = {{1.0f, 2.0f, 100.0f}, {1.0f, 1.5f, 50.0f},   {1.0f, 1.0f, 100.0f},
                {1.0f, 0.0f, 100.0f}, {0.89f, 2.0f, 100.0f}, {1.0f, 2.0f, 0.0f}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        const float bright = std::max(0.0f, row.value - 0.89f) * 0.4f * row.opacity / 100.0f;
        const Image input = square(24, 32, 4, row.value);
        const Image out = run(&AnisotropicFlareEffect::create, input,
                              {{"Blur_density", {1.0f / 32.0f}},
                               {"Blur_iterations", {row.iterations}},
                               {"Opacity", {row.opacity}}});
        auto expected = [&](int x, int y) {
            const int k = std::abs(x / 4 - 6);
            const float weight = y / 4 != 8 || k > 4
                                     ? 0.0f
                                     : (k == 0 && row.iterations > 0.0f ? 0.98f : 0.0f) +
                                           (row.iterations > 1.0f ? weights[k] : 0.0f);
            const float v = input.at(x, y)[0] + bright * weight;
            return Pixel{v, v, v, 1.0f};
        };
        EXPECT_EQ(wrongPixels(out, expected), 0) << Tarn::Test::writePng(out, "anisotropic");
    }
}

// Bright specks (0.89, the bias, gives black) on a dark ground: 0.02 of the
// pixels off the edges, and on the left and right edges in rows of their own,
// seen only where the taps wrap.
Image specks(unsigned int seed) {
    return image([seed](int x, int y) {
        const unsigned int h = (static_cast<unsigned int>(x * 73 + y * 4099) ^ seed) * 2654435761u;
        const float levels[4] = {0.89f, 0.9f, 1.0f, 3.0f};
        const bool edge = (x == 0 && y % 16 == 3) || (x == kSize - 1 && y % 16 == 9);
        const bool inside = x >= 16 && x < kSize - 16 && h % 100 < 2;
        const float v = edge || inside ? levels[(h >> 8) % 4] : (h >> 12) % 80 / 100.0f;
        return Pixel{v, v * 0.5f, 1.0f - v / 3.0f, 1.0f};
    });
}

// Densities and counts that reach 2 to 64 texels and wrap, over specks,
// black and a full bright image: the same picture as the plain sum.
TEST_F(StockEffectsGLTest, AnisotropicFlareSkipsOnlyBlackStreaks) {
    const struct {
        float density, iterations;
    } rows[] = {{13.5f, 123.0f}, {13.5f, 40.0f}, {1.0f / 32.0f, 2.0f}, {1.0f / 32.0f, 1.5f},
                {1.0f, 5.0f},    {0.25f, 10.0f}, {0.25f, 17.0f},      {2.0f, 256.0f},
                {0.001f, 3.0f},  {13.5f, 0.0f}};
    const Image inputs[] = {specks(1), specks(2), square(0, 0, kSize, 0.1f),
                            square(0, 0, kSize, 1.0f)};
    for (const auto& row : rows)
        for (const Image& input : inputs) {
            SCOPED_TRACE(testing::Message() << row.density << " " << row.iterations << " input "
                                            << &input - inputs);
            const auto reference = Tarn::Test::plainAnisotropicFlare(row.density, row.iterations, 100.0f);
            const auto buffer = Tarn::Test::makeFloatBuffer(input);
            Chain chain(kSize, kSize, nullptr);
            chain.addEffect(reference.get());
            const Image expected = read(chain.apply(buffer.get()));
            const Image out = run(&AnisotropicFlareEffect::create, input,
                                  {{"Blur_density", {row.density}},
                                   {"Blur_iterations", {row.iterations}},
                                   {"Opacity", {100.0f}}});
            EXPECT_EQ(out.rgba, expected.rgba) << Tarn::Test::writePng(out, "streaks");
        }
}

// Without fringes the lens flare runs a program without the fringe reads:
// it draws, to the bit, what the program with them draws at a fringe of 0
// (a distortion of the least float), over specks and blocks, with ghosts
// and halos.
TEST_F(StockEffectsGLTest, LensFlareWithoutFringesDrawsWhatTheFringeProgramDraws) {
    const struct {
        float ghosts, dispersal, halo;
    } rows[] = {{12.0f, 0.1f, 0.52f}, {64.0f, 0.37f, 0.2f}, {1.0f, 0.0f, 0.0f}, {5.5f, -0.3f, 0.9f}};
    const Image inputs[] = {specks(1), square(40, 24, 4, 1.0f), square(0, 0, kSize, 0.6f)};
    for (const auto& row : rows)
        for (const Image& input : inputs) {
            SCOPED_TRACE(testing::Message() << "row " << &row - rows << " input " << &input - inputs);
            const auto flare = [&](float distortion) {
                return run(&LensFlareEffect::create, input,
                           {{"Number_of_ghosts", {row.ghosts}},
                            {"Dispersal_of_ghosts", {row.dispersal}},
                            {"Width_of_the_halo", {row.halo}},
                            {"Chromatic_distortion_factor", {distortion}}})
                    .rgba;
            };
            const auto plain = flare(0.0f);
            EXPECT_NE(plain, input.rgba) << "no flare drawn";
            EXPECT_EQ(plain, flare(std::numeric_limits<float>::denorm_min()));
        }
}

// Bands of eight columns at the world points below (as view positions for
// the scene's camera), with "Y_Fog_Density" 4: full fog at height 0 and 60
// units out, 20 % at the origin, none from height 4 up. "Z_Fog_Density"
// changes nothing.
TEST_F(StockEffectsGLTest, FogTintsByWorldHeightAndDistance) {
    const float world[5][3] = {{3, 0, 4}, {0, 2, 30}, {36, -1, 48}, {0, 4, 0}, {0, 0, 0}};
    const float factors[5] = {5.0f / 60.0f * 0.8f + 0.2f, 0.5f * 0.6f, 1.0f, 0.0f, 0.2f};
    const struct { float alpha, zDensity; } rows[] = {{1.0f, 4.91f}, {0.5f, 100.0f}, {0.0f, 4.91f}};
    Scene scene;
    scene.set(2, [&](int x, int) {
        const float* p = world[(x / 8) % 5];
        return Pixel{5.0f - p[0], p[1] - 2.0f, -p[2], 1.0f};
    });
    const Pixel in{0.2f, 0.4f, 0.6f, 0.8f};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        const Pixel fog{0.5f, 0.25f, 1.0f, row.alpha};
        const Image out = run(&FogEffect::create, image([&](int, int) { return in; }),
                              {{"Y_Fog_Density", {4.0f}},
                               {"Z_Fog_Density", {row.zDensity}},
                               {"Fog_Color", {fog[0], fog[1], fog[2], fog[3]}}},
                              &scene);
        auto expected = [&](int x, int) {
            const float f = factors[(x / 8) % 5] * row.alpha;
            Pixel p;
            for (int c = 0; c < 4; ++c)
                p[c] = in[c] + f * (fog[c] - in[c]);
            return p;
        };
        EXPECT_EQ(wrongPixels(out, expected), 0) << Tarn::Test::writePng(out, "fog");
    }
}

// A cube map of one colour a face, as a horizontal cross of 4-pixel cells:
// +X red, -X cyan, +Y green, -Y magenta, +Z blue, -Z yellow. Columns of
// eight pixels hold normals facing the camera, tilted right, tilted up, and
// facing it with no reflection; the camera (at (5, 2, 0) looking along +z)
// mirrors them back along world -z (yellow), -x (cyan) and +y (green).
TEST_F(StockEffectsGLTest, ReflectionAddsTheMirroredCubeMapByTheReflectionFactor) {
    Tarn::Test::ScratchFolder folder;
    const unsigned char faces[6][3] = {{255, 0, 0},   {0, 255, 255}, {0, 255, 0},
                                       {255, 0, 255}, {0, 0, 255},   {255, 255, 0}};
    // Cells of the cross (column, row from the top) of +X, -X, +Y, -Y, +Z, -Z.
    const int cells[6][2] = {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {3, 1}, {1, 1}};
    std::vector<unsigned char> cross(16 * 12 * 4, 0);
    for (int face = 0; face < 6; ++face)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                unsigned char* texel =
                    &cross[4 * ((cells[face][1] * 4 + y) * 16 + cells[face][0] * 4 + x)];
                std::copy(faces[face], faces[face] + 3, texel);
                texel[3] = 255;
            }
    std::string png;
    stbi_write_png_to_func(
        [](void* out, void* data, int size) {
            static_cast<std::string*>(out)->append(static_cast<char*>(data), std::size_t(size));
        },
        &png, 16, 12, 4, cross.data(), 16 * 4);
    Tarn::Test::writeLooseFiles({{"env.png", png}});

    const Pixel normals[4] = {{0, 0, 0, 0.5f}, {0.6f, 0, 0, 0.5f}, {0, 0.6f, 0, 0.25f}, {0, 0, 0, 0}};
    const Pixel seen[4] = {{1, 1, 0, 0}, {0, 1, 1, 0}, {0, 1, 0, 0}, {0, 0, 0, 0}};
    Scene scene;
    scene.set(1, [&](int x, int) { return normals[(x / 8) % 4]; });
    scene.set(2, [](int, int) { return Pixel{0.0f, 0.0f, -5.0f, 1.0f}; });
    const Pixel in{0.2f, 0.1f, 0.05f, 0.75f};
    for (const float strength : {1.0f, 2.0f}) {
        std::unique_ptr<Effect> effect(ReflectionEffect::create());
        ASSERT_TRUE(effect->setImage("image", "env.png"));
        effect->setProperty("Strength", strength);
        const auto buffer = Tarn::Test::makeFloatBuffer(image([&](int, int) { return in; }));
        Chain chain(kSize, kSize, &scene.renderer);
        chain.addEffect(effect.get());
        const Image out = read(chain.apply(buffer.get()));
        EXPECT_EQ(wrongPixels(out,
                              [&](int x, int) {
                                  const int band = (x / 8) % 4;
                                  Pixel p = in;
                                  for (int c = 0; c < 3; ++c)
                                      p[c] += seen[band][c] * normals[band][3] * strength;
                                  return p;
                              }),
                  0)
            << Tarn::Test::writePng(out, "reflection");
    }
}

// One coloured pixel at (32, 32) spreads along the G-buffer vector times
// "Scale" (whole texels here) with the weights 64, 32, ... 0.5 over 191; a
// "Scale" of 0 puts all fifteen taps on the pixel itself.
TEST_F(StockEffectsGLTest, MotionBlurFollowsTheGBufferVector) {
    const struct {
        float vx, vy, scale;
    } rows[] = {{1.0f, 0.0f, 1.0f / kSize}, {0.0f, 2.0f, 1.0f / kSize}, {1.0f, 0.5f, 0.0f}};
    const Pixel color{1.0f, 0.5f, 0.25f, 0.5f};
    const Image input = image([&](int x, int y) {
        return x == 32 && y == 32 ? color : Pixel{0.0f, 0.0f, 0.0f, 0.0f};
    });
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Scene scene;
        scene.set(1, [&](int, int) { return Pixel{0.0f, 0.0f, row.vx, row.vy}; });
        const Image out = run(&MotionBlurEffect::create, input, {{"Scale", {row.scale}}}, &scene);
        const int sx = static_cast<int>(row.vx * row.scale * kSize);
        const int sy = static_cast<int>(row.vy * row.scale * kSize);
        auto expected = [&](int x, int y) {
            float w = 0.0f;
            for (int k = -7; k <= 7; ++k)
                w += (x + k * sx == 32 && y + k * sy == 32) * 64.0f / (1 << std::abs(k)) / 191.0f;
            return Pixel{color[0] * w, color[1] * w, color[2] * w, 1.0f};
        };
        EXPECT_EQ(wrongPixels(out, expected), 0) << Tarn::Test::writePng(out, "motionblur");
    }
}

// A flat image stays as it is. At (32, 32), black, the corner texels read
// 0 and 0.25 below, 1 and 1 above, so the edge direction is (1.75, -0.25)
// times 1 / (0.25 + 1/128), clamped to 8 texels: (6.79, -0.97) texels. Two
// reads at a sixth of it give (0 + 0.25) / 2; the far pair at a half lands
// on black, so rgbB = 0.0625, inside the lumas' range. Alpha is the input's.
TEST_F(StockEffectsGLTest, FXAABlendsAlongTheEdgeInTexelsOfItsInput) {
    const Pixel flat{0.3f, 0.6f, 0.9f, 0.5f};
    const Image out = run(&FXAAEffect::create, image([&](int, int) { return flat; }), {});
    EXPECT_EQ(wrongPixels(out, [&](int, int) { return flat; }), 0);
    const Image edge = run(&FXAAEffect::create, image([](int x, int y) {
        const float v = y == 33 && (x == 32 || x == 33) ? 1.0f : x == 33 && y == 32 ? 0.25f : 0.0f;
        return Pixel{v, v, v, 0.5f};
    }),
                           {});
    EXPECT_EQ(std::vector<float>(edge.at(32, 32), edge.at(32, 32) + 4),
              (std::vector<float>{0.0625f, 0.0625f, 0.0625f, 0.5f}));
}

// Out of range runs as the nearest in range, finite: divisors below 0.001 (0 gave NaN), loop
// counts above the most (1e9 float rounds hung). Heights 0, 0.0005, 3; depths 5, 5.004, 5.008.
TEST_F(StockEffectsGLTest, ValuesOutOfRangeRunAsTheNearestInRange) {
    const struct {
        Effect* (*create)();
        const char* parameter;
        float value, nearest;
    } rows[] = {{&AnisotropicFlareEffect::create, "Blur_density", 0.0f, 0.001f},
                {&FogEffect::create, "Y_Fog_Density", 0.0f, 0.001f},
                {&DoFEffect::create, "F Stop", 0.0f, 0.001f},
                {&AnisotropicFlareEffect::create, "Blur_iterations", 1e9f, 256.0f},
                {&LensFlareEffect::create, "Number_of_ghosts", 1e9f, 64.0f},
                {&LensFlareEffect::create, "Blur_iterations_count", 1e9f, 64.0f}};
    Scene scene;
    scene.set(2, [](int x, int) {
        return Pixel{0, x % 3 == 2 ? 1 : x % 3 * 5e-4f - 2, x % 3 * -4e-3f - 5, 1};
    });
    for (const auto& row : rows) {
        auto with = [&](float v) {  // the flares dimmed so that no clamp at 1 hides a count
            return run(row.create, square(24, 24, 16, 1.0f, 0.23f),
                       {{"Downsampling_scale", {1e-4f}}, {row.parameter, {v}}}, &scene)
                .rgba;
        };
        const std::vector<float> out = with(row.value);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float c) { return std::isfinite(c); }));
        EXPECT_EQ(out, with(row.nearest)) << row.parameter;
    }
}

}  // namespace
