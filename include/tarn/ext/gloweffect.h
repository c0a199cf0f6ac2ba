#ifndef TARN_EXT_GLOWEFFECT_H
#define TARN_EXT_GLOWEFFECT_H

// Glow, registered as "Glow": bright areas bleed light. The input is blurred
// into the quarter-resolution pair (15 taps, vertically then horizontally)
// and a thresholded copy of the blur is added to it at full resolution:
//     out = in + smoothstep(0, 1 - Threshold, blurred - Threshold) * Power
// per channel, not clamped. Parameters: "Blur_factor" (0.004, the tap
// spacing in texture coordinates), "Threshold" (0.05), "Power" (1.5).
// Its programs are built on the first create() and shared by every Glow.

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class GlowEffect : public IExtension<GlowEffect> {
public:
    // EffectFactory::registerEffect("Glow", create).
    static void _register();
    // A new effect of three passes: vertical blur in -> low, horizontal blur
    // low -> low, merge of in and the blur -> full (out).
    static PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_hblurShader;  // "Glow H-blur"
    static ShaderProgram* ms_vblurShader;  // "Glow V-blur"
    static ShaderProgram* ms_mergeShader;  // "Glow merge"
};

}  // namespace Ext
}  // namespace Tarn

#endif
