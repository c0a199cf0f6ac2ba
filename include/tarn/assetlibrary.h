#ifndef TARN_ASSETLIBRARY_H
#define TARN_ASSETLIBRARY_H

// The process-wide registry of named materials, meshes and textures, each
// kind in its own name space. The demo fills instance() from the library
// script while loading; scenes look materials and meshes up by name. Lives
// until exit, or until a reload replaces it; main (GL context) thread only.
//
// The library script is LUCE, one asset a line, a name and an archive path:
//   material <name> <path>       a material script
//   mesh <name> <path>           a model, loaded by the "assimp" mesh loader
//   imagetexture <name> <path>   a mipmapped image
//   cubetexture <name> <path>    a cube map cut from one cross image

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Tarn {

class DecodeCache;
class Texture;

namespace Graphics {
class Material;
class Mesh;
}  // namespace Graphics

class AssetLibrary {
public:
    // The shared library, made empty on the first call.
    static AssetLibrary* instance();
    // Deletes the shared library and what its script loaded, so that the next
    // instance() starts empty. Needs the GL context when anything was loaded.
    static void destroyInstance();
    // Makes library the shared one and hands back the one it replaces (null
    // for none): a reload builds new content beside the old, which stays
    // usable until the caller drops it.
    static std::unique_ptr<AssetLibrary> replaceInstance(std::unique_ptr<AssetLibrary> library);

    // An empty library of its own, apart from the shared one.
    AssetLibrary();
    // Deletes the objects this library's scripts created; pointers given to
    // the add operations stay with their owners.
    ~AssetLibrary();

    AssetLibrary(const AssetLibrary&) = delete;
    AssetLibrary& operator=(const AssetLibrary&) = delete;

    // Store the pointer (null included) unless the name is already taken in
    // that kind's map: the first entry stays, silently. Not owned.
    void addMaterial(const std::string& name, Graphics::Material* material);
    void addMesh(const std::string& name, Graphics::Mesh* mesh);
    void addTexture(const std::string& name, Texture* texture);

    // The stored pointer, or null for a name never added. Never inserts.
    Graphics::Material* material(const std::string& name) const;
    Graphics::Mesh* mesh(const std::string& name) const;
    Texture* texture(const std::string& name) const;
    // Whether the name's first mesh line in a library script failed to load
    // it (reported then, at that line): a scene line that uses it leaves
    // its mesh out without a word. Materials and textures never fail this
    // way: a missing script or image gives a default material or the
    // magenta placeholder.
    bool meshFailed(const std::string& name) const;
    // Every name stored for that kind, in name order: the choices offered
    // when a script misspells one.
    std::vector<std::string> materialNames() const;
    std::vector<std::string> meshNames() const;
    std::vector<std::string> textureNames() const;

    // Prints "[AssetLibrary] Loading assets from <filename>" and loads every
    // line in order, each asset completely before the next line. A line
    // whose name is taken still loads (and logs) its asset, which is then
    // dropped. A model that cannot be loaded is stored as null. A line with
    // fewer than two arguments is reported with the script's path and line
    // number and skipped; a missing script (reported by the archive) loads
    // nothing. Reports made while a line loads (the archive missing a file)
    // are placed at that line of the script.
    void loadAllFromScript(const std::string& filename);
    // Asks cache to decode every image and model that loadAllFromScript will
    // read for this script, in the order it reads them: the files of its
    // lines and the maps of their material scripts. Says nothing; what is
    // wrong is reported when the script is loaded.
    static void prefetchFromScript(const std::string& filename, DecodeCache& cache);

private:
    std::map<std::string, Graphics::Material*> m_materials;
    std::map<std::string, Graphics::Mesh*> m_meshes;
    std::map<std::string, Texture*> m_textures;
    std::set<std::string> m_failedMeshes;

    // What this library's scripts created and kept.
    std::vector<std::unique_ptr<Graphics::Material>> m_ownedMaterials;
    std::vector<std::unique_ptr<Graphics::Mesh>> m_ownedMeshes;
    std::vector<std::unique_ptr<Texture>> m_ownedTextures;

    static AssetLibrary* ms_instance;
};

}  // namespace Tarn

#endif
