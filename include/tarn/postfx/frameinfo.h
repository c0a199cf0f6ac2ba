#ifndef TARN_POSTFX_FRAMEINFO_H
#define TARN_POSTFX_FRAMEINFO_H

// What every effect may know about the frame it draws, in one record the
// player fills once per frame (Chain::setFrameInfo) and effects only read,
// through Chain::Buffers::frame. Everything in it is a function of the demo
// time alone, so a frame at time t is the same played, sought, looped or
// rendered offline at any frame rate. It replaces reading the application's
// clock from inside a pass.

#include <cstdint>

namespace Tarn {
class Texture;
namespace Audio {
class MusicAnalysis;
}
}  // namespace Tarn

namespace Tarn::PostFX {

struct FrameInfo {
    double time = 0.0;   // demo seconds
    double delta = 0.0;  // seconds since the frame before (0 for the first)
    std::int64_t frame = 0;
    // True for the first frame drawn after the content was loaded or the
    // time was moved (a seek, a loop, a reload): nothing an effect carries
    // from the frame before (its previous output, when it turned on) holds
    // any more. The player seeds those first (see Effect::seedTurnOn).
    bool restart = false;
    // From the demo script's tempo grid; all 0 without one. The fractions of
    // beat and bar are the phases.
    double beat = 0.0;
    double bar = 0.0;
    float bpm = 0.0f;
    // The music's analysis at time; all 0 without music. Bands in the order
    // bass, low mids, high mids, highs; each 0 to 1, as are onset and level.
    // The integrals are each band summed over the seconds before time.
    const Audio::MusicAnalysis* music = nullptr;
    float bands[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float onset = 0.0f;
    float level = 0.0f;
    float integrals[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    // The log spectrum: Audio::MusicAnalysis::Bins texels across, one row
    // per hop back in time from time (row 0 is time itself); null without
    // music.
    Texture* spectrum = nullptr;
};

}  // namespace Tarn::PostFX

#endif
