#include "tarn/ext/assimploader.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "tarn/graphics/mesh.h"
#include "tarn/graphics/meshfactory.h"
#include "tarn/vertexbuffer.h"
#include "tarn/vfs.h"

#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Tarn::VertexBuffer;
using Tarn::VFS;
using Tarn::Ext::AssimpLoader;
using Tarn::Graphics::Mesh;
using Tarn::Graphics::MeshFactory;

void writeText(const fs::path& path, const std::string& text) {
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> namesOf(const VertexBuffer& buffer) {
    std::vector<std::string> names;
    for (const VertexBuffer::AttributeData& attribute : buffer.attributes())
        names.push_back(attribute.name);
    return names;
}

const VertexBuffer::AttributeData* find(const VertexBuffer& buffer, const std::string& name) {
    for (const VertexBuffer::AttributeData& attribute : buffer.attributes())
        if (attribute.name == name)
            return &attribute;
    return nullptr;
}

// The values of an attribute at each index, in index order.
std::vector<float> alongIndices(const VertexBuffer& buffer, const std::string& name) {
    std::vector<float> values;
    const VertexBuffer::AttributeData* attribute = find(buffer, name);
    if (!attribute)
        return values;
    const unsigned int n = attribute->numValuesPerElement;
    for (unsigned int index : buffer.indices())
        for (unsigned int c = 0; c < n; ++c)
            values.push_back(attribute->data.at(n * index + c));
    return values;
}

void expectNear(const std::vector<float>& got, const std::vector<float>& expected) {
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], expected[i], 1e-5f) << "value " << i;
}

// Each test runs in a fresh folder of its own, its working directory, with
// an archive reader over loose files (the archive itself is absent).
class AssimpLoaderTest : public ::testing::Test {
protected:
    void SetUp() override { m_vfs = std::make_unique<VFS>("absent.tarn", false); }
    void TearDown() override { m_vfs.reset(); }

    Tarn::Test::ScratchFolder m_scratch;
    std::unique_ptr<VFS> m_vfs;
};

const char* const kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

// The attributes follow the model: position and normal always (normals
// generated when the file has none), uv and tangent only with texture
// coordinates; only the first triangle mesh is read.
TEST_F(AssimpLoaderTest, AttributesFollowTheModel) {
    const struct {
        const char* name;
        const char* obj;
        std::vector<std::string> attributes;
        // Along the indices of the mesh read:
        std::vector<float> positions;
        std::vector<float> normals;
        std::vector<float> uvs;
    } cases[] = {
        {"no texture coordinates, normals generated",
         kTriangle,
         {"position", "normal"},
         {0, 0, 0, 1, 0, 0, 0, 1, 0},
         {0, 0, 1, 0, 0, 1, 0, 0, 1},
         {}},
        {"normals given",
         "v 0 0 0\nv 0 0 2\nv 0 2 0\nvn 1 0 0\nvn 1 0 0\nvn 1 0 0\nf 1//1 2//2 3//3\n",
         {"position", "normal"},
         {0, 0, 0, 0, 0, 2, 0, 2, 0},
         {1, 0, 0, 1, 0, 0, 1, 0, 0},
         {}},
        {"texture coordinates",
         "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
         "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n",
         {"position", "normal", "uv", "tangent"},
         {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, -1, 0, 1, 1, 0, -1, 1, 0},
         {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1},
         {0, 0, 1, 0, 1, 1, 0, 0, 1, 1, 0, 1}},
        {"second object ignored",
         "o first\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
         "o second\nv 5 5 5\nv 6 5 5\nv 6 6 5\nv 5 6 5\nf 4 5 6 7\n",
         {"position", "normal"},
         {0, 0, 0, 1, 0, 0, 0, 1, 0},
         {0, 0, 1, 0, 0, 1, 0, 0, 1},
         {}},
        // Sorting by primitive type puts the line first; it has no triangle.
        {"line before the triangle",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\nf 1 2 3\n",
         {"position", "normal"},
         {0, 0, 0, 1, 0, 0, 0, 1, 0},
         {0, 0, 1, 0, 0, 1, 0, 0, 1},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeText("models/model.obj", c.obj);
        testing::internal::CaptureStdout();
        const std::unique_ptr<Mesh> mesh(AssimpLoader::load("models/model.obj"));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        ASSERT_NE(mesh, nullptr);
        const VertexBuffer& buffer = *mesh->vertexBuffer();
        EXPECT_EQ(namesOf(buffer), c.attributes);
        const std::vector<unsigned int> perVertex = {3, 3, 2, 3};
        for (const VertexBuffer::AttributeData& attribute : buffer.attributes()) {
            EXPECT_EQ(attribute.numValuesPerElement, perVertex.at(attribute.index))
                << attribute.name;
            EXPECT_EQ(attribute.data.size(),
                      buffer.attributes()[0].data.size() / 3 * attribute.numValuesPerElement)
                << attribute.name;
        }
        expectNear(alongIndices(buffer, "position"), c.positions);
        expectNear(alongIndices(buffer, "normal"), c.normals);
        expectNear(alongIndices(buffer, "uv"), c.uvs);
        if (const VertexBuffer::AttributeData* tangent = find(buffer, "tangent")) {
            // u grows along x on this quad.
            for (std::size_t i = 0; i + 2 < tangent->data.size(); i += 3)
                expectNear({tangent->data[i], tangent->data[i + 1], tangent->data[i + 2]},
                           {1, 0, 0});
        }
    }
}

// Failures give null and one line: the archive's own for a missing file,
// the loader's for anything it cannot use.
TEST_F(AssimpLoaderTest, FailuresGiveNullAndOneLine) {
    const struct {
        const char* file;
        const char* content;  // null: no file
        std::string output;
        bool outputIsPrefix;
    } cases[] = {
        {"models/missing.obj", nullptr,
         "[VFS] File models/missing.obj not found in archive nor in real FS.\n", false},
        {"empty.obj", "", "[AssimpLoader] Cannot import empty.obj: the file is empty\n", false},
        {"garbage.bin", "this is no model\n\x01\x02\x03",
         "[AssimpLoader] Cannot import garbage.bin: ", true},
        {"badindex.obj", "v 0 0 0\nf 1 2 3\n", "[AssimpLoader] Cannot import badindex.obj: ", true},
        {"nothing.obj", "o first\ng group\ns off\n# no vertex and no face in this model\n",
         "[AssimpLoader] nothing.obj holds no triangle mesh\n", false},
        {"points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n",
         "[AssimpLoader] points.obj holds no triangle mesh\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        if (c.content)
            writeText(c.file, c.content);
        testing::internal::CaptureStdout();
        EXPECT_EQ(AssimpLoader::load(c.file), nullptr);
        const std::string output = testing::internal::GetCapturedStdout();
        if (c.outputIsPrefix) {
            EXPECT_EQ(output.substr(0, c.output.size()), c.output);
            EXPECT_GT(output.size(), c.output.size() + 1) << "no reason given";
            EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
        } else {
            EXPECT_EQ(output, c.output);
        }
    }
}

TEST_F(AssimpLoaderTest, ReadsModelsPackedInTheArchive) {
    writeText("models/packed.obj", kTriangle);
    {
        VFS writer("models.tarn", false);
        writer.add("models/packed.obj");
        ASSERT_TRUE(writer.write());
    }
    fs::remove("models/packed.obj");
    // The loader reads through the first reader made, so the old one goes first.
    m_vfs.reset();
    m_vfs = std::make_unique<VFS>("models.tarn", false);
    ASSERT_TRUE(m_vfs->hasArchive());

    testing::internal::CaptureStdout();
    const std::unique_ptr<Mesh> mesh(AssimpLoader::load("models/packed.obj"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_NE(mesh, nullptr);
    expectNear(alongIndices(*mesh->vertexBuffer(), "position"), {0, 0, 0, 1, 0, 0, 0, 1, 0});
    // The loader gave the file back: the next open inflates a new one.
    Tarn::File* again = m_vfs->open("models/packed.obj");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->str(), kTriangle);
    m_vfs->close(again);
}

TEST(AssimpLoaderWithoutArchiveTest, ReportsThatNoArchiveIsOpen) {
    ASSERT_EQ(VFS::tarnVFS, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(AssimpLoader::load("rock.obj"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[AssimpLoader] No archive is open to read rock.obj from\n");
}

// Registration goes through the extension template; the loader registered
// first under "assimp" stays.
TEST_F(AssimpLoaderTest, RegistersOnceAsAssimp) {
    testing::internal::CaptureStdout();
    AssimpLoader::registerExtension();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[MeshFactory] Registered loader \"assimp\"\n");

    bool impostorCalled = false;
    testing::internal::CaptureStdout();
    AssimpLoader::_register();
    MeshFactory::addLoader("assimp", [&](const std::string&) -> Mesh* {
        impostorCalled = true;
        return nullptr;
    });
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[MeshFactory] Loader \"assimp\" already exists.\n"
              "[MeshFactory] Loader \"assimp\" already exists.\n");

    writeText("rock.obj", kTriangle);
    const std::unique_ptr<Mesh> mesh(MeshFactory::load("rock.obj", "assimp"));
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(namesOf(*mesh->vertexBuffer()), (std::vector<std::string>{"position", "normal"}));
    EXPECT_FALSE(impostorCalled);
}

}  // namespace
