#ifndef TARN_POSTFX_SHADERSOURCE_H
#define TARN_POSTFX_SHADERSOURCE_H

// A content fragment shader as the shader effect compiles it: the file read
// through the archive with its includes expanded, the parameters and images
// its annotations ask for, and the way back from a line of the compiled text
// to the file and line a maker wrote. The effect owns one per shader and
// loads it again when a file changes; no GL is involved.
//
// Driver logs are mapped through our own table of expanded lines rather than
// #line directives: Mesa keeps #line's line number but loses or scrambles its
// source-string number, and #line N "file" needs an extension most drivers lack.

#include <string>
#include <utility>
#include <vector>

namespace Tarn {

class VFS;

namespace PostFX {

class ShaderSource {
public:
    // From `uniform float uGlow; // @param 0..4 = 1.2`. A vec2, vec3 or vec4
    // gives one default per component ("= 1 0 0"); the range applies to each.
    // Without "= ..." each default is 0 brought into the range.
    struct Parameter {
        std::string uniform;
        int components = 1;  // 1 to 4
        float minimum = 0.0f;
        float maximum = 0.0f;
        float defaults[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    };
    // From `uniform sampler2D uNoise; // @image assets/noise.png`.
    struct Image {
        std::string sampler;
        std::string path;
    };

    // Reads path through VFS::tarnVFS (loose files only when there is none),
    // replacing each `#include "path"` line by that file (archive paths, as
    // every content path; nested) and dropping every #version line: the
    // effect writes its own prelude. A missing include, an include cycle or
    // an annotation that cannot be read is an error at its file and line,
    // printed as "[ShaderSource] file:line: message" and kept in errors().
    // False when there is any; text() then holds what could be read.
    bool load(const std::string& path);

    // The expanded text, without prelude; every line ends with '\n'.
    const std::string& text() const { return m_text; }
    // The file and line that line n (1-based) of text() came from;
    // {"", 0} outside it.
    std::pair<std::string, int> origin(int expandedLine) const;
    // Every file read, the shader first, each once: what to watch.
    const std::vector<std::string>& files() const { return m_files; }
    const std::vector<Parameter>& parameters() const { return m_parameters; }
    const std::vector<Image>& images() const { return m_images; }
    // "file:line: message" (or "file: message" when the shader itself
    // cannot be read), in the order met.
    const std::vector<std::string>& errors() const { return m_errors; }

    // A driver's compile log with every line in a known form, Mesa
    // "0:L(C): error: msg", NVIDIA "0(L) : error C0000: msg" or AMD and
    // Intel "ERROR: 0:L: msg", rewritten as "file:line: error: msg" (or
    // warning). L counts lines of the compiled text, of which the first
    // preludeLines are the effect's prelude ("<prelude>:L"); a line past
    // the end is placed at the last line. The source-string number is
    // ignored. Lines in no known form come back unchanged; empty lines are
    // dropped.
    std::vector<std::string> mapLog(const std::string& log, int preludeLines) const;

private:
    struct Origin {
        int file;  // index into m_files
        int line;
    };

    // Appends the file's lines to the text; false when it cannot be read.
    bool f_expand(const std::string& path, std::vector<std::string>& including);
    void f_include(const std::string& code, const std::string& file, int line,
                   std::vector<std::string>& including);
    void f_annotate(const std::string& code, const std::string& comment, const std::string& file,
                    int line);
    void f_error(const std::string& file, int line, const std::string& what);

    VFS* m_vfs = nullptr;  // while loading
    std::string m_text;
    std::vector<Origin> m_lines;
    std::vector<std::string> m_files;
    std::vector<Parameter> m_parameters;
    std::vector<Image> m_images;
    std::vector<std::string> m_errors;
};

}  // namespace PostFX
}  // namespace Tarn

#endif
