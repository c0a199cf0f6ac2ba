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

#endif
