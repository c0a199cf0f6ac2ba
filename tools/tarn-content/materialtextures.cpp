// Tileable 512 x 512 maps for the scene materials, three per material:
// albedo, a tangent-space normal map and a specular map (red: intensity,
// green: glossiness, the exponent being green x 255). Each comes from a
// height field and a few masks that repeat at the tile's edges.
//
// Normal maps follow the meshes' texture frame: x along +u, y along +v,
// and v grows with the image's rows (images are uploaded top row first), so
// a slope that rises towards lower rows tilts the normal towards +y.

#include <cmath>
#include <functional>
#include <string>

#include <glm/geometric.hpp>

#include "draw.h"
#include "generators.h"
#include "noise.h"

namespace Content {

namespace {

constexpr int Size = 512;

// The per-texel description of a material: height in texels of relief, the
// albedo, and specular intensity and glossiness.
struct Surface {
    float height;
    glm::vec3 albedo;
    float intensity;
    float gloss;
};

using SurfaceAt = std::function<Surface(glm::vec2 p, int x, int y)>;

// Texel noise that tiles with the map: a hash of the texel itself.
float grain(int x, int y, std::uint32_t seed) {
    return unitHash(x & (Size - 1), y & (Size - 1), seed);
}

Surface stone(glm::vec2 p, int x, int y) {
    const float big = fbm(p * 3.0f, glm::ivec2(3), 6, 0x51u);
    const float fine = fbm(p * 24.0f, glm::ivec2(24), 3, 0x53u);
    // Faint strata, bent by the large noise; a whole number of them per tile.
    const float strata = std::sin((p.y * 7.0f + big * 0.6f) * 2.0f * Pi);
    // A few thin cracks that fade in and out.
    const Cells cells = cellular(p * 3.0f, glm::ivec2(3), 0x52u);
    const float crack = (1.0f - smoothstep(0.0f, 0.012f, cells.border)) *
                        smoothstep(-0.05f, 0.25f, fbm(p * 2.0f, glm::ivec2(2), 3, 0x55u));
    const float speck = grain(x, y, 0x54u);
    glm::vec3 albedo = mix(glm::vec3(0.28f, 0.26f, 0.31f), glm::vec3(0.47f, 0.44f, 0.48f),
                           std::clamp(big * 0.6f + 0.5f + 0.06f * strata, 0.0f, 1.0f));
    albedo *= 0.88f + 0.24f * speck;
    if (speck > 0.985f)
        albedo = glm::vec3(0.64f, 0.62f, 0.66f);
    albedo *= 1.0f - 0.5f * crack;
    return {7.0f * big + 1.2f * fine + 0.8f * strata - 4.0f * crack, albedo,
            (0.08f + 0.14f * speck) * (1.0f - crack), 0.08f};
}

Surface metal(glm::vec2 p, int x, int y) {
    // Brushed along u: noise stretched 64 times across the strokes.
    const float brush = fbm(glm::vec2(p.x * 2.0f, p.y * 160.0f), glm::ivec2(2, 160), 4, 0x61u);
    const float cloud = fbm(p * 3.0f, glm::ivec2(3), 4, 0x62u);
    const float speck = grain(x, y, 0x63u);
    glm::vec3 albedo = glm::vec3(0.56f, 0.57f, 0.62f) * (0.9f + 0.1f * brush + 0.08f * cloud);
    albedo += glm::vec3(0.03f) * (speck - 0.5f);
    return {0.8f * brush + 0.4f * cloud, albedo, 0.65f + 0.15f * brush, 0.35f + 0.08f * cloud};
}

// Ripples that tile: waves with whole numbers of crests across the tile, and
// rings around a few drops whose distances wrap at the edges.
Surface water(glm::vec2 p, int, int) {
    static const float waves[6][4] = {{3, 1, 0.0f, 1.0f},   {-2, 4, 1.7f, 0.7f},
                                      {5, -3, 3.1f, 0.45f}, {1, 7, 0.4f, 0.35f},
                                      {-8, -5, 2.2f, 0.2f}, {11, 3, 5.0f, 0.15f}};
    float h = 0.0f;
    for (const auto& w : waves)
        h += w[3] * std::sin(2.0f * Pi * (w[0] * p.x + w[1] * p.y) + w[2]);
    Random random(0x71u);
    for (int i = 0; i < 5; ++i) {
        const glm::vec2 drop(random.next(), random.next());
        glm::vec2 d = glm::abs(p - drop);
        d = glm::min(d, 1.0f - d);
        const float r = glm::length(d);
        h += 0.5f * std::sin(r * 90.0f) * std::exp(-r * 9.0f);
    }
    h += 0.3f * fbm(p * 6.0f, glm::ivec2(6), 4, 0x72u);
    const glm::vec3 albedo = glm::vec3(0.035f, 0.06f, 0.13f) * (1.0f + 0.15f * h);
    return {3.0f * h, albedo, 0.9f, 0.7f};
}

// Round pebbles half sunk in dark sand.
Surface ground(glm::vec2 p, int x, int y) {
    const Cells cells = cellular(p * 10.0f, glm::ivec2(10), 0x81u);
    const float radius =
        (cells.id & 7) < 2 ? 0.0f : 0.22f + 0.2f * static_cast<float>(cells.id & 255) / 255.0f;
    const float dome =
        radius > 0.0f ? std::sqrt(std::max(0.0f, 1.0f - std::pow(cells.nearest / radius, 2.0f)))
                      : 0.0f;
    const float pebble = smoothstep(0.0f, 0.15f, dome);
    const float sand = fbm(p * 8.0f, glm::ivec2(8), 5, 0x82u);
    const float speck = grain(x, y, 0x83u);
    glm::vec3 albedo =
        glm::vec3(0.26f, 0.21f, 0.23f) * (0.8f + 0.4f * speck) * (0.9f + 0.2f * sand);
    const float shade = static_cast<float>((cells.id >> 8) & 255) / 255.0f;
    const glm::vec3 stoneColour =
        mix(glm::vec3(0.22f, 0.2f, 0.26f), glm::vec3(0.5f, 0.46f, 0.48f), shade) *
        (0.93f + 0.14f * speck);
    // Darker where a pebble sinks into the sand.
    albedo = mix(albedo, stoneColour * (0.55f + 0.45f * dome), pebble);
    return {1.5f * sand + 0.8f * speck * (1.0f - pebble) + 9.0f * dome, albedo,
            0.06f + 0.24f * pebble, 0.04f + 0.16f * pebble};
}

// Riveted plates: a 4 x 4 grid of panels, some split in two.
Surface panels(glm::vec2 p, int x, int y) {
    const glm::vec2 cell = p * 4.0f;
    const glm::ivec2 index(static_cast<int>(cell.x) & 3, static_cast<int>(cell.y) & 3);
    glm::vec2 local = cell - glm::floor(cell);
    const std::uint32_t id = hash(index.x, index.y, 0x91u);
    if (id & 1)
        local.y = std::fmod(local.y * 2.0f, 1.0f);
    const float seam = std::min({local.x, 1.0f - local.x, local.y, 1.0f - local.y});
    const float groove = 1.0f - smoothstep(0.008f, 0.022f, seam);
    bool rivet = false;
    for (float cx : {0.06f, 0.94f})
        for (float cy : {0.08f, 0.92f})
            rivet = rivet || glm::distance(local, glm::vec2(cx, cy)) < 0.022f;
    const float wear = fbm(p * 6.0f, glm::ivec2(6), 4, 0x92u);
    const float speck = grain(x, y, 0x93u);
    const float tone = static_cast<float>((id >> 4) & 255) / 255.0f;
    glm::vec3 albedo = mix(glm::vec3(0.13f, 0.12f, 0.17f), glm::vec3(0.22f, 0.2f, 0.27f), tone);
    albedo *= (0.9f + 0.15f * wear) * (0.95f + 0.1f * speck);
    albedo *= 1.0f - 0.6f * groove;
    float height = 0.6f * wear - 4.0f * groove + (rivet ? 2.5f : 0.0f);
    if (rivet)
        albedo = glm::vec3(0.35f, 0.34f, 0.4f);
    return {height, albedo, (0.45f + 0.1f * wear) * (1.0f - groove), 0.3f};
}

struct Maps {
    Image albedo, normal, specular;
};

Maps maps(const SurfaceAt& surfaceAt) {
    Maps result{Image(Size, Size), Image(Size, Size), Image(Size, Size)};
    std::vector<float> height(static_cast<std::size_t>(Size) * Size);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const Surface s =
                surfaceAt(glm::vec2(x + 0.5f, y + 0.5f) / static_cast<float>(Size), x, y);
            height[static_cast<std::size_t>(y) * Size + x] = s.height;
            result.albedo.at(x, y) = Color(s.albedo, 1.0f);
            result.specular.at(x, y) = Color(s.intensity, s.gloss, 0.0f, 1.0f);
        }
    const auto h = [&](int x, int y) {
        return height[static_cast<std::size_t>(y & (Size - 1)) * Size + (x & (Size - 1))];
    };
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const float alongU = (h(x + 1, y) - h(x - 1, y)) * 0.5f;
            const float alongV = (h(x, y + 1) - h(x, y - 1)) * 0.5f;
            const glm::vec3 n = glm::normalize(glm::vec3(-alongU, -alongV, 1.0f));
            result.normal.at(x, y) = Color(n * 0.5f + 0.5f, 1.0f);
        }
    return result;
}

}  // namespace

bool writeMaterialTextures(Output& out) {
    const std::pair<const char*, SurfaceAt> materials[] = {{"stone", &stone},
                                                           {"metal", &metal},
                                                           {"water", &water},
                                                           {"ground", &ground},
                                                           {"panels", &panels}};
    for (const auto& [name, surfaceAt] : materials) {
        const Maps m = maps(surfaceAt);
        const std::string base = std::string("assets/textures/") + name;
        if (!writePng(out, base + "_albedo.png", m.albedo, 3) ||
            !writePng(out, base + "_normal.png", m.normal, 3) ||
            !writePng(out, base + "_specular.png", m.specular, 3))
            return false;
    }
    return true;
}

}  // namespace Content
