#ifndef TARN_CONTENT_NOISE_H
#define TARN_CONTENT_NOISE_H

// Deterministic randomness for the generators: integer hashes instead of a
// seeded library engine, so every run and every machine gives the same
// bytes. Noise functions that take a period repeat every `period` units of
// their input, which makes tileable textures.

#include <cstdint>

#include <glm/ext/vector_int2.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

namespace Content {

std::uint32_t hash(std::uint32_t x);
std::uint32_t hash(int x, int y, std::uint32_t seed);
std::uint32_t hash(int x, int y, int z, std::uint32_t seed);
// In [0, 1).
float unitHash(int x, int y, std::uint32_t seed);

// A stream of numbers from a seed: the n-th value is a hash of (seed, n).
class Random {
public:
    explicit Random(std::uint32_t seed) : m_seed(seed) {}
    // In [0, 1).
    float next();
    float range(float low, float high) { return low + (high - low) * next(); }

private:
    std::uint32_t m_seed;
    std::uint32_t m_counter = 0;
};

// Perlin gradient noise, about -1 to 1, 0 on every lattice point. The 2D form
// repeats every period.x lattice cells in x and period.y in y (both > 0).
float perlin(glm::vec2 p, glm::ivec2 period, std::uint32_t seed);
float perlin(glm::vec3 p, std::uint32_t seed);

// Octaves of Perlin noise, each at twice the frequency (and period) and
// `gain` times the amplitude of the one before, scaled back to about -1 to 1.
float fbm(glm::vec2 p, glm::ivec2 period, int octaves, std::uint32_t seed, float gain = 0.5f);
float fbm(glm::vec3 p, int octaves, std::uint32_t seed, float gain = 0.5f);

// Cellular (Worley) noise over one jittered feature point per lattice cell,
// repeating every `period` cells: the distances to the nearest and second
// nearest points, the distance to the border between their cells, and a
// hash identifying the nearest point's cell.
struct Cells {
    float nearest;
    float second;
    float border;
    std::uint32_t id;
};
Cells cellular(glm::vec2 p, glm::ivec2 period, std::uint32_t seed);

// A period for noise that need not tile: longer than any input here.
inline const glm::ivec2 NoWrap{1 << 20, 1 << 20};

}  // namespace Content

#endif
