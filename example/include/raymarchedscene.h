#ifndef TARN_DEMO_RAYMARCHEDSCENE_H
#define TARN_DEMO_RAYMARCHEDSCENE_H

// The ray-marched scene, registered as "Raymarcher": six animated metaballs
// lit by a low sun and mirroring a warm-tinted sky, over a painted backdrop
// and under a foreground image. Its one pass ignores the chain's input and
// writes a whole new picture at the demo time (the chain's FrameInfo); bypassing it lets
// the chain's image through. Each effect loads its own images: the backdrop
// "assets/raymarchedscene/back.png" (where no ball is hit), the foreground
// "assets/raymarchedscene/front.png" (over everything, by its alpha), both
// shown upright, and the sky "assets/raymarchedscene/cubemap.jpg" (a cross).
// Parameter "Water_level" (0.0) is kept for the demo script; no pass reads it.

#include <tarn/iextension.h>

namespace Tarn {
class ShaderProgram;
namespace PostFX {
class Effect;
}
}  // namespace Tarn

class RaymarchedScene : public Tarn::IExtension<RaymarchedScene> {
public:
    // EffectFactory::registerEffect("Raymarcher", create).
    static void _register();
    // A new effect of one pass: the scene -> full (out).
    static Tarn::PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static Tarn::ShaderProgram* ms_rmShader;  // "Raymarcher"
};

#endif
