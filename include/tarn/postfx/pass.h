#ifndef TARN_POSTFX_PASS_H
#define TARN_POSTFX_PASS_H

// What every effect is built from: the description of a pass program (one
// definition of its stages, samplers and units, shared by the C++ and the
// GLSL), and one full-screen pass over the chain's buffers, written in the
// order the protocol reads:
//
//     Pass pass(buffers, Pass::Low, ms_vblurShader);  // target low[lowCnt], program
//     pass.uniform("uBlurFactor", effect->property("Blur factor").value.f);
//     pass.input(0, buffers.in);                        // inputs on their units
//     pass.draw();                                      // draw, release, flip
//
// Main thread with the GL context current.

#include <string>
#include <string_view>
#include <vector>

#include "tarn/postfx/chain.h"

namespace Tarn {

class FrameBuffer;
class ShaderProgram;
class Texture;

namespace PostFX {

// A sampler uniform of a pass program and the texture unit it reads.
struct Sampler {
    const char* name;
    int unit;
};

// One program of an effect.
struct ProgramSource {
    const char* name;      // display name, as compile and link messages give it
    std::string fragment;  // fragment stage; some are composed once, at first use
    std::vector<Sampler> samplers;
    const char* vertex = nullptr;  // null: the shared pass-through stage
};

// Builds the program: a new vertex and fragment stage, link, then each
// sampler set to its unit. Compile and link failures are reported and leave
// a program whose passes draw nothing. Never freed: effect programs are
// static and live until exit.
ShaderProgram* buildProgram(const ProgramSource& source);

class Pass {
public:
    enum Resolution { Full, Low };

    // Enables full[fullCnt] or low[lowCnt] (cleared to opaque black) and
    // binds the program.
    Pass(Chain::Buffers& buffers, Resolution resolution, ShaderProgram* program);
    // Enables target (one of buffers.scratch) and flips no counter: for an
    // effect's intermediate images, which must stay out of the pair that may
    // hold its input.
    Pass(Chain::Buffers& buffers, FrameBuffer* target, ShaderProgram* program);
    // Draws if draw() was not called, so a pass never leaves its target on.
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

    // Float uniform of the pass's program; nothing when the program did not
    // link (its failure was reported when it was built, not at every frame).
    void uniform(std::string_view name, float value);
    void uniform(std::string_view name, float x, float y, float z, float w);
    // 16 floats, column-major.
    void uniform(std::string_view name, const float* matrix);
    // For other uniform types; null when there is no linked program.
    ShaderProgram* program() const;

    // Binds a texture, or a frame buffer's target 0, on a unit until draw().
    // A null one leaves the unit empty (the sampler reads (0, 0, 0, 1)).
    void input(int unit, Texture* texture);
    void input(int unit, const FrameBuffer* buffer);

    // Draws the full-screen quad, releases the inputs and the program,
    // disables the target and flips its counter. Returns the buffer written,
    // now full[1 - fullCnt] or low[1 - lowCnt] (or the scratch target).
    FrameBuffer* draw();

private:
    static constexpr int kMaxInputs = 12;

    int* m_counter;  // null for a scratch target
    FrameBuffer* m_target;
    ShaderProgram* m_program;
    Texture* m_inputs[kMaxInputs] = {};
    int m_inputCount = 0;
    bool m_drawn = false;
};

}  // namespace PostFX
}  // namespace Tarn

#endif
