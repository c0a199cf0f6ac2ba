// A misspelt name gets its nearest valid one or the list; a collector gets
// the problems placed at the script being read, printed or not as it asks.

#include "tarn/diagnostics.h"
#include "tarn/luceparser.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace Diagnostics = Tarn::Diagnostics;

TEST(DiagnosticsTest, SuggestionNamesTheNearestOrTheValidNames) {
    const struct {
        const char* name;
        std::vector<std::string> known;
        std::string expected;
    } cases[] = {
        {"glow", {"Glow", "Fog"}, "; did you mean \"Glow\"?"},
        {"Sharpen", {"Glow", "Fog"}, "; valid names: Glow, Fog"},
        {"Sharpen",
         {"Glow", "Fog", "Blur", "Bloom", "Noise", "Grain", "Tint", "Flare", "Vignette"},
         ""},
        {"Glow", {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Diagnostics::suggestion(c.name, c.known), c.expected) << c.name;
}

// Notes are dropped; a problem naming no script takes the innermost scope's
// script and that line as it is when reported; an explicit place wins.
TEST(DiagnosticsTest, ProblemListTakesProblemsAtTheScriptBeingRead) {
    const std::vector<std::string> located = {"a.tarn:3: File x.png not found",
                                              "b.mat:9: bad value", "c.tarn:4: by hand"};
    const struct {
        bool print;
        std::string printed;
    } cases[] = {
        {false, ""},
        {true, "[Demo] chatter\n[VFS] File x.png not found\n[Material] bad value\n"
               "[Scene] c.tarn:4: by hand\n"},
    };
    for (const auto& c : cases) {
        Diagnostics::ProblemList problems(c.print);
        testing::internal::CaptureStdout();
        const Diagnostics::ScopedCollector collect(problems);
        const std::string scene = "a.tarn", material = "b.mat";
        int sceneLine = 3, materialLine = 7;
        const Diagnostics::ScriptScope outer(scene, &sceneLine);
        Diagnostics::note("Demo", "chatter");
        Diagnostics::problem("VFS", "File x.png not found");
        const Diagnostics::ScriptScope inner(material, &materialLine);
        materialLine = 9;
        Diagnostics::problem("Material", "bad value");
        Diagnostics::problemAt("Scene", "c.tarn", 4, "by hand");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << c.print;
        EXPECT_EQ(problems.lines(), located) << c.print;
    }
}

// A script that is really a binary file: at most MaxPrintedPerFile of its
// problems are printed per read, then one line counts the rest; the
// collector still gets all of them; control and non-UTF-8 bytes are
// printed escaped, UTF-8 as it is.
TEST(DiagnosticsTest, ProblemsOfOneFileAreCappedAndEscaped) {
    std::string garbage;
    for (int i = 0; i < 25; ++i)
        garbage += "\x1b[2Jz\xff\xc3\xa9 " + std::to_string(i) + "\n";
    Tarn::LUCEParser parser;
    parser.setScript("g.tarn");
    parser.setIgnoredLineHandler(Tarn::LUCEParser::printIgnoredLines("Scene", "g.tarn"));
    Diagnostics::ProblemList problems(true);
    const Diagnostics::ScopedCollector collect(problems);
    for (int read = 0; read < 2; ++read) {
        testing::internal::CaptureStdout();
        parser.parse(garbage);
        std::istringstream printed(testing::internal::GetCapturedStdout());
        std::vector<std::string> lines;
        for (std::string line; std::getline(printed, line);)
            lines.push_back(line);
        ASSERT_EQ(lines.size(), Diagnostics::MaxPrintedPerFile + 1) << read;
        EXPECT_EQ(lines[0], "[Scene] g.tarn:1: unknown keyword \"\\x1b[2Jz\\xff\xc3\xa9\"; "
                            "line ignored");
        EXPECT_EQ(lines.back(),
                  "[Scene] g.tarn: 5 more problems not shown; tarn-demo --check lists them all");
    }
    EXPECT_EQ(problems.problems().size(), 50u);
}

}  // namespace
