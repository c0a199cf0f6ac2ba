#include "tarn/clock.h"

#include <GLFW/glfw3.h>

namespace Tarn {

Clock::TimeSource Clock::ms_timeSource = &glfwGetTime;

Clock::Clock() : m_startTime(now()), m_pauseTime(0.0), m_paused(false) {}

double Clock::elapsed() const {
    if (m_paused)
        return m_pauseTime - m_startTime;
    return now() - m_startTime;
}

void Clock::reset() {
    m_paused = false;
    m_startTime = now();
}

void Clock::setElapsed(double seconds) {
    m_startTime = (m_paused ? m_pauseTime : now()) - seconds;
}

void Clock::pause(bool p) {
    if (p == m_paused)
        return;
    m_paused = p;
    if (p)
        m_pauseTime = now();
    else
        m_startTime += now() - m_pauseTime;
}

bool Clock::paused() const {
    return m_paused;
}

double Clock::now() {
    return ms_timeSource();
}

void Clock::setTimeSource(TimeSource source) {
    ms_timeSource = source ? source : &glfwGetTime;
}

}  // namespace Tarn
