#include "tarn/graphics/mesh.h"

#include "tarn/vertexbuffer.h"

namespace Tarn::Graphics {

Mesh::Mesh(VertexBuffer* vbo) : m_vbo(vbo) {}

Mesh::~Mesh() {
    delete m_vbo;
}

void Mesh::draw() {
    if (m_vbo)
        m_vbo->draw();
}

}  // namespace Tarn::Graphics
