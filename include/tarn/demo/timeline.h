#ifndef TARN_DEMO_TIMELINE_H
#define TARN_DEMO_TIMELINE_H

// The demo's running order: a flat list of clips, each active over its own
// span of demo time. Created with the demo script and deleted when the program
// closes; it refers to its clips and never frees them.

#include "tarn/demo/clip.h"

#include <vector>

namespace Tarn::Demo {

class Timeline {
public:
    Timeline() = default;

    // Appends; a clip added twice is called twice. A null clip is reported and
    // ignored.
    void addClip(Clip* clip);
    std::vector<Clip*> clips() const { return m_clips; }
    // Clips with start <= time < start + duration, in the order they were
    // added. A time that is not a number matches none.
    std::vector<Clip*> clipsAt(double time) const;
    // Latest clip end; 0 when empty or when every clip ends before 0. Clips
    // whose end is not a number are left out.
    double duration() const;

    // Calls onFrame(delta, now) on each clip active at now, in list order. The
    // active set is taken before the first call, so clips added or moved by a
    // clip during the frame take effect from the next frame.
    void doFrame(double now, double delta);

private:
    std::vector<Clip*> m_clips;
};

}  // namespace Tarn::Demo

#endif
