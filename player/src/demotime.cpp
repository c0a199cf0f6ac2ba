#include "demotime.h"

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
