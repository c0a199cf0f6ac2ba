#include "tarn/ext/lensflareeffect.h"

#include "commonpasses.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/postfx/pass.h"

namespace Tarn::Ext {

bool LensFlareEffect::ms_shadersInitialized = false;
ShaderProgram* LensFlareEffect::ms_downsampling = nullptr;
ShaderProgram* LensFlareEffect::ms_features = nullptr;
ShaderProgram* LensFlareEffect::ms_fringedFeatures = nullptr;
ShaderProgram* LensFlareEffect::ms_blurring = nullptr;
ShaderProgram* LensFlareEffect::ms_finalpass = nullptr;

namespace {

// Ghosts are read at fract(texcoord + ghostVec * i), so they wrap around the
// edges; their weight peaks at the centre and falls to 0 at the corners. The
// falloff is kept from going below 0 by rounding, where pow is undefined, and
// a zero dispersal (or the very centre) gives no direction instead of NaN.
// Without fringes (the default, a zero distortion) a program without the
// fringe reads runs, reading each point once; with them, each point is read
// three times, with no branch for a zero fringe (at the very centre), which
// a renderer that runs both sides of a branch (a software one) paid a
// fourth read for everywhere: p - 0 and p + 0 are p, so the three reads
// give the one texel's colour there, to the bit. The two programs draw the
// same picture at a zero fringe. Loops count with an integer up to a
// constant, so no value runs on.
const int kMostGhosts = 64;
// The blur reads the square of its count: 64 is 4096 taps a pixel.
const int kMostBlurIterations = 64;

PostFX::ProgramSource features(bool fringes) {
    return {"Lens flare features",
            std::string("#version 330 core\n") + (fringes ? "#define FRINGES\n" : "") +
                CommonPasses::mostConstant("kMostGhosts", kMostGhosts) +
                R"(uniform sampler2D Input;
uniform float uGhosts;
uniform float uGhostDispersal;
uniform float uHaloWidth;
uniform float uDistortion;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
vec3 distorted(vec2 p, vec2 fringe) {
#ifdef FRINGES
    return vec3(textureLod(Input, p - fringe, 0.0).r, textureLod(Input, p, 0.0).g,
                textureLod(Input, p + fringe, 0.0).b);
#else
    return textureLod(Input, p, 0.0).rgb;
#endif
}
float falloff(vec2 p) {
    return max(1.0 - length(vec2(0.5) - p) / length(vec2(0.5)), 0.0);
}
void main() {
    vec2 texcoord = vec2(1.0) - v_uv;
    vec2 texelSize = 1.0 / vec2(textureSize(Input, 0));
    vec2 ghostVec = (vec2(0.5) - texcoord) * uGhostDispersal;
    vec2 direction = length(ghostVec) > 0.0 ? normalize(ghostVec) : vec2(0.0);
    vec2 fringe = direction * texelSize.x * uDistortion;
    vec4 sum = vec4(0.0);
    int ghosts = int(uGhosts);
    for (int i = 0; i < kMostGhosts && i < ghosts; ++i) {
        vec2 offset = fract(texcoord + ghostVec * float(i));
        sum += vec4(distorted(offset, fringe), 1.0) * pow(falloff(offset), 10.0) * 0.5;
    }
    vec2 haloVec = direction * uHaloWidth;
    float haloWeight = pow(falloff(fract(texcoord + haloVec)), 5.0);
    sum += vec4(distorted(texcoord + haloVec, fringe), 1.0) * haloWeight;
    fragColor = vec4(clamp(sum.rgb, 0.0, 1.0), 1.0);
}
)",
            {{"Input", 0}}};
}

// Quarter resolution reading the full-size features: each tap down-samples
// bilinearly. Offsets grow quadratically and only towards larger coordinates.
const PostFX::ProgramSource kBlurring = {
    "Lens flare blurring",
    std::string("#version 330 core\n") + CommonPasses::mostConstant("kMost", kMostBlurIterations) +
        R"(uniform sampler2D Input;
uniform float uBlurIterations;
in vec2 v_uv;
layout(location = 0) out vec4 fragColor;
void main() {
    int n = int(uBlurIterations);
    vec2 step = 1.0 / vec2(textureSize(Input, 0)) / uBlurIterations;
    vec3 sum = vec3(0.0);
    for (int i = 0; i < kMost && i < n; ++i)
        for (int j = 0; j < kMost && j < n; ++j)
            sum += texture(Input, v_uv + step * vec2(float(j * j), float(i * i))).rgb;
    fragColor = vec4(clamp(sum / 16.0, 0.0, 1.0), 1.0);
}
)",
    {{"Input", 0}}};

const char* const kGhosts = "Number_of_ghosts";
const char* const kDispersal = "Dispersal_of_ghosts";
const char* const kHaloWidth = "Width_of_the_halo";
const char* const kDistortion = "Chromatic_distortion_factor";
const char* const kBlurIterations = "Blur_iterations_count";
const char* const kOpacity = "Effect_opacity";

}  // namespace

void LensFlareEffect::_register() {
    PostFX::EffectFactory::registerEffect("LensFlare", &LensFlareEffect::create);
}

PostFX::Effect* LensFlareEffect::create() {
    if (!ms_shadersInitialized) {
        // Full resolution despite its name: the blur pass does the down-sampling.
        ms_downsampling = PostFX::buildProgram(CommonPasses::brightParts(
            "Lens flare downsampling",
            "vec4(clamp((c.rgb - vec3(uBias)) * uScale, 0.0, 1.0), 1.0)"));
        ms_features = PostFX::buildProgram(features(false));
        ms_fringedFeatures = PostFX::buildProgram(features(true));
        ms_blurring = PostFX::buildProgram(kBlurring);
        ms_finalpass = PostFX::buildProgram(CommonPasses::flareMerge(
            "Lens flare final pass", "Original", "Input", "uLensFlareOpacity"));
        ms_shadersInitialized = true;
    }
    using PostFX::Pass;
    auto* effect = new PostFX::Effect();
    CommonPasses::addBrightPartsPass(effect, ms_downsampling);
    effect->addPass([effect](PostFX::Chain::Buffers& buffers) {
        const float distortion = effect->property(kDistortion).value.f;
        Pass pass(buffers, buffers.scratch[1],  // scratch[0] -> scratch[1]
                  distortion == 0.0f ? ms_features : ms_fringedFeatures);
        pass.uniform("uGhosts", CommonPasses::within(effect->property(kGhosts).value.f, 0.0f,
                                                     static_cast<float>(kMostGhosts)));
        pass.uniform("uGhostDispersal", effect->property(kDispersal).value.f);
        pass.uniform("uHaloWidth", effect->property(kHaloWidth).value.f);
        if (distortion != 0.0f)
            pass.uniform("uDistortion", distortion);
        pass.input(0, buffers.scratch[0]);
        pass.draw();
    });
    effect->addPass([effect](PostFX::Chain::Buffers& buffers) {
        Pass pass(buffers, Pass::Low, ms_blurring);  // scratch[1] -> low[lowCnt]
        pass.uniform("uBlurIterations",
                     CommonPasses::within(effect->property(kBlurIterations).value.f, 0.0f,
                                          static_cast<float>(kMostBlurIterations)));
        pass.input(0, buffers.scratch[1]);
        pass.draw();
    });
    CommonPasses::addMergePass(effect, ms_finalpass, {{"uLensFlareOpacity", kOpacity}});
    effect->setProperty(CommonPasses::kScale, 10.0f);
    effect->setProperty(CommonPasses::kBias, 0.22f);
    effect->setProperty(kGhosts, 12.0f);
    effect->setProperty(kDispersal, 0.1f);
    effect->setProperty(kHaloWidth, 0.52f);
    effect->setProperty(kDistortion, 0.0f);
    effect->setProperty(kBlurIterations, 8.0f);
    effect->setProperty(kOpacity, 100.0f);
    effect->setMaximum(kGhosts, kMostGhosts);
    effect->setMaximum(kBlurIterations, kMostBlurIterations);
    return effect;
}

}  // namespace Tarn::Ext
