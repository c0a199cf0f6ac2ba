#ifndef TARN_CLOCK_H
#define TARN_CLOCK_H

// A pausable stopwatch in seconds. The application keeps one as the demo
// clock and one for frame deltas; anything that animates may keep its own.
// Clocks read one process-wide timer, the windowing library's by default.

namespace Tarn {

class Clock {
public:
    using TimeSource = double (*)();

    // Starts running from the timer's current reading.
    Clock();

    // Seconds since construction or the last reset, frozen while paused.
    double elapsed() const;
    // Restarts from 0 and resumes if paused.
    void reset();
    // Reads seconds from now on, running or paused as it was: a seek.
    void setElapsed(double seconds);
    // Pauses (true) or resumes (false); resuming continues from the frozen
    // value. Asking for the state the clock is already in does nothing.
    void pause(bool p);
    bool paused() const;

    // The timer every clock reads, in seconds. Before the windowing library
    // is initialised its timer reads 0, so clocks made then must be reset.
    static double now();
    // Replaces the timer for every clock (nullptr restores the windowing
    // library's). Lets tests and offline rendering drive time by hand.
    static void setTimeSource(TimeSource source);

private:
    static TimeSource ms_timeSource;

    double m_startTime;
    double m_pauseTime;
    bool m_paused;
};

}  // namespace Tarn

#endif
