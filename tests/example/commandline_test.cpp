#include "commandline.h"
#include "extensions.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(CommandLineTest, FirstCharacterFormsAndRefusals) {
    const struct {
        std::vector<const char*> arguments;
        int width, height;
        bool fullscreen, help, refused;
    } rows[] = {
        {{}, 1024, 600, false, false, false},
        {{"w1280", "h720", "f"}, 1280, 720, true, false, false},
        {{"f", "h720", "w1280"}, 1280, 720, true, false, false},
        {{"fw800"}, 1024, 600, true, false, false},
        {{"x", "-v", "full"}, 1024, 600, true, false, false},
        {{"--help"}, 1024, 600, false, true, false},
        {{"w0"}, 0, 600, false, false, true},
        {{"habc"}, 1024, 0, false, false, true},
        {{"--fullscreen"}, 1024, 600, false, false, true},
    };
    for (const auto& row : rows) {
        std::vector<const char*> argv = {"tarn-demo"};
        argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
        const CommandLine line = parseCommandLine(static_cast<int>(argv.size()), argv.data());
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        EXPECT_EQ(line.width, row.width);
        EXPECT_EQ(line.height, row.height);
        EXPECT_EQ(line.fullscreen, row.fullscreen);
        EXPECT_EQ(line.help, row.help);
        EXPECT_EQ(!line.error.empty(), row.refused) << line.error;
    }
}

// The mesh loader first, then one line per effect in the demo's fixed order.
TEST(CommandLineTest, ExtensionsRegisterInTheirFixedOrder) {
    testing::internal::CaptureStdout();
    registerExtensions();
    std::string expected = "[MeshFactory] Registered loader \"assimp\"\n";
    for (const char* name : {"AnisotropicFlare", "Motion blur", "DepthOfField", "SSAO", "FXAA",
                             "LensFlare", "Fog", "Glow", "Raymarcher", "Amiga", "Overlay"})
        expected += std::string("[EffectFactory] Registered effect \"") + name + "\"\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

}  // namespace
