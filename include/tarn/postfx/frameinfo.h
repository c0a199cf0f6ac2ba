#ifndef TARN_POSTFX_FRAMEINFO_H
#define TARN_POSTFX_FRAMEINFO_H

// What every effect may know about the frame it draws, in one record the
// player fills once per frame (Chain::setFrameInfo) and effects only read,
// through Chain::Buffers::frame. Everything in it is a function of the demo
// time alone, so a frame at time t is the same played, sought, looped or
// rendered offline at any frame rate. It replaces reading the application's
// clock from inside a pass.

#include <cstdint>

namespace Tarn::PostFX {

struct FrameInfo {
    double time = 0.0;   // demo seconds
    double delta = 0.0;  // seconds since the frame before (0 for the first)
    std::int64_t frame = 0;
    // From the demo script's tempo grid; all 0 without one. The fractions of
    // beat and bar are the phases.
    double beat = 0.0;
    double bar = 0.0;
    float bpm = 0.0f;
};

}  // namespace Tarn::PostFX

#endif
