#include "noise.h"

#include <cmath>

#include <glm/geometric.hpp>

namespace Content {

namespace {

int wrap(int value, int period) {
    const int r = value % period;
    return r < 0 ? r + period : r;
}

float fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

float lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

// Sixteen unit gradients evenly around the circle.
glm::vec2 gradient2(std::uint32_t h) {
    static const float table[16][2] = {
        {1.0f, 0.0f},  {0.92388f, 0.382683f},   {0.707107f, 0.707107f},   {0.382683f, 0.92388f},
        {0.0f, 1.0f},  {-0.382683f, 0.92388f},  {-0.707107f, 0.707107f},  {-0.92388f, 0.382683f},
        {-1.0f, 0.0f}, {-0.92388f, -0.382683f}, {-0.707107f, -0.707107f}, {-0.382683f, -0.92388f},
        {0.0f, -1.0f}, {0.382683f, -0.92388f},  {0.707107f, -0.707107f},  {0.92388f, -0.382683f}};
    const float* g = table[h & 15];
    return {g[0], g[1]};
}

// The twelve edge directions of a cube, as in Perlin's improved noise.
float gradient3(std::uint32_t h, glm::vec3 d) {
    static const float table[12][3] = {{1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0},
                                       {1, 0, 1}, {-1, 0, 1}, {1, 0, -1}, {-1, 0, -1},
                                       {0, 1, 1}, {0, -1, 1}, {0, 1, -1}, {0, -1, -1}};
    const float* g = table[h % 12];
    return g[0] * d.x + g[1] * d.y + g[2] * d.z;
}

}  // namespace

std::uint32_t hash(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

// One multiply per coordinate, then one full mix: fast enough to sit in the
// inner loop of every noise function.
std::uint32_t hash(int x, int y, std::uint32_t seed) {
    return hash(static_cast<std::uint32_t>(x) * 0x8da6b343u ^
                static_cast<std::uint32_t>(y) * 0xd8163841u ^ seed * 0xcb1ab31fu);
}

std::uint32_t hash(int x, int y, int z, std::uint32_t seed) {
    return hash(static_cast<std::uint32_t>(x) * 0x8da6b343u ^
                static_cast<std::uint32_t>(y) * 0xd8163841u ^
                static_cast<std::uint32_t>(z) * 0x9e3779b1u ^ seed * 0xcb1ab31fu);
}

float unitHash(int x, int y, std::uint32_t seed) {
    return static_cast<float>(hash(x, y, seed) >> 8) / 16777216.0f;
}

float Random::next() {
    return unitHash(static_cast<int>(m_counter++), 0x51f3, m_seed);
}

float perlin(glm::vec2 p, glm::ivec2 period, std::uint32_t seed) {
    const int x0 = static_cast<int>(std::floor(p.x));
    const int y0 = static_cast<int>(std::floor(p.y));
    const glm::vec2 f = p - glm::vec2(x0, y0);
    // The lattice coordinates wrapped once, not at every corner.
    const int xa = wrap(x0, period.x), ya = wrap(y0, period.y);
    const int xb = xa + 1 == period.x ? 0 : xa + 1;
    const int yb = ya + 1 == period.y ? 0 : ya + 1;
    const float c00 = glm::dot(gradient2(hash(xa, ya, seed)), f);
    const float c10 = glm::dot(gradient2(hash(xb, ya, seed)), f - glm::vec2(1.0f, 0.0f));
    const float c01 = glm::dot(gradient2(hash(xa, yb, seed)), f - glm::vec2(0.0f, 1.0f));
    const float c11 = glm::dot(gradient2(hash(xb, yb, seed)), f - glm::vec2(1.0f, 1.0f));
    const float u = fade(f.x), v = fade(f.y);
    // Gradient noise in 2D peaks near 0.7; scale it to about -1 to 1.
    return 1.4f * lerp(lerp(c00, c10, u), lerp(c01, c11, u), v);
}

float perlin(glm::vec3 p, std::uint32_t seed) {
    const glm::vec3 cell = glm::floor(p);
    const int x0 = static_cast<int>(cell.x), y0 = static_cast<int>(cell.y),
              z0 = static_cast<int>(cell.z);
    const glm::vec3 f = p - cell;
    float corner[8];
    for (int i = 0; i < 8; ++i) {
        const int dx = i & 1, dy = (i >> 1) & 1, dz = i >> 2;
        corner[i] = gradient3(hash(x0 + dx, y0 + dy, z0 + dz, seed), f - glm::vec3(dx, dy, dz));
    }
    const float u = fade(f.x), v = fade(f.y), w = fade(f.z);
    const float near = lerp(lerp(corner[0], corner[1], u), lerp(corner[2], corner[3], u), v);
    const float far = lerp(lerp(corner[4], corner[5], u), lerp(corner[6], corner[7], u), v);
    return lerp(near, far, w);
}

float fbm(glm::vec2 p, glm::ivec2 period, int octaves, std::uint32_t seed, float gain) {
    float sum = 0.0f, amplitude = 1.0f, total = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * perlin(p, period, seed + static_cast<std::uint32_t>(i) * 1013u);
        total += amplitude;
        amplitude *= gain;
        p *= 2.0f;
        period *= 2;
    }
    return sum / total;
}

float fbm(glm::vec3 p, int octaves, std::uint32_t seed, float gain) {
    float sum = 0.0f, amplitude = 1.0f, total = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * perlin(p, seed + static_cast<std::uint32_t>(i) * 1013u);
        total += amplitude;
        amplitude *= gain;
        p *= 2.0f;
    }
    return sum / total;
}

Cells cellular(glm::vec2 p, glm::ivec2 period, std::uint32_t seed) {
    const int x0 = static_cast<int>(std::floor(p.x));
    const int y0 = static_cast<int>(std::floor(p.y));
    Cells cells{1e9f, 1e9f, 0.0f, 0};
    glm::vec2 nearest(0.0f), second(0.0f);
    // Two cells each way: the second nearest point can lie that far.
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const int cx = wrap(x0 + dx, period.x), cy = wrap(y0 + dy, period.y);
            const glm::vec2 point =
                glm::vec2(x0 + dx, y0 + dy) +
                glm::vec2(unitHash(cx, cy, seed ^ 0xa511u), unitHash(cx, cy, seed ^ 0x3c6eu));
            const float d = glm::distance(p, point);
            if (d < cells.nearest) {
                cells.second = cells.nearest;
                second = nearest;
                cells.nearest = d;
                nearest = point;
                cells.id = hash(cx, cy, seed);
            } else if (d < cells.second) {
                cells.second = d;
                second = point;
            }
        }
    // The border is the bisector of the two points.
    const glm::vec2 across = second - nearest;
    cells.border = glm::dot((nearest + second) * 0.5f - p, across / glm::length(across));
    return cells;
}

}  // namespace Content
