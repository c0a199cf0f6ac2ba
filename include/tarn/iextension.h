#ifndef TARN_IEXTENSION_H
#define TARN_IEXTENSION_H

// The start-up registration pattern for extensions (mesh loaders, effects):
// class T : public IExtension<T> provides a static _register() that adds T to
// its registry, and main calls T::registerExtension() once per extension,
// before the window exists. Holds no state.

namespace Tarn {

template <typename T> class IExtension {
public:
    static void registerExtension() { T::_register(); }

protected:
    IExtension() = default;
};

}  // namespace Tarn

#endif
