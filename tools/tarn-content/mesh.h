#ifndef TARN_CONTENT_MESH_H
#define TARN_CONTENT_MESH_H

// Triangle meshes built from parametric surfaces and written as OBJ text,
// with a normal and a texture coordinate on every vertex (the engine derives
// tangents from the texture coordinates).
//
// A surface maps (s, t) in 0..1 to a position and a texture coordinate. Its
// front is the side dP/ds x dP/dt points to: triangles wind counter-clockwise
// seen from there and the normals point there. When u grows with s and v
// with t, that also makes the texture frame right-handed (cross(N, dP/du)
// along dP/dv), which is what the renderer's normal mapping assumes.

#include <functional>
#include <string>
#include <vector>

#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

namespace Content {

struct Vertex {
    glm::vec3 position;
    glm::vec3 normal;
    glm::vec2 uv;
};

// What a surface gives at (s, t); a zero normal asks for one derived from
// the surface's derivatives.
struct SurfacePoint {
    glm::vec3 position;
    glm::vec2 uv;
    glm::vec3 normal{0.0f};
};

using Surface = std::function<SurfacePoint(float s, float t)>;

struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<unsigned int> indices;  // three per triangle

    // Adds the surface as a grid of columns x rows quads, two triangles each;
    // triangles of (nearly) no area, as at a sphere's poles, are left out.
    void addSurface(int columns, int rows, const Surface& surface);
    // Adds every vertex and triangle of another mesh.
    void append(const Mesh& other);
};

// The mesh as Wavefront OBJ text: a comment line, then "v", "vt" and "vn"
// lines, one of each per vertex, then "f a/a/a b/b/b c/c/c" per triangle.
std::string toObj(const Mesh& mesh, const std::string& comment);

}  // namespace Content

#endif
