#ifndef TARN_EXT_MOTIONBLUREFFECT_H
#define TARN_EXT_MOTIONBLUREFFECT_H

// Motion blur, registered as "Motion blur" (with the space): blurs each pixel
// along its own vector, the z and w of G-buffer target 1 times "Scale"
// (0.01), in texture coordinates, with the 15 taps of Glow's blur (weights 64
// halving to 0.5, over 191); alpha 1. The renderer writes self-illumination
// and the reflection factor there, and the effect reads them as its vector:
// a renderer that wants a true motion blur writes a screen velocity there.
// Its program is built on the first create() and shared by every instance.

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class MotionBlurEffect : public IExtension<MotionBlurEffect> {
public:
    // EffectFactory::registerEffect("Motion blur", create).
    static void _register();
    // A new effect of one pass: in along G-buffer target 1 -> full (out).
    static PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_mblurShader;  // "Motion blur"
};

}  // namespace Ext
}  // namespace Tarn

#endif
