#ifndef TARN_PLAYER_DEMOTIME_H
#define TARN_PLAYER_DEMOTIME_H

// Demo time: elapsed() of the application's demo clock,
// Tarn::Application::tarnApp->time. It is the one place the time comes from:
// the main loop reads it for each frame, and the demo's own scenes read it
// afresh in every pass. Anything that moves that clock moves the whole demo:
// pausing it, or setDemoTime, which is how offline rendering and tests give
// each frame an exact time. (An Application needs no window for either.)

// The clock's reading, or 0 without an application.
double demoTime();

// From now on the demo clock reads exactly seconds, until the next call: it
// replaces the timer every clock reads (Tarn::Clock::setTimeSource) with
// one that only this function moves. Nothing without an application.
void setDemoTime(double seconds);
// Gives every clock the windowing library's timer back.
void releaseDemoTime();

#include <cstdint>

// Frames at a fixed rate through a time: frame i of it is i / rate seconds
// after that time (before it when negative). A time on the rate's grid (a
// whole number of frames from 0, as 1.8 s at 10 fps) counts frames from 0,
// frame k at exactly k / rate, so a span, a single frame and the frames a
// seek draws first all compute the same time, to the bit, for the same
// frame; a time off the grid counts from itself.
class FrameGrid {
public:
    FrameGrid(double time, double rate);
    double at(std::int64_t i) const;
    double before(std::int64_t j) const { return at(-j); }

private:
    double m_time;
    double m_rate;
    bool m_onGrid;
    double m_frame;  // of the time, when on the grid
};

#endif
