#include "tarn/postfx/shadersource.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

#include "tarn/diagnostics.h"
#include "tarn/postfx/shadereffect.h"
#include "tarn/vfs.h"

namespace Tarn::PostFX {

namespace {

constexpr const char* Owner = "ShaderSource";
// Deeper than this is taken for a cycle spelt with different paths
// ("a.glsl" including "x/../a.glsl" is caught by normalising, but not every
// spelling is).
constexpr std::size_t MaxIncludeDepth = 32;

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// A line's code with block comments blanked, and the text of its // comment.
// inBlock carries a /* still open to the next line, so that an #include or
// an annotation commented out is left alone.
struct SplitLine {
    std::string code;
    std::string comment;
};

SplitLine splitLine(const std::string& line, bool& inBlock) {
    SplitLine split;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (inBlock) {
            if (line.compare(i, 2, "*/") == 0) {
                inBlock = false;
                split.code += ' ';
                ++i;
            }
        } else if (line.compare(i, 2, "/*") == 0) {
            inBlock = true;
            ++i;
        } else if (line.compare(i, 2, "//") == 0) {
            split.comment = trimmed(line.substr(i + 2));
            break;
        } else {
            split.code += line[i];
        }
    }
    return split;
}

// Lines are read by hand, not with std::regex: libstdc++'s matcher recurses
// once per character a repetition takes, and a line of some 30,000 characters
// (a table in one #define) overflowed the stack
// (ShaderSourceTest.VeryLongLinesAreRead).
bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool isWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

std::size_t skipSpace(const std::string& text, std::size_t at) {
    while (at < text.size() && isSpace(text[at]))
        ++at;
    return at;
}

std::size_t skipWord(const std::string& text, std::size_t at) {
    while (at < text.size() && isWordCharacter(text[at]))
        ++at;
    return at;
}

// The directive's name when code is a preprocessor line ("include"), else "".
std::string directive(const std::string& code) {
    const std::size_t hash = skipSpace(code, 0);
    if (hash == code.size() || code[hash] != '#')
        return {};
    const std::size_t name = skipSpace(code, hash + 1);
    return code.substr(name, skipWord(code, name) - name);
}

// The path of a line `#include "path"`, which directive() named "include";
// false when the line has anything else.
bool includePath(const std::string& code, std::string& path) {
    const std::size_t name = skipSpace(code, skipSpace(code, 0) + 1);
    const std::size_t afterName = skipWord(code, name);
    const std::size_t open = skipSpace(code, afterName);
    if (open == afterName || open == code.size() || code[open] != '"')
        return false;
    const std::size_t close = code.find('"', open + 1);
    if (close == std::string::npos || close == open + 1 ||
        skipSpace(code, close + 1) != code.size())
        return false;
    path = code.substr(open + 1, close - open - 1);
    return true;
}

// The whole text as one finite number.
bool number(const std::string& text, float& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && std::isfinite(value);
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> out;
    for (std::string word; stream >> word;)
        out.push_back(word);
    return out;
}

// The type and name of `uniform [lowp|mediump|highp] TYPE NAME;` with
// nothing after it; false for any other code.
bool declaration(const std::string& code, std::string& type, std::string& name) {
    const std::size_t semicolon = code.find(';');
    if (semicolon == std::string::npos || skipSpace(code, semicolon + 1) != code.size())
        return false;
    std::vector<std::string> parts = words(code.substr(0, semicolon));
    if (parts.size() == 4 && (parts[1] == "lowp" || parts[1] == "mediump" || parts[1] == "highp"))
        parts.erase(parts.begin() + 1);
    const auto isWord = [](const std::string& part) {
        return std::all_of(part.begin(), part.end(), isWordCharacter);
    };
    if (parts.size() != 3 || parts[0] != "uniform" || !isWord(parts[1]) || !isWord(parts[2]))
        return false;
    type = parts[1];
    name = parts[2];
    return true;
}

// "float" 1, "vec2" to "vec4" 2 to 4, anything else 0.
int components(const std::string& type) {
    if (type == "float")
        return 1;
    if (type.size() == 4 && type.compare(0, 3, "vec") == 0 && type[3] >= '2' && type[3] <= '4')
        return type[3] - '0';
    return 0;
}

// Archive paths are compared as written once "./" and "x/.." are gone.
std::string normalised(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().generic_string();
}

}  // namespace

bool ShaderSource::load(const std::string& path) {
    *this = ShaderSource();
    // Without an archive open, a throw-away VFS still serves loose files.
    VFS* vfs = VFS::tarnVFS;
    VFS looseOnly("", false);
    m_vfs = vfs ? vfs : &looseOnly;
    std::vector<std::string> including;
    const std::string shader = normalised(path);
    if (!f_expand(shader, including))
        f_error(shader, 0, "cannot read the shader");
    m_vfs = nullptr;
    return m_errors.empty();
}

std::pair<std::string, int> ShaderSource::origin(int expandedLine) const {
    if (expandedLine < 1 || expandedLine > static_cast<int>(m_lines.size()))
        return {std::string(), 0};
    const Origin& from = m_lines[expandedLine - 1];
    return {m_files[from.file], from.line};
}

// Asks exists first so that a missing include is our one line at the
// including file, not the archive's own report without a place. Paths under
// "tarn/" are the engine's own includes, never read from the content.
bool ShaderSource::f_expand(const std::string& path, std::vector<std::string>& including) {
    std::string source;
    if (path.rfind("tarn/", 0) == 0) {
        const char* builtIn = builtInInclude(path);
        if (!builtIn)
            return false;
        source = builtIn;
    } else if (!m_vfs->exists(path) || !m_vfs->readScript(path, source)) {
        return false;
    }
    auto known = std::find(m_files.begin(), m_files.end(), path);
    if (known == m_files.end())
        known = m_files.insert(m_files.end(), path);
    const int file = static_cast<int>(known - m_files.begin());
    including.push_back(path);
    std::istringstream lines(source);
    bool inBlock = false;
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const bool commentedOut = inBlock;
        const SplitLine split = splitLine(line, inBlock);
        const std::string name = commentedOut ? std::string() : directive(split.code);
        if (name == "version")
            continue;
        if (name == "include") {
            f_include(split.code, path, number, including);
            continue;
        }
        if (!split.comment.empty() && split.comment[0] == '@')
            f_annotate(split.code, split.comment, path, number);
        m_text += line;
        m_text += '\n';
        m_lines.push_back({file, number});
    }
    including.pop_back();
    return true;
}

void ShaderSource::f_include(const std::string& code, const std::string& file, int line,
                             std::vector<std::string>& including) {
    std::string written;
    if (!includePath(code, written))
        return f_error(file, line, "#include needs one path in double quotes");
    const std::string path = normalised(written);
    if (std::find(including.begin(), including.end(), path) != including.end()) {
        std::string cycle;
        for (auto it = std::find(including.begin(), including.end(), path); it != including.end();
             ++it)
            cycle += *it + " -> ";
        return f_error(file, line, "include cycle: " + cycle + path);
    }
    if (including.size() >= MaxIncludeDepth)
        return f_error(file, line,
                       "includes nested deeper than " + std::to_string(MaxIncludeDepth));
    if (!f_expand(path, including))
        f_error(file, line, "cannot read included file \"" + path + "\"");
}

void ShaderSource::f_annotate(const std::string& code, const std::string& comment,
                              const std::string& file, int line) {
    const std::size_t space = comment.find_first_of(" \t");
    const std::string word = comment.substr(0, space);
    const std::string args = space == std::string::npos ? "" : trimmed(comment.substr(space));
    if (word != "@param" && word != "@image")
        return f_error(file, line,
                       "unknown annotation \"" + word + "\"" +
                           Diagnostics::suggestion(word, {"@param", "@image"}));
    std::string type, name;
    if (!declaration(code, type, name))
        return f_error(file, line, word + " needs \"uniform <type> <name>;\" on its line");
    if (word == "@image") {
        if (type != "sampler2D")
            return f_error(file, line, "@image needs a sampler2D; " + name + " is a " + type);
        if (args.empty() || words(args).size() != 1)
            return f_error(file, line, "@image needs one path");
        m_images.push_back({name, args});
        return;
    }
    Parameter parameter;
    parameter.uniform = name;
    parameter.components = components(type);
    if (parameter.components == 0)
        return f_error(file, line,
                       "@param needs a float, vec2, vec3 or vec4; " + name + " is a " + type);
    const std::size_t equals = args.find('=');
    const std::string range = trimmed(args.substr(0, equals));
    std::string bounds = range;
    bounds.erase(
        std::remove_if(bounds.begin(), bounds.end(), [](char c) { return c == ' ' || c == '\t'; }),
        bounds.end());
    const std::size_t dots = bounds.find("..");
    if (dots == std::string::npos || !number(bounds.substr(0, dots), parameter.minimum) ||
        !number(bounds.substr(dots + 2), parameter.maximum) ||
        parameter.minimum > parameter.maximum)
        return f_error(file, line, "bad range \"" + range + "\": give minimum..maximum");
    if (equals == std::string::npos) {
        for (int i = 0; i < parameter.components; ++i)
            parameter.defaults[i] = std::clamp(0.0f, parameter.minimum, parameter.maximum);
        m_parameters.push_back(parameter);
        return;
    }
    const std::vector<std::string> values = words(args.substr(equals + 1));
    if (static_cast<int>(values.size()) != parameter.components)
        return f_error(file, line,
                       name + " is a " + type + ": give " + std::to_string(parameter.components) +
                           " default value" + (parameter.components > 1 ? "s" : ""));
    for (int i = 0; i < parameter.components; ++i) {
        float& value = parameter.defaults[i];
        if (!number(values[i], value))
            return f_error(file, line, "bad default \"" + values[i] + "\"");
        if (value < parameter.minimum || value > parameter.maximum)
            return f_error(file, line, "default " + values[i] + " is outside " + range);
    }
    m_parameters.push_back(parameter);
}

void ShaderSource::f_error(const std::string& file, int line, const std::string& what) {
    Diagnostics::problemAt(Owner, file, line, what);
    m_errors.push_back(file + (line ? ":" + std::to_string(line) : std::string()) + ": " + what);
}

std::vector<std::string> ShaderSource::mapLog(const std::string& log, int preludeLines) const {
    // Each form with the groups of its line and severity; the message is
    // the rest of the line. Mesa writes "preprocessor error" for what its
    // preprocessor finds. Only a line's head goes through the regex, whose
    // matcher recurses per character (see the line readers above): a form
    // needs far less, and a message may quote a long line of the shader.
    // Each form is matched from the head's first character on.
    constexpr std::size_t HeadLength = 256;
    static const struct {
        int line, severity;
        std::regex form;
    } forms[] = {
        {1, 2,
         std::regex(R"(\s*\d+:(\d+)\(\d+\)\s*:\s*(?:preprocessor\s+)?(error|warning)\s*:\s*)")},
        {1, 2, std::regex(R"(\s*\d+\((\d+)\)\s*:\s*(error|warning)\s*(?:C\d+)?\s*:\s*)")},
        {2, 1, std::regex(R"(\s*(ERROR|WARNING)\s*:\s*\d+:(\d+)\s*:\s*)")},
    };
    std::vector<std::string> mapped;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (trimmed(line).empty())
            continue;
        std::string placed = line;
        const std::string head = line.substr(0, HeadLength);
        for (const auto& known : forms) {
            std::smatch match;
            if (!std::regex_search(head, match, known.form, std::regex_constants::match_continuous))
                continue;
            const std::string digits = match[known.line].str();
            int at = 0;
            if (std::from_chars(digits.data(), digits.data() + digits.size(), at).ec != std::errc())
                break;  // a line number too large for int: left as the driver wrote it
            std::string severity = match[known.severity].str();
            std::transform(severity.begin(), severity.end(), severity.begin(), ::tolower);
            std::string where = "<prelude>:" + std::to_string(at);
            if (at > preludeLines && !m_lines.empty()) {
                const auto [file, fileLine] =
                    origin(std::min(at - preludeLines, static_cast<int>(m_lines.size())));
                where = file + ":" + std::to_string(fileLine);
            }
            placed = where + ": " + severity + ": " + line.substr(match.length(0));
            break;
        }
        mapped.push_back(placed);
    }
    return mapped;
}

}  // namespace Tarn::PostFX
