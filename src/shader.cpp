#include "tarn/shader.h"

#include <iostream>
#include <vector>

#include <GL/glew.h>

namespace Tarn {

namespace {

struct StageInfo {
    GLenum glType;
    const char* name;
};

StageInfo stageInfo(Shader::ShaderType type) {
    switch (type) {
    case Shader::VERTEX_SHADER:
        return {GL_VERTEX_SHADER, "Vertex"};
    case Shader::TESS_CONTROL_SHADER:
        return {GL_TESS_CONTROL_SHADER, "Tesselation Control"};
    case Shader::TESS_EVALUATION_SHADER:
        return {GL_TESS_EVALUATION_SHADER, "Tesselation Evaluation"};
    case Shader::GEOMETRY_SHADER:
        return {GL_GEOMETRY_SHADER, "Geometry"};
    case Shader::FRAGMENT_SHADER:
        return {GL_FRAGMENT_SHADER, "Fragment"};
    }
    return {0, ""};
}

}  // namespace

Shader::Shader(ShaderType type, const std::string& source)
    : m_type(type), m_source(source), m_shaderId(0), m_compiled(false) {}

Shader::~Shader() {
    if (m_shaderId)
        glDeleteShader(m_shaderId);
}

void Shader::compile(const std::string& progName) {
    const StageInfo info = stageInfo(m_type);
    m_typeString = info.name;
    // Compiling again replaces the earlier object instead of leaking it.
    if (m_shaderId)
        glDeleteShader(m_shaderId);
    m_compiled = false;
    m_log.clear();
    m_shaderId = info.glType ? glCreateShader(info.glType) : 0;
    if (m_shaderId) {
        const char* source = m_source.c_str();
        glShaderSource(m_shaderId, 1, &source, nullptr);
        glCompileShader(m_shaderId);
        GLint status = GL_FALSE;
        glGetShaderiv(m_shaderId, GL_COMPILE_STATUS, &status);
        m_compiled = status == GL_TRUE;
    }
    if (m_compiled)
        return;

    std::string log;
    if (m_shaderId) {
        GLint length = 0;
        glGetShaderiv(m_shaderId, GL_INFO_LOG_LENGTH, &length);
        std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 1), '\0');
        glGetShaderInfoLog(m_shaderId, static_cast<GLsizei>(buffer.size()), nullptr, buffer.data());
        log = buffer.data();
    } else {
        log = "no shader object could be created for this stage";
    }
    m_log = log;
    if (m_quiet)
        return;
    std::cout << m_typeString << " Shader for program \"" << progName
              << "\" failed to compile :" << std::endl;
    std::cout << log << std::endl;
}

}  // namespace Tarn
