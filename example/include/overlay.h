#ifndef TARN_DEMO_OVERLAY_H
#define TARN_DEMO_OVERLAY_H

// The overlay grade, registered as "Overlay", meant to end the chain: clamps
// the chain's image to 0..1, optionally grades it, lays the overlay image
// "assets/velmoralogo.png" over it, then fades to white and to black. Per
// pixel, with in clamped:
//     graded = mix(mix(in * 1.1568 - 0.1568, (1.0, 0.0745, 0.1921), 0.08), luma(in), 0.1)
//     c = mix(in, graded, Enhancements)
//     c = mix(c, overlay.rgb, overlay.a * Overlay_level)
//     out = mix(mix(c, white, White_level), black, Black_level), alpha 1
// The grade is not clamped (black grades below zero). The overlay image is
// read unflipped: the file's top row lands at the bottom of the screen, so
// the file is stored upside down. Parameters, all 0.0 and unclamped:
// "Overlay_level", "White_level", "Black_level", "Enhancements".

#include <tarn/iextension.h>

namespace Tarn {
class ShaderProgram;
namespace PostFX {
class Effect;
}
}  // namespace Tarn

class OverlayEffect : public Tarn::IExtension<OverlayEffect> {
public:
    // EffectFactory::registerEffect("Overlay", create).
    static void _register();
    // A new effect of one pass: in and the overlay image -> full (out).
    static Tarn::PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static Tarn::ShaderProgram* ms_overlayShader;  // "Overlay"
};

#endif
