#include "tarn/ext/assimploader.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "tarn/decodecache.h"
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

// A model's first triangle mesh as arrays, made on a loader thread and
// uploaded on the GL thread.
struct Decoded {
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<float> uvs;       // empty without texture coordinates
    std::vector<float> tangents;  // empty without them, or without uvs
    std::vector<unsigned int> indices;
};

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

// Tangents only follow texture coordinates, so that they always sit at
// location 3 where the scene shaders read them.
std::shared_ptr<const Decoded> arrays(const aiMesh& mesh) {
    auto decoded = std::make_shared<Decoded>();
    const unsigned int count = mesh.mNumVertices;
    decoded->positions = xyz(mesh.mVertices, count);
    decoded->normals = xyz(mesh.mNormals, count);
    if (mesh.mTextureCoords[0]) {
        decoded->uvs = uv(mesh.mTextureCoords[0], count);
        if (mesh.mTangents && mesh.mBitangents)
            decoded->tangents = xyz(mesh.mTangents, count);
    }
    decoded->indices = triangleIndices(mesh);
    return decoded;
}

std::unique_ptr<VertexBuffer> buildVertexBuffer(const Decoded& mesh) {
    auto buffer = std::make_unique<VertexBuffer>();
    setAttribute(*buffer, "position", mesh.positions, 3);
    setAttribute(*buffer, "normal", mesh.normals, 3);
    if (!mesh.uvs.empty()) {
        setAttribute(*buffer, "uv", mesh.uvs, 2);
        if (!mesh.tangents.empty())
            setAttribute(*buffer, "tangent", mesh.tangents, 3);
    }
    buffer->setIndices(mesh.indices.data(), static_cast<unsigned int>(mesh.indices.size()));
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
    DecodeCache::addDecoder("assimp", decode);
}

// An importer of its own per file: the library's C interface keeps the last
// error in one global string, which loader threads would share.
std::shared_ptr<const void> AssimpLoader::decode(VFS& vfs, const std::string& filename) {
    const std::unique_ptr<File> file = vfs.openCopy(filename);
    if (!file)
        return nullptr;
    if (file->size() == 0) {
        // The library asserts on an empty buffer instead of failing.
        Diagnostics::problem("AssimpLoader", "Cannot import " + filename + ": the file is empty");
        return nullptr;
    }
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFileFromMemory(file->ptr(), file->size(), kImportFlags, "");
    if (!scene) {
        Diagnostics::problem("AssimpLoader", "Cannot import " + filename + ": " +
                                                 oneLine(importer.GetErrorString()));
        return nullptr;
    }
    const aiMesh* mesh = firstTriangleMesh(*scene);
    if (!mesh) {
        Diagnostics::problem("AssimpLoader", filename + " holds no triangle mesh");
        return nullptr;
    }
    return arrays(*mesh);
}

Graphics::Mesh* AssimpLoader::load(const std::string& filename) {
    std::shared_ptr<const Decoded> mesh;
    if (!DecodeCache::take("assimp", filename, mesh)) {
        VFS* vfs = VFS::tarnVFS;
        if (!vfs) {
            Diagnostics::problem("AssimpLoader",
                                 "No archive is open to read " + filename + " from");
            return nullptr;
        }
        mesh = std::static_pointer_cast<const Decoded>(decode(*vfs, filename));
    }
    return mesh ? new Graphics::Mesh(buildVertexBuffer(*mesh).release()) : nullptr;
}

}  // namespace Tarn::Ext
