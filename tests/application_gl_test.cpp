// The application's window, lifecycle and main loop, run for real in a
// hidden window. Time is driven by the test, never waited for.

#include "tarn/application.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "support/native_window.h"

namespace {

using Tarn::Application;
using Tarn::Clock;
using Tarn::Test::clickCloseBox;
using Tarn::Test::shownPixel;
using Tarn::Test::shownTitle;

double g_now = 0.0;
double fakeTime() {
    return g_now;
}

class ApplicationGLTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = 10.0;
        Clock::setTimeSource(&fakeTime);
        m_app.setHidden(true).setWindowSize(64, 64);
    }
    void TearDown() override { Clock::setTimeSource(nullptr); }

    // Ends the loop after `frames` frames.
    void closeAfter(int frames) {
        m_app.frame.connect([this, frames](double, double) {
            if (++m_frames == frames)
                m_app.closed.emit();
        });
    }

    Application m_app;
    int m_frames = 0;
};

// The starting state (size, cursor, wheel) is reported once, before
// launched, and the lifecycle signals follow in their order. The window
// system may report that state again later on its own (GLFW reports the
// cursor when it enters a shown window, after the first frame); nothing is
// emitted for a report that changes nothing, so the list is the same for a
// hidden window and for a shown one that the cursor lies in (the virtual
// display's cursor rests at its centre).
TEST_F(ApplicationGLTest, LifecycleOrderAndStartingState) {
    const struct {
        const char* window;
        bool hidden;
        int width, height;
    } cases[] = {{"hidden", true, 64, 64}, {"shown, under the cursor", false, 1024, 768}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        Application app;
        app.setHidden(c.hidden).setWindowSize(c.width, c.height);
        std::vector<std::string> events;
        auto record = [&events](const std::string& e) { events.push_back(e); };
        app.resized.connect([&](int w, int h) {
            record("resized " + std::to_string(w) + "x" + std::to_string(h));
        });
        app.mouseMoved.connect([&](int, int) { record("mouseMoved"); });
        app.mouseWheelChanged.connect([&](int p) { record("wheel " + std::to_string(p)); });
        app.launched.connect([&] { record("launched"); });
        app.loading.connect([&](Tarn::Signal<double>& progress) {
            record(&progress == &app.loadingProgress ? "loading" : "loading with a stranger");
        });
        app.started.connect([&] { record("started"); });
        int frames = 0;
        app.frame.connect([&](double, double) {
            record("frame");
            if (++frames == 3)
                app.closed.emit();
        });
        app.terminated.connect([&] { record("terminated"); });

        EXPECT_EQ(app.run(), 0);
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        const std::vector<std::string> expected = {
            "resized " + size, "mouseMoved", "wheel 0", "launched", "loading",
            "started",         "frame",      "frame",   "frame",    "terminated"};
        EXPECT_EQ(events, expected);
        EXPECT_EQ(app.window(), nullptr);
    }
}

TEST_F(ApplicationGLTest, ContextAndStateAtLaunch) {
    GLint major = 0, minor = 0, profile = 0, depthBits = 0, depthFunc = 0;
    GLboolean depthTest = GL_FALSE;
    GLfloat clear[4] = {-1, -1, -1, -1};
    m_app.launched.connect([&] {
        glGetIntegerv(GL_MAJOR_VERSION, &major);
        glGetIntegerv(GL_MINOR_VERSION, &minor);
        glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
        glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, GL_DEPTH,
                                              GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depthBits);
        depthTest = glIsEnabled(GL_DEPTH_TEST);
        glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    });
    closeAfter(1);
    ASSERT_EQ(m_app.run(), 0);

    EXPECT_GE(major * 10 + minor, 33);
    EXPECT_TRUE(profile & GL_CONTEXT_CORE_PROFILE_BIT);
    EXPECT_GE(depthBits, 24);
    EXPECT_EQ(depthTest, GL_TRUE);
    EXPECT_EQ(depthFunc, GL_LEQUAL);
    EXPECT_EQ(std::vector<float>(clear, clear + 4), (std::vector<float>{0, 0, 0, 1}));
}

// The first frame's delta spans the whole load while the demo clock starts at
// 0; after that each delta is the time from one frame's emission to the next.
TEST_F(ApplicationGLTest, FrameArgumentsAfterASlowLoad) {
    m_app.loading.connect([](Tarn::Signal<double>&) { g_now += 5.0; });
    std::vector<double> deltas, times;
    m_app.frame.connect([&](double delta, double now) {
        deltas.push_back(delta);
        times.push_back(now);
        g_now += 0.25;  // the frame's own work
    });
    closeAfter(3);
    ASSERT_EQ(m_app.run(), 0);

    EXPECT_EQ(deltas, (std::vector<double>{5.0, 0.25, 0.25}));
    EXPECT_EQ(times, (std::vector<double>{0.0, 0.25, 0.5}));
}

// showWindowTitle, unlike setWindowTitle, shows the title at once.
TEST_F(ApplicationGLTest, TitleChosenDuringLoadingShowsAfterwards) {
    m_app.setWindowTitle("Before loading");
    std::string atLaunch, afterLoading, whilePlaying;
    m_app.launched.connect([&] { atLaunch = shownTitle(m_app.window()); });
    m_app.loading.connect(
        [&](Tarn::Signal<double>&) { m_app.setWindowTitle("Velvet - a Tarn demo"); });
    m_app.started.connect([&] {
        afterLoading = shownTitle(m_app.window());
        m_app.showWindowTitle("Velvet 0:01.25");
        whilePlaying = shownTitle(m_app.window());
    });
    closeAfter(1);
    ASSERT_EQ(m_app.run(), 0);

    EXPECT_EQ(atLaunch, "Before loading");
    EXPECT_EQ(afterLoading, "Velvet - a Tarn demo");
    EXPECT_EQ(whilePlaying, "Velvet 0:01.25");
}

// Closing from a frame slot lets that frame finish: later slots still run and
// the frame is swapped to the screen. Every frame starts cleared to black.
TEST_F(ApplicationGLTest, ClosedFromAFrameSlotFinishesThatFrame) {
    m_app.setHidden(false);  // only a mapped window shows what was swapped
    int frames = 0, slotsAfterClose = 0, terminated = 0;
    float startOfSecondFrame[4] = {};
    std::array<int, 3> shownAtEnd = {};
    m_app.frame.connect([&](double, double) {
        ++frames;
        if (frames == 2) {
            glReadBuffer(GL_BACK);
            glReadPixels(32, 32, 1, 1, GL_RGBA, GL_FLOAT, startOfSecondFrame);
        }
        // Frame 1 draws green, frame 2 red: red on screen proves frame 2 was swapped.
        glClearColor(frames == 2 ? 1.0f : 0.0f, frames == 1 ? 1.0f : 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        if (frames == 2) {
            m_app.closed.emit();
            m_app.closed.emit();  // a second request changes nothing
        }
    });
    m_app.frame.connect([&](double, double) {
        if (frames == 2)
            ++slotsAfterClose;
    });
    m_app.terminated.connect([&] {
        ++terminated;
        shownAtEnd = shownPixel(m_app.window(), 32, 32);
    });
    ASSERT_EQ(m_app.run(), 0);

    EXPECT_EQ(frames, 2);
    EXPECT_EQ(slotsAfterClose, 1);
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(std::vector<float>(startOfSecondFrame, startOfSecondFrame + 4),
              (std::vector<float>{0, 0, 0, 1}));
    EXPECT_EQ(shownAtEnd, (std::array<int, 3>{255, 0, 0}));
}

TEST_F(ApplicationGLTest, CloseBoxEndsTheLoopAfterTheCurrentFrame) {
    int frames = 0, closes = 0, terminated = 0;
    m_app.closed.connect([&] { ++closes; });
    m_app.frame.connect([&](double, double) {
        if (++frames == 2)
            clickCloseBox(m_app.window());
        ASSERT_LT(frames, 50) << "the close box was never reported";
    });
    m_app.terminated.connect([&] { ++terminated; });
    ASSERT_EQ(m_app.run(), 0);

    EXPECT_EQ(frames, 2);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(terminated, 1);
}

TEST_F(ApplicationGLTest, AWindowThatCannotOpenStopsCleanly) {
    m_app.setWindowSize(0, 0);
    bool anyLifecycleSignal = false;
    m_app.launched.connect([&] { anyLifecycleSignal = true; });
    m_app.terminated.connect([&] { anyLifecycleSignal = true; });

    testing::internal::CaptureStdout();
    const int code = m_app.run();
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_NE(code, 0);
    EXPECT_FALSE(anyLifecycleSignal);
    EXPECT_EQ(
        out.rfind("[Application] cannot open a 0x0 window with an OpenGL 3.3 core context: ", 0),
        0u)
        << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;

    // The same application opens fine once the request is sane.
    m_app.setWindowSize(64, 64);
    closeAfter(1);
    EXPECT_EQ(m_app.run(), 0);
}

}  // namespace
