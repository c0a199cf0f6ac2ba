#include "tarn/postfx/pass.h"

#include <cassert>

#include <GL/glew.h>

#include "tarn/framebuffer.h"
#include "tarn/graphics/fullscreenquad.h"
#include "tarn/shader.h"
#include "tarn/shaderprogram.h"
#include "tarn/texture.h"

namespace Tarn::PostFX {

ShaderProgram* buildProgram(const ProgramSource& source) {
    const char* vertex =
        source.vertex ? source.vertex : Graphics::FullscreenQuad::vertexShaderSource();
    auto* program = new ShaderProgram(source.name);
    program->set(new Shader(Shader::VERTEX_SHADER, vertex));
    program->set(new Shader(Shader::FRAGMENT_SHADER, source.fragment));
    program->link();
    if (!program->linked())
        return program;
    program->bind();
    for (const Sampler& sampler : source.samplers)
        program->uniform(sampler.name, sampler.unit);
    program->release();
    return program;
}

Pass::Pass(Chain::Buffers& buffers, Resolution resolution, ShaderProgram* program)
    : Pass(buffers,
           resolution == Full ? buffers.full[buffers.fullCnt] : buffers.low[buffers.lowCnt],
           program) {
    m_counter = resolution == Full ? &buffers.fullCnt : &buffers.lowCnt;
}

Pass::Pass(Chain::Buffers& buffers, FrameBuffer* target, ShaderProgram* program)
    : m_counter(nullptr), m_target(target),
      m_program(program && program->linked() ? program : nullptr) {
    // Clearing the target first would wipe the image the effect starts from.
    assert(!target || target != buffers.in);
    (void)buffers;
    if (m_target)
        m_target->enable();
    if (m_program)
        m_program->bind();
}

Pass::~Pass() {
    if (!m_drawn)
        draw();
}

void Pass::uniform(std::string_view name, float value) {
    if (m_program)
        m_program->uniform(name, value);
}

void Pass::uniform(std::string_view name, float x, float y, float z, float w) {
    if (m_program)
        m_program->uniform(name, x, y, z, w);
}

void Pass::uniform(std::string_view name, const float* matrix) {
    if (m_program)
        m_program->uniform(name, matrix);
}

ShaderProgram* Pass::program() const {
    return m_program;
}

void Pass::input(int unit, Texture* texture) {
    if (!texture) {
        // Whatever an earlier pass left on the unit must not be read instead.
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(GL_TEXTURE_2D, 0);
        return;
    }
    if (m_inputCount == kMaxInputs)
        return;
    texture->bind(static_cast<unsigned int>(unit));
    m_inputs[m_inputCount++] = texture;
}

void Pass::input(int unit, const FrameBuffer* buffer) {
    input(unit, buffer ? buffer->target(0) : nullptr);
}

FrameBuffer* Pass::draw() {
    if (m_drawn)
        return m_target;
    m_drawn = true;
    // Without a linked program nothing is drawn: the target stays opaque
    // black, which shows on screen where the reported failure is.
    if (m_program)
        Graphics::FullscreenQuad::draw();
    // Each release unbinds from the unit its own bind used.
    for (int i = m_inputCount - 1; i >= 0; --i)
        m_inputs[i]->release();
    if (m_program)
        m_program->release();
    if (m_target)
        m_target->disable();
    if (m_counter)
        *m_counter = 1 - *m_counter;
    return m_target;
}

}  // namespace Tarn::PostFX
