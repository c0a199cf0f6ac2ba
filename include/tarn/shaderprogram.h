#ifndef TARN_SHADERPROGRAM_H
#define TARN_SHADERPROGRAM_H

// A named GLSL program: stages are set, then compiled and linked in one call;
// uniforms are set by name on the current program. A program that failed to
// link stays harmless: bind does nothing and uniform calls only report.
// Does not own its stages. Built while loading (or on first use), kept to exit.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tarn/shader.h"
#include "tarn/shadervariable.h"

namespace Tarn {

class ShaderProgram {
public:
    explicit ShaderProgram(const std::string& name);
    ~ShaderProgram();
    ShaderProgram(const ShaderProgram&) = delete;
    ShaderProgram& operator=(const ShaderProgram&) = delete;

    unsigned int id() const { return m_programId; }
    const std::string& name() const { return m_name; }
    // Programs alive in the process.
    static int liveCount() { return ms_live; }

    // Appends a stage; the program does not take ownership.
    void set(Shader* shader);
    // Compiles every stage and links a new program object. On failure prints
    // "Shader program "<name>"failed to link :" and the driver's log.
    void link();
    bool linked() const { return m_linked; }

    // Makes the program current when linked; otherwise changes nothing.
    void bind();
    // Makes no program current.
    void release();

    // Set a uniform of the current program (bind first). Names are looked
    // up without copying, so a pass that runs every frame allocates nothing
    // whatever the name's length. A name the linked program does not have
    // prints "[!!!!!!!!!!!!!!! <tag>] Cannot find location for uniform ..."
    // at every call and changes nothing.
    void uniform(std::string_view name, float x);
    void uniform(std::string_view name, float x, float y);
    void uniform(std::string_view name, float x, float y, float z);
    void uniform(std::string_view name, float x, float y, float z, float w);
    void uniform(std::string_view name, int x);
    void uniform(std::string_view name, int x, int y);
    void uniform(std::string_view name, int x, int y, int z);
    void uniform(std::string_view name, int x, int y, int z, int w);
    // 16 floats, a column-major 4x4 matrix as GLM stores it.
    void uniform(std::string_view name, const float* matrix);
    // Whether the linked program has the uniform (compilers drop the ones
    // a shader declares and never reads); looked up once, prints nothing.
    bool hasUniform(std::string_view name) { return f_lookup(name) >= 0; }

    // Location of a named attribute record; attributes are placed with
    // layout qualifiers, so nothing fills the records and this returns 0.
    int attribute(const std::string& name);

private:
    // The location from the cache, looked up once per link; never prints.
    int f_lookup(std::string_view name);
    // The uniform's location, looked up once per link; -1 (after printing
    // the tagged line) when the program has no such uniform.
    int f_location(std::string_view name, const char* tag);

    static int ms_live;

    std::string m_name;
    unsigned int m_programId;
    bool m_linked;
    std::vector<Shader*> m_shaders;
    std::map<std::string, ShaderVariable, std::less<>> m_uniforms;
    std::map<std::string, ShaderVariable> m_attributes;
};

}  // namespace Tarn

#endif
