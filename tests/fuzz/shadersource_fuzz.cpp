// Reads a content shader made of arbitrary files and maps an arbitrary driver
// log through it, aborting when something that must hold for any input does
// not. The input is up to four parts separated by backticks, a byte no shader
// or log needs: the shader a.frag, the files b.glsl and c.glsl it may include
// (and that may include each other, or themselves), and the log. Every line
// of the expanded text must be the line of the file its origin names, every
// parameter finite and in its range, a second load must read the same, and
// each mapped log line is either the driver's own or placed at a file that
// was read. shadersource_test replays tests/fuzz/regressions/shadersource_fuzz/
// through readShaderFiles.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <tarn/postfx/shadereffect.h>
#include <tarn/postfx/shadersource.h>
#include <tarn/vfs.h>

namespace {

using Tarn::PostFX::ShaderSource;

void check(bool condition) {
    if (!condition)
        std::abort();
}

// The lines of text split on '\n'. A file's lines as ShaderSource reads them
// (and a driver's log as mapLog reads it, without its NUL bytes) lose one
// '\r' before the '\n'; the expanded text's lines are kept as they are.
enum class Split { AsIs, File, Log };
std::vector<std::string> linesOf(const std::string& text, Split split) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (split == Split::Log)
            line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
        if (split != Split::AsIs && !line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// What the file says now: the engine's own include, or the file read
// through the archive.
std::string fileText(const std::string& path) {
    if (const char* builtIn = Tarn::PostFX::builtInInclude(path))
        return builtIn;
    std::string text;
    check(Tarn::VFS::tarnVFS->readScript(path, text));
    return text;
}

bool startsWithFile(const std::string& line, const std::vector<std::string>& files) {
    for (const std::string& file : files)
        if (line.rfind(file + ":", 0) == 0)
            return true;
    return false;
}

void checkParameters(const ShaderSource& source) {
    for (const ShaderSource::Parameter& parameter : source.parameters()) {
        check(!parameter.uniform.empty());
        check(parameter.components >= 1 && parameter.components <= 4);
        check(std::isfinite(parameter.minimum) && std::isfinite(parameter.maximum));
        check(parameter.minimum <= parameter.maximum);
        for (int i = 0; i < parameter.components; ++i)
            check(parameter.defaults[i] >= parameter.minimum &&
                  parameter.defaults[i] <= parameter.maximum);
    }
    for (const ShaderSource::Image& image : source.images())
        check(!image.sampler.empty() && !image.path.empty() &&
              image.path.find_first_of(" \t") == std::string::npos);
}

// Every expanded line is the line its origin names, in a file of files().
void checkOrigins(const ShaderSource& source) {
    const std::vector<std::string>& files = source.files();
    for (std::size_t i = 0; i < files.size(); ++i)
        for (std::size_t j = i + 1; j < files.size(); ++j)
            check(files[i] != files[j]);
    const std::string& text = source.text();
    check(text.empty() || text.back() == '\n');
    const std::vector<std::string> expanded = linesOf(text, Split::AsIs);
    for (std::size_t n = 1; n <= expanded.size(); ++n) {
        const auto [file, line] = source.origin(static_cast<int>(n));
        check(std::find(files.begin(), files.end(), file) != files.end() && line >= 1);
        const std::vector<std::string> lines = linesOf(fileText(file), Split::File);
        check(static_cast<std::size_t>(line) <= lines.size() && lines[line - 1] == expanded[n - 1]);
    }
    const int count = static_cast<int>(expanded.size());
    for (int outside : {INT_MIN, -1, 0, count + 1, INT_MAX})
        check(source.origin(outside) == std::make_pair(std::string(), 0));
    for (const std::string& error : source.errors())
        check(startsWithFile(error, files) || error.rfind("a.frag:", 0) == 0);
}

void checkMappedLog(const ShaderSource& source, const std::string& log, int preludeLines) {
    const std::vector<std::string> driverLines = linesOf(log, Split::Log);
    const std::vector<std::string> mapped = source.mapLog(log, preludeLines);
    check(mapped.size() <= driverLines.size());
    for (const std::string& line : mapped)
        check(!line.empty() &&
              (std::find(driverLines.begin(), driverLines.end(), line) != driverLines.end() ||
               line.rfind("<prelude>:", 0) == 0 || startsWithFile(line, source.files())));
}

// Needs VFS::tarnVFS; writes the parts as loose files through it.
void readShaderFiles(const std::string& input) {
    static const char* const names[] = {"a.frag", "b.glsl", "c.glsl"};
    std::vector<std::string> parts(4);
    std::size_t part = 0;
    for (char c : input) {
        if (c == '`' && part < 3)
            ++part;
        else
            parts[part] += c;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        std::ofstream out(Tarn::VFS::tarnVFS->loosePath(names[i]), std::ios::binary);
        out << parts[i];
        if (!out)
            return;
    }
    ShaderSource source;
    check(source.load("a.frag") == source.errors().empty());
    checkOrigins(source);
    checkParameters(source);
    for (int preludeLines : {0, 3})
        checkMappedLog(source, parts[3], preludeLines);

    ShaderSource again;
    again.load("a.frag");
    check(again.text() == source.text() && again.files() == source.files() &&
          again.errors() == source.errors() &&
          again.parameters().size() == source.parameters().size() &&
          again.images().size() == source.images().size());
}

}  // namespace

#ifndef TARN_SHADERSOURCE_FUZZ_NO_MAIN
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The files live in a folder of the process's own, left to its exit.
    static Tarn::VFS* vfs = [] {
        const std::string folder =
            "/tmp/tarn_shadersource_fuzz_" + std::to_string(static_cast<long>(getpid()));
        std::filesystem::create_directories(folder);
        auto* archive = new Tarn::VFS("", false);
        archive->setLooseRoot(folder);
        return archive;
    }();
    (void)vfs;
    readShaderFiles(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
#endif
