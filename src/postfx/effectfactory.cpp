#include "tarn/postfx/effectfactory.h"

#include <map>
#include <utility>

#include "tarn/diagnostics.h"
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
        Diagnostics::problem("EffectFactory",
                             "Effect \"" + name + "\" has no create function; not registered");
        return;
    }
    if (!ms_effects().emplace(name, std::move(creator)).second) {
        Diagnostics::problem("EffectFactory", "Effect \"" + name + "\" is already registered.");
        return;
    }
    Diagnostics::note("EffectFactory", "Registered effect \"" + name + "\"");
}

Effect* EffectFactory::createEffect(const std::string& name) {
    const auto found = ms_effects().find(name);
    if (found == ms_effects().end()) {
        Diagnostics::problem("EffectFactory", "Effect \"" + name + "\" does not exist.");
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
