#ifndef TARN_CONTENT_DRAW_H
#define TARN_CONTENT_DRAW_H

// Shapes as signed distances (negative inside) and the ways the generators
// turn them into pixels: anti-aliased coverage from a distance, or a
// supersampled inside test for shapes that have no cheap distance.

#include <algorithm>
#include <cmath>

#include <glm/common.hpp>
#include <glm/geometric.hpp>
#include <glm/vec2.hpp>
#include <glm/vec3.hpp>

#include "image.h"

namespace Content {

constexpr float Pi = 3.14159265358979f;

inline float smoothstep(float edge0, float edge1, float x) {
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// Coverage of a pixel by a shape at signed distance d, with pixel the size
// of one pixel in the distance's units: a one-pixel ramp across the edge.
inline float coverage(float d, float pixel) {
    return std::clamp(0.5f - d / pixel, 0.0f, 1.0f);
}

inline float sdCircle(glm::vec2 p, glm::vec2 centre, float radius) {
    return glm::distance(p, centre) - radius;
}

// Distance to the segment a-b, minus half its width: a stroke with round ends.
inline float sdSegment(glm::vec2 p, glm::vec2 a, glm::vec2 b, float width) {
    const glm::vec2 pa = p - a, ba = b - a;
    const float h = std::clamp(glm::dot(pa, ba) / glm::dot(ba, ba), 0.0f, 1.0f);
    return glm::length(pa - ba * h) - 0.5f * width;
}

// An axis-aligned box given by its centre and half size.
inline float sdBox(glm::vec2 p, glm::vec2 centre, glm::vec2 half) {
    const glm::vec2 d = glm::abs(p - centre) - half;
    return glm::length(glm::max(d, glm::vec2(0.0f))) + std::min(std::max(d.x, d.y), 0.0f);
}

// A ring of the given radius and stroke width around centre, squashed
// vertically by `squash` (a circle on water seen at an angle). The distance
// is the first-order estimate f / |grad f|, close enough near the ring for a
// few pixels of anti-aliasing.
inline float sdEllipseRing(glm::vec2 p, glm::vec2 centre, float radius, float squash, float width) {
    const glm::vec2 d = p - centre;
    const glm::vec2 q(d.x, d.y / squash);
    const float length = std::max(glm::length(q), 1e-6f);
    const glm::vec2 gradient = glm::vec2(q.x, q.y / squash) / length;
    return std::abs(length - radius) / std::max(glm::length(gradient), 1e-6f) - 0.5f * width;
}

inline glm::vec3 mix(const glm::vec3& a, const glm::vec3& b, float t) {
    return a + (b - a) * t;
}

// Pixel (x, y)'s centre in 0..1 image coordinates, y down.
inline glm::vec2 pixelCentre(int x, int y, int width, int height) {
    return {(x + 0.5f) / width, (y + 0.5f) / height};
}

// The fraction of n x n samples inside the pixel for which inside(point)
// holds, points in pixel units.
template <typename Inside> float supersample(int x, int y, int n, const Inside& inside) {
    int hits = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            if (inside(glm::vec2(x + (i + 0.5f) / n, y + (j + 0.5f) / n)))
                ++hits;
    return static_cast<float>(hits) / static_cast<float>(n * n);
}

// Fills every pixel with shade(x, y).
template <typename Shade> void fill(Image& image, const Shade& shade) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.at(x, y) = shade(x, y);
}

}  // namespace Content

#endif
