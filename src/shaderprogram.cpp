#include "tarn/shaderprogram.h"

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <GL/glew.h>

#include "tarn/diagnostics.h"
#include "tarn/loadingpace.h"

namespace Tarn {

int ShaderProgram::ms_live = 0;

ShaderProgram::ShaderProgram(const std::string& name)
    : m_name(name), m_programId(0), m_linked(false) {
    ++ms_live;
}

ShaderProgram::~ShaderProgram() {
    --ms_live;
    if (m_programId)
        glDeleteProgram(m_programId);
}

void ShaderProgram::set(Shader* shader) {
    m_shaders.push_back(shader);
}

void ShaderProgram::link() {
    // A second link replaces the program object, and locations found for
    // the old one no longer hold (ShaderProgramGLTest.RelinkDropsCachedLocations).
    if (m_programId)
        glDeleteProgram(m_programId);
    m_uniforms.clear();
    m_linked = false;
    m_programId = glCreateProgram();
    bool allCompiled = true;
    for (Shader* shader : m_shaders) {
        if (!shader)
            continue;
        shader->compile(m_name);
        // A stage that failed to compile has no object to attach.
        if (shader->compiled())
            glAttachShader(m_programId, shader->id());
        else
            allCompiled = false;
    }
    glLinkProgram(m_programId);
    GLint status = GL_FALSE;
    glGetProgramiv(m_programId, GL_LINK_STATUS, &status);
    m_linked = allCompiled && status == GL_TRUE;
    // Stages stay with their owner; the linked program no longer needs them.
    for (Shader* shader : m_shaders)
        if (shader && shader->compiled())
            glDetachShader(m_programId, shader->id());
    if (m_linked) {
        LoadingPace::step();
        return;
    }

    std::cout << "Shader program \"" << m_name << "\"failed to link :" << std::endl;
    GLint length = 0;
    glGetProgramiv(m_programId, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 1), '\0');
    glGetProgramInfoLog(m_programId, static_cast<GLsizei>(buffer.size()), nullptr, buffer.data());
    std::string log = buffer.data();
    if (log.empty() && !allCompiled)
        log = "a stage did not compile";
    std::cout << log << std::endl;
    LoadingPace::step();
}

void ShaderProgram::bind() {
    if (m_linked)
        glUseProgram(m_programId);
}

void ShaderProgram::release() {
    glUseProgram(0);
}

int ShaderProgram::f_lookup(std::string_view name) {
    auto found = m_uniforms.find(name);
    if (found == m_uniforms.end()) {
        // An unlinked program has no uniforms, and asking GL would be an error.
        ShaderVariable variable;
        std::string key(name);
        variable.location = m_linked ? glGetUniformLocation(m_programId, key.c_str()) : -1;
        found = m_uniforms.emplace(std::move(key), variable).first;
    }
    return found->second.location;
}

int ShaderProgram::f_location(std::string_view name, const char* tag) {
    const int location = f_lookup(name);
    if (location < 0)
        Diagnostics::note(std::string("!!!!!!!!!!!!!!! ") + tag,
                          "Cannot find location for uniform \"" + std::string(name) +
                              "\" in shader \"" + m_name + "\"");
    return location;
}

void ShaderProgram::uniform(std::string_view name, float x) {
    const int location = f_location(name, "1f");
    if (location >= 0)
        glUniform1f(location, x);
}

void ShaderProgram::uniform(std::string_view name, float x, float y) {
    const int location = f_location(name, "2f");
    if (location >= 0)
        glUniform2f(location, x, y);
}

void ShaderProgram::uniform(std::string_view name, float x, float y, float z) {
    const int location = f_location(name, "3f");
    if (location >= 0)
        glUniform3f(location, x, y, z);
}

void ShaderProgram::uniform(std::string_view name, float x, float y, float z, float w) {
    const int location = f_location(name, "4f");
    if (location >= 0)
        glUniform4f(location, x, y, z, w);
}

void ShaderProgram::uniform(std::string_view name, int x) {
    const int location = f_location(name, "1i");
    if (location >= 0)
        glUniform1i(location, x);
}

void ShaderProgram::uniform(std::string_view name, int x, int y) {
    const int location = f_location(name, "2i");
    if (location >= 0)
        glUniform2i(location, x, y);
}

void ShaderProgram::uniform(std::string_view name, int x, int y, int z) {
    const int location = f_location(name, "3i");
    if (location >= 0)
        glUniform3i(location, x, y, z);
}

void ShaderProgram::uniform(std::string_view name, int x, int y, int z, int w) {
    const int location = f_location(name, "4i");
    if (location >= 0)
        glUniform4i(location, x, y, z, w);
}

void ShaderProgram::uniform(std::string_view name, const float* matrix) {
    const int location = f_location(name, "M4fv");
    if (location >= 0 && matrix)
        glUniformMatrix4fv(location, 1, GL_FALSE, matrix);
}

int ShaderProgram::attribute(const std::string& name) {
    return m_attributes[name].location;
}

}  // namespace Tarn
