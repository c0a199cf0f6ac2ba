#ifndef TARN_EXT_ASSIMPLOADER_H
#define TARN_EXT_ASSIMPLOADER_H

// The mesh loader for every model format the Open Asset Import Library reads,
// registered with the mesh factory as "assimp". Stateless; files come through
// the archive (VFS::tarnVFS).

#include <string>

#include "tarn/iextension.h"

namespace Tarn {

namespace Graphics {
class Mesh;
}

namespace Ext {

class AssimpLoader : public IExtension<AssimpLoader> {
public:
    // MeshFactory::addLoader("assimp", load).
    static void _register();

    // A new mesh from the first triangle mesh of the model file: "position"
    // (location 0) and "normal" (1, generated when the file has none), then
    // "uv" (2) when the mesh has texture coordinates and "tangent" (3) when it
    // also has tangents. Null when the file is missing (the archive reports
    // it), empty, unreadable by the library, or holds no triangles (one line).
    static Graphics::Mesh* load(const std::string& filename);
};

}  // namespace Ext
}  // namespace Tarn

#endif
