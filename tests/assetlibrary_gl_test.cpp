// The asset library loading real assets from a packed archive: materials,
// meshes and textures each under their own names, the first of a name kept
// while later lines still load (and log) theirs, a missing model stored as
// null, and cube textures found by name.

#include "tarn/assetlibrary.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "tarn/cubetexture.h"
#include "tarn/ext/assimploader.h"
#include "tarn/graphics/material.h"
#include "tarn/graphics/mesh.h"
#include "tarn/imagetexture.h"
#include "tarn/vfs.h"

namespace {

namespace fs = std::filesystem;
using Tarn::AssetLibrary;
using Tarn::VFS;
using Tarn::Graphics::Material;

class AssetLibraryGLTest : public Tarn::Test::GLTest {
protected:
    static void SetUpTestSuite() {
        testing::internal::CaptureStdout();
        Tarn::Ext::AssimpLoader::_register();
        testing::internal::GetCapturedStdout();
    }
    void SetUp() override {
        GLTest::SetUp();
        m_folder = std::make_unique<Tarn::Test::ScratchFolder>();
    }
    void TearDown() override {
        // The shared library's textures and meshes go while the context lives.
        AssetLibrary::destroyInstance();
        m_vfs.reset();
        m_folder.reset();
        GLTest::TearDown();
    }

    // Packs the files into demo.tarn, deletes the loose copies and opens the
    // archive as the one assets are read through.
    void pack(const std::vector<std::pair<std::string, std::string>>& files) {
        {
            VFS writer("demo.tarn", false);
            for (const auto& [path, bytes] : files) {
                if (fs::path(path).has_parent_path())
                    fs::create_directories(fs::path(path).parent_path());
                std::ofstream(path, std::ios::binary) << bytes;
                writer.add(path);
            }
            testing::internal::CaptureStdout();
            ASSERT_TRUE(writer.write()) << testing::internal::GetCapturedStdout();
            testing::internal::GetCapturedStdout();
        }
        for (const auto& file : files)
            fs::remove(file.first);
        m_vfs = std::make_unique<VFS>("demo.tarn", false);
        ASSERT_TRUE(m_vfs->hasArchive());
    }

    // A PNG of one colour, as bytes.
    static std::string png(int width, int height, std::array<unsigned char, 4> colour) {
        std::vector<unsigned char> pixels;
        for (int i = 0; i < width * height; ++i)
            pixels.insert(pixels.end(), colour.begin(), colour.end());
        std::string bytes;
        stbi_write_png_to_func(
            [](void* context, void* data, int size) {
                static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                                           static_cast<std::size_t>(size));
            },
            &bytes, width, height, 4, pixels.data(), 4 * width);
        return bytes;
    }

    std::unique_ptr<Tarn::Test::ScratchFolder> m_folder;
    std::unique_ptr<VFS> m_vfs;
};

TEST_F(AssetLibraryGLTest, LoadsEachKindUnderItsOwnNamesFirstOneWins) {
    ASSERT_NO_FATAL_FAILURE(pack({
        {"assets/library.tarn", "material red red.mat\n"
                                "material red green.mat\n"
                                "material green green.mat\n"
                                "mesh quad quad.obj\n"
                                "mesh quad missing.obj\n"
                                "mesh gone missing.obj\n"
                                "mesh gone quad.obj\n"
                                "imagetexture sky sky.png\n"
                                "cubetexture sky cross.png\n"
                                "cubetexture env cross.png\n"},
        {"red.mat", "diffuse 1 0 0\n"},
        {"green.mat", "diffuse 0 1 0\n"},
        {"quad.obj", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3 4\n"},
        {"sky.png", png(2, 2, {0, 0, 255, 255})},
        {"cross.png", png(8, 6, {0, 255, 255, 255})},
    }));
    AssetLibrary* library = AssetLibrary::instance();
    testing::internal::CaptureStdout();
    library->loadAllFromScript("assets/library.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[AssetLibrary] Loading assets from assets/library.tarn\n"
              "[Material] Creating from red.mat\n"
              "[Material]     Setting diffuse color: 1, 0, 0\n"
              "[Material] Creating from green.mat\n"
              "[Material]     Setting diffuse color: 0, 1, 0\n"
              "[Material] Creating from green.mat\n"
              "[Material]     Setting diffuse color: 0, 1, 0\n"
              "[VFS] File missing.obj not found in archive nor in real FS.\n"
              "[VFS] File missing.obj not found in archive nor in real FS.\n");

    const struct {
        const char* name;
        Material::Texel diffuse;
    } materials[] = {{"red", {255, 0, 0}}, {"green", {0, 255, 0}}};
    for (const auto& m : materials) {
        SCOPED_TRACE(m.name);
        ASSERT_NE(library->material(m.name), nullptr);
        EXPECT_EQ(library->material(m.name)->diffuseValue(), m.diffuse);
    }

    ASSERT_NE(library->mesh("quad"), nullptr);
    EXPECT_NE(library->mesh("quad")->vertexBuffer(), nullptr);
    EXPECT_EQ(library->mesh("gone"), nullptr);

    auto* sky = dynamic_cast<Tarn::ImageTexture*>(library->texture("sky"));
    ASSERT_NE(sky, nullptr);
    EXPECT_EQ(sky->width(), 2);
    auto* env = dynamic_cast<Tarn::CubeTexture*>(library->texture("env"));
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(env->faceSize(), 2);

    // Names live in their own kind only.
    const char* const absent[] = {"quad", "sky", "env", "nothing"};
    for (const char* name : absent)
        EXPECT_EQ(library->material(name), nullptr) << name;
    EXPECT_EQ(library->mesh("red"), nullptr);
    EXPECT_EQ(library->mesh("sky"), nullptr);
    EXPECT_EQ(library->texture("red"), nullptr);
    EXPECT_EQ(library->texture("quad"), nullptr);
    EXPECT_EQ(library->texture("nothing"), nullptr);
    EXPECT_EQ(AssetLibrary::instance(), library);
}

// A script's material lines and the add operations share the name space:
// whichever comes first keeps the name.
TEST_F(AssetLibraryGLTest, AddedObjectsAndScriptLinesShareNames) {
    ASSERT_NO_FATAL_FAILURE(
        pack({{"library.tarn", "material mine red.mat\nmaterial theirs red.mat\n"},
              {"red.mat", "diffuse 1 0 0\n"}}));
    AssetLibrary library;
    Material own;
    library.addMaterial("mine", &own);
    testing::internal::CaptureStdout();
    library.loadAllFromScript("library.tarn");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(library.material("mine"), &own);
    ASSERT_NE(library.material("theirs"), nullptr);
    EXPECT_NE(library.material("theirs"), &own);
    EXPECT_EQ(library.material("theirs")->diffuseValue(), (Material::Texel{255, 0, 0}));
}

}  // namespace
