#include "demotime.h"

#include <tarn/application.h>

double demoTime() {
    const Tarn::Application* app = Tarn::Application::tarnApp;
    return app ? app->time.elapsed() : 0.0;
}
