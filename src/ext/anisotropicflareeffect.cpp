#include "tarn/ext/anisotropicflareeffect.h"

#include <cmath>
#include <memory>

#include "commonpasses.h"
#include "tarn/framebuffer.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool AnisotropicFlareEffect::ms_shadersInitialized = false;
ShaderProgram* AnisotropicFlareEffect::ms_downsampling = nullptr;
ShaderProgram* AnisotropicFlareEffect::ms_marking = nullptr;
ShaderProgram* AnisotropicFlareEffect::ms_blurring = nullptr;
ShaderProgram* AnisotropicFlareEffect::ms_mergeShader = nullptr;

namespace {

// Blur_iterations 1.5 runs rounds i = 0 and 1, as a count compared with a
// float did; the raw sum is kept (weights 0.98 a round), alpha included: more
// rounds give a brighter streak. Quarter resolution: each tap down-samples
// bilinearly. The rounds are counted with an integer up to a constant, so no
// value can make the loop run on (a float counter stops growing at 2^24).
const int kMostRounds = 256;
// A density of 0 would put the taps 1 / 0 apart (NaN at round 0).
const float kLeastDensity = 0.001f;
// Most of the bright parts are black, and a streak pixel whose taps all read
// black is black: its hundreds of taps are skipped. A first pass marks each
// run of kTile texels of a row that holds any colour; the streak reads the
// runs under its taps' reach (its two bilinear rows and one more each side,
// one texel more at each end, wrapping as the taps do) and writes black
// where none is marked. The picture is the same bit for bit, but for the
// streak's alpha, which no pass reads: 0 where skipped
// (StockEffectsGLTest.AnisotropicFlareSkipsOnlyBlackStreaks).
const int kTile = 16;
// Runs in a row of the widest frame buffer.
const int kMostTiles = 16384 / kTile;

const PostFX::ProgramSource kMarking = {
    "Anisotropic flare marking",
    std::string("#version 330 core\n") + CommonPasses::mostConstant("kTile", kTile) +
        R"(uniform sampler2D Input;
layout(location = 0) out vec4 fragColor;
void main() {
    ivec2 run = ivec2(gl_FragCoord.xy);
    int width = textureSize(Input, 0).x;
    float lit = 0.0;
    for (int i = 0; i < kTile; ++i) {
        int x = run.x * kTile + i;
        if (x < width && any(notEqual(texelFetch(Input, ivec2(x, run.y), 0).rgb, vec3(0.0))))
            lit = 1.0;
    }
    fragColor = vec4(lit);
}
)",
    {{"Input", 0}}};

const PostFX::ProgramSource kBlurring = {
    "Anisotropic flare blurring",
    std::string("#version 330 core\n") + CommonPasses::mostConstant("kMostRounds", kMostRounds) +
        CommonPasses::mostConstant("kTile", kTile) +
        CommonPasses::mostConstant("kMostTiles", kMostTiles) +
        R"(uniform sampler2D Input;
uniform sampler2D Lit;
uniform float uBlurDensity;
uniform float uBlurIterations;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
const float kWeights[5] = float[5](0.16, 0.15, 0.12, 0.09, 0.05);
// Texels first..last of a row, 0 <= first <= last < width.
bool runsLit(int row, int first, int last) {
    for (int t = first / kTile, n = 0; t <= last / kTile && n < kMostTiles; ++t, ++n)
        if (texelFetch(Lit, ivec2(t, row), 0).r > 0.0)
            return true;
    return false;
}
// Texels first..last of a row, wrapped into 0..width - 1.
bool wrappedLit(int row, int first, int last, int width) {
    if (last - first + 1 >= width)
        return runsLit(row, 0, width - 1);
    if (first < 0)
        return runsLit(row, 0, last) || runsLit(row, first + width, width - 1);
    if (last >= width)
        return runsLit(row, first, width - 1) || runsLit(row, 0, last - width);
    return runsLit(row, first, last);
}
bool reachesColour(float spacing, int rounds) {
    ivec2 size = textureSize(Input, 0);
    float reach = min(4.0 * spacing * float(max(rounds - 1, 0)), 1.0);
    int first = int(floor((v_uv.x - reach) * float(size.x) - 0.5)) - 1;
    int last = int(floor((v_uv.x + reach) * float(size.x) - 0.5)) + 2;
    int row = int(floor(v_uv.y * float(size.y) - 0.5));
    for (int r = row - 1; r <= row + 2; ++r)
        if (wrappedLit((r + 2 * size.y) % size.y, first, last, size.x))
            return true;
    return false;
}
void main() {
    float spacing = 1.0 / (512.0 * uBlurDensity);
    int rounds = int(ceil(uBlurIterations));
    // The taps down-sample: their gradients are taken here, where every
    // pixel runs, not inside the branch.
    vec2 dx = dFdx(v_uv), dy = dFdy(v_uv);
    vec4 sum = vec4(0.0);
    if (reachesColour(spacing, rounds))
        for (int i = 0; i < kMostRounds && i < rounds; ++i)
            for (int k = -4; k <= 4; ++k)
                sum += textureGrad(Input, vec2(v_uv.x + float(k) * spacing * float(i), v_uv.y),
                                   dx, dy) *
                       kWeights[abs(k)];
    fragColor = sum;
}
)",
    {{"Input", 0}, {"Lit", 1}}};

// The marks of one effect: a run of kTile texels of the bright parts per
// texel, made again when the chain's size changes; freed with the pass.
struct Runs {
    std::unique_ptr<FrameBuffer> marks;

    FrameBuffer* of(const FrameBuffer& bright) {
        const unsigned int width = (bright.width() + kTile - 1) / kTile;
        if (!marks || marks->width() != width || marks->height() != bright.height()) {
            marks = std::make_unique<FrameBuffer>(width, bright.height());
            marks->createRenderTarget(FrameBuffer::RGBA8);
        }
        return marks.get();
    }
};

const char* const kBlurDensity = "Blur_density";
const char* const kBlurIterations = "Blur_iterations";
const char* const kOpacity = "Opacity";

}  // namespace

void AnisotropicFlareEffect::_register() {
    PostFX::EffectFactory::registerEffect("AnisotropicFlare", &AnisotropicFlareEffect::create);
}

PostFX::Effect* AnisotropicFlareEffect::create() {
    if (!ms_shadersInitialized) {
        // All four channels, not clamped; full resolution despite the name.
        ms_downsampling = PostFX::buildProgram(CommonPasses::brightParts(
            "Anisotropic flare downsampling", "max(vec4(0.0), c - uBias) * uScale"));
        ms_marking = PostFX::buildProgram(kMarking);
        ms_blurring = PostFX::buildProgram(kBlurring);
        ms_mergeShader = PostFX::buildProgram(
            CommonPasses::flareMerge("Anisotropic flare merge", "Input", "blurred", "uOpacity"));
        ms_shadersInitialized = true;
    }
    using PostFX::Pass;
    auto* effect = new PostFX::Effect();
    CommonPasses::addBrightPartsPass(effect, ms_downsampling);
    effect->addPass([effect, runs = std::make_shared<Runs>()](PostFX::Chain::Buffers& buffers) {
        FrameBuffer* marks = runs->of(*buffers.scratch[0]);
        {
            Pass pass(buffers, marks, ms_marking);  // scratch[0] -> marks
            pass.input(0, buffers.scratch[0]);
        }
        Pass pass(buffers, Pass::Low, ms_blurring);  // scratch[0], marks -> low[lowCnt]
        pass.uniform("uBlurDensity", CommonPasses::within(effect->property(kBlurDensity).value.f,
                                                          kLeastDensity, HUGE_VALF));
        pass.uniform("uBlurIterations",
                     CommonPasses::within(effect->property(kBlurIterations).value.f, 0.0f,
                                          static_cast<float>(kMostRounds)));
        pass.input(0, buffers.scratch[0]);
        pass.input(1, marks);
        pass.draw();
    });
    CommonPasses::addMergePass(effect, ms_mergeShader, {{"uOpacity", kOpacity}});
    effect->setProperty(CommonPasses::kBias, 0.89f);
    effect->setProperty(CommonPasses::kScale, 0.4f);
    effect->setProperty(kBlurDensity, 13.5f);
    effect->setProperty(kBlurIterations, 123.0f);
    effect->setProperty(kOpacity, 16.0f);
    effect->setMaximum(kBlurIterations, kMostRounds);
    return effect;
}

}  // namespace Tarn::Ext
