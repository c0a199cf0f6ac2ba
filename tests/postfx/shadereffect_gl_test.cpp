// Shader effects from content: what the shader reads (the input, its own
// parameters, the frame's time and music) reaches it, its parameters are the
// effect's, a frame allocates nothing, and a shader that does not compile is
// reported at the file and line of the fault, through an include.

#include "tarn/postfx/shadereffect.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/allocation_counter.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "tarn/diagnostics.h"
#include "tarn/ext/fogeffect.h"
#include "tarn/framebuffer.h"
#include "tarn/graphics/camera.h"
#include "tarn/graphics/renderer.h"
#include "tarn/postfx/chain.h"
#include "tarn/postfx/effect.h"
#include "tarn/texture.h"

namespace {

using Tarn::PostFX::Effect;
using Tarn::Test::Image;
using ShaderEffectGLTest = Tarn::Test::GLTest;

TEST_F(ShaderEffectGLTest, ReadsItsInputsParametersAndTheFrame) {
    Tarn::Test::ScratchFolder scratch;
    Tarn::Test::writeLooseFiles(
        {{"fx/gain.frag",
          "#include \"fx/lib.glsl\"\n"
          "uniform float uGain; // @param 0..4 = 2\n"
          "uniform vec3 uTint; // @param 0..1 = 1 0.5 0\n"
          "void main() {\n"
          "    vec4 c = texture(uInput, v_uv) * uGain;\n"
          "    fragColor = v_uv.x < 0.5 ? vec4(c.rgb * uTint, 1.0)\n"
          "                             : vec4(uTime, shifted(uBands.y), uBeat, 1.0);\n"
          "}\n"},
         {"fx/lib.glsl", "float shifted(float v) { return v + 0.25; }\n"}});
    std::unique_ptr<Effect> effect(Tarn::PostFX::createShaderEffect("fx/gain.frag"));
    ASSERT_NE(effect, nullptr);
    EXPECT_TRUE(effect->hasAutomatableProperty("uGain"));
    EXPECT_TRUE(effect->hasAutomatableProperty("uTint"));

    const auto input = Tarn::Test::makeFloatBuffer(Tarn::Test::makeImage(8, 8, [](int, int) {
        return std::array<float, 4>{0.25f, 0.5f, 1, 1};
    }));
    Tarn::PostFX::Chain chain(8, 8, nullptr);
    chain.addEffect(effect.get());
    Tarn::PostFX::FrameInfo frame;
    frame.time = 0.75;
    frame.beat = 2.5;
    frame.bands[1] = 0.5f;
    chain.setFrameInfo(frame);
    const struct {
        float gain;
        std::array<float, 3> left;  // the tinted input
    } rows[] = {{2, {0.5f, 0.5f, 0}}, {3, {0.75f, 0.75f, 0}}, {0, {0, 0, 0}}};
    for (const auto& row : rows) {
        effect->setProperty("uGain", row.gain);
        chain.apply(input.get());  // the first frame may still make what it lazily needs
        const long before = Tarn::Test::allocationCount();
        Tarn::FrameBuffer* result = chain.apply(input.get());
        EXPECT_EQ(Tarn::Test::allocationCount() - before, 0);
        const Image out = Tarn::Test::readTexture(result->target(0)->id());
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(out.at(1, 3)[c], row.left[c], 1e-6f) << row.gain << " channel " << c;
            EXPECT_NEAR(out.at(6, 3)[c], (std::array<float, 3>{0.75f, 0.75f, 2.5f})[c], 1e-6f);
        }
    }
}

TEST_F(ShaderEffectGLTest, CompileErrorsAreReportedWhereTheyAre) {
    Tarn::Test::ScratchFolder scratch;
    Tarn::Test::writeLooseFiles(
        {{"fx/broken.frag", "// a comment\n#include \"fx/inner.glsl\"\n"
                            "void main() { fragColor = colour(); }\n"},
         {"fx/inner.glsl", "vec4 colour() {\n    return vec4(1.0) +;\n}\n"}});
    Tarn::Diagnostics::ProblemList problems(false);
    std::unique_ptr<Effect> effect;
    {
        Tarn::Diagnostics::ScopedCollector collect(problems);
        effect.reset(Tarn::PostFX::createShaderEffect("fx/broken.frag"));
    }
    EXPECT_EQ(effect, nullptr);
    ASSERT_FALSE(problems.problems().empty());
    const Tarn::Diagnostics::Record& first = problems.problems().front();
    EXPECT_EQ(first.file, "fx/inner.glsl");
    EXPECT_EQ(first.line, 2) << testing::PrintToString(problems.lines());
    EXPECT_EQ(first.what.rfind("error: ", 0), 0u) << first.what;

    // A file whose name looks like a place with a line past any int is
    // still reported, not the end of the program.
    Tarn::Test::writeLooseFiles({{"x:99999999999: y.frag", "void main() { fragColor = ; }\n"}});
    Tarn::Diagnostics::ProblemList odd(false);
    {
        Tarn::Diagnostics::ScopedCollector collect(odd);
        EXPECT_EQ(Tarn::PostFX::createShaderEffect("x:99999999999: y.frag"), nullptr);
    }
    EXPECT_FALSE(odd.problems().empty());
}

// A shader in the playground convention runs with its one include; uTimeOn
// counts from the frame the effect came back on, or the first after a seek.
TEST_F(ShaderEffectGLTest, PlaygroundShadersAndTimeSinceOn) {
    Tarn::Test::ScratchFolder scratch;
    Tarn::Test::writeLooseFiles(
        {{"fx/ported.frag",
          "#include \"tarn/playground.glsl\"\n"
          "void mainImage(out vec4 fragColor, in vec2 fragCoord) {\n"
          "    vec2 uv = fragCoord / iResolution.xy;\n"
          "    fragColor = uv.x < 0.5 ? vec4(uv, fract(iTime), uTimeOn) : vec4("
          "texture(iChannel0, uv).r, iTimeDelta, float(iFrame), uTimeOn);\n}\n"}});
    std::unique_ptr<Effect> effect(Tarn::PostFX::createShaderEffect("fx/ported.frag"));
    ASSERT_NE(effect, nullptr);
    const auto input = Tarn::Test::makeFloatBuffer(
        Tarn::Test::makeImage(8, 8, [](int, int) { return std::array<float, 4>{0.25f}; }));
    Tarn::PostFX::Chain chain(8, 8, nullptr);
    chain.addEffect(effect.get());
    // Demo time, frame number, bypassed, uTimeOn.
    const std::array<double, 4> rows[] = {{1, 0, 0, 0},   {1.5, 1, 0, 0.5},   {2, 2, 1, 0},
                                          {2.5, 3, 0, 0}, {3.25, 4, 0, 0.75}, {3.25, 4, 0, 0.75},
                                          {0.5, 5, 0, 0}, {1, 6, 0, 0.5}};
    for (const auto& [time, number, bypassed, on] : rows) {
        chain.setFrameInfo({time, 0.125, std::int64_t(number)});
        effect->setBypass(bypassed != 0);
        const Image out = Tarn::Test::readTexture(chain.apply(input.get())->target(0)->id());
        const float left[] = {1.5f / 8, 3.5f / 8, float(time - std::floor(time)), float(on)};
        const float right[] = {0.25f, 0.125f, float(number), float(on)};
        for (int c = 0; c < 4 && !bypassed; ++c) {
            EXPECT_NEAR(out.at(1, 3)[c], left[c], 1e-6f) << time << " channel " << c;
            EXPECT_NEAR(out.at(6, 5)[c], right[c], 1e-6f) << time << " channel " << c;
        }
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Feedback: uPrevious is the effect's output of the frame before; the
// same time drawn again (paused) reads what that frame read; it is black
// again when the effect turns on (bypass, a restart, time going back).
TEST_F(ShaderEffectGLTest, FeedbackReadsTheFrameBeforeAndRestartsFromBlack) {
    Tarn::Test::ScratchFolder scratch;
    Tarn::Test::writeLooseFiles(
        {{"fx/count.frag", "void main() { fragColor = texture(uPrevious, v_uv) + 0.25; }\n"}});
    std::unique_ptr<Effect> effect(Tarn::PostFX::createShaderEffect("fx/count.frag"));
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->history(), Effect::Feedback);
    const auto input = Tarn::Test::makeFloatBuffer(Tarn::Test::makeImage(4, 4, [](int, int) {
        return std::array<float, 4>{};
    }));
    Tarn::PostFX::Chain chain(4, 4, nullptr);
    chain.addEffect(effect.get());
    // Demo time, frame number, bypassed, restart, the red the frame shows.
    const std::array<double, 5> rows[] = {{0, 0, 0, 1, 0.25},   {0.5, 1, 0, 0, 0.5},
                                          {0.5, 2, 0, 0, 0.5},  {1, 3, 0, 0, 0.75},
                                          {1.5, 4, 1, 0, 0},    {2, 5, 0, 0, 0.25},
                                          {2.5, 6, 0, 0, 0.5},  {3, 7, 0, 1, 0.25},
                                          {3.5, 8, 0, 0, 0.5},  {1, 9, 0, 0, 0.25}};
    for (const auto& [time, number, bypassed, restart, red] : rows) {
        Tarn::PostFX::FrameInfo frame{time, 0.5, std::int64_t(number)};
        frame.restart = restart != 0;
        chain.setFrameInfo(frame);
        effect->setBypass(bypassed != 0);
        const Image out = Tarn::Test::readTexture(chain.apply(input.get())->target(0)->id());
        if (!bypassed) {
            EXPECT_FLOAT_EQ(out.at(2, 1)[0], float(red)) << "at " << time << ", frame " << number;
        }
    }
}

// The stock fog's formula written as a content shader gives the stock
// fog's image exactly, through the G-buffer and the camera's inverse view.
TEST_F(ShaderEffectGLTest, AContentFogIsTheStockFog) {
    Tarn::Test::ScratchFolder scratch;
    Tarn::Test::writeLooseFiles(
        {{"fx/fog.frag",
          "uniform float uFogYDensity; // @param 0.001..1000 = 3.06\n"
          "uniform vec4 uFogColor; // @param 0..1 = 0.568 0.231 0.443 1\n"
          "void main() {\n    vec4 original = textureLod(uInput, v_uv, 0.0);\n"
          "    vec3 p = (uInverseView * vec4(textureLod(uGBuffer2, v_uv, 0.0).xyz, 1.0)).xyz;\n"
          "    float f = 1.0 - clamp(p.y / uFogYDensity, 0.0, 1.0);\n"
          "    f *= clamp(length(p.xz) / 60.0, 0.0, 1.0) * 0.8 + 0.2;\n"
          "    fragColor = mix(original, mix(original, uFogColor, uFogColor.a), f);\n}\n"}});
    Tarn::Graphics::Renderer renderer(16, 16);
    Tarn::Graphics::Camera camera;
    camera.setPosition({3.0f, 4.0f, 10.0f});
    camera.setTarget({0.0f, 1.0f, -20.0f});
    renderer.setCamera(&camera);
    Tarn::Test::writeTexture(renderer.gBuffer()->target(2)->id(),
                             Tarn::Test::makeImage(16, 16, [](int x, int y) {
                                 const float depth = -5.0f - 4.0f * y;
                                 return std::array<float, 4>{(x - 8) * 0.2f * -depth,
                                                             (y - 8) * 0.1f * -depth, depth, 0.5f};
                             }));
    const auto input = Tarn::Test::makeFloatBuffer(Tarn::Test::makeImage(16, 16, [](int x, int y) {
        return std::array<float, 4>{x / 16.0f, y / 16.0f, 0.2f, 1};
    }));
    Tarn::Ext::FogEffect::registerExtension();
    std::unique_ptr<Effect> stock(Tarn::Ext::FogEffect::create()),
        content(Tarn::PostFX::createShaderEffect("fx/fog.frag"));
    ASSERT_NE(content, nullptr);
    Image images[2];
    for (int i = 0; i < 2; ++i) {
        Tarn::PostFX::Chain chain(16, 16, &renderer);
        chain.addEffect(i ? content.get() : stock.get());
        images[i] = Tarn::Test::readTexture(chain.apply(input.get())->target(0)->id());
    }
    EXPECT_EQ(images[1].rgba, images[0].rgba);
    EXPECT_NE(images[0].rgba, Tarn::Test::readTexture(input->target(0)->id()).rgba) << "fogged";
}

// Every complete example of the shaders page (a block whose first line
// names its file) compiles as written and draws a finite picture.
TEST_F(ShaderEffectGLTest, TheDocsExamplesCompileAndDraw) {
    Tarn::Test::ScratchFolder scratch;
    std::ifstream file(std::string(TARN_DOCS_DIR) + "/shaders.md");
    std::vector<std::string> shaders;
    std::string line;
    while (std::getline(file, line)) {
        if (line != "```glsl" || !std::getline(file, line) || line.rfind("// assets/", 0) != 0)
            continue;
        const std::string path = line.substr(3, line.find_first_of(":", 3) - 3);
        std::string text = line + "\n";
        while (std::getline(file, line) && line != "```")
            text += line + "\n";
        Tarn::Test::writeLooseFiles({{path, text}});
        if (path.size() > 5 && path.compare(path.size() - 5, 5, ".frag") == 0)
            shaders.push_back(path);
    }
    ASSERT_GE(shaders.size(), 4u);
    const auto input = Tarn::Test::makeFloatBuffer(Tarn::Test::makeImage(
        8, 8, [](int x, int y) { return std::array<float, 4>{x / 8.0f, y / 8.0f, 0.5f, 1}; }));
    for (const std::string& path : shaders) {
        SCOPED_TRACE(path);
        std::unique_ptr<Effect> effect(Tarn::PostFX::createShaderEffect(path));
        ASSERT_NE(effect, nullptr);
        Tarn::PostFX::Chain chain(8, 8, nullptr);
        chain.addEffect(effect.get());
        for (int frame = 0; frame < 3; ++frame) {
            chain.setFrameInfo({1.0 + frame / 60.0, 1.0 / 60, frame});
            const Image out = Tarn::Test::readTexture(chain.apply(input.get())->target(0)->id());
            for (int i = 0; i < 64; ++i)
                for (int c = 0; c < 4; ++c)
                    ASSERT_TRUE(std::isfinite(out.at(i % 8, i / 8)[c]));
        }
    }
}

// The docs' table is the prelude's: every declaration with its meaning.
TEST(ShaderInputsTest, TheDocsListEveryDeclaration) {
    std::ifstream file(std::string(TARN_DOCS_DIR) + "/shaders.md");
    std::stringstream docs;
    docs << file.rdbuf();
    const std::string prelude = Tarn::PostFX::shaderPrelude();
    for (const Tarn::PostFX::ShaderInput& input : Tarn::PostFX::shaderInputs()) {
        EXPECT_NE(
            docs.str().find(std::string("| `") + input.declaration + "` | " + input.meaning + " |"),
            std::string::npos)
            << input.declaration;
        EXPECT_NE(prelude.find(input.declaration), std::string::npos);
    }
}

}  // namespace
