// Pictures for reflective and animated materials: a matcap (a lit chrome
// sphere, read by view-space normal), the night sky as a 4:3 cube cross for
// cube-map reflections (and the sunset's, for the mirrors), and the 16 frames of the video a screen shows.

#include <cmath>
#include <sstream>

#include <glm/geometric.hpp>

#include "draw.h"
#include "environment.h"
#include "generators.h"

namespace Content {

namespace {

// A chrome ball in a dark studio: violet above, a bright horizon, a dark
// floor, an orange key light at the upper left and a cyan rim at the right.
Image matcap() {
    constexpr int Size = 256;
    Image image(Size, Size);
    fill(image, [&](int x, int y) {
        glm::vec2 d = (glm::vec2(x + 0.5f, y + 0.5f) / static_cast<float>(Size)) * 2.0f - 1.0f;
        d.y = -d.y;  // view space: y up
        if (glm::length(d) > 0.995f)
            d = glm::normalize(d) * 0.995f;  // the rim colour continues to the corners
        const glm::vec3 n(d.x, d.y, std::sqrt(1.0f - glm::dot(d, d)));
        const glm::vec3 r = glm::reflect(glm::vec3(0.0f, 0.0f, -1.0f), n);
        const glm::vec3 above = mix(glm::vec3(0.75f, 0.55f, 0.85f), glm::vec3(0.16f, 0.08f, 0.3f),
                                    std::pow(std::max(r.y, 0.0f), 0.5f));
        const glm::vec3 below = mix(glm::vec3(0.35f, 0.2f, 0.35f), glm::vec3(0.03f, 0.02f, 0.05f),
                                    std::pow(std::max(-r.y, 0.0f), 0.4f));
        glm::vec3 colour = mix(below, above, smoothstep(-0.04f, 0.04f, r.y));
        const glm::vec3 key = glm::normalize(glm::vec3(-0.6f, 0.6f, 0.5f));
        const glm::vec3 rim = glm::normalize(glm::vec3(0.9f, -0.1f, -0.3f));
        colour += glm::vec3(1.0f, 0.62f, 0.3f) * std::pow(std::max(glm::dot(r, key), 0.0f), 40.0f);
        colour += glm::vec3(0.26f, 0.95f, 1.0f) * 0.8f *
                  std::pow(std::max(glm::dot(r, rim), 0.0f), 12.0f);
        // Fresnel: brighter towards the silhouette.
        colour *= 0.75f + 0.35f * std::pow(1.0f - n.z, 2.0f);
        return Color(glm::clamp(colour, 0.0f, 1.0f), 1.0f);
    });
    return image;
}

// An 80s horizon: a striped sun setting behind a cyan grid that rolls
// towards the viewer, one grid square per loop, so frame 16 is frame 0.
Color screenPixel(glm::vec2 p, float loop) {
    constexpr float Horizon = 0.58f;
    if (p.y < Horizon) {
        glm::vec3 sky = mix(glm::vec3(0.08f, 0.02f, 0.2f), glm::vec3(0.62f, 0.16f, 0.46f),
                            std::pow(p.y / Horizon, 1.5f));
        const glm::vec2 sun(0.5f, 0.4f);
        const float radius = 0.22f;
        const glm::vec2 q = (p - sun) * glm::vec2(16.0f / 9.0f, 1.0f);
        const float below = (p.y - sun.y) / radius;  // -1 at the top, 1 at the bottom
        // The stripes of the lower half slide down and thicken.
        const bool stripe =
            below > 0.0f && std::fmod(below * 5.0f - loop, 1.0f) < 0.15f + 0.3f * below;
        if (glm::length(q) < radius && !stripe)
            sky =
                mix(glm::vec3(1.0f, 0.9f, 0.35f), glm::vec3(1.0f, 0.3f, 0.5f), below * 0.5f + 0.5f);
        return Color(sky, 1.0f);
    }
    const float depth = 0.1f / (p.y - Horizon);  // distance along the floor
    const float across = (p.x - 0.5f) * depth * 6.0f;
    const float along = depth * 3.0f + loop;
    const float lineX = std::abs(across - std::round(across));
    const float lineZ = std::abs(along - std::round(along));
    // Lines stay about one pixel wide whatever their distance.
    const float width = 0.03f * depth * 4.0f + 0.02f;
    const float line = std::max(coverage(lineX - width * 0.5f, width * 0.5f),
                                coverage(lineZ - width * 0.5f, width));
    const glm::vec3 floor = mix(glm::vec3(0.02f, 0.0f, 0.06f), glm::vec3(0.3f, 0.05f, 0.3f),
                                std::exp(-(p.y - Horizon) * 12.0f));
    return Color(mix(floor, glm::vec3(0.26f, 0.95f, 1.0f), line), 1.0f);
}

Image screenFrame(int frame, int frames) {
    constexpr int Width = 256, Height = 144;
    Image image(Width, Height);
    const float loop = static_cast<float>(frame) / frames;
    fill(image, [&](int x, int y) {
        glm::vec4 sum(0.0f);
        for (int k = 0; k < 9; ++k)
            sum += screenPixel(glm::vec2(x + (k % 3 + 0.5f) / 3.0f, y + (k / 3 + 0.5f) / 3.0f) /
                                   glm::vec2(Width, Height),
                               loop);
        const float scanline = y % 2 ? 0.82f : 1.0f;
        return Color(glm::vec3(sum / 9.0f) * scanline, 1.0f);
    });
    return image;
}

bool writeScreenVideo(Output& out) {
    constexpr int Frames = 16;
    std::ostringstream script;
    script << "# The screen's video: a grid rolling towards a striped sun, looping.\n"
              "# Written by tarn-content.\n"
           << "size 256 144 " << Frames << "\nfps 12\nloops true\n";
    for (int frame = 0; frame < Frames; ++frame) {
        char name[64];
        std::snprintf(name, sizeof name, "assets/video/screen_%02d.png", frame);
        if (!writePng(out, name, screenFrame(frame, Frames), 3))
            return false;
        script << "frame " << name << "\n";
    }
    return out.writeText("assets/video/screen.tarn", script.str());
}

}  // namespace

bool writeReflectionAndVideo(Output& out) {
    constexpr int NightFace = 256;
    const Sky night(nightEnvironment());
    const Sky sunset(duskEnvironment());
    return writePng(out, "assets/textures/matcap.png", matcap(), 3) &&
           out.write("assets/textures/nightsky.jpg",
                     encodeJpeg(skyCross(night, NightFace), 4 * NightFace, 3 * NightFace, 90)) &&
           // What the mirrors section's sculptures reflect: the sunset world.
           out.write("assets/textures/sunset.jpg",
                     encodeJpeg(skyCross(sunset, NightFace), 4 * NightFace, 3 * NightFace, 90)) &&
           writeScreenVideo(out);
}

}  // namespace Content
