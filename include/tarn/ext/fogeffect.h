#ifndef TARN_EXT_FOGEFFECT_H
#define TARN_EXT_FOGEFFECT_H

// Fog, registered as "Fog": tints each pixel towards "Fog_Color" by its
// world-space height and horizontal distance from the origin, found from the
// view-space position in G-buffer target 2 and the camera's view matrix:
//     f = (1 - clamp(y / Y_Fog_Density, 0, 1)) * (clamp(|(x, z)| / 60, 0, 1) * 0.8 + 0.2)
//     out = mix(in, mix(in, Fog_Color, Fog_Color.a), f)   (all four channels)
// Parameters: "Z_Fog_Density" (4.91; kept for scripts that automate it, but
// no part of the formula), "Y_Fog_Density" (3.06), "Fog_Color" (0.568,
// 0.231, 0.443, 1.0; automatable as "x", "y", "z", "w"). Without a camera
// view space is taken as world space. Its program is built on the first
// create() and shared by every instance.

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class FogEffect : public IExtension<FogEffect> {
public:
    // EffectFactory::registerEffect("Fog", create).
    static void _register();
    // A new effect of one pass: in and the G-buffer position -> full (out).
    static PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_fog;  // "Fog"
};

}  // namespace Ext
}  // namespace Tarn

#endif
