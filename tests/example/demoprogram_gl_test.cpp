// The demo program run for real in a hidden window over content the test
// packs, with demo time driven by the test.

#include "demoprogram.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <GL/glew.h>

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "demoscript.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "support/subprocess.h"
#include "tarn/application.h"
#include "tarn/ext/assimploader.h"
#include "tarn/ext/dofeffect.h"
#include "tarn/ext/gloweffect.h"
#include "tarn/framebuffer.h"
#include "tarn/postfx/chain.h"
#include "tarn/postfx/effect.h"
#include "tarn/texture.h"

namespace {

using Tarn::Application;

// Demo time as the test sets it; while `step` is positive every reading
// advances it, so the preloader's loops run through without waiting.
double g_now = 0.0, g_step = 0.0;
double fakeTime() {
    return g_now += g_step;
}

// One second of a 440 Hz tone.
std::string toneWav() {
    std::vector<float> samples(8000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.25f * static_cast<float>(std::sin(i * 2 * M_PI * 440 / 8000));
    return Tarn::Test::waveFile(8000, samples);
}

std::string scene(const char* light) {
    return std::string("begin world\n"
                       "  begin entity box\n"
                       "    component material stone\n    component mesh cube\n"
                       "    property position 0 2 0\n  end\n"
                       "  begin entity cam\n    component camera 35 1 0.1 100\n"
                       "    property position 0 2 10\n    property rotation 90 1 0 0\n  end\n"
                       "  begin entity sun\n    component light directional ") +
           light + "\n    property rotation 90 1 0 0\n  end\nend\n";
}

class DemoProgramGLTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ALSOFT_DRIVERS", "null", 1);  // no sound card needed
        g_now = 100.0;
        g_step = 0.25;
        Tarn::Clock::setTimeSource(&fakeTime);
        testing::internal::CaptureStdout();
        Tarn::Ext::AssimpLoader::registerExtension();
        Tarn::Ext::GlowEffect::registerExtension();
        Tarn::Ext::DoFEffect::registerExtension();
        testing::internal::GetCapturedStdout();
        m_app.setHidden(true);
    }
    void TearDown() override { Tarn::Clock::setTimeSource(nullptr); }

    Tarn::Test::ScratchFolder m_folder;
    Application m_app;
};

// Two scenes lit red and green, each on the timeline for two seconds, then
// two Glows with the second one's Power keyed (a misspelt interpolation is
// linear) and a depth of field keyed by a parameter name with a space;
// faulty lines are reported and the rest plays. The program closes on the
// first frame at or past 4 s.
TEST_F(DemoProgramGLTest, PlaysAPackedDemoToItsEnd) {
    ASSERT_TRUE(Tarn::Test::packArchive(
        "demo.tarn",
        {{"assets/library.tarn", "material stone stone.mat\nmesh cube cube.obj\n"},
         {"stone.mat", "diffuse 1 1 1\n"},
         {"cube.obj", "v -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\nvn 0 0 1\nf 1//1 2//1 3//1 4//1\n"},
         {"scenes/red.tarn", scene("1 0 0")},
         {"scenes/green.tarn", scene("0 1 0")},
         {"music.wav", toneWav()},
         {"assets/demo.tarn", "windowtitle Tarn   test  demo\nsoundtrack music.wav\n"
                              "scene red scenes/red.tarn\nscene green scenes/green.tarn\n"
                              "scene broken\nsceneclip blue 0 0 9 cam\neffect Glow\n"
                              "sceneclip red 0 0 2 cam\nsceneclip green 2 0 2 cam\n"
                              "begin postfx\n  effect Glow\n  effect Glow\n  effect Nope\n"
                              "  begin automation power 2 Power\n  end\n"
                              "  begin automation power 1 Powr\n    key f linear 0 0\n  end\n"
                              "  begin automation power 1 Power\n"
                              "    key f linear 0 0\n    key f lineer 4 2\n  end\n"
                              "  effect DepthOfField\n  begin automation focus 2 Focus distance\n"
                              "    key f hold 0 7\n  end\nend\n"}}));
    DemoProgram::Settings settings;
    settings.width = settings.height = 64;
    settings.preloader = false;
    DemoProgram program(settings);
    program.attach(m_app);

    std::vector<double> progress, frames;
    std::vector<std::array<float, 3>> centres;
    std::vector<std::array<float, 3>> parameters;
    double start = 0.0;
    m_app.loadingProgress.connect([&](double value) { progress.push_back(value); });
    m_app.started.connect([&] {
        g_step = 0.0;
        start = g_now - m_app.time.elapsed();
        g_now = start + 1.0;
    });
    m_app.frame.connect([&](double, double now) {
        frames.push_back(now);
        const Tarn::Test::Image image =
            Tarn::Test::readTexture(program.chain()->buffers().out->target(0)->id());
        centres.push_back({image.at(32, 32)[0], image.at(32, 32)[1], image.at(32, 32)[2]});
        parameters.push_back({program.chain()->effect(0)->property("Power").value.f,
                              program.chain()->effect(1)->property("Power").value.f,
                              program.chain()->effect(2)->property("Focus distance").value.f});
        g_now = start + (now < 3.0 ? 3.0 : 4.0);
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_app.run(), 0);
    const std::string log = testing::internal::GetCapturedStdout();

    EXPECT_EQ(progress, (std::vector<double>{0.4, 0.5, 0.6, 1.0}));
    EXPECT_EQ(frames, (std::vector<double>{1.0, 3.0, 4.0}));
    // The lights' colours over the white highlight both scenes share.
    EXPECT_GT(centres[0][0] - centres[0][1], 0.5f) << "red scene at 1 s";
    EXPECT_GT(centres[1][1] - centres[1][0], 0.5f) << "green scene at 3 s";
    EXPECT_EQ(parameters[1][0], 1.5f) << "the first Glow keeps its default";
    EXPECT_FLOAT_EQ(parameters[1][1], 1.5f) << "keyed from 0 at 0 s to 2 at 4 s";
    EXPECT_EQ(parameters[1][2], 7.0f) << "a parameter whose name has a space";
    EXPECT_EQ(m_app.windowTitle(), "Tarn test demo");
    for (const char* line :
         {":5: \"scene NAME PATH\" needs 2 arguments; line skipped",
          ":6: sceneclip names the scene \"blue\", which no earlier scene line declares; line "
          "skipped",
          ":7: \"effect\" outside the postfx block; line skipped",
          ":13: no effect is registered as \"Nope\"; line skipped",
          ":14: the chain has no effect at index 2 (it holds 2); line skipped",
          ":16: effect 1 has no parameter \"Powr\"; line skipped"})
        EXPECT_NE(log.find(std::string("[Demo] assets/demo.tarn") + line), std::string::npos)
            << line << "\n"
            << log;
    EXPECT_EQ(program.renderer(), nullptr) << "released when the loop ended";
}

// Escape during the preloader's intro (pressed when the clock passes 102 s,
// from inside a frame of the intro) stops it: nothing is loaded, the loop
// never runs, a second close changes nothing and all is released once.
TEST_F(DemoProgramGLTest, EscapeDuringThePreloaderEndsCleanly) {
    DemoProgram program(DemoProgram::Settings{64, 64, false, true});
    program.attach(m_app);
    std::vector<double> progress;
    int frames = 0;
    m_app.loadingProgress.connect([&](double value) { progress.push_back(value); });
    m_app.frame.connect([&](double, double) { ++frames; });
    Tarn::Clock::setTimeSource([] {
        g_now += 0.25;
        if (g_now == 102.0) {
            Application::tarnApp->keyPressed.emit(GLFW_KEY_ESCAPE);
            Application::tarnApp->closed.emit();
        }
        return g_now;
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_app.run(), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_LT(g_now, 104.0) << "the intro stopped early";
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(program.renderer(), nullptr);
}

}  // namespace
