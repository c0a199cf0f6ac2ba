#ifndef TARN_SRC_EXT_SEPARABLEBLUR_H
#define TARN_SRC_EXT_SEPARABLEBLUR_H

// Internal: the weighted blurs the stock effects share. Glow and depth of
// field blur their input into the quarter-resolution pair with 15 taps,
// vertically first (reading the full-resolution input directly), then
// horizontally; ambient occlusion blurs at full resolution with 7 taps;
// motion blur takes the 15 taps along a vector of its own.

#include <string>

#include "tarn/postfx/pass.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext::SeparableBlur {

// Wide15: weights 64 halving to 0.5 by distance 0 to 7, sum 191 over the 15
// taps. Narrow7: 8, 4, 2, 1 by distance 0 to 3, sum 22 over the 7 taps.
enum class Taps { Wide15, Narrow7 };
// Filtered: taps go through the image's filtering, so a quarter-resolution
// pass down-samples bilinearly. Level0: taps read level 0 unfiltered, so an
// image of the target's size is read exactly.
enum class Read { Filtered, Level0 };

// GLSL defining `vec3 blur(sampler2D image, vec2 uv, vec2 step)`: the taps
// at uv + k * step, each by its weight, divided by the weights' sum.
std::string blurFunction(Taps taps, Read read);

// A stage blurring "Input" (unit 0) along one axis with alpha 1; the step is
// uBlurFactor in texture coordinates, not pixels, so the blur covers the same
// share of the screen at any resolution.
PostFX::ProgramSource horizontal(const char* displayName, Taps taps = Taps::Wide15,
                                 Read read = Read::Filtered);
PostFX::ProgramSource vertical(const char* displayName, Taps taps = Taps::Wide15,
                               Read read = Read::Filtered);

// Adds the two blur passes to effect, reading the offset from its parameter
// blurParameter: in -> low[lowCnt] vertically, then that -> low[lowCnt]
// horizontally. Afterwards low[1 - lowCnt] holds the blurred input.
void addPasses(PostFX::Effect* effect, ShaderProgram* verticalProgram,
               ShaderProgram* horizontalProgram, const char* blurParameter);

}  // namespace Ext::SeparableBlur
}  // namespace Tarn

#endif
