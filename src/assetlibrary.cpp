#include "tarn/assetlibrary.h"

#include <functional>

#include "tarn/cubetexture.h"
#include "tarn/decodecache.h"
#include "tarn/diagnostics.h"
#include "tarn/file.h"
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

template <typename T> std::vector<std::string> names(const std::map<std::string, T*>& map) {
    std::vector<std::string> out;
    for (const auto& entry : map)
        out.push_back(entry.first);
    return out;
}

// Keeps a loaded object when its name was free and returns true; drops it
// otherwise (the map already holds the first one under that name).
template <typename T>
bool keepOrDrop(std::map<std::string, T*>& map, std::vector<std::unique_ptr<T>>& owned,
                const std::string& name, T* loaded) {
    std::unique_ptr<T> object(loaded);
    if (!map.emplace(name, object.get()).second)
        return false;
    if (object)
        owned.push_back(std::move(object));
    return true;
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

bool AssetLibrary::meshFailed(const std::string& name) const {
    return m_failedMeshes.count(name) > 0;
}

std::vector<std::string> AssetLibrary::materialNames() const {
    return names(m_materials);
}

std::vector<std::string> AssetLibrary::meshNames() const {
    return names(m_meshes);
}

std::vector<std::string> AssetLibrary::textureNames() const {
    return names(m_textures);
}

void AssetLibrary::loadAllFromScript(const std::string& filename) {
    Diagnostics::note("AssetLibrary", "Loading assets from " + filename);

    LUCEParser parser;
    // What the archive and the loaders report is placed at the asset's line.
    parser.setScript(filename);
    parser.setIgnoredLineHandler(LUCEParser::printIgnoredLines("AssetLibrary", filename));
    // Registers a keyword whose lines name an asset and its path.
    const auto add = [&](const char* keyword,
                         std::function<void(const std::string&, const std::string&)> load) {
        parser.addKeyword(
            keyword, [&parser, &filename, keyword, load](std::vector<std::string> args) {
                if (args.size() < 2) {
                    Diagnostics::problemAt("AssetLibrary", filename, parser.lineNumber(),
                                           std::string(keyword) +
                                               " needs a name and a path; line skipped");
                    return;
                }
                load(args[0], args[1]);
            });
    };
    add("material", [this](const std::string& name, const std::string& path) {
        keepOrDrop(m_materials, m_ownedMaterials, name, Graphics::Material::createFromScript(path));
    });
    add("mesh", [this](const std::string& name, const std::string& path) {
        Graphics::Mesh* mesh = Graphics::MeshFactory::load(path, "assimp");
        if (keepOrDrop(m_meshes, m_ownedMeshes, name, mesh) && !mesh)
            m_failedMeshes.insert(name);
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
        Diagnostics::problem("AssetLibrary", "No archive to read " + filename + " from");
        return;
    }
    std::string text;
    if (!vfs->readScript(filename, text))
        return;
    parser.parse(text);
}

void AssetLibrary::prefetchFromScript(const std::string& filename, DecodeCache& cache) {
    DecodeCache::scanScript(filename, [&cache](LUCEParser& parser) {
        const auto add = [&parser](const char* keyword,
                                   std::function<void(const std::string&)> prefetch) {
            parser.addKeyword(keyword, [prefetch](std::vector<std::string> args) {
                if (args.size() >= 2)
                    prefetch(args[1]);
            });
        };
        add("material", [&cache](const std::string& path) {
            Graphics::Material::prefetchFromScript(path, cache);
        });
        add("mesh", [&cache](const std::string& path) { cache.prefetch("assimp", path); });
        add("imagetexture", [&cache](const std::string& path) { cache.prefetch("image", path); });
        add("cubetexture", [&cache](const std::string& path) { cache.prefetch("image", path); });
    });
}

}  // namespace Tarn
