#include "tarn/postfx/effectfactory.h"

#include <iostream>
#include <map>
#include <utility>

#include "tarn/postfx/effect.h"

namespace Tarn::PostFX {

namespace {

// Made on first use, so an extension registering from another translation
// unit's static initialisation still finds it.
std::map<std::string, EffectFactory::Creator>& ms_effects() {
    static std::map<std::string, EffectFactory::Creator> effects;
    return effects;
}

}  // namespace

void EffectFactory::registerEffect(const std::string& name, Creator creator) {
    if (!creator) {
        std::cout << "[EffectFactory] Effect \"" << name
                  << "\" has no create function; not registered" << std::endl;
        return;
    }
    if (!ms_effects().emplace(name, std::move(creator)).second) {
        std::cout << "[EffectFactory] Effect \"" << name << "\" is already registered."
                  << std::endl;
        return;
    }
    std::cout << "[EffectFactory] Registered effect \"" << name << "\"" << std::endl;
}

Effect* EffectFactory::createEffect(const std::string& name) {
    const auto found = ms_effects().find(name);
    if (found == ms_effects().end()) {
        std::cout << "[EffectFactory] Effect \"" << name << "\" does not exist." << std::endl;
        return nullptr;
    }
    Effect* effect = found->second();
    if (effect)
        effect->setName(name);
    return effect;
}

std::vector<std::string> EffectFactory::names() {
    std::vector<std::string> result;
    for (const auto& entry : ms_effects())
        result.push_back(entry.first);
    return result;
}

}  // namespace Tarn::PostFX
