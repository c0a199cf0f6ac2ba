#include "tarn/assetlibrary.h"

#include <functional>
#include <iostream>

#include "tarn/cubetexture.h"
#include "tarn/graphics/material.h"
#include "tarn/graphics/mesh.h"
#include "tarn/graphics/meshfactory.h"
#include "tarn/imagetexture.h"
#include "tarn/luceparser.h"
#include "tarn/texture.h"
#include "tarn/vfs.h"

namespace Tarn {

namespace {

template <typename T>
void addFirst(std::map<std::string, T*>& map, const std::string& name, T* value) {
    map.emplace(name, value);
}

template <typename T> T* find(const std::map<std::string, T*>& map, const std::string& name) {
    const auto found = map.find(name);
    return found == map.end() ? nullptr : found->second;
}

// Keeps a loaded object when its name was free; drops it otherwise (the
// map already holds the first one under that name).
template <typename T>
void keepOrDrop(std::map<std::string, T*>& map, std::vector<std::unique_ptr<T>>& owned,
                const std::string& name, T* loaded) {
    std::unique_ptr<T> object(loaded);
    if (!map.emplace(name, object.get()).second)
        return;
    if (object)
        owned.push_back(std::move(object));
}

}  // namespace

AssetLibrary* AssetLibrary::ms_instance = nullptr;

AssetLibrary* AssetLibrary::instance() {
    if (!ms_instance)
        ms_instance = new AssetLibrary();
    return ms_instance;
}

void AssetLibrary::destroyInstance() {
    delete ms_instance;
    ms_instance = nullptr;
}

std::unique_ptr<AssetLibrary> AssetLibrary::replaceInstance(std::unique_ptr<AssetLibrary> library) {
    std::unique_ptr<AssetLibrary> previous(ms_instance);
    ms_instance = library.release();
    return previous;
}

AssetLibrary::AssetLibrary() = default;

AssetLibrary::~AssetLibrary() = default;

void AssetLibrary::addMaterial(const std::string& name, Graphics::Material* material) {
    addFirst(m_materials, name, material);
}

void AssetLibrary::addMesh(const std::string& name, Graphics::Mesh* mesh) {
    addFirst(m_meshes, name, mesh);
}

void AssetLibrary::addTexture(const std::string& name, Texture* texture) {
    addFirst(m_textures, name, texture);
}

Graphics::Material* AssetLibrary::material(const std::string& name) const {
    return find(m_materials, name);
}

Graphics::Mesh* AssetLibrary::mesh(const std::string& name) const {
    return find(m_meshes, name);
}

Texture* AssetLibrary::texture(const std::string& name) const {
    return find(m_textures, name);
}

void AssetLibrary::loadAllFromScript(const std::string& filename) {
    std::cout << "[AssetLibrary] Loading assets from " << filename << std::endl;

    LUCEParser parser;
    parser.setIgnoredLineHandler(LUCEParser::printIgnoredLines("AssetLibrary", filename));
    // Registers a keyword whose lines name an asset and its path.
    const auto add = [&](const char* keyword,
                         std::function<void(const std::string&, const std::string&)> load) {
        parser.addKeyword(
            keyword, [&parser, &filename, keyword, load](std::vector<std::string> args) {
                if (args.size() < 2) {
                    std::cout << "[AssetLibrary] " << filename << ":" << parser.lineNumber() << ": "
                              << keyword << " needs a name and a path; line skipped" << std::endl;
                    return;
                }
                load(args[0], args[1]);
            });
    };
    add("material", [this](const std::string& name, const std::string& path) {
        keepOrDrop(m_materials, m_ownedMaterials, name, Graphics::Material::createFromScript(path));
    });
    add("mesh", [this](const std::string& name, const std::string& path) {
        keepOrDrop(m_meshes, m_ownedMeshes, name, Graphics::MeshFactory::load(path, "assimp"));
    });
    add("imagetexture", [this](const std::string& name, const std::string& path) {
        keepOrDrop(m_textures, m_ownedTextures, name,
                   static_cast<Texture*>(new ImageTexture(path)));
    });
    add("cubetexture", [this](const std::string& name, const std::string& path) {
        keepOrDrop(m_textures, m_ownedTextures, name, static_cast<Texture*>(new CubeTexture(path)));
    });

    VFS* vfs = VFS::tarnVFS;
    if (!vfs) {
        std::cout << "[AssetLibrary] No archive to read " << filename << " from" << std::endl;
        return;
    }
    std::string text;
    if (!vfs->readScript(filename, text))
        return;
    parser.parse(text);
}

}  // namespace Tarn
