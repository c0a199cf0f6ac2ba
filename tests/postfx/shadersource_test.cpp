// Content shaders without GL: includes expanded with every line traced to
// its file, annotations read or refused at their line, and driver logs
// mapped back through the includes; and the fuzz target's saved inputs.

#include "tarn/postfx/shadersource.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fuzz_inputs.h"
#include "support/scratch_folder.h"
#include "tarn/diagnostics.h"
#include "tarn/vfs.h"

#define TARN_SHADERSOURCE_FUZZ_NO_MAIN
#include "fuzz/shadersource_fuzz.cpp"

namespace {

using Tarn::PostFX::ShaderSource;

// Each row loads one shader; origins lists every expanded line's file:line.
TEST(ShaderSourceTest, IncludesAndAnnotationsAreTracedToTheirLines) {
    Tarn::Test::ScratchFolder folder;
    Tarn::Test::writeLooseFiles({
        {"range.frag",
         "#version 330\nuniform float uA; // @param 4..0\nuniform float uB; // @param 0..1 = 2\n"},
        {"inc.frag", "#include \"lib/a.glsl\"\nvoid main() {}\n"},
        {"lib/a.glsl",
         "#version 330\n/*\n#include \"x\"\n*/ float a;\n#include \"./lib/b.glsl\"\n"},
        {"lib/b.glsl", "\nuniform sampler2D uS; // @param 0..1\n"},
        {"missing.frag",
         "float m;\n#include \"d.glsl\"\n#include \"d.glsl\"\n  #  include \"lib/none.glsl\"\n"},
        {"d.glsl", "d;\n"},
        {"c1.glsl", "#include \"c2.glsl\"\n"},
        {"c2.glsl", "x;\n#include \"c1.glsl\"\n"},
        {"unknown.frag", "uniform float uU; // @parm 0..1\n"},
        {"good.frag", "uniform float uGlow; // @param 0..4 = 1.2\r\n"
                      "uniform highp vec3 uTint; // @param -1 .. 1 = 1 0 -0.5\n"
                      "uniform vec2 uOff; // @param 2..3\n"
                      "uniform sampler2D uNoise; // @image assets/noise.png\n"},
    });
    const struct {
        const char* shader;
        std::vector<std::string> errors;
        std::string origins, parameters = "", images = "";
    } rows[] = {
        {"range.frag",
         {"range.frag:2: bad range \"4..0\": give minimum..maximum",
          "range.frag:3: default 2 is outside 0..1"},
         "range.frag:2 range.frag:3"},
        {"inc.frag",
         {"lib/b.glsl:2: @param needs a float, vec2, vec3 or vec4; uS is a sampler2D"},
         "lib/a.glsl:2 lib/a.glsl:3 lib/a.glsl:4 lib/b.glsl:1 lib/b.glsl:2 "
         "inc.frag:2"},
        {"missing.frag",
         {"missing.frag:4: cannot read included file \"lib/none.glsl\""},
         "missing.frag:1 d.glsl:1 d.glsl:1"},
        {"c1.glsl", {"c2.glsl:2: include cycle: c1.glsl -> c2.glsl -> c1.glsl"}, "c2.glsl:1"},
        {"unknown.frag",
         {"unknown.frag:1: unknown annotation \"@parm\"; did you mean \"@param\"?"},
         "unknown.frag:1"},
        {"none.frag", {"none.frag: cannot read the shader"}, ""},
        {"good.frag",
         {},
         "good.frag:1 good.frag:2 good.frag:3 good.frag:4",
         "uGlow 1 0..4 = 1.2 0 0 0; uTint 3 -1..1 = 1 0 -0.5 0; uOff 2 2..3 = 2 2 0 0; ",
         "uNoise assets/noise.png; "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shader);
        Tarn::Diagnostics::ProblemList printed(false);
        Tarn::Diagnostics::ScopedCollector collecting(printed);
        ShaderSource source;
        EXPECT_EQ(source.load(row.shader), row.errors.empty());
        EXPECT_EQ(source.errors(), row.errors);
        EXPECT_EQ(printed.lines(), row.errors);
        std::string origins;
        for (int line = 1; !source.origin(line).first.empty(); ++line)
            origins += (line > 1 ? " " : "") + source.origin(line).first + ":" +
                       std::to_string(source.origin(line).second);
        EXPECT_EQ(origins, row.origins);
        EXPECT_EQ(std::count(source.text().begin(), source.text().end(), '\n'),
                  std::count(origins.begin(), origins.end(), ':'));
        std::ostringstream parameters, images;
        for (const ShaderSource::Parameter& p : source.parameters())
            parameters << p.uniform << ' ' << p.components << ' ' << p.minimum << ".." << p.maximum
                       << " = " << p.defaults[0] << ' ' << p.defaults[1] << ' ' << p.defaults[2]
                       << ' ' << p.defaults[3] << "; ";
        for (const ShaderSource::Image& image : source.images())
            images << image.sampler << ' ' << image.path << "; ";
        EXPECT_EQ(parameters.str(), row.parameters);
        EXPECT_EQ(images.str(), row.images);
    }
}

// Two lines of prelude come before text(): lib/a.glsl:1-2, then map.frag:3.
TEST(ShaderSourceTest, DriverLogsAreMappedThroughTheIncludes) {
    Tarn::Test::ScratchFolder folder;
    Tarn::Test::writeLooseFiles({{"map.frag", "#version 330\n#include \"lib/a.glsl\"\nmain\n"},
                                 {"lib/a.glsl", "float f;\nfloat g;\n"}});
    ShaderSource source;
    ASSERT_TRUE(source.load("map.frag"));
    EXPECT_EQ(source.files(), (std::vector<std::string>{"map.frag", "lib/a.glsl"}));
    const struct {
        const char* log;
        std::vector<std::string> mapped;
    } rows[] = {
        {"0:4(3): error: `x' undeclared\n", {"lib/a.glsl:2: error: `x' undeclared"}},
        {"0:3(1): preprocessor error: bad\r\n", {"lib/a.glsl:1: error: bad"}},
        {"0(5) : warning C7022: old profile\n0(9) : error C0000: end",
         {"map.frag:3: warning: old profile", "map.frag:3: error: end"}},
        {"ERROR: 0:3: 'f' : redefinition\nERROR: 1 compilation errors.  No code generated.\n\n",
         {"lib/a.glsl:1: error: 'f' : redefinition",
          "ERROR: 1 compilation errors.  No code generated."}},
        {"WARNING: 0:2: extension unsupported", {"<prelude>:2: warning: extension unsupported"}},
        {"Compile failed\n\n  at 0:4\n", {"Compile failed", "  at 0:4"}},
        {"0:99999999999(1): error: huge", {"0:99999999999(1): error: huge"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(source.mapLog(row.log, 2), row.mapped) << row.log;
}

// Lines far longer than any regex may take: a table in one #define, an
// include of a long path, an annotation after a long run of spaces, and a
// driver's message quoting a long line.
TEST(ShaderSourceTest, VeryLongLinesAreRead) {
    Tarn::Test::ScratchFolder folder;
    const std::string table = "#define TABLE " + std::string(100000, '1');
    const std::string path(100000, 'p');
    Tarn::Test::writeLooseFiles(
        {{"long.frag", table + "\n#include \"" + path + "\"\nuniform float uGlow;" +
                           std::string(100000, ' ') + "// @param 0..4 = 1.2\n"}});
    testing::internal::CaptureStdout();
    ShaderSource source;
    EXPECT_FALSE(source.load("long.frag"));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(source.errors(),
              std::vector<std::string>{"long.frag:2: cannot read included file \"" + path + "\""});
    EXPECT_EQ(source.text().substr(0, table.size() + 1), table + "\n");
    EXPECT_EQ(source.origin(2), std::make_pair(std::string("long.frag"), 3));
    ASSERT_EQ(source.parameters().size(), 1u);
    EXPECT_EQ(source.parameters()[0].uniform, "uGlow");
    EXPECT_EQ(source.parameters()[0].defaults[0], 1.2f);
    const std::string quoted = "`" + std::string(100000, 'y') + "' undeclared";
    EXPECT_EQ(source.mapLog("0:2(1): error: " + quoted, 0),
              std::vector<std::string>{"long.frag:3: error: " + quoted});
}

// Shaders and logs that once broke reading or mapping go through the fuzz
// target's checks again.
TEST(ShaderSourceTest, SavedFuzzInputs) {
    Tarn::Test::ScratchFolder folder;
    Tarn::VFS loose("absent.tarn", false);
    const auto inputs = Tarn::Test::fuzzRegressionInputs("shadersource_fuzz");
    ASSERT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStdout();
        readShaderFiles(bytes);
        testing::internal::GetCapturedStdout();
    }
}

}  // namespace
