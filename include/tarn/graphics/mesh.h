#ifndef TARN_GRAPHICS_MESH_H
#define TARN_GRAPHICS_MESH_H

// A drawable piece of geometry, as the asset library and the scene graph pass
// it around. Made by a mesh loader, kept by the asset library until exit; it
// owns its vertex buffer.

namespace Tarn {

class VertexBuffer;

namespace Graphics {

class Mesh {
public:
    // Takes ownership of vbo, which may be null (the mesh then draws nothing).
    explicit Mesh(VertexBuffer* vbo);
    ~Mesh();

    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    // Draws the geometry with whatever program, textures and uniforms are current.
    void draw();

    VertexBuffer* vertexBuffer() const { return m_vbo; }

private:
    VertexBuffer* m_vbo;
};

}  // namespace Graphics
}  // namespace Tarn

#endif
