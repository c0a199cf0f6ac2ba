#ifndef TARN_DEMO_AMIGASCENE_H
#define TARN_DEMO_AMIGASCENE_H

// The retro scene, registered as "Amiga": a swaying logo band at the top, a
// red and a cyan bar opening from the middle of the screen, a zooming
// starfield that takes quantised plasma colours from scene time 14.22, a
// wobbling scroller over 32 text lines, a running sprite and scanlines. Its
// one pass ignores the chain's input and writes a whole new picture; the
// scene's clock is the demo time (the chain's FrameInfo) minus 67.28 s, so it starts on
// the bar where the retro break begins. Each effect loads its own images,
// sampled nearest and repeating: "assets/amiga_logo.png",
// "assets/runner.png" (the sprite sheet; its first column shows wherever the
// runner is not, so it is clear) and "assets/scroller.png" (32 text lines
// stacked top to bottom; the band above and below a line repeats the first
// pixel row of that line and of the next, so those rows are clear). No
// parameters but "bypass".

#include <tarn/iextension.h>

namespace Tarn {
class ShaderProgram;
namespace PostFX {
class Effect;
}
}  // namespace Tarn

class AmigaScene : public Tarn::IExtension<AmigaScene> {
public:
    // Demo time at which the scene's clock reads 0.
    static constexpr double kStartTime = 67.28;

    // EffectFactory::registerEffect("Amiga", create).
    static void _register();
    // A new effect of one pass: the scene -> full (out).
    static Tarn::PostFX::Effect* create();

    static bool ms_shadersInitialized;
    static Tarn::ShaderProgram* ms_amigaShader;  // "Amiga"
};

#endif
