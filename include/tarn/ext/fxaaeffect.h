#ifndef TARN_EXT_FXAAEFFECT_H
#define TARN_EXT_FXAAEFFECT_H

// FXAA, registered as "FXAA": the compact form of the FXAA edge filter
// (span at most 8 texels, reduce-min 1/128, no reduce-mul). It estimates the
// edge direction from the lumas of the four texel corners around each pixel
// and blends two or four reads along it; alpha is the input's. Texel sizes
// come from the image it reads, so it works at any frame size. "vx_offset"
// (0.0) is kept for scripts that automate it but changes nothing. Its
// program, with its own vertex stage, is built on the first create() and
// shared by every instance.

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class FXAAEffect : public IExtension<FXAAEffect> {
public:
    // EffectFactory::registerEffect("FXAA", create).
    static void _register();
    // A new effect of one pass: in -> full (out).
    static PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_FXAAShader;  // "FXAA"
};

}  // namespace Ext
}  // namespace Tarn

#endif
