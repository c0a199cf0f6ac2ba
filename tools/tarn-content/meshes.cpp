// The scene meshes, in metres, y up, each resting on y = 0 unless it is
// centred by nature (sphere, knot, screen). Texture coordinates repeat the
// tileable material maps about once per world tile size given below.

#include <cmath>

#include <glm/geometric.hpp>

#include "draw.h"
#include "generators.h"
#include "mesh.h"
#include "noise.h"

namespace Content {

namespace {

constexpr float TwoPi = 2.0f * Pi;

Mesh sphere() {
    Mesh mesh;
    // t runs from the south pole to the north pole, s once around.
    mesh.addSurface(64, 32, [](float s, float t) {
        const float phi = TwoPi * s, theta = Pi * (1.0f - t);
        const glm::vec3 p(std::sin(theta) * std::sin(phi), std::cos(theta),
                          std::sin(theta) * std::cos(phi));
        return SurfacePoint{p, {4.0f * s, 2.0f * t}, p};
    });
    return mesh;
}

// A (2, 3) torus knot standing in the xy plane, about 2.6 m across.
Mesh torusKnot() {
    const auto curve = [](float a) {
        const float r = 2.0f + std::cos(3.0f * a);
        return 0.55f *
               glm::vec3(r * std::cos(2.0f * a), r * std::sin(2.0f * a), std::sin(3.0f * a));
    };
    Mesh mesh;
    mesh.addSurface(384, 24, [&](float s, float t) {
        const float a = TwoPi * s;
        // A frame that follows the curve and closes on itself.
        const glm::vec3 p1 = curve(a), p2 = curve(a + 0.01f);
        const glm::vec3 tangent = glm::normalize(p2 - p1);
        const glm::vec3 binormal = glm::normalize(glm::cross(tangent, p2 + p1));
        const glm::vec3 normal = glm::cross(binormal, tangent);
        const float b = -TwoPi * t;
        const glm::vec3 out = std::cos(b) * normal + std::sin(b) * binormal;
        return SurfacePoint{p1 + 0.3f * out, {12.0f * s, t}, out};
    });
    return mesh;
}

// A box given by a map from its unit cube (x and z in -1..1, y in 0..1) to
// space, with each face as a surface of its own (hard edges) and texture
// coordinates in world units divided by `tile`.
struct BoxShape {
    std::function<glm::vec3(glm::vec3)> place;
    glm::vec3 size;  // world extent of the unit cube, for texture scale
    float tile;
    int columns, rows;  // subdivision of the sides
};

void addBox(Mesh& mesh, const BoxShape& box) {
    // For each face: the cube point at (s, t), and the face's width and
    // height in world units. Each parametrisation keeps the face's outside
    // in front (see mesh.h).
    struct Face {
        glm::vec3 origin, alongS, alongT;
        float width, height;
    };
    const glm::vec3 z = box.size;
    const Face faces[6] = {
        {{-1, 0, 1}, {2, 0, 0}, {0, 1, 0}, z.x, z.y},   // front, +z
        {{1, 0, -1}, {-2, 0, 0}, {0, 1, 0}, z.x, z.y},  // back, -z
        {{1, 0, 1}, {0, 0, -2}, {0, 1, 0}, z.z, z.y},   // right, +x
        {{-1, 0, -1}, {0, 0, 2}, {0, 1, 0}, z.z, z.y},  // left, -x
        {{-1, 1, 1}, {2, 0, 0}, {0, 0, -2}, z.x, z.z},  // top, +y
        {{-1, 0, -1}, {2, 0, 0}, {0, 0, 2}, z.x, z.z},  // bottom, -y
    };
    for (int f = 0; f < 6; ++f) {
        const Face& face = faces[f];
        const bool side = f < 4;
        mesh.addSurface(
            side ? box.columns : box.columns, side ? box.rows : box.columns, [&](float s, float t) {
                const glm::vec3 cube = face.origin + s * face.alongS + t * face.alongT;
                return SurfacePoint{box.place(cube),
                                    {s * face.width / box.tile, t * face.height / box.tile}};
            });
    }
}

// A plain box of the given size standing on y = base, centred on x and z.
BoxShape plainBox(glm::vec3 centre, glm::vec3 size, float tile) {
    return {[=](glm::vec3 c) {
                return glm::vec3(centre.x + c.x * size.x / 2, centre.y + c.y * size.y,
                                 centre.z + c.z * size.z / 2);
            },
            size, tile, 1, 1};
}

// A standing stone: a slab that narrows upwards with a slanted top, its
// surface dented by noise that depends on position only, so that the faces
// still meet at their edges.
Mesh monolith(glm::vec3 size, float slant, std::uint32_t seed) {
    const auto place = [=](glm::vec3 c) {
        const float taper = 1.0f - 0.18f * c.y;
        const float top = c.y * (size.y + slant * c.x);
        glm::vec3 p(c.x * size.x / 2 * taper, top, c.z * size.z / 2 * taper);
        const glm::vec3 q = p * 1.7f;
        p += 0.05f * glm::vec3(fbm(q, 4, seed), 0.4f * fbm(q, 4, seed + 1), fbm(q, 4, seed + 2));
        p.y = std::max(p.y, 0.0f);
        return p;
    };
    Mesh mesh;
    addBox(mesh, {place, size, 1.5f, 12, 36});
    return mesh;
}

// A square pillar on a plinth, under a cap: 1 m wide, 4.5 m tall.
Mesh pillar() {
    Mesh mesh;
    addBox(mesh, plainBox({0, 0, 0}, {1.0f, 0.3f, 1.0f}, 2.0f));
    addBox(mesh, plainBox({0, 0.3f, 0}, {0.8f, 4.0f, 0.8f}, 2.0f));
    addBox(mesh, plainBox({0, 4.3f, 0}, {1.0f, 0.2f, 1.0f}, 2.0f));
    return mesh;
}

// A 5 x 5 grid of towers of different heights on one slab, 2 m apart.
Mesh cityBlock() {
    Mesh mesh;
    addBox(mesh, plainBox({0, 0, 0}, {10.5f, 0.3f, 10.5f}, 2.0f));
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            const float height = 2.0f + 7.0f * unitHash(i, j, 0xc17u);
            const float width = 0.9f + 0.5f * unitHash(i, j, 0xc18u);
            addBox(mesh,
                   plainBox({(i - 2) * 2.0f, 0.3f, (j - 2) * 2.0f}, {width, height, width}, 2.0f));
        }
    return mesh;
}

// 80 x 80 m of hills around a lake basin below y = 0, the water's level.
Mesh terrain() {
    Mesh mesh;
    mesh.addSurface(96, 96, [](float s, float t) {
        const float x = (s - 0.5f) * 80.0f, z = (0.5f - t) * 80.0f;
        const float r = std::sqrt(x * x + z * z);
        const float hills = fbm(glm::vec2(x, z) * 0.04f, NoWrap, 5, 0x7e1u);
        const float height =
            -2.0f + 9.0f * smoothstep(14.0f, 38.0f, r) * (0.6f + 0.5f * hills) + 1.2f * hills;
        return SurfacePoint{{x, height, z}, {s * 20.0f, t * 20.0f}};
    });
    return mesh;
}

// A flat square at y = 0, 80 m across, for water or ground.
Mesh plane() {
    Mesh mesh;
    mesh.addSurface(8, 8, [](float s, float t) {
        return SurfacePoint{{(s - 0.5f) * 80.0f, 0.0f, (0.5f - t) * 80.0f},
                            {s * 20.0f, t * 20.0f},
                            {0.0f, 1.0f, 0.0f}};
    });
    return mesh;
}

// Rings around the y axis between radii inner and outer at height y,
// facing up or down, with planar texture coordinates.
void addRing(Mesh& mesh, float inner, float outer, float y, bool up) {
    mesh.addSurface(64, 1, [=](float s, float t) {
        const float radius = up ? outer - (outer - inner) * t : inner + (outer - inner) * t;
        const glm::vec3 p(radius * std::sin(TwoPi * s), y, radius * std::cos(TwoPi * s));
        return SurfacePoint{
            p, {p.x / 2.0f, (up ? -p.z : p.z) / 2.0f}, {0.0f, up ? 1.0f : -1.0f, 0.0f}};
    });
}

void addCylinder(Mesh& mesh, float radius, float bottom, float top) {
    mesh.addSurface(64, 1, [=](float s, float t) {
        const glm::vec3 out(std::sin(TwoPi * s), 0.0f, std::cos(TwoPi * s));
        const float y = bottom + (top - bottom) * t;
        return SurfacePoint{
            out * radius + glm::vec3(0, y, 0), {s * std::round(TwoPi * radius), y / 2.0f}, out};
    });
}

// Three round tiers, 1.4 m tall, for a sculpture to stand on.
Mesh pedestal() {
    Mesh mesh;
    addCylinder(mesh, 1.6f, 0.0f, 0.25f);
    addRing(mesh, 1.25f, 1.6f, 0.25f, true);
    addCylinder(mesh, 1.25f, 0.25f, 1.2f);
    addRing(mesh, 1.25f, 1.45f, 1.2f, false);
    addCylinder(mesh, 1.45f, 1.2f, 1.4f);
    addRing(mesh, 0.0f, 1.45f, 1.4f, true);
    return mesh;
}

// A 16:9 screen 1.6 m wide, centred, facing +z. Its v runs downwards so
// that images show upright; that mirrors its texture frame, which only
// matters for normal maps, and a screen has none.
Mesh screen() {
    Mesh mesh;
    mesh.addSurface(1, 1, [](float s, float t) {
        return SurfacePoint{
            {(s - 0.5f) * 1.6f, (t - 0.5f) * 0.9f, 0.0f}, {s, 1.0f - t}, {0.0f, 0.0f, 1.0f}};
    });
    return mesh;
}

}  // namespace

bool writeMeshes(Output& out) {
    const std::pair<const char*, Mesh> meshes[] = {
        {"sphere", sphere()},
        {"torusknot", torusKnot()},
        {"monolith", monolith({1.0f, 3.2f, 0.45f}, 0.35f, 0x301u)},
        {"monolith_wide", monolith({1.8f, 2.2f, 0.6f}, -0.3f, 0x302u)},
        {"pillar", pillar()},
        {"cityblock", cityBlock()},
        {"terrain", terrain()},
        {"plane", plane()},
        {"pedestal", pedestal()},
        {"screen", screen()},
    };
    for (const auto& [name, mesh] : meshes)
        if (!out.writeText(std::string("assets/meshes/") + name + ".obj",
                           toObj(mesh, std::string(name) + ", written by tarn-content")))
            return false;
    return true;
}

}  // namespace Content
