// The preloader shows its logo and its animation in one rectangle of the
// screen, 0.38 x 0.6 of it, both sampled over the whole rectangle with the
// file's top row at the top. Coordinates are clamped, so the edge rows and
// columns of both images repeat across the rest of the screen: every edge is
// fully transparent. The animation slides in from the left in the first
// seconds, so it keeps to the upper part and the logo to the lower part,
// where they never meet. Eight frames loop once a second: a drop falls and
// ripples spread over the lake.

#include <cmath>
#include <sstream>

#include "draw.h"
#include "generators.h"
#include "logo.h"

namespace Content {

namespace {

// About the rectangle's shape on a 16:10 to 16:9 screen, so pixels stay square.
constexpr int Width = 512;
constexpr int Height = 464;
constexpr int Frames = 8;
// The frame in which the drop reaches the water.
constexpr int ImpactFrame = 4;

const glm::vec2 RippleCentre(256.0f, 190.0f);
const glm::vec3 YoungRing(0.14f, 0.56f, 0.80f);
const glm::vec3 OldRing(0.40f, 0.22f, 0.70f);
const glm::vec3 DropColour(0.10f, 0.62f, 0.84f);
const glm::vec3 LogoLeft(0.20f, 0.08f, 0.38f);
const glm::vec3 LogoRight(0.57f, 0.23f, 0.44f);

// A drop with its tail up, r its radius, in pixels.
bool insideDrop(glm::vec2 p, glm::vec2 centre, float r) {
    const glm::vec2 d = p - centre;
    if (glm::length(d) < r)
        return true;
    const float tail = 2.6f * r;
    if (d.y > 0.0f || d.y < -tail)
        return false;
    const float t = 1.0f + d.y / tail;  // 1 at the centre, 0 at the tip
    return std::abs(d.x) < r * std::pow(t, 1.6f);
}

Image rippleFrame(int frame) {
    Image image(Width, Height, Color(OldRing, 0.0f));
    // Time since the last impact, in loops.
    const float phase = static_cast<float>((frame - ImpactFrame + Frames) % Frames) / Frames;
    constexpr int Rings = 3;
    for (int k = Rings - 1; k >= 0; --k) {
        const float age = (phase + k) / Rings;  // 0 at birth, 1 when gone
        const float radius = 12.0f + 188.0f * age;
        const float width = 7.5f - 4.0f * age;
        const float alpha = std::pow(1.0f - age, 1.1f);
        const Color colour(mix(YoungRing, OldRing, age), alpha);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const glm::vec2 p(x + 0.5f, y + 0.5f);
                const float d = sdEllipseRing(p, RippleCentre, radius, 0.32f, width);
                blend(image.at(x, y), colour, coverage(d, 1.0f));
            }
    }
    // The drop falls under gravity for half a loop before the impact; just
    // after it, a few droplets splash up.
    const float beforeImpact = static_cast<float>(ImpactFrame - frame) / Frames;
    std::vector<std::pair<glm::vec2, float>> drops;
    if (beforeImpact > 0.0f)
        drops.push_back(
            {RippleCentre - glm::vec2(0.0f, 640.0f * beforeImpact * beforeImpact + 6.0f), 9.0f});
    if (frame == ImpactFrame || frame == ImpactFrame + 1) {
        const float rise = frame == ImpactFrame ? 18.0f : 30.0f;
        const float size = frame == ImpactFrame ? 5.0f : 3.5f;
        for (int side = -1; side <= 1; ++side)
            drops.push_back(
                {RippleCentre + glm::vec2(side * 16.0f, -rise + std::abs(side) * 8.0f), size});
    }
    for (const auto& [centre, r] : drops)
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                if (std::abs(x - centre.x) > 3 * r || std::abs(y - centre.y) > 4 * r)
                    continue;
                const float c =
                    supersample(x, y, 4, [&](glm::vec2 p) { return insideDrop(p, centre, r); });
                blend(image.at(x, y), Color(DropColour, 1.0f), c);
            }
    return image;
}

Image logo() {
    constexpr float CapHeight = 84.0f, Baseline = 420.0f;
    const float width = wordmarkWidth() * CapHeight;
    const float left = (Width - width) / 2;
    Image image(Width, Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const glm::vec2 p((x + 0.5f - left) / CapHeight, (Baseline - y - 0.5f) / CapHeight);
            const float t = std::clamp(p.x / wordmarkWidth(), 0.0f, 1.0f);
            // Transparent pixels keep the ink's colour, so that mipmaps and
            // linear filtering do not darken the edges.
            image.at(x, y) =
                Color(mix(LogoLeft, LogoRight, t), coverage(wordmarkDistance(p), 1.0f / CapHeight));
        }
    return image;
}

}  // namespace

bool writePreloader(Output& out) {
    const std::string folder = "assets/vekintro/";
    if (!writePng(out, folder + "lvek.png", logo(), 4))
        return false;
    std::ostringstream script;
    script << "# The preloader's animation: a drop falls into the lake and ripples spread,\n"
              "# one loop a second. Written by tarn-content.\n"
           << "size " << Width << " " << Height << " " << Frames << "\n"
           << "fps " << Frames << "\nloops true\n";
    for (int frame = 0; frame < Frames; ++frame) {
        const std::string path = folder + "ripple_" + std::to_string(frame) + ".png";
        if (!writePng(out, path, rippleFrame(frame), 4))
            return false;
        script << "frame " << path << "\n";
    }
    return out.writeText(folder + "preload.tarn", script.str());
}

}  // namespace Content
