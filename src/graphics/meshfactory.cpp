#include "tarn/graphics/meshfactory.h"

#include <utility>

#include "tarn/diagnostics.h"

namespace Tarn::Graphics {

std::map<std::string, MeshFactory::Loader> MeshFactory::ms_loaders;

void MeshFactory::addLoader(const std::string& name, Loader loader) {
    if (ms_loaders.count(name)) {
        Diagnostics::problem("MeshFactory", "Loader \"" + name + "\" already exists.");
        return;
    }
    if (!loader) {
        Diagnostics::problem("MeshFactory",
                             "Loader \"" + name + "\" is empty and is not registered");
        return;
    }
    Diagnostics::note("MeshFactory", "Registered loader \"" + name + "\"");
    ms_loaders.emplace(name, std::move(loader));
}

Mesh* MeshFactory::load(const std::string& filename, const std::string& loader) {
    const auto found = ms_loaders.find(loader);
    if (found == ms_loaders.end()) {
        Diagnostics::problem("MeshFactory", "Loader \"" + loader + "\" does not exist.");
        return nullptr;
    }
    return found->second(filename);
}

}  // namespace Tarn::Graphics
