#ifndef TARN_CONTENT_ENVIRONMENT_H
#define TARN_CONTENT_ENVIRONMENT_H

// The world around the lake, as a colour for every direction (y up): a sky
// graded from the horizon to the zenith with a sun or moon, thin clouds and
// stars, two ranges of mountains all around, and the lake below the horizon
// mirroring all of it through small ripples. The ray-marched scene's
// backdrop and its sky cross come from the same world, so the metaballs
// reflect what stands behind them; the night version is the materials' sky.

#include <cstdint>
#include <vector>

#include <glm/vec3.hpp>

namespace Content {

struct Environment {
    glm::vec3 zenith, high, horizonSunSide, horizonAwaySide, belt;
    glm::vec3 sunDirection;  // towards the sun (or moon), normalised by Sky
    glm::vec3 sunDisc, sunGlow;
    float sunRadius;  // radians
    float clouds;     // 0 clear to 1 overcast
    glm::vec3 cloudLit, cloudShade;
    float stars;  // share of star cells that hold a star
    glm::vec3 farRidge, nearRidge, mist, rim;
    glm::vec3 water;
    std::uint32_t seed;
};

// Sunset: the orange sun low in the west (ahead, -z), in a notch of the
// far range.
const Environment& duskEnvironment();
// Night: a pale moon high in the south-east, stars, a magenta glow left on
// the horizon.
const Environment& nightEnvironment();

class Sky {
public:
    explicit Sky(const Environment& environment);
    // The colour seen along a unit direction, about 0 to 1.
    glm::vec3 colour(const glm::vec3& direction) const;

private:
    glm::vec3 f_above(const glm::vec3& direction) const;
    float f_ridge(int range, float azimuth) const;

    Environment m_env;
    float m_sunAzimuth = 0.0f;
    std::vector<float> m_ridges[2];
};

// The direction through texel (s, t) of a GL cube face (s, t in 0..1, t = 0
// the first row uploaded), faces in GL order +X, -X, +Y, -Y, +Z, -Z.
glm::vec3 cubeFaceDirection(int face, float s, float t);
// The (column, row) cell of each face in the engine's horizontal cross: the
// middle row holds -X, -Z, +X, +Z; +Y is above and -Y below -Z.
extern const int CrossCells[6][2];
// A 4 x 3 cross of faceSize faces, RGB, top row first, the unused cells
// black; rows are split among `threads` threads.
std::vector<unsigned char> skyCross(const Sky& sky, int faceSize, unsigned int threads = 1);

}  // namespace Content

#endif
