// The demo's packed archive as the demo reads it: the library script loads
// every material, mesh and texture it names through the engine's own
// loaders, and nothing on the way reports a problem.

#include <memory>
#include <string>
#include <vector>

#include "tarn/assetlibrary.h"
#include "tarn/ext/assimploader.h"
#include "tarn/graphics/mesh.h"
#include "tarn/luceparser.h"
#include "tarn/vfs.h"

#include "support/gl_test.h"

namespace {

using Tarn::AssetLibrary;

class ContentGLTest : public Tarn::Test::GLTest {
protected:
    static void SetUpTestSuite() {
        testing::internal::CaptureStdout();
        Tarn::Ext::AssimpLoader::_register();
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
                               "[Material]     Setting ", "[VideoTexture] Done loading "})
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

TEST_F(ContentGLTest, LibraryLoadsEveryAssetWithoutADiagnostic) {
    Tarn::VFS archive(TARN_DEMO_ARCHIVE, true);
    ASSERT_TRUE(archive.hasArchive()) << TARN_DEMO_ARCHIVE;
    testing::internal::CaptureStdout();
    AssetLibrary::instance()->loadAllFromScript("assets/library.tarn");
    const std::string output = testing::internal::GetCapturedStdout();
    std::size_t start = 0, lines = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        ++lines;
        const std::string line = output.substr(start, end - start);
        EXPECT_TRUE(isProgressLine(line)) << line;
    }
    EXPECT_GT(lines, 1u);

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

}  // namespace
