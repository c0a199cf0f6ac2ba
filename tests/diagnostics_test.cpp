// A misspelt name gets its nearest valid one or the list; a collector gets
// the problems placed at the script being read, printed or not as it asks.

#include "tarn/diagnostics.h"

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

}  // namespace
