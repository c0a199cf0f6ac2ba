// Every GLSL program the engine, the player and TARN build, exactly as they
// hand it to the driver, checked by the Khronos reference compiler
// (glslangValidator, Debian's glslang-tools) as the GLSL 330 core its
// #version line names. Mesa accepts some sources that other drivers refuse;
// this is where such a source is caught. The sources are collected through
// the engine's TARN_SHADER_DUMP_DIR (src/shader.cpp): in this process for
// every registered effect, the preloader and the final blit, and from
// `tarn-demo --check` for the renderer, the lights, the materials and the
// content shaders of TARN's archive and of a new demo carrying the shaders
// of docs/shaders.md.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extensions.h"
#include "preloader.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "support/subprocess.h"
#include "tarn/graphics/fullscreenquad.h"
#include "tarn/postfx/effect.h"
#include "tarn/postfx/effectfactory.h"

namespace {

namespace fs = std::filesystem;
using Tarn::Test::runProgram;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each ```glsl block of the docs that opens with "// assets/fx/NAME", as
// (path, text).
std::vector<std::pair<std::string, std::string>> docsShaders() {
    std::vector<std::pair<std::string, std::string>> shaders;
    std::istringstream docs(readText(TARN_SHADERS_DOC));
    std::string line;
    while (std::getline(docs, line)) {
        if (line != "```glsl")
            continue;
        std::string text;
        while (std::getline(docs, line) && line != "```")
            text += line + "\n";
        if (text.rfind("// assets/fx/", 0) == 0)
            shaders.push_back({text.substr(3, text.find_first_of(":\n") - 3), text});
    }
    return shaders;
}

// A new demo with the docs' shaders put last in its chain.
void writeDemoWithDocsShaders(const std::string& folder) {
    ASSERT_EQ(runProgram(std::string("'") + TARN_DEMO_PATH + "' --new " + folder).status, 0);
    std::string lines;
    const auto shaders = docsShaders();
    ASSERT_GE(shaders.size(), 3u) << "the docs' examples were not found";
    for (const auto& [path, text] : shaders) {
        std::ofstream(folder + "/" + path, std::ios::binary) << text;
        if (fs::path(path).extension() == ".frag")
            lines += "  shader " + path + "\n";
    }
    const fs::path script = folder + "/assets/demo.tarn";
    std::string demo = readText(script);
    const std::size_t end = demo.find("\nend\n", demo.find("begin postfx\n"));
    ASSERT_NE(end, std::string::npos);
    demo.insert(end + 1, lines);
    std::ofstream(script, std::ios::binary) << demo;
}

// What the reference compiler says of one source: empty when it takes it,
// else its first error line.
std::string refusal(const fs::path& source) {
    const Tarn::Test::ProgramRun run = runProgram("glslangValidator '" + source.string() + "'");
    if (run.status == 0)
        return {};
    std::istringstream said(run.out + run.err);
    for (std::string line; std::getline(said, line);)
        if (line.find("ERROR") != std::string::npos)
            return line;
    return "exit status " + std::to_string(run.status);
}

class ReferenceCompilerGLTest : public Tarn::Test::GLTest {};

TEST_F(ReferenceCompilerGLTest, EveryProgramIsValidGlsl330Core) {
    if (std::system("command -v glslangValidator > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "glslangValidator is missing (Debian's glslang-tools)";
    const Tarn::Test::ScratchFolder scratch;
    const fs::path sources = scratch.path() / "sources";
    fs::create_directory(sources);
    setenv("TARN_SHADER_DUMP_DIR", sources.c_str(), 1);

    registerExtensions();
    for (const std::string& name : Tarn::PostFX::EffectFactory::names()) {
        const std::unique_ptr<Tarn::PostFX::Effect> effect(
            Tarn::PostFX::EffectFactory::createEffect(name));
        EXPECT_NE(effect, nullptr) << name;
    }
    { const Preloader preloader(Preloader::Assets{}); }
    Tarn::Graphics::FullscreenQuad::bindSimpleShader();
    Tarn::Graphics::FullscreenQuad::bindSimpleShader(1, 1);  // the same-size copy
    Tarn::Graphics::FullscreenQuad::releaseSimpleShader();

    const std::string check = "ALSOFT_DRIVERS=null '" + std::string(TARN_DEMO_PATH) + "' ";
    const Tarn::Test::ProgramRun tarn = runProgram(check + "'" + TARN_DEMO_ARCHIVE + "' --check");
    EXPECT_EQ(tarn.status, 0) << tarn.out;
    writeDemoWithDocsShaders("docsdemo");
    const Tarn::Test::ProgramRun docs = runProgram(check + "docsdemo --check");
    EXPECT_EQ(docs.status, 0) << docs.out;
    unsetenv("TARN_SHADER_DUMP_DIR");

    // Named after their programs: the dump must hold the kinds of program
    // it is meant to, or this test would pass on nothing.
    std::set<std::string> programs;
    for (const auto& entry : fs::directory_iterator(sources)) {
        const std::string name = entry.path().filename().string();
        programs.insert(name.substr(0, name.rfind('-')));
    }
    for (const char* expected :
         {"Loader", "Fullscreen_blit", "Fog", "Deferred_first_pass", "Light",
          "assets_fx_vignette_frag", "assets_fx_ported_frag", "assets_fx_pulse_frag"})
        EXPECT_EQ(programs.count(expected), 1u) << expected << " was not collected";

    std::string refused;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(sources)) {
        ++count;
        const std::string why = refusal(entry.path());
        if (!why.empty())
            refused += "\n  " + entry.path().filename().string() + ": " + why;
    }
    EXPECT_GT(count, 20);
    if (refused.empty())
        return;
    const fs::path kept = scratch.previous() / "glsl-refused";
    fs::remove_all(kept);
    fs::copy(sources, kept, fs::copy_options::recursive);
    ADD_FAILURE() << "refused by glslangValidator (every source kept in " << kept.string()
                  << "):" << refused;
}

}  // namespace
