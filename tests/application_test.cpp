// Application behaviour that needs no window: defaults, settings, and the
// mapping of windowing-library events to signals.

#include "tarn/application.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

namespace {

using Tarn::Application;

TEST(ApplicationTest, DefaultsSettingsAndTheSingleInstance) {
    EXPECT_EQ(Application::tarnApp, nullptr);
    {
        Application app;
        EXPECT_EQ(Application::tarnApp, &app);
        EXPECT_EQ(app.width(), 800);
        EXPECT_EQ(app.height(), 480);
        EXPECT_FALSE(app.fullscreen());
        EXPECT_EQ(app.windowTitle(), "Tarn Application");
        EXPECT_DOUBLE_EQ(app.aspectRatio(), 800.0 / 480.0);

        Application& chained =
            app.setWindowTitle("Intro").setWindowSize(1280, 720).setFullscreen(true);
        EXPECT_EQ(&chained, &app);
        EXPECT_EQ(app.windowTitle(), "Intro");
        EXPECT_TRUE(app.fullscreen());
        EXPECT_DOUBLE_EQ(app.aspectRatio(), 1280.0 / 720.0);
    }
    EXPECT_EQ(Application::tarnApp, nullptr);
}

TEST(ApplicationTest, KeyAndButtonActions) {
    Application app;
    std::vector<std::string> events;
    app.keyPressed.connect([&](int k) { events.push_back("key+" + std::to_string(k)); });
    app.keyReleased.connect([&](int k) { events.push_back("key-" + std::to_string(k)); });
    app.mouseButtonPressed.connect([&](int b) { events.push_back("btn+" + std::to_string(b)); });
    app.mouseButtonReleased.connect([&](int b) { events.push_back("btn-" + std::to_string(b)); });

    Application::f_onKey(nullptr, GLFW_KEY_ESCAPE, 9, GLFW_PRESS, 0);
    Application::f_onKey(nullptr, GLFW_KEY_ESCAPE, 9, GLFW_REPEAT, 0);  // held: neither
    Application::f_onKey(nullptr, GLFW_KEY_ESCAPE, 9, GLFW_RELEASE, 0);
    Application::f_onMouseButton(nullptr, GLFW_MOUSE_BUTTON_RIGHT, GLFW_PRESS, 0);
    Application::f_onMouseButton(nullptr, GLFW_MOUSE_BUTTON_RIGHT, GLFW_RELEASE, 0);

    const std::vector<std::string> expected = {"key+256", "key-256", "btn+1", "btn-1"};
    EXPECT_EQ(events, expected);
}

TEST(ApplicationTest, CursorWheelAndResize) {
    Application app;
    app.setWindowSize(640, 320);
    std::vector<std::pair<int, int>> moves, sizes;
    std::vector<int> wheel;
    app.mouseMoved.connect([&](int x, int y) { moves.emplace_back(x, y); });
    app.mouseWheelChanged.connect([&](int p) { wheel.push_back(p); });
    app.resized.connect([&](int w, int h) { sizes.emplace_back(w, h); });

    // Positions are whole pixels, each reported when it changes: a repeat of
    // the last one, or a move within its pixel, is not.
    for (const auto& [x, y] : std::vector<std::pair<double, double>>{
             {12.75, 3.0}, {12.75, 3.0}, {12.2, 3.9}, {13.0, 3.0}, {12.5, 3.5}})
        Application::f_onMouseMove(nullptr, x, y);
    EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{12, 3}, {13, 3}, {12, 3}}));

    // The wheel reports the running sum of vertical scroll; half steps add up.
    for (double step : {1.0, 1.0, 0.5, 0.5, -3.0})
        Application::f_onMouseWheel(nullptr, 0.0, step);
    EXPECT_EQ(wheel, (std::vector<int>{1, 2, 3, 3, 0}));

    // A resize is reported once, and nothing else changes.
    Application::f_onResize(nullptr, 1024, 768);
    Application::f_onResize(nullptr, 1024, 768);
    Application::f_onResize(nullptr, 1024, 700);
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{1024, 768}, {1024, 700}}));
    EXPECT_EQ(app.width(), 640);
    EXPECT_DOUBLE_EQ(app.aspectRatio(), 2.0);
}

TEST(ApplicationTest, CloseRequestsAreRepeatable) {
    Application app;
    int closes = 0;
    app.closed.connect([&] { ++closes; });
    Application::f_onClose(nullptr);
    Application::f_onClose(nullptr);
    app.closed.emit();
    EXPECT_EQ(closes, 3);
}

TEST(ApplicationTest, CallbacksWithoutAnInstanceAreIgnored) {
    ASSERT_EQ(Application::tarnApp, nullptr);
    Application::f_onClose(nullptr);
    Application::f_onKey(nullptr, GLFW_KEY_A, 0, GLFW_PRESS, 0);
    Application::f_onMouseWheel(nullptr, 0.0, 1.0);
    SUCCEED();
}

// Restores an environment variable when the test ends.
class ScopedUnsetEnv {
public:
    explicit ScopedUnsetEnv(const char* name) : m_name(name) {
        if (const char* value = std::getenv(name))
            m_value = value;
        unsetenv(name);
    }
    ~ScopedUnsetEnv() {
        if (m_value)
            setenv(m_name, m_value->c_str(), 1);
    }

private:
    const char* m_name;
    std::optional<std::string> m_value;
};

TEST(ApplicationTest, NoDisplayStopsCleanlyWithOneLine) {
    ScopedUnsetEnv display("DISPLAY");
    ScopedUnsetEnv wayland("WAYLAND_DISPLAY");

    Application app;
    std::vector<std::string> events;
    app.launched.connect([&] { events.push_back("launched"); });
    app.loading.connect([&](Tarn::Signal<double>&) { events.push_back("loading"); });
    app.terminated.connect([&] { events.push_back("terminated"); });

    testing::internal::CaptureStdout();
    const int code = app.run();
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_NE(code, 0);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(out.rfind("[Application] cannot start the windowing library: ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(app.window(), nullptr);
}

}  // namespace
