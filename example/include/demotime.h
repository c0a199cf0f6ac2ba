#ifndef TARN_DEMO_DEMOTIME_H
#define TARN_DEMO_DEMOTIME_H

// The time, in seconds, that the demo's own scenes animate by: elapsed() of
// the application's demo clock, Tarn::Application::tarnApp->time, read
// afresh by every pass. Anything that moves that clock moves the scenes:
// pausing or seeking it, or replacing the timer every clock reads with
// Tarn::Clock::setTimeSource, which is how a test or an offline renderer
// gives each frame an exact time (an Application needs no window for this).
// Without an application it reads 0.

double demoTime();

#endif
