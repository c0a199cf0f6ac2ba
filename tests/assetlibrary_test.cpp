// The asset library without GL: the shared instance, first-name-wins storage
// of meshes (null included), lookups that never insert, and the library
// script's lines that create nothing on the GPU: the "Loading assets from"
// line, models that are missing, short lines and a missing script.

#include "tarn/assetlibrary.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/scratch_folder.h"
#include "tarn/ext/assimploader.h"
#include "tarn/graphics/mesh.h"
#include "tarn/vfs.h"

namespace {

namespace fs = std::filesystem;
using Tarn::AssetLibrary;
using Tarn::VFS;
using Tarn::Graphics::Mesh;

TEST(AssetLibraryTest, InstanceIsSharedUntilDestroyed) {
    AssetLibrary* library = AssetLibrary::instance();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(AssetLibrary::instance(), library);
    Mesh mesh(nullptr);
    library->addMesh("kept", &mesh);
    EXPECT_EQ(AssetLibrary::instance()->mesh("kept"), &mesh);

    AssetLibrary::destroyInstance();
    EXPECT_EQ(AssetLibrary::instance()->mesh("kept"), nullptr);
    AssetLibrary::destroyInstance();
}

// Each row adds meshes under one name in order; the first one stays, a null
// one included.
TEST(AssetLibraryTest, FirstMeshUnderANameStays) {
    Mesh a(nullptr);
    Mesh b(nullptr);
    const struct {
        const char* name;
        std::vector<Mesh*> added;
        Mesh* kept;
    } cases[] = {
        {"once", {&a}, &a},
        {"twice", {&a, &b}, &a},
        {"same twice", {&b, &b}, &b},
        {"null first", {nullptr, &a}, nullptr},
        {"null last", {&b, nullptr}, &b},
    };
    AssetLibrary library;
    for (const auto& c : cases) {
        for (Mesh* mesh : c.added)
            library.addMesh(c.name, mesh);
        EXPECT_EQ(library.mesh(c.name), c.kept) << c.name;
    }
    // Names are exact, case-sensitive strings.
    EXPECT_EQ(library.mesh("Once"), nullptr);
    EXPECT_EQ(library.mesh("once "), nullptr);
}

// A lookup of an absent name leaves it free for the next add.
TEST(AssetLibraryTest, LookupsNeverInsert) {
    AssetLibrary library;
    EXPECT_EQ(library.mesh("later"), nullptr);
    EXPECT_EQ(library.material("later"), nullptr);
    EXPECT_EQ(library.texture("later"), nullptr);
    Mesh mesh(nullptr);
    library.addMesh("later", &mesh);
    EXPECT_EQ(library.mesh("later"), &mesh);
    // The three kinds have their own names.
    EXPECT_EQ(library.material("later"), nullptr);
    EXPECT_EQ(library.texture("later"), nullptr);
}

// Each test runs in a fresh folder of its own, its working directory, with
// an archive that serves the loose files written there.
class AssetLibraryScriptTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::internal::CaptureStdout();
        Tarn::Ext::AssimpLoader::_register();
        testing::internal::GetCapturedStdout();
    }
    void SetUp() override {
        m_folder = std::make_unique<Tarn::Test::ScratchFolder>();
        m_vfs = std::make_unique<VFS>("absent.tarn", false);
    }
    void TearDown() override {
        m_vfs.reset();
        m_folder.reset();
    }

    static void writeText(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    std::unique_ptr<Tarn::Test::ScratchFolder> m_folder;
    std::unique_ptr<VFS> m_vfs;
};

// A model that is not there is stored as null, keeps its name and counts as
// failed; short
// lines are reported with the script and line number; other words are
// ignored.
TEST_F(AssetLibraryScriptTest, MissingModelsAndShortLines) {
    writeText("library.tarn", "mesh ghost missing.obj\n"
                              "mesh\n"
                              "material onlyname\n"
                              "# a comment\n"
                              "sound music song.ogg\n"
                              "imagetexture\tsky\n"
                              "cubetexture env\n"
                              "mesh ghost also_missing.obj\n");
    AssetLibrary library;
    testing::internal::CaptureStdout();
    library.loadAllFromScript("library.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[AssetLibrary] Loading assets from library.tarn\n"
              "[VFS] File missing.obj not found in archive nor in real FS.\n"
              "[AssetLibrary] library.tarn:2: mesh needs a name and a path; line skipped\n"
              "[AssetLibrary] library.tarn:3: material needs a name and a path; line skipped\n"
              "[AssetLibrary] library.tarn:5: unknown keyword \"sound\"; line ignored\n"
              "[AssetLibrary] library.tarn:6: imagetexture needs a name and a path; line "
              "skipped\n"
              "[AssetLibrary] library.tarn:7: cubetexture needs a name and a path; line "
              "skipped\n"
              "[VFS] File also_missing.obj not found in archive nor in real FS.\n");
    EXPECT_EQ(library.mesh("ghost"), nullptr);
    EXPECT_EQ(library.material("onlyname"), nullptr);
    EXPECT_EQ(library.texture("sky"), nullptr);
    EXPECT_TRUE(library.meshFailed("ghost"));
    EXPECT_FALSE(library.meshFailed("onlyname"));  // the line was skipped

    // The null entry holds the name: a mesh added later under it is dropped.
    Mesh mesh(nullptr);
    library.addMesh("ghost", &mesh);
    EXPECT_EQ(library.mesh("ghost"), nullptr);
}

TEST_F(AssetLibraryScriptTest, MissingScriptLoadsNothing) {
    AssetLibrary library;
    testing::internal::CaptureStdout();
    library.loadAllFromScript("assets/library.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[AssetLibrary] Loading assets from assets/library.tarn\n"
              "[VFS] File assets/library.tarn not found in archive nor in real FS.\n");

    m_vfs.reset();
    writeText("library.tarn", "mesh a a.obj\n");
    testing::internal::CaptureStdout();
    library.loadAllFromScript("library.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[AssetLibrary] Loading assets from library.tarn\n"
              "[AssetLibrary] No archive to read library.tarn from\n");
    EXPECT_EQ(library.mesh("a"), nullptr);
}

}  // namespace
