#ifndef TARN_DEMO_CLIP_H
#define TARN_DEMO_CLIP_H

// Base of anything that can be placed on the Timeline: a span of demo time and
// the local time shown at its start. Clips are created while the demo script
// loads and live until exit; the timeline refers to them and never frees them.

namespace Tarn::Demo {

class Clip {
public:
    Clip() = default;
    // Virtual so that a clip deleted through this base is destroyed whole.
    virtual ~Clip();

    double startTime() const { return m_startTime; }
    void setStartTime(double startTime) { m_startTime = startTime; }
    // Local time the clip shows at its start, seconds.
    double startOffset() const { return m_startOffset; }
    void setStartOffset(double startOffset) { m_startOffset = startOffset; }
    // Length of the active span [start, start + duration); 0 is never active.
    double duration() const { return m_duration; }
    void setDuration(double duration) { m_duration = duration; }

    // Demo time now seen in the clip's own time: now - start + offset.
    double localTime(double now) const;

    // Hooks for subclasses; the timeline never calls onStart or onFinish, so a
    // clip that cares about entering or leaving its span compares times in
    // onFrame.
    virtual void onStart();
    virtual void onFinish();
    // Called once per frame while active; note delta comes first, then the
    // absolute demo time.
    virtual void onFrame(double delta, double now);

private:
    double m_startTime = 0.0;
    double m_startOffset = 0.0;
    double m_duration = 0.0;
};

}  // namespace Tarn::Demo

#endif
