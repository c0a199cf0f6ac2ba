#ifndef TARN_SRC_EXT_SEPARABLEBLUR_H
#define TARN_SRC_EXT_SEPARABLEBLUR_H

// Internal: the 15-tap separable blur that Glow and depth of field share.
// Both blur the effect's input into the quarter-resolution pair, vertically
// first (reading the full-resolution input directly), then horizontally.

#include "tarn/postfx/pass.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext::SeparableBlur {

// Offsets are uBlurFactor in texture coordinates, not pixels, so the blur
// covers the same share of the screen at any resolution.
PostFX::ProgramSource horizontal(const char* displayName);
PostFX::ProgramSource vertical(const char* displayName);

// Adds the two blur passes to effect, reading the offset from its parameter
// blurParameter: in -> low[lowCnt] vertically, then that -> low[lowCnt]
// horizontally. Afterwards low[1 - lowCnt] holds the blurred input.
void addPasses(PostFX::Effect* effect, ShaderProgram* verticalProgram,
               ShaderProgram* horizontalProgram, const char* blurParameter);

}  // namespace Ext::SeparableBlur
}  // namespace Tarn

#endif
