#ifndef TARN_POSTFX_EFFECTFACTORY_H
#define TARN_POSTFX_EFFECTFACTORY_H

// The registry of effect types by name. Each effect extension registers its
// create function at start-up, before any GL context exists; the demo script
// asks for effects by name once the context does. Names are exact and
// case-sensitive, spaces included ("Motion blur"). Static state only, kept
// for the whole process; main thread only.

#include <functional>
#include <string>
#include <vector>

namespace Tarn::PostFX {

class Effect;

class EffectFactory {
public:
    using Creator = std::function<Effect*()>;

    // Prints "[EffectFactory] Registered effect "NAME"" and keeps the
    // creator; a name already present prints "[EffectFactory] Effect "NAME"
    // is already registered." and the first creator stays. An empty creator
    // is refused with one line.
    static void registerEffect(const std::string& name, Creator creator);
    // A new effect the caller owns, named after name (Effect::name), or null after "[EffectFactory]
    // Effect "NAME" does not exist." for a name nobody registered.
    static Effect* createEffect(const std::string& name);
    // Every registered name, in name order.
    static std::vector<std::string> names();

    EffectFactory() = delete;
};

}  // namespace Tarn::PostFX

#endif
