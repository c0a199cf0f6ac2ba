#ifndef TARN_CONTENT_LOGO_H
#define TARN_CONTENT_LOGO_H

// The demo's name, TARN, as two word marks: a geometric one built from
// straight strokes and one arc (the preloader's and the overlay's), and a
// chunky pixel one (the retro scene's).

#include <glm/vec2.hpp>

namespace Content {

// Signed distance to the geometric word mark in cap-height units: baseline
// at y = 0, cap height at y = 1 (y up), the first letter starting at x = 0.
float wordmarkDistance(glm::vec2 p);
// The mark's width in cap heights.
float wordmarkWidth();

// The pixel word mark: cells of 6 x 7 letters with one empty column
// between them; row 0 is the top.
constexpr int PixelWordmarkColumns = 27;
constexpr int PixelWordmarkRows = 7;
bool pixelWordmark(int column, int row);

}  // namespace Content

#endif
