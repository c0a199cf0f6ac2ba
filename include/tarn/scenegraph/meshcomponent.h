#ifndef TARN_SCENEGRAPH_MESHCOMPONENT_H
#define TARN_SCENEGRAPH_MESHCOMPONENT_H

// Draws a mesh when its entity is processed, with whatever program, textures
// and uniforms are current at that moment. Owned by its entity; the mesh
// belongs to the asset library.

#include "tarn/scenegraph/component.h"

namespace Tarn {

namespace Graphics {
class Mesh;
}

namespace Scenegraph {

class MeshComponent : public Component {
public:
    explicit MeshComponent(Graphics::Mesh* mesh) : m_mesh(mesh) {}

    Graphics::Mesh* mesh() const { return m_mesh; }

    // Draws the mesh; the program and time are not used. Does nothing
    // without a mesh.
    void apply(ShaderProgram* program, double time) override;

private:
    Graphics::Mesh* m_mesh;
};

}  // namespace Scenegraph
}  // namespace Tarn

#endif
