#include "tarn/shader.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include <GL/glew.h>

namespace Tarn {

namespace {

struct StageInfo {
    GLenum glType;
    const char* name;
    const char* extension;  // the one glslangValidator reads the stage from
};

StageInfo stageInfo(Shader::ShaderType type) {
    switch (type) {
    case Shader::VERTEX_SHADER:
        return {GL_VERTEX_SHADER, "Vertex", "vert"};
    case Shader::TESS_CONTROL_SHADER:
        return {GL_TESS_CONTROL_SHADER, "Tesselation Control", "tesc"};
    case Shader::TESS_EVALUATION_SHADER:
        return {GL_TESS_EVALUATION_SHADER, "Tesselation Evaluation", "tese"};
    case Shader::GEOMETRY_SHADER:
        return {GL_GEOMETRY_SHADER, "Geometry", "geom"};
    case Shader::FRAGMENT_SHADER:
        return {GL_FRAGMENT_SHADER, "Fragment", "frag"};
    }
    return {0, "", "glsl"};
}

// For tests only: with TARN_SHADER_DUMP_DIR naming an existing folder, every
// source is also written there exactly as the driver receives it, as
// PROGRAM-HASH.STAGE (hash: 64-bit FNV-1a of the source), so that a test can
// run the reference compiler over every program the engine and the demo
// build (ReferenceCompilerGLTest). Unset, it costs one getenv per compile.
void dumpSource(const std::string& program, const StageInfo& stage, const std::string& source) {
    const char* folder = std::getenv("TARN_SHADER_DUMP_DIR");
    if (!folder || !*folder)
        return;
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : source)
        hash = (hash ^ c) * 1099511628211ull;
    std::string name;
    for (const char c : program)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, "-%016llx.%s", static_cast<unsigned long long>(hash),
                  stage.extension);
    const std::string path = std::string(folder) + "/" + name + suffix;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file && std::fwrite(source.data(), 1, source.size(), file) == source.size();
    if (file)
        written = std::fclose(file) == 0 && written;
    if (!written)
        std::cout << "[Shader] " << path << ": cannot write the source for TARN_SHADER_DUMP_DIR"
                  << std::endl;
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
    dumpSource(progName, info, m_source);
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
