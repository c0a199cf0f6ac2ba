#ifndef TARN_EXT_ANISOTROPICFLAREEFFECT_H
#define TARN_EXT_ANISOTROPICFLAREEFFECT_H

// Anisotropic flare, registered as "AnisotropicFlare": the brightest parts of
// the image, max(in - bias, 0) * scale, smeared into long horizontal streaks
// in the quarter-resolution pair and added over the input:
//     out = in + streak * Opacity / 100
// The streak sums nine taps 1 / (512 * Blur_density) * i apart for i = 0, 1,
// ... while i < Blur_iterations, so it grows longer and brighter with the
// count. Parameters: "Downsampling_bias" (0.89), "Downsampling_scale" (0.4),
// "Blur_density" (13.5), "Blur_iterations" (123.0), "Opacity" (16.0, a
// percentage). Its intermediate full-size image goes to a chain scratch
// buffer, so it may stand anywhere in the chain. Programs are built on the
// first create() and shared by every instance.

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class AnisotropicFlareEffect : public IExtension<AnisotropicFlareEffect> {
public:
    // EffectFactory::registerEffect("AnisotropicFlare", create).
    static void _register();
    // A new effect of three passes: bright parts of in -> scratch[0], streak
    // -> low[lowCnt] (after marking the runs of scratch[0] that hold any
    // colour, in the effect's own small buffer), in plus the streak -> full
    // (out).
    static PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_downsampling;  // "Anisotropic flare downsampling"
    static ShaderProgram* ms_marking;       // "Anisotropic flare marking"
    static ShaderProgram* ms_blurring;      // "Anisotropic flare blurring"
    static ShaderProgram* ms_mergeShader;   // "Anisotropic flare merge"
};

}  // namespace Ext
}  // namespace Tarn

#endif
