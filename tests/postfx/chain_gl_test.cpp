#include "tarn/postfx/chain.h"

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "support/allocation_counter.h"
#include "support/gl_test.h"
#include "tarn/ext/dofeffect.h"
#include "tarn/ext/gloweffect.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/renderer.h"
#include "tarn/postfx/effect.h"
#include "tarn/texture.h"

namespace {

using Tarn::Ext::GlowEffect;
using Tarn::PostFX::Chain;
using Tarn::PostFX::Effect;
using Tarn::Test::Image;
using Tarn::Test::readTexture;
using ChainGLTest = Tarn::Test::GLTest;

const int kSize = 64, kLow = kSize / 4;

// 1 in the first four columns (or rows), 0 elsewhere: each quarter-resolution
// texel covers one block of four, so reading it down is exact.
Image firstBlock(bool alongX) {
    return Tarn::Test::makeImage(kSize, kSize, [alongX](int x, int y) {
        return std::array<float, 4>{(alongX ? x : y) < 4 ? 1.0f : 0.0f, 0.0f, 0.0f, 0.0f};
    });
}

// Taps one quarter texel apart land on texel centres: the blur of the first
// block is the tap weight 64 / 2^d over 191 at distance d <= 7, wrapping.
float blurredFirstBlock(int texel) {
    const int d = std::min(texel, kLow - texel);
    return d <= 7 ? 64.0f / static_cast<float>(1 << d) / 191.0f : 0.0f;
}

std::unique_ptr<Effect> sharpBlurGlow() {
    std::unique_ptr<Effect> glow(GlowEffect::create());
    glow->setProperty("Blur_factor", 1.0f / kLow);
    glow->setProperty("Threshold", 0.0f);
    glow->setProperty("Power", 1.0f);
    return glow;
}

// Glow's vertical pass writes low[0] and its horizontal pass low[1] (its
// merge full[0], as the next test shows); the blur has the 15 halving weights
// in both directions.
TEST_F(ChainGLTest, GlowPassesWriteLowLowFullWithTheBlurKernel) {
    for (bool alongX : {true, false}) {
        SCOPED_TRACE(alongX ? "blocks along x" : "blocks along y");
        const auto input = Tarn::Test::makeFloatBuffer(firstBlock(alongX));
        Chain chain(kSize, kSize, nullptr);
        auto glow = sharpBlurGlow();
        chain.addEffect(glow.get());
        chain.apply(input.get());
        const Image vertical = readTexture(chain.buffers().low[0]->target(0)->id());
        const Image both = readTexture(chain.buffers().low[1]->target(0)->id());
        int wrong = 0;
        for (int i = 0; i < kLow; ++i) {
            const int x = alongX ? i : 5, y = alongX ? 5 : i;
            const float afterVertical = alongX ? (i == 0 ? 1.0f : 0.0f) : blurredFirstBlock(i);
            wrong += std::fabs(vertical.at(x, y)[0] - afterVertical) > 1e-5f;
            wrong += std::fabs(both.at(x, y)[0] - blurredFirstBlock(i)) > 1e-5f;
        }
        EXPECT_EQ(wrong, 0) << Tarn::Test::writePng(both, "chain_blurred");
    }
}

// Which buffer apply returns and where the counters end as effects are added
// and bypassed: each running Glow flips fullCnt once and lowCnt twice. Glows
// share their programs but not their parameters.
TEST_F(ChainGLTest, EffectsPingPongThroughTheFullPair) {
    const struct {
        std::vector<bool> bypassed;
        int resultFull;  // -1: the input itself
    } rows[] = {{{}, -1},
                {{false}, 0},
                {{false, false}, 1},
                {{true}, -1},
                {{false, true, false}, 1},
                {{false, false, false}, 0}};
    const auto input = Tarn::Test::makeFloatBuffer(firstBlock(true));
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.bypassed));
        Chain chain(kSize, kSize, nullptr);
        std::vector<std::unique_ptr<Effect>> glows;
        for (bool bypassed : row.bypassed) {
            glows.push_back(sharpBlurGlow());
            glows.back()->setBypass(bypassed);
            chain.addEffect(glows.back().get());
        }
        Tarn::FrameBuffer* result = chain.apply(input.get());
        const Chain::Buffers& b = chain.buffers();
        EXPECT_EQ(result, row.resultFull < 0 ? input.get() : b.full[row.resultFull]);
        EXPECT_EQ(b.out, result);
        EXPECT_EQ(b.fullCnt, row.resultFull < 0 ? 0 : 1 - row.resultFull);
        EXPECT_EQ(b.lowCnt, 0);
        EXPECT_EQ(chain.effect(static_cast<int>(row.bypassed.size())), nullptr);
    }
    Tarn::ShaderProgram* const merge = GlowEffect::ms_mergeShader;
    std::unique_ptr<Effect> other(GlowEffect::create());
    EXPECT_EQ(GlowEffect::ms_mergeShader, merge);
    EXPECT_EQ(other->property("Power").value.f, 1.5f);
}

// Once built, a frame allocates nothing, also for a parameter name longer
// than the small-string buffer; applyAndDraw puts the result in the window.
TEST_F(ChainGLTest, FramesAllocateNothingAndReachTheWindow) {
    const Image image = firstBlock(true);
    const auto input = Tarn::Test::makeFloatBuffer(image);
    Chain chain(kSize, kSize, nullptr);
    std::unique_ptr<Effect> dof(Tarn::Ext::DoFEffect::create()), custom(new Effect());
    auto glow = sharpBlurGlow();
    glow->setProperty("Power", 0.0f);
    dof->setProperty("Focus distance", 0.0f);  // no G-buffer: every depth reads 0, in focus
    const char* const longName = "A parameter name well past sixteen characters";
    custom->addPass([&](Chain::Buffers&) { custom->property(longName).value.f += 1.0f; });
    testing::internal::CaptureStdout();
    chain.addEffect(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Chain] Cannot add a null effect; the chain is unchanged\n");
    for (Effect* effect : {dof.get(), custom.get(), glow.get()})
        chain.addEffect(effect);
    chain.applyAndDraw(input.get());

    const long before = Tarn::Test::allocationCount();
    for (int i = 0; i < 5; ++i)
        chain.applyAndDraw(input.get());
    EXPECT_EQ(Tarn::Test::allocationCount() - before, 0);
    EXPECT_EQ(custom->property(longName).value.f, 6.0f);

    const Image window = Tarn::Test::readFramebuffer(0, GL_BACK, 0, 0, kSize, kSize);
    int wrong = 0;
    for (int i = 0; i < kSize * kSize; ++i)
        wrong += window.rgba[4 * i] != image.rgba[4 * i] || window.rgba[4 * i + 3] != 1.0f;
    EXPECT_EQ(wrong, 0) << Tarn::Test::writePng(window, "chain_window");
}

// A flat image blurs to itself, so each channel shows the merge alone:
// nothing at or below the threshold, the full power from 1.0 up, and the
// smoothstep between (0.525 is half way from 0.05 to 1.0, 0.2875 a quarter,
// where smoothstep gives 0.5 and 0.15625).
TEST_F(ChainGLTest, GlowAddsTheThresholdedBlur) {
    const struct {
        float in[3], threshold, power, out[3];
    } rows[] = {
        {{0.05f, 1.0f, 0.525f}, 0.05f, 1.5f, {0.05f, 2.5f, 1.275f}},
        {{0.0f, 0.2875f, 2.0f}, 0.05f, 1.0f, {0.0f, 0.44375f, 3.0f}},
        {{0.3f, 0.6f, 0.9f}, 0.05f, 0.0f, {0.3f, 0.6f, 0.9f}},
        {{0.2f, 0.5f, 0.75f}, 0.5f, 2.0f, {0.2f, 0.5f, 1.75f}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.in[2]);
        const auto flat =
            Tarn::Test::makeFloatBuffer(Tarn::Test::makeImage(kSize, kSize, [&](int, int) {
                return std::array<float, 4>{row.in[0], row.in[1], row.in[2], 0.25f};
            }));
        Chain chain(kSize, kSize, nullptr);
        std::unique_ptr<Effect> glow(Tarn::Ext::GlowEffect::create());
        glow->setProperty("Threshold", row.threshold);
        glow->setProperty("Power", row.power);
        chain.addEffect(glow.get());
        const Image out = readTexture(chain.apply(flat.get())->target(0)->id());
        for (int p : {0, 33 * kSize + 20, kSize * kSize - 1})
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(out.rgba[4 * p + c], c < 3 ? row.out[c] : 1.0f, 1e-5f);
    }
}

// Bands of eight rows at the view depths below, over the first block and
// its exactly known blur.
TEST_F(ChainGLTest, DepthOfFieldMixesByDistanceFromFocus) {
    const float depths[8] = {-5.0f, -7.0f, -9.0f, -1.0f, 7.0f, 3.0f, -6.0f, -13.0f};
    const float mixes[8] = {0.0f, 0.5f, 1.0f, 1.0f, 0.5f, 0.5f, 0.25f, 1.0f};
    Tarn::Graphics::Renderer renderer(kSize, kSize);
    renderer.gBuffer()->enable();
    glEnable(GL_SCISSOR_TEST);
    for (int band = 0; band < 8; ++band) {
        const float position[4] = {0.0f, 0.0f, depths[band], 1.0f};
        glScissor(0, 8 * band, kSize, 8);
        glClearBufferfv(GL_COLOR, 2, position);
    }
    glDisable(GL_SCISSOR_TEST);
    renderer.gBuffer()->disable();

    const auto input = Tarn::Test::makeFloatBuffer(firstBlock(true));
    Chain chain(kSize, kSize, &renderer);
    std::unique_ptr<Effect> dof(Tarn::Ext::DoFEffect::create());
    dof->setProperty("Blur factor", 1.0f / kLow);
    chain.addEffect(dof.get());
    const Image out = readTexture(chain.apply(input.get())->target(0)->id());
    int wrong = 0;
    for (int band = 0; band < 8; ++band) {
        const int y = 8 * band + 4;
        const float m = mixes[band];
        wrong += std::fabs(out.at(1, y)[0] - ((1.0f - m) + m * blurredFirstBlock(0))) > 1e-5f;
        wrong += std::fabs(out.at(5, y)[0] - m * blurredFirstBlock(1)) > 1e-5f;
    }
    EXPECT_EQ(wrong, 0) << Tarn::Test::writePng(out, "dof_mix");
    EXPECT_EQ(dof->property("F Stop").value.f, 0.5f);
}

}  // namespace
