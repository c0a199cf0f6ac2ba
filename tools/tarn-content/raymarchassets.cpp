// The ray-marched scene draws its backdrop wherever no metaball is hit and
// its foreground over everything, both at (u, 1 - v): upright, the file's
// top row at the top of the screen. Its camera looks down -z from
// (0, -5, 10) along normalize((2u - 1) x 1.6, 2v - 1, -1.5), and the
// metaballs stay within about the middle 40 % of the width and the rows
// between 20 % and 80 % of the height; the foreground keeps clear of them.

#include <cmath>

#include <glm/geometric.hpp>

#include "draw.h"
#include "environment.h"
#include "generators.h"
#include "noise.h"

namespace Content {

namespace {

constexpr int Width = 1280;
constexpr int Height = 720;
constexpr int CrossFace = 1024;

// The ray of the scene's camera through image pixel (x, y).
glm::vec3 cameraRay(float x, float y) {
    const float u = x / Width, v = 1.0f - y / Height;
    return glm::normalize(glm::vec3((2.0f * u - 1.0f) * 1.6f, 2.0f * v - 1.0f, -1.5f));
}

Image backdrop() {
    const Sky sky(duskEnvironment());
    Image image(Width, Height);
    fill(image, [&](int x, int y) {
        // Two rays a pixel, on a diagonal, calm the ripples' glitter.
        const glm::vec3 sum = sky.colour(cameraRay(x + 0.25f, y + 0.25f)) +
                              sky.colour(cameraRay(x + 0.75f, y + 0.75f));
        return Color(sum * 0.5f, 1.0f);
    });
    return image;
}

// A pine: tiers of needles narrowing to the top, on a short trunk; base and
// height in pixels, y down.
bool insidePine(glm::vec2 p, glm::vec2 base, float height, std::uint32_t seed) {
    const float h = (base.y - p.y) / height;  // 0 at the base, 1 at the tip
    if (h < 0.0f || h > 1.0f)
        return false;
    const float dx = std::abs(p.x - base.x);
    if (h < 0.12f)
        return dx < height * 0.018f;
    const float tiers = 7.0f;
    const float tier = std::fmod((h - 0.12f) * tiers, 1.0f);
    const float spread = height * 0.2f * (1.0f - h) * (0.55f + 0.45f * (1.0f - tier));
    const float ragged = 1.0f + 0.25f * perlin(glm::vec2(p.y * 0.15f, base.x), NoWrap, seed);
    return dx < spread * ragged + height * 0.006f;
}

// Rounded rocks: lumpy ellipses.
bool insideRock(glm::vec2 p, glm::vec2 centre, glm::vec2 radius, std::uint32_t seed) {
    const glm::vec2 q = (p - centre) / radius;
    const float lump = 0.12f * fbm(glm::vec2(std::atan2(q.y, q.x) * 2.0f, 0.5f), NoWrap, 3, seed);
    return glm::length(q) < 1.0f + lump;
}

// A blade of reed: a thin curve from the bottom edge.
float reedDistance(glm::vec2 p, glm::vec2 root, float height, float lean) {
    const float h = (root.y - p.y) / height;
    if (h < 0.0f || h > 1.0f)
        return 1e9f;
    const float centre = root.x + lean * height * h * h;
    const float half = 2.2f * (1.0f - h) + 0.4f;
    return std::abs(p.x - centre) - half;
}

struct Silhouettes {
    std::vector<std::pair<glm::vec2, float>> pines;
    std::vector<std::pair<glm::vec2, glm::vec2>> rocks;
    std::vector<glm::vec3> reeds;  // root x, height, lean

    Silhouettes() {
        Random random(0xf207u);
        const float pineX[] = {30, 95, 150, 215, 1205, 1262};
        const float pineH[] = {560, 470, 380, 300, 420, 520};
        for (int i = 0; i < 6; ++i)
            pines.push_back({{pineX[i], Height + 8.0f}, pineH[i]});
        rocks.push_back({{1110, 720}, {190, 95}});
        rocks.push_back({{960, 735}, {120, 55}});
        rocks.push_back({{250, 730}, {140, 60}});
        for (int i = 0; i < 90; ++i) {
            const float x = random.range(0.0f, Width);
            // Short in the middle, where the view opens onto the lake.
            const float middle = 1.0f - std::exp(-std::pow((x - Width / 2.0f) / 260.0f, 2.0f));
            reeds.push_back(
                {x, random.range(40.0f, 90.0f) + 110.0f * middle, random.range(-0.35f, 0.35f)});
        }
    }

    bool inside(glm::vec2 p) const {
        for (const auto& [base, height] : pines)
            if (std::abs(p.x - base.x) < 0.3f * height && insidePine(p, base, height, 0x91u))
                return true;
        for (std::size_t i = 0; i < rocks.size(); ++i) {
            const glm::vec2 reach = glm::abs(p - rocks[i].first) - rocks[i].second * 1.2f;
            if (reach.x < 0.0f && reach.y < 0.0f &&
                insideRock(p, rocks[i].first, rocks[i].second, 0x30u + static_cast<int>(i)))
                return true;
        }
        if (p.y < Height - 210.0f)
            return false;
        for (const glm::vec3& reed : reeds)
            if (std::abs(p.x - reed.x) < std::abs(reed.z) * reed.y + 4.0f &&
                reedDistance(p, {reed.x, Height + 2.0f}, reed.y, reed.z) < 0.0f)
                return true;
        return false;
    }
};

Image foreground() {
    const Silhouettes shapes;
    const glm::vec3 ink(0.045f, 0.02f, 0.07f);
    const glm::vec3 rim(1.0f, 0.55f, 0.28f);
    // The sun where the backdrop shows it, to light the edges that face it.
    const glm::vec3 s = duskEnvironment().sunDirection / -duskEnvironment().sunDirection.z * 1.5f;
    const glm::vec2 sun((s.x / 1.6f + 1.0f) / 2.0f * Width, (1.0f - (s.y + 1.0f) / 2.0f) * Height);
    Image image(Width, Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            // A soft dark vignette towards the corners, clear in the middle.
            const glm::vec2 c = pixelCentre(x, y, Width, Height) - glm::vec2(0.5f);
            const float vignette =
                0.55f * smoothstep(0.42f, 0.8f, glm::length(c * glm::vec2(1.0f, 0.8f)));
            Color pixel(ink, vignette);
            const float covered =
                supersample(x, y, 3, [&](glm::vec2 p) { return shapes.inside(p); });
            if (covered > 0.0f) {
                // A warm edge where the shape's outline faces the sun.
                const glm::vec2 towardsSun = glm::normalize(sun - glm::vec2(x, y));
                const bool edge = !shapes.inside(glm::vec2(x + 0.5f, y + 0.5f) + towardsSun * 1.5f);
                const glm::vec3 colour = edge ? mix(ink, rim, 0.3f) : ink;
                blend(pixel, Color(colour, 1.0f), covered);
            }
            image.at(x, y) = pixel;
        }
    return image;
}

}  // namespace

bool writeRaymarchBackdrop(Output& out) {
    return writePng(out, "assets/raymarchedscene/back.png", backdrop(), 3, true) &&
           writePng(out, "assets/raymarchedscene/front.png", foreground(), 4);
}

bool writeDuskSkyCross(Output& out) {
    const Sky sky(duskEnvironment());
    return out.write("assets/raymarchedscene/cubemap.jpg",
                     encodeJpeg(skyCross(sky, CrossFace), 4 * CrossFace, 3 * CrossFace, 88));
}

}  // namespace Content
