#ifndef TARN_EXT_REFLECTIONEFFECT_H
#define TARN_EXT_REFLECTIONEFFECT_H

// Reflections, registered as "Reflection": adds to each pixel what its
// surface mirrors of one environment cube map, as much as the material's
// reflection factor says (G-buffer target 1's alpha, which the lighting
// leaves out of the lit colour for just this):
//     n = (n.x, n.y, sqrt(1 - n.x² - n.y²))   the view-space normal (target 1)
//     r = reflect(normalize(p), n)             p: view-space position (target 2)
//     out.rgb = in.rgb + cube(inverse view * r).rgb * reflection * Strength
//     out.a = in.a
// The cube map is named on the effect's line, as a horizontal cross
// (`effect Reflection image assets/textures/nightsky.jpg`); without one the
// effect adds nothing. Parameter: "Strength" (1). Without a camera view space
// is taken as world space. Its program is built on the first create() and
// shared by every instance; each instance owns its cube map.

#include "tarn/iextension.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext {

class ReflectionEffect : public IExtension<ReflectionEffect> {
public:
    // EffectFactory::registerEffect("Reflection", create).
    static void _register();
    // A new effect of one pass: in, the G-buffer normal and position, and
    // the cube map -> full (out).
    static PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static ShaderProgram* ms_reflection;
};

}  // namespace Ext
}  // namespace Tarn

#endif
