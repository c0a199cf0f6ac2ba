#include "tarn/ext/assimploader.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <assimp/cimport.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "tarn/diagnostics.h"
#include "tarn/file.h"
#include "tarn/graphics/mesh.h"
#include "tarn/graphics/meshfactory.h"
#include "tarn/vertexbuffer.h"
#include "tarn/vfs.h"

namespace Tarn::Ext {

namespace {

// Tangents, shared vertices, triangles only, normals where the file has
// none, UVs from non-UV mappings, one primitive type per mesh.
const unsigned int kImportFlags = aiProcessPreset_TargetRealtime_Fast;

// Gives the imported scene back to the library on every path out.
struct SceneRelease {
    void operator()(const aiScene* scene) const { aiReleaseImport(scene); }
};
using ScenePtr = std::unique_ptr<const aiScene, SceneRelease>;

// After sorting by primitive type a model may start with a mesh of points or
// lines, whose faces hold fewer than three indices; those are skipped.
const aiMesh* firstTriangleMesh(const aiScene& scene) {
    for (unsigned int i = 0; i < scene.mNumMeshes; ++i) {
        const aiMesh* mesh = scene.mMeshes[i];
        if (mesh && (mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) && mesh->mNumFaces > 0)
            return mesh;
    }
    return nullptr;
}

// Missing vectors (a library that generated no normals) read as zero, so
// the attributes after them keep their locations.
std::vector<float> xyz(const aiVector3D* vectors, unsigned int count) {
    std::vector<float> values(3 * static_cast<std::size_t>(count), 0.0f);
    if (vectors) {
        for (unsigned int i = 0; i < count; ++i) {
            values[3 * i] = vectors[i].x;
            values[3 * i + 1] = vectors[i].y;
            values[3 * i + 2] = vectors[i].z;
        }
    }
    return values;
}

std::vector<float> uv(const aiVector3D* coordinates, unsigned int count) {
    std::vector<float> values(2 * static_cast<std::size_t>(count));
    for (unsigned int i = 0; i < count; ++i) {
        values[2 * i] = coordinates[i].x;
        values[2 * i + 1] = coordinates[i].y;
    }
    return values;
}

std::vector<unsigned int> triangleIndices(const aiMesh& mesh) {
    std::vector<unsigned int> indices;
    indices.reserve(3 * static_cast<std::size_t>(mesh.mNumFaces));
    for (unsigned int i = 0; i < mesh.mNumFaces; ++i) {
        const aiFace& face = mesh.mFaces[i];
        if (face.mNumIndices == 3)
            indices.insert(indices.end(), face.mIndices, face.mIndices + 3);
    }
    return indices;
}

void setAttribute(VertexBuffer& buffer, const char* name, const std::vector<float>& values,
                  unsigned int perVertex) {
    buffer.setAttribute(name, values.data(), static_cast<unsigned int>(values.size()), perVertex);
}

std::unique_ptr<VertexBuffer> buildVertexBuffer(const aiMesh& mesh) {
    auto buffer = std::make_unique<VertexBuffer>();
    const unsigned int count = mesh.mNumVertices;
    setAttribute(*buffer, "position", xyz(mesh.mVertices, count), 3);
    setAttribute(*buffer, "normal", xyz(mesh.mNormals, count), 3);
    // Tangents only follow texture coordinates, so that they always sit at
    // location 3 where the scene shaders read them.
    if (mesh.mTextureCoords[0]) {
        setAttribute(*buffer, "uv", uv(mesh.mTextureCoords[0], count), 2);
        if (mesh.mTangents && mesh.mBitangents)
            setAttribute(*buffer, "tangent", xyz(mesh.mTangents, count), 3);
    }
    const std::vector<unsigned int> indices = triangleIndices(mesh);
    buffer->setIndices(indices.data(), static_cast<unsigned int>(indices.size()));
    return buffer;
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

}  // namespace

void AssimpLoader::_register() {
    Graphics::MeshFactory::addLoader("assimp", load);
}

Graphics::Mesh* AssimpLoader::load(const std::string& filename) {
    VFS* vfs = VFS::tarnVFS;
    if (!vfs) {
        Diagnostics::problem("AssimpLoader", "No archive is open to read " + filename + " from");
        return nullptr;
    }
    File* file = vfs->open(filename);
    if (!file)
        return nullptr;
    if (file->size() == 0) {
        // The library asserts on an empty buffer instead of failing.
        vfs->close(file);
        Diagnostics::problem("AssimpLoader", "Cannot import " + filename + ": the file is empty");
        return nullptr;
    }
    const ScenePtr scene(aiImportFileFromMemory(file->ptr(), file->size(), kImportFlags, nullptr));
    vfs->close(file);
    if (!scene) {
        Diagnostics::problem("AssimpLoader",
                             "Cannot import " + filename + ": " + oneLine(aiGetErrorString()));
        return nullptr;
    }
    const aiMesh* mesh = firstTriangleMesh(*scene);
    if (!mesh) {
        Diagnostics::problem("AssimpLoader", filename + " holds no triangle mesh");
        return nullptr;
    }
    return new Graphics::Mesh(buildVertexBuffer(*mesh).release());
}

}  // namespace Tarn::Ext
