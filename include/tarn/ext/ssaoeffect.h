#ifndef TARN_EXT_SSAOEFFECT_H
#define TARN_EXT_SSAOEFFECT_H

// Screen-space ambient occlusion, registered as "SSAO": darkens the image
// where the view depth around a pixel is uneven. Sixteen fixed kernel points
// around the pixel's (u, v, depth) count how many lie within 0.1 of the depth
// seen at their place; that share is blurred (7 taps, vertically, then
// horizontally) and the input is multiplied by pow(share, Power). Parameters:
// "Scale" (0.005, the kernel's reach in texture coordinates, growing with
// depth beyond 100 units), "Power" (1.0), "Blur factor" (0.002, the blur's
// tap spacing in texture coordinates). Its intermediate images go to the
// chain's scratch buffers, so it may stand anywhere in the chain. Programs
// are built on the first create() and shared by every instance.

#include <array>

#include <glm/glm.hpp>

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class SSAOEffect : public IExtension<SSAOEffect> {
public:
    // EffectFactory::registerEffect("SSAO", create).
    static void _register();
    // A new effect of four full-resolution passes: occlusion from G-buffer
    // target 2 -> scratch[0], vertical blur -> scratch[1], horizontal blur
    // -> scratch[0], in times the blurred share -> full (out).
    static PostFX::Effect* create();

    // The kernel points, direction times length (at most 1), before the
    // scaling by "Scale": drawn once, in order, from the generator seeded at
    // (13.37, 13.37), so every pixel of every frame uses the same kernel.
    static const std::array<glm::vec3, 16>& kernel();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_ssaoShader;       // "SSAO generation"
    static ShaderProgram* ms_ssaoHBlurShader;  // "SSAO H-blur"
    static ShaderProgram* ms_ssaoVBlurShader;  // "SSAO V-blur"
    static ShaderProgram* ms_ssaoMergeShader;  // "SSAO merge"
};

}  // namespace Ext
}  // namespace Tarn

#endif
