#include "demotime.h"

#include <cmath>

#include <tarn/application.h>

namespace {

double g_seconds = 0.0;

double fixedTime() {
    return g_seconds;
}

}  // namespace

double demoTime() {
    const Tarn::Application* app = Tarn::Application::tarnApp;
    return app ? app->time.elapsed() : 0.0;
}

// The clock restarts while the timer reads 0, so elapsed() is the timer's
// reading itself, with no subtraction to round it.
void setDemoTime(double seconds) {
    Tarn::Application* app = Tarn::Application::tarnApp;
    if (!app)
        return;
    g_seconds = 0.0;
    Tarn::Clock::setTimeSource(&fixedTime);
    app->time.reset();
    g_seconds = seconds;
}

void releaseDemoTime() {
    Tarn::Clock::setTimeSource(nullptr);
}

FrameGrid::FrameGrid(double time, double rate)
    : m_time(time), m_rate(rate), m_frame(std::round(time * rate)) {
    m_onGrid = std::abs(time * rate - m_frame) < 1e-6;
}

double FrameGrid::at(std::int64_t i) const {
    if (m_onGrid)
        return (m_frame + static_cast<double>(i)) / m_rate;
    return m_time + static_cast<double>(i) / m_rate;
}
