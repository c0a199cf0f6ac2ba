#ifndef TARN_GRAPHICS_MESHFACTORY_H
#define TARN_GRAPHICS_MESHFACTORY_H

// The registry of mesh loaders by name. Loaders are registered at start-up,
// before the asset library script is read, and stay registered until exit.
// Static members only; main thread.

#include <functional>
#include <map>
#include <string>

namespace Tarn::Graphics {

class Mesh;

class MeshFactory {
public:
    // Takes a file name and returns a new mesh for the caller to own, or null.
    using Loader = std::function<Mesh*(const std::string&)>;

    MeshFactory() = delete;

    // Stores the loader under name and prints
    // [MeshFactory] Registered loader "<name>"; a name already taken prints
    // [MeshFactory] Loader "<name>" already exists. and keeps the first one;
    // an empty function is reported and not stored.
    static void addLoader(const std::string& name, Loader loader);
    // The named loader's result for filename (null included); for a name that
    // is not registered, prints [MeshFactory] Loader "<name>" does not exist.
    // and returns null.
    static Mesh* load(const std::string& filename, const std::string& loader);

private:
    static std::map<std::string, Loader> ms_loaders;
};

}  // namespace Tarn::Graphics

#endif
