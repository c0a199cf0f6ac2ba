#include "tarn/demo/timeline.h"

#include "tarn/diagnostics.h"

namespace Tarn::Demo {

void Timeline::addClip(Clip* clip) {
    if (!clip) {
        Diagnostics::problem("Timeline", "cannot add a null clip; ignored");
        return;
    }
    m_clips.push_back(clip);
}

std::vector<Clip*> Timeline::clipsAt(double time) const {
    std::vector<Clip*> active;
    for (Clip* clip : m_clips) {
        if (clip->startTime() <= time && time < clip->startTime() + clip->duration())
            active.push_back(clip);
    }
    return active;
}

double Timeline::duration() const {
    double latestEnd = 0.0;
    for (const Clip* clip : m_clips) {
        const double end = clip->startTime() + clip->duration();
        if (end > latestEnd)
            latestEnd = end;
    }
    return latestEnd;
}

void Timeline::doFrame(double now, double delta) {
    for (Clip* clip : clipsAt(now))
        clip->onFrame(delta, now);
}

}  // namespace Tarn::Demo
