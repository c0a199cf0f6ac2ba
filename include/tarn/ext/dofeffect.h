#ifndef TARN_EXT_DOFEFFECT_H
#define TARN_EXT_DOFEFFECT_H

// Depth of field, registered as "DepthOfField": blends from the sharp input
// to a blurred copy by each pixel's distance from the focus plane, read from
// the view-space position in G-buffer target 2:
//     out = mix(in, blurred, clamp(| |z| - Focus distance | / (F Stop * 8), 0, 1))
// Parameters: "Blur factor" (0.008, with a space), "Focus distance" (5.0),
// "F Stop" (0.5); the camera's own focus values are not read. Its programs
// are built on the first create() and shared by every instance.

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class DoFEffect : public IExtension<DoFEffect> {
public:
    // EffectFactory::registerEffect("DepthOfField", create).
    static void _register();
    // A new effect of three passes: vertical blur in -> low, horizontal blur
    // low -> low, merge of in, the blur and the depth -> full (out).
    static PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_dof_hblurShader;  // "DoF H-blur"
    static ShaderProgram* ms_dof_vblurShader;  // "DoF V-blur"
    static ShaderProgram* ms_dof_mergeShader;  // "DoF merge"
};

}  // namespace Ext
}  // namespace Tarn

#endif
