#ifndef TARN_EXT_LENSFLAREEFFECT_H
#define TARN_EXT_LENSFLAREEFFECT_H

// Lens flare, registered as "LensFlare": the brightest parts of the image,
// clamp((in - bias) * scale, 0, 1), turned into ghosts mirrored through the
// screen centre and a halo ring (with optional chromatic fringes), blurred
// into the quarter-resolution pair and added over the input:
//     out = in + blurred * Effect_opacity / 100
// Parameters: "Downsampling_scale" (10.0), "Downsampling_bias" (0.22),
// "Number_of_ghosts" (12.0, truncated), "Dispersal_of_ghosts" (0.1),
// "Width_of_the_halo" (0.52), "Chromatic_distortion_factor" (0.0, in
// texels), "Blur_iterations_count" (8.0, truncated), "Effect_opacity" (100.0,
// a percentage). Its intermediate full-size images go to the chain's scratch
// buffers, so it may stand anywhere in the chain. Programs are built on the
// first create() and shared by every instance.

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class LensFlareEffect : public IExtension<LensFlareEffect> {
public:
    // EffectFactory::registerEffect("LensFlare", create).
    static void _register();
    // A new effect of four passes: bright parts of in -> scratch[0], ghosts
    // and halo -> scratch[1], blur -> low[lowCnt], in plus the blur -> full
    // (out).
    static PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_downsampling;     // "Lens flare downsampling"
    static ShaderProgram* ms_features;         // "Lens flare features", without fringes
    static ShaderProgram* ms_fringedFeatures;  // the same, with
    static ShaderProgram* ms_blurring;         // "Lens flare blurring"
    static ShaderProgram* ms_finalpass;        // "Lens flare final pass"
};

}  // namespace Ext
}  // namespace Tarn

#endif
