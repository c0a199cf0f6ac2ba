#ifndef TARN_POSTFX_SHADEREFFECT_H
#define TARN_POSTFX_SHADEREFFECT_H

// A post-processing effect whose one pass is a GLSL fragment shader read from
// content: `shader assets/fx/tunnel.frag as tunnel` in the demo script. The
// shader writes fragColor for each v_uv; it may read the chain's input or
// ignore it and draw a whole picture. Before its text comes a prelude that
// declares what every such shader may read, one table (shaderInputs) used
// for the prelude and for the docs. Its own parameters come from comment
// annotations on its uniforms (ShaderSource): `uniform float uGlow; //
// @param 0..4 = 1.2` becomes the effect's parameter "uGlow", keyable and
// able to follow the music like any other; `uniform sampler2D uNoise; //
// @image assets/noise.png` reads that image. The effect owns its program,
// freed with it. Main thread with the GL context current.

#include <string>
#include <vector>

namespace Tarn::PostFX {

class Effect;

// One declaration of the prelude and what it holds.
struct ShaderInput {
    const char* declaration;  // "uniform float uTime;"
    const char* meaning;
};
const std::vector<ShaderInput>& shaderInputs();
// "#version 330 core", every declaration of shaderInputs, v_uv and fragColor:
// the lines compiled before the shader's own text.
std::string shaderPrelude();

// The text of a built-in include, which ShaderSource serves for a path under
// "tarn/" in place of the content: "tarn/playground.glsl" gives the names of
// shader playgrounds (iTime, iResolution, iChannel0 ...) and a main() that
// calls the shader's mainImage(out vec4, in vec2). Null for any other path.
const char* builtInInclude(const std::string& path);

// The effect of the shader at path, named by its path for profiles and
// messages; null, after its problems were reported at their files and
// lines, when the shader cannot be read or does not compile.
Effect* createShaderEffect(const std::string& path);

}  // namespace Tarn::PostFX

#endif
