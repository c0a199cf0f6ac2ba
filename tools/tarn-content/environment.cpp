#include "environment.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include <glm/geometric.hpp>

#include "draw.h"
#include "noise.h"

namespace Content {

namespace {

constexpr int RidgeSamples = 8192;

glm::vec3 towards(float x, float y, float z) {
    return glm::normalize(glm::vec3(x, y, z));
}

}  // namespace

const int CrossCells[6][2] = {{2, 1}, {0, 1}, {1, 0}, {1, 2}, {3, 1}, {1, 1}};

const Environment& duskEnvironment() {
    static const Environment dusk{{0.09f, 0.05f, 0.25f},
                                  {0.34f, 0.14f, 0.44f},
                                  {1.0f, 0.58f, 0.33f},
                                  {0.60f, 0.30f, 0.52f},
                                  {0.30f, 0.10f, 0.20f},
                                  towards(0.35f, 0.06f, -1.0f),
                                  {1.0f, 0.86f, 0.62f},
                                  {1.0f, 0.52f, 0.20f},
                                  0.032f,
                                  0.55f,
                                  {1.0f, 0.64f, 0.46f},
                                  {0.30f, 0.12f, 0.32f},
                                  0.12f,
                                  {0.34f, 0.16f, 0.38f},
                                  {0.11f, 0.045f, 0.15f},
                                  {0.568f, 0.231f, 0.443f},
                                  {1.0f, 0.55f, 0.25f},
                                  {0.03f, 0.02f, 0.07f},
                                  0x7a41u};
    return dusk;
}

const Environment& nightEnvironment() {
    static const Environment night{{0.02f, 0.02f, 0.07f},
                                   {0.06f, 0.05f, 0.17f},
                                   {0.45f, 0.14f, 0.38f},
                                   {0.18f, 0.08f, 0.30f},
                                   {0.0f, 0.0f, 0.0f},
                                   towards(-0.5f, 0.55f, 0.65f),
                                   {0.9f, 0.95f, 1.0f},
                                   {0.35f, 0.6f, 0.75f},
                                   0.022f,
                                   0.45f,
                                   {0.35f, 0.3f, 0.5f},
                                   {0.08f, 0.05f, 0.14f},
                                   0.22f,
                                   {0.11f, 0.07f, 0.19f},
                                   {0.03f, 0.02f, 0.06f},
                                   {0.25f, 0.09f, 0.22f},
                                   {0.26f, 0.95f, 1.0f},
                                   {0.015f, 0.015f, 0.05f},
                                   0x1d93u};
    return night;
}

Sky::Sky(const Environment& environment) : m_env(environment) {
    m_env.sunDirection = glm::normalize(m_env.sunDirection);
    m_sunAzimuth = std::atan2(m_env.sunDirection.x, -m_env.sunDirection.z);
    for (int range = 0; range < 2; ++range) {
        m_ridges[range].resize(RidgeSamples);
        for (int i = 0; i < RidgeSamples; ++i) {
            const float azimuth = 2.0f * Pi * i / RidgeSamples;
            // Noise around a circle closes on itself.
            const glm::vec3 p(std::cos(azimuth) * 3.0f, std::sin(azimuth) * 3.0f, range * 7.0f);
            // Ridged noise: sharp peaks between rounded valleys.
            float n = 1.0f - std::abs(fbm(p, 6, m_env.seed + range * 31u));
            n = std::pow(std::clamp(n, 0.0f, 1.0f), 2.5f);
            float height = range == 0 ? 0.04f + 0.2f * n : 0.01f + 0.08f * n;
            // A wide valley where the sun sets.
            const float gap = std::remainder(azimuth - m_sunAzimuth, 2.0f * Pi);
            height *= 1.0f - (range == 0 ? 0.75f : 0.6f) * std::exp(-gap * gap / 0.03f);
            m_ridges[range][i] = height;
        }
    }
}

float Sky::f_ridge(int range, float azimuth) const {
    float x = azimuth / (2.0f * Pi) * RidgeSamples;
    x -= std::floor(x / RidgeSamples) * RidgeSamples;
    const int i = static_cast<int>(x) % RidgeSamples;
    const float f = x - std::floor(x);
    const std::vector<float>& ridge = m_ridges[range];
    return ridge[i] + (ridge[(i + 1) % RidgeSamples] - ridge[i]) * f;
}

glm::vec3 Sky::f_above(const glm::vec3& d) const {
    const float elevation = std::asin(std::clamp(d.y, -1.0f, 1.0f));
    const float azimuth = std::atan2(d.x, -d.z);
    const glm::vec2 flat(d.x, d.z), sunFlat(m_env.sunDirection.x, m_env.sunDirection.z);
    const float towardsSun =
        glm::dot(flat, sunFlat) / std::max(glm::length(flat) * glm::length(sunFlat), 1e-6f);
    const float sunSide = towardsSun * 0.5f + 0.5f;

    const float t = std::max(elevation, 0.0f) / (Pi / 2);
    const glm::vec3 horizon = mix(m_env.horizonAwaySide, m_env.horizonSunSide, sunSide * sunSide);
    glm::vec3 colour = mix(horizon, m_env.high, smoothstep(0.0f, 0.35f, t));
    colour = mix(colour, m_env.zenith, smoothstep(0.25f, 1.0f, t));
    // The pink band above the earth's shadow, opposite the sun.
    const float band = std::exp(-std::pow((elevation - 0.14f) / 0.08f, 2.0f));
    colour += m_env.belt * band * (1.0f - sunSide) * (1.0f - sunSide);

    // Stars, one chance per cell of a grid over directions.
    if (m_env.stars > 0.0f) {
        const glm::vec3 cell = glm::floor(d * 160.0f);
        const std::uint32_t h = hash(static_cast<int>(cell.x), static_cast<int>(cell.y),
                                     static_cast<int>(cell.z), m_env.seed ^ 0x5eedu);
        if ((h & 0xffff) < m_env.stars * 65536.0f) {
            const glm::vec3 jitter(((h >> 16) & 31) / 31.0f, ((h >> 21) & 31) / 31.0f,
                                   ((h >> 26) & 31) / 31.0f);
            const glm::vec3 star = glm::normalize((cell + 0.2f + 0.6f * jitter) / 160.0f);
            const float angle = glm::length(d - star) * 160.0f;
            // Mostly faint, a few bright.
            const float brightness = 0.15f + 0.85f * std::pow(((h >> 8) & 255) / 255.0f, 3.0f);
            colour +=
                glm::vec3(0.9f, 0.92f, 1.0f) * brightness * std::exp(-angle * angle * 40.0f) *
                (1.0f - smoothstep(0.06f, 0.3f, glm::dot(colour, glm::vec3(0.3f, 0.6f, 0.1f))));
        }
    }

    // Thin clouds on a dome: long streaks, lit from the sun's side.
    const float cloudBand = m_env.clouds * smoothstep(0.0f, 0.06f, elevation) *
                            (1.0f - smoothstep(0.35f, 0.9f, elevation));
    if (cloudBand > 0.0f) {
        const glm::vec2 q = flat / (d.y + 0.12f);
        const float n = fbm(glm::vec2(q.x * 0.9f + 3.0f, q.y * 2.6f), NoWrap, 4, m_env.seed + 5u);
        const float lit = std::pow(sunSide, 3.0f);
        colour = mix(colour, mix(m_env.cloudShade, m_env.cloudLit, lit),
                     smoothstep(0.05f, 0.45f, n) * cloudBand);
    }

    // The sun's halo and disc.
    const float facing = std::max(glm::dot(d, m_env.sunDirection), 0.0f);
    colour += m_env.sunGlow * (0.25f * std::pow(facing, 6.0f) + 0.55f * std::pow(facing, 90.0f));
    // The disc, where it is near enough to matter.
    if (facing > std::cos(m_env.sunRadius + 0.01f)) {
        const float angle = std::acos(std::min(facing, 1.0f));
        colour = mix(colour, m_env.sunDisc, coverage(angle - m_env.sunRadius, 0.004f));
    }

    // Two mountain ranges, hazier and lighter far away, with a warm rim on
    // the ridges that face the sun.
    for (int range = 0; range < 2; ++range) {
        const float ridge = f_ridge(range, azimuth);
        const float inside = coverage(elevation - ridge, 0.0025f);
        if (inside <= 0.0f)
            continue;
        const glm::vec3 base = range == 0 ? m_env.farRidge : m_env.nearRidge;
        glm::vec3 rock =
            mix(base, m_env.mist,
                (range == 0 ? 0.55f : 0.3f) * (1.0f - smoothstep(0.0f, 0.05f, elevation)));
        // Light through the haze along the ridges near the sun.
        const float gap = std::remainder(azimuth - m_sunAzimuth, 2.0f * Pi);
        rock += m_env.rim * std::exp(-(ridge - elevation) / 0.003f) * std::exp(-gap * gap / 0.12f) *
                (range == 0 ? 0.6f : 0.9f);
        // The near range catches a little of the sky's light at its top.
        if (range == 1)
            rock = mix(rock, m_env.farRidge, 0.35f * smoothstep(0.0f, ridge, elevation));
        colour = mix(colour, rock, inside);
    }
    return colour;
}

glm::vec3 Sky::colour(const glm::vec3& d) const {
    if (d.y >= 0.0f)
        return f_above(d);
    // The lake: where the ray meets the water (at unit depth below the eye),
    // a few wave trains tilt the mirror; far away they flatten out.
    const float depth = std::max(-d.y, 0.004f);
    const glm::vec2 w = glm::vec2(d.x, d.z) / depth;
    static const float waves[7][4] = {{0.9f, 0.2f, 0.0f, 1.0f},    {-0.4f, 1.1f, 1.3f, 0.7f},
                                      {1.7f, -0.9f, 2.1f, 0.45f},  {0.3f, 2.9f, 4.2f, 0.3f},
                                      {-2.3f, -2.2f, 0.7f, 0.25f}, {4.1f, 1.3f, 5.1f, 0.15f},
                                      {-1.2f, 5.3f, 2.6f, 0.12f}};
    glm::vec2 slope(0.0f);
    for (const auto& wave : waves) {
        const glm::vec2 k(wave[0] * 3.0f, wave[1] * 3.0f);
        slope += k * wave[3] * std::cos(glm::dot(k, w) + wave[2]);
    }
    slope *= 0.008f / (1.0f + glm::length(w) * 0.05f);
    const glm::vec3 mirrored = glm::normalize(glm::vec3(d.x + slope.x, depth, d.z + slope.y));
    const float grazing = std::pow(1.0f - depth, 5.0f);
    const float reflectance = 0.3f + 0.55f * grazing;
    return m_env.water + f_above(mirrored) * reflectance;
}

glm::vec3 cubeFaceDirection(int face, float s, float t) {
    const float sc = 2.0f * s - 1.0f, tc = 2.0f * t - 1.0f;
    switch (face) {
    case 0:
        return glm::normalize(glm::vec3(1.0f, -tc, -sc));
    case 1:
        return glm::normalize(glm::vec3(-1.0f, -tc, sc));
    case 2:
        return glm::normalize(glm::vec3(sc, 1.0f, tc));
    case 3:
        return glm::normalize(glm::vec3(sc, -1.0f, -tc));
    case 4:
        return glm::normalize(glm::vec3(sc, -tc, 1.0f));
    default:
        return glm::normalize(glm::vec3(-sc, -tc, -1.0f));
    }
}

std::vector<unsigned char> skyCross(const Sky& sky, int faceSize, unsigned int threads) {
    const int width = 4 * faceSize;
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * 3 * faceSize * 3, 0);
    // Rows of all six faces, interleaved among the threads.
    const auto work = [&](unsigned int first) {
        for (int face = 0; face < 6; ++face)
            for (int j = static_cast<int>(first); j < faceSize; j += static_cast<int>(threads))
                for (int i = 0; i < faceSize; ++i) {
                    const glm::vec3 c = sky.colour(
                        cubeFaceDirection(face, (i + 0.5f) / faceSize, (j + 0.5f) / faceSize));
                    const int x = CrossCells[face][0] * faceSize + i;
                    const int y = CrossCells[face][1] * faceSize + j;
                    unsigned char* texel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
                    for (int k = 0; k < 3; ++k)
                        texel[k] = static_cast<unsigned char>(
                            std::clamp(c[k] * 255.0f + 0.5f, 0.0f, 255.0f));
                }
    };
    std::vector<std::thread> pool;
    for (unsigned int t = 1; t < threads; ++t)
        pool.emplace_back(work, t);
    work(0);
    for (std::thread& thread : pool)
        thread.join();
    return rgb;
}

}  // namespace Content
