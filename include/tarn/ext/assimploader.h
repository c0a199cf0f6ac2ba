#ifndef TARN_EXT_ASSIMPLOADER_H
#define TARN_EXT_ASSIMPLOADER_H

// The mesh loader for every model format the Open Asset Import Library reads,
// registered with the mesh factory as "assimp". Stateless; files come through
// the archive (VFS::tarnVFS).

#include <memory>
#include <string>

#include "tarn/iextension.h"

namespace Tarn {

class VFS;

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
    // The decode cache takes the decoded model from here when it has it.
    static Graphics::Mesh* load(const std::string& filename);
    // The CPU half of load, for any thread: the file read through vfs and
    // imported to arrays that load uploads; registered with the decode
    // cache as "assimp". Null after reporting, as load.
    static std::shared_ptr<const void> decode(VFS& vfs, const std::string& filename);
};

}  // namespace Ext
}  // namespace Tarn

#endif
