#include "mesh.h"

#include <cmath>
#include <cstdio>

#include <glm/geometric.hpp>

namespace Content {

namespace {

// The surface's normal from central differences: dP/ds x dP/dt.
glm::vec3 derivedNormal(const Surface& surface, float s, float t) {
    constexpr float Step = 1e-3f;
    const glm::vec3 ds = surface(s + Step, t).position - surface(s - Step, t).position;
    const glm::vec3 dt = surface(s, t + Step).position - surface(s, t - Step).position;
    const glm::vec3 n = glm::cross(ds, dt);
    const float length = glm::length(n);
    return length > 1e-12f ? n / length : glm::vec3(0.0f, 1.0f, 0.0f);
}

}  // namespace

void Mesh::addSurface(int columns, int rows, const Surface& surface) {
    const unsigned int first = static_cast<unsigned int>(vertices.size());
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i) {
            const float s = static_cast<float>(i) / columns, t = static_cast<float>(j) / rows;
            const SurfacePoint point = surface(s, t);
            const glm::vec3 normal = glm::length(point.normal) > 0.0f
                                         ? glm::normalize(point.normal)
                                         : derivedNormal(surface, s, t);
            vertices.push_back({point.position, normal, point.uv});
        }
    const auto at = [&](int i, int j) {
        return first + static_cast<unsigned int>(j * (columns + 1) + i);
    };
    const auto addTriangle = [&](unsigned int a, unsigned int b, unsigned int c) {
        const glm::vec3 n = glm::cross(vertices[b].position - vertices[a].position,
                                       vertices[c].position - vertices[a].position);
        if (glm::length(n) < 1e-9f)
            return;
        indices.insert(indices.end(), {a, b, c});
    };
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            addTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            addTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
}

void Mesh::append(const Mesh& other) {
    const unsigned int first = static_cast<unsigned int>(vertices.size());
    vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
    for (unsigned int index : other.indices)
        indices.push_back(first + index);
}

std::string toObj(const Mesh& mesh, const std::string& comment) {
    std::string text = "# " + comment + "\n";
    char line[160];
    // Values that round to zero print as 0, never as -0.00000.
    const auto clean = [](float v) { return std::abs(v) < 5e-6f ? 0.0f : v; };
    for (const Vertex& v : mesh.vertices) {
        std::snprintf(line, sizeof line, "v %.5f %.5f %.5f\n", clean(v.position.x),
                      clean(v.position.y), clean(v.position.z));
        text += line;
    }
    for (const Vertex& v : mesh.vertices) {
        std::snprintf(line, sizeof line, "vt %.5f %.5f\n", clean(v.uv.x), clean(v.uv.y));
        text += line;
    }
    for (const Vertex& v : mesh.vertices) {
        std::snprintf(line, sizeof line, "vn %.4f %.4f %.4f\n", clean(v.normal.x),
                      clean(v.normal.y), clean(v.normal.z));
        text += line;
    }
    for (std::size_t i = 0; i + 2 < mesh.indices.size(); i += 3) {
        const unsigned int a = mesh.indices[i] + 1, b = mesh.indices[i + 1] + 1,
                           c = mesh.indices[i + 2] + 1;
        std::snprintf(line, sizeof line, "f %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, b, b, b, c, c,
                      c);
        text += line;
    }
    return text;
}

}  // namespace Content
