#ifndef TARN_SHADER_H
#define TARN_SHADER_H

// The GLSL source of one pipeline stage, compiled by the program that links
// it. Created with new by whoever builds the program, which does not own it.

#include <string>

namespace Tarn {

class Shader {
public:
    enum ShaderType {
        VERTEX_SHADER = 0,
        TESS_CONTROL_SHADER = 1,
        TESS_EVALUATION_SHADER = 2,
        GEOMETRY_SHADER = 3,
        FRAGMENT_SHADER = 4,
    };

    // Copies the source; makes no GL object yet.
    Shader(ShaderType type, const std::string& source);
    ~Shader();
    Shader(const Shader&) = delete;
    Shader& operator=(const Shader&) = delete;

    // Compiles into a new GL shader object; on failure prints
    // "<Stage> Shader for program "<progName>" failed to compile :" and the
    // driver's log. Called by ShaderProgram::link. For tests, with
    // TARN_SHADER_DUMP_DIR set, the source is also written to that folder
    // as the driver receives it (shader.cpp says how it is named).
    void compile(const std::string& progName);

    bool compiled() const { return m_compiled; }
    ShaderType type() const { return m_type; }
    // "Vertex", "Fragment", ... once compile has run; empty before.
    std::string typeString() const { return m_typeString; }
    // The driver's log of the last failed compile; empty otherwise.
    const std::string& log() const { return m_log; }
    // Quiet: a failed compile is not printed, only kept in log(), for
    // callers that report it themselves (content shaders map it back to
    // their files and lines).
    void setQuiet(bool quiet) { m_quiet = quiet; }

    // The GL shader object, or 0 unless the last compile succeeded.
    unsigned int id() const { return m_compiled ? m_shaderId : 0; }

private:
    ShaderType m_type;
    std::string m_typeString;
    std::string m_source;
    unsigned int m_shaderId;
    bool m_compiled;
    bool m_quiet = false;
    std::string m_log;
};

}  // namespace Tarn

#endif
