#include "tarn/scenegraph/meshcomponent.h"

#include "tarn/graphics/mesh.h"

namespace Tarn::Scenegraph {

void MeshComponent::apply(ShaderProgram*, double) {
    if (m_mesh)
        m_mesh->draw();
}

}  // namespace Tarn::Scenegraph
