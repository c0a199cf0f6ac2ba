#include "logo.h"

#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>

#include "draw.h"

namespace Content {

namespace {

constexpr float Stroke = 0.17f;
constexpr float Gap = 0.2f;
constexpr float WidthT = 0.78f, WidthA = 0.86f, WidthR = 0.64f, WidthN = 0.74f;

float letterT(glm::vec2 p) {
    const float bar = sdBox(p, {WidthT / 2, 1.0f - Stroke / 2}, {WidthT / 2, Stroke / 2});
    const float stem = sdBox(p, {WidthT / 2, 0.5f}, {Stroke / 2, 0.5f});
    return std::min(bar, stem);
}

// A lambda without its crossbar: two legs meeting in a flat apex.
float letterA(glm::vec2 p) {
    const glm::vec2 apex(WidthA / 2, 1.0f);
    const glm::vec2 left(0.09f, 0.0f), right(WidthA - 0.09f, 0.0f);
    // Lengthened past the baseline and the cap line, which then cut them flat.
    const float legLeft =
        sdSegment(p, left + (left - apex) * 0.2f, apex + (apex - left) * 0.2f, Stroke);
    const float legRight =
        sdSegment(p, right + (right - apex) * 0.2f, apex + (apex - right) * 0.2f, Stroke);
    return std::min(legLeft, legRight);
}

float letterR(glm::vec2 p) {
    const float top = 1.0f - Stroke / 2, middle = 0.44f;
    const float radius = (top - middle) / 2;
    const glm::vec2 centre(WidthR - radius - Stroke / 2, (top + middle) / 2);
    const float stem = sdBox(p, {Stroke / 2, 0.5f}, {Stroke / 2, 0.5f});
    float bowl;
    if (p.x >= centre.x)
        bowl = std::abs(glm::distance(p, centre) - radius) - Stroke / 2;
    else
        bowl = std::min(sdSegment(p, {Stroke / 2, top}, {centre.x, top}, Stroke),
                        sdSegment(p, {Stroke / 2, middle}, {centre.x, middle}, Stroke));
    // Flat ends where the straight strokes meet the stem and the arc.
    bowl = std::max(bowl, Stroke / 2 - p.x);
    const glm::vec2 legTop(centre.x - 0.04f, middle), legFoot(WidthR, 0.0f);
    const float leg = sdSegment(p, legTop, legFoot + (legFoot - legTop) * 0.2f, Stroke);
    return std::min({stem, bowl, leg});
}

float letterN(glm::vec2 p) {
    const float left = sdBox(p, {Stroke / 2, 0.5f}, {Stroke / 2, 0.5f});
    const float right = sdBox(p, {WidthN - Stroke / 2, 0.5f}, {Stroke / 2, 0.5f});
    const glm::vec2 a(Stroke / 2, 1.0f), b(WidthN - Stroke / 2, 0.0f);
    const float diagonal = sdSegment(p, a + (a - b) * 0.2f, b + (b - a) * 0.2f, Stroke);
    return std::min({left, right, diagonal});
}

// Rows of the 6 x 7 pixel letters T, A, R, N.
const char* const PixelLetters[4][PixelWordmarkRows] = {
    {"######", "######", "..##..", "..##..", "..##..", "..##..", "..##.."},
    {".####.", "##..##", "##..##", "######", "##..##", "##..##", "##..##"},
    {"#####.", "##..##", "##..##", "#####.", "##.##.", "##..##", "##..##"},
    {"##..##", "###.##", "######", "##.###", "##..##", "##..##", "##..##"},
};

}  // namespace

float wordmarkWidth() {
    return WidthT + WidthA + WidthR + WidthN + 3 * Gap;
}

float wordmarkDistance(glm::vec2 p) {
    float x = 0.0f;
    float d = letterT(p);
    x += WidthT + Gap;
    d = std::min(d, letterA(p - glm::vec2(x, 0.0f)));
    x += WidthA + Gap;
    d = std::min(d, letterR(p - glm::vec2(x, 0.0f)));
    x += WidthR + Gap;
    d = std::min(d, letterN(p - glm::vec2(x, 0.0f)));
    // Every stroke is cut by the baseline and the cap line.
    return std::max({d, -p.y, p.y - 1.0f});
}

bool pixelWordmark(int column, int row) {
    if (column < 0 || row < 0 || column >= PixelWordmarkColumns || row >= PixelWordmarkRows)
        return false;
    const int letter = column / 7, within = column % 7;
    return within < 6 && PixelLetters[letter][row][within] == '#';
}

}  // namespace Content
