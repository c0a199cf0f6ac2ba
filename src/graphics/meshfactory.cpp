#include "tarn/graphics/meshfactory.h"

#include <iostream>
#include <utility>

namespace Tarn::Graphics {

std::map<std::string, MeshFactory::Loader> MeshFactory::ms_loaders;

void MeshFactory::addLoader(const std::string& name, Loader loader) {
    if (ms_loaders.count(name)) {
        std::cout << "[MeshFactory] Loader \"" << name << "\" already exists." << std::endl;
        return;
    }
    if (!loader) {
        std::cout << "[MeshFactory] Loader \"" << name << "\" is empty and is not registered"
                  << std::endl;
        return;
    }
    std::cout << "[MeshFactory] Registered loader \"" << name << "\"" << std::endl;
    ms_loaders.emplace(name, std::move(loader));
}

Mesh* MeshFactory::load(const std::string& filename, const std::string& loader) {
    const auto found = ms_loaders.find(loader);
    if (found == ms_loaders.end()) {
        std::cout << "[MeshFactory] Loader \"" << loader << "\" does not exist." << std::endl;
        return nullptr;
    }
    return found->second(filename);
}

}  // namespace Tarn::Graphics
