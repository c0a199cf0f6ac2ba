// The demo's packed archive as the demo reads it: the library script loads
// every material, mesh and texture it names through the engine's own
// loaders, the demo script builds every scene, clip and effect, and nothing
// on the way reports a problem.

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "demoscript.h"
#include "extensions.h"
#include "tarn/assetlibrary.h"
#include "tarn/demo/timeline.h"
#include "tarn/ext/assimploader.h"
#include "tarn/file.h"
#include "tarn/graphics/mesh.h"
#include "tarn/graphics/renderer.h"
#include "tarn/luceparser.h"
#include "tarn/postfx/chain.h"
#include "tarn/postfx/effectfactory.h"
#include "tarn/soundtrack.h"
#include "tarn/vfs.h"

#include "support/gl_test.h"

namespace {

using Tarn::AssetLibrary;

class ContentGLTest : public Tarn::Test::GLTest {
protected:
    static void SetUpTestSuite() {
        setenv("ALSOFT_DRIVERS", "null", 1);  // the music plays nowhere
        testing::internal::CaptureStdout();
        registerExtensions();
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        AssetLibrary::destroyInstance();
        GLTest::TearDown();
    }
};

// The lines the loaders print while all goes well; anything else is a
// diagnostic: a missing file, a bad script line, an image that is refused.
bool isProgressLine(const std::string& line) {
    for (const char* prefix : {"[AssetLibrary] Loading assets from ", "[Material] Creating from ",
                               "[Material]     Setting ", "[VideoTexture] Done loading ",
                               "[Scene] Creating scene from script: ", "[Scene] Creating new "})
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

// Every line printed while output was captured is a progress line.
void expectOnlyProgress(const std::string& output) {
    std::size_t start = 0, lines = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        ++lines;
        const std::string line = output.substr(start, end - start);
        EXPECT_TRUE(isProgressLine(line)) << line;
    }
    EXPECT_GT(lines, 1u);
}

TEST_F(ContentGLTest, LibraryLoadsEveryAssetWithoutADiagnostic) {
    Tarn::VFS archive(TARN_DEMO_ARCHIVE, true);
    ASSERT_TRUE(archive.hasArchive()) << TARN_DEMO_ARCHIVE;
    testing::internal::CaptureStdout();
    AssetLibrary::instance()->loadAllFromScript("assets/library.tarn");
    expectOnlyProgress(testing::internal::GetCapturedStdout());

    // Every name of the script resolves.
    Tarn::File* script = archive.open("assets/library.tarn");
    ASSERT_NE(script, nullptr);
    Tarn::LUCEParser parser;
    int named = 0;
    AssetLibrary* library = AssetLibrary::instance();
    parser.addKeyword("material", [&](std::vector<std::string> args) {
        ++named;
        EXPECT_NE(library->material(args.at(0)), nullptr) << args[0];
    });
    parser.addKeyword("mesh", [&](std::vector<std::string> args) {
        ++named;
        ASSERT_NE(library->mesh(args.at(0)), nullptr) << args[0];
        EXPECT_NE(library->mesh(args[0])->vertexBuffer(), nullptr) << args[0];
    });
    for (const char* kind : {"imagetexture", "cubetexture"})
        parser.addKeyword(kind, [&](std::vector<std::string> args) {
            ++named;
            EXPECT_NE(library->texture(args.at(0)), nullptr) << args[0];
        });
    parser.parse(script->str());
    archive.close(script);
    EXPECT_GT(named, 0);
}

// The demo script builds its scenes, clips and chain without a diagnostic,
// uses every registered effect (each by an alias), and the music lasts as long as the timeline.
TEST_F(ContentGLTest, DemoScriptUsesEveryEffectAndTheMusicSpansTheTimeline) {
    Tarn::VFS archive(TARN_DEMO_ARCHIVE, true);
    Tarn::Graphics::Renderer renderer(64, 64);
    Tarn::Demo::Timeline timeline;
    Tarn::PostFX::Chain chain(64, 64, &renderer);
    Tarn::Signal<double> progress;
    testing::internal::CaptureStdout();
    AssetLibrary::instance()->loadAllFromScript("assets/library.tarn");
    {
        DemoScript script(&renderer, &timeline, &chain);
        ASSERT_TRUE(script.load("assets/demo.tarn", progress, 0.4));
        expectOnlyProgress(testing::internal::GetCapturedStdout());
        ASSERT_NE(script.soundtrack(), nullptr);
        EXPECT_NEAR(script.soundtrack()->duration(), timeline.duration(), 1.0);
    }
    Tarn::File* file = archive.open("assets/demo.tarn");
    ASSERT_NE(file, nullptr);
    const std::string text = file->str();
    archive.close(file);
    const std::vector<std::string> names = Tarn::PostFX::EffectFactory::names();
    EXPECT_EQ(names.size(), 12u);
    EXPECT_GE(chain.effectCount(), names.size());
    for (const std::string& name : names)
        EXPECT_NE(text.find("  effect " + name + " as "), std::string::npos) << name;
}

}  // namespace
