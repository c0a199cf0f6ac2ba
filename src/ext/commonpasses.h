#ifndef TARN_SRC_EXT_COMMONPASSES_H
#define TARN_SRC_EXT_COMMONPASSES_H

// Internal: pass shapes that several stock effects share, so each is written
// once: the merge of the effect's input with its quarter-resolution result,
// and the flares' extraction of bright parts.

#include <string>
#include <utility>
#include <vector>

#include "tarn/postfx/pass.h"

namespace Tarn {

class ShaderProgram;

namespace PostFX {
class Effect;
}

namespace Ext::CommonPasses {

// (uniform, parameter): the pass sets the uniform from the parameter's float.
using Uniforms = std::vector<std::pair<const char*, const char*>>;

// A stage adding a flare over the input, not clamped, alpha 1:
//     out = original + flare * opacity / 100
// with the sampler and uniform names given (original on unit 0, flare on 1).
PostFX::ProgramSource flareMerge(const char* displayName, const char* original, const char* flare,
                                 const char* opacity);

// Adds the last pass: in (unit 0) and low[1 - lowCnt] (unit 1), the effect's
// quarter-resolution result -> full[fullCnt], which becomes out.
void addMergePass(PostFX::Effect* effect, ShaderProgram* program, Uniforms uniforms);

// A flare's extraction stage: "Input" (unit 0) read as `c` at level 0, and
// `expression` of c, uBias and uScale written out.
PostFX::ProgramSource brightParts(const char* displayName, const char* expression);

// A parameter value kept where its formula holds: below least (or not a
// number) gives least, above most gives most. The guarded parameters and
// their limits are listed in docs/content.md, "Effects and their parameters"
// (StockEffectsGLTest.ParametersOutsideTheirRangeGiveTheNearestValidImage).
inline float within(float value, float least, float most) {
    return value >= least ? (value <= most ? value : most) : least;
}

// GLSL declaring `const int NAME = most;`: a loop that counts to it with an
// integer ends whatever its uniform holds.
std::string mostConstant(const char* name, int most);

// The flares' extraction parameters, each effect with its own defaults.
inline constexpr const char* kBias = "Downsampling_bias";
inline constexpr const char* kScale = "Downsampling_scale";

// Adds the first pass of a flare: in (unit 0) -> scratch[0], with uBias and
// uScale from kBias and kScale.
void addBrightPartsPass(PostFX::Effect* effect, ShaderProgram* program);

}  // namespace Ext::CommonPasses
}  // namespace Tarn

#endif
