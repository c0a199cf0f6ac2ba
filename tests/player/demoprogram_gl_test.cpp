// The demo program run for real in a hidden window over content the test
// packs, with demo time driven by the test; its authoring controls driven
// by keys the test presses.

#include "demoprogram.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <GL/glew.h>

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include "amigascene.h"
#include "demoscript.h"
#include "devcontrols.h"
#include "offlinerenderer.h"
#include "raymarchedscene.h"
#include "support/files.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "support/subprocess.h"
#include "tarn/application.h"
#include "tarn/decodecache.h"
#include "tarn/ext/assimploader.h"
#include "tarn/ext/dofeffect.h"
#include "tarn/ext/gloweffect.h"
#include "tarn/framebuffer.h"
#include "tarn/postfx/chain.h"
#include "tarn/postfx/effect.h"
#include "tarn/shaderprogram.h"
#include "tarn/soundtrack.h"
#include "tarn/texture.h"
#include "tarn/vertexbuffer.h"

namespace {

using Tarn::Application;

// Demo time as the test sets it; while `step` is positive every reading
// advances it, so the preloader's loops run through without waiting.
double g_now = 0.0, g_step = 0.0;
double fakeTime() {
    return g_now += g_step;
}

// Seconds of a 440 Hz tone.
std::string toneWav(double seconds = 1.0) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * 8000));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.25f * static_cast<float>(std::sin(i * 2 * M_PI * 440 / 8000));
    return Tarn::Test::waveFile(8000, samples);
}

// extra: lines at the end of the scene's block.
std::string scene(const char* light, const std::string& extra = "") {
    return std::string("begin world\n"
                       "  begin entity box\n"
                       "    component material stone\n    component mesh cube\n"
                       "    property position 0 2 0\n  end\n"
                       "  begin entity cam\n    component camera 35 1 0.1 100\n"
                       "    property position 0 2 10\n    property rotation 90 1 0 0\n  end\n"
                       "  begin entity sun\n    component light directional ") +
           light + "\n    property rotation 90 1 0 0\n  end\n" + extra + "end\n";
}

const std::pair<std::string, std::string> kLibrary = {
    "assets/library.tarn", "material stone stone.mat\nmesh cube cube.obj\n"};
const std::pair<std::string, std::string> kCube = {
    "cube.obj", "v -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\nvn 0 0 1\nf 1//1 2//1 3//1 4//1\n"};

// Eight seconds in which every picture depends on the time in its own way:
// a quad sliding on a spline in two clips (the second at scene time 10 on),
// the ray-marched scene from 1 s to 2 s, the retro scene from 5 s to 6 s,
// and a Glow keyed by a spline; with music.
bool packTimedDemo() {
    return Tarn::Test::packArchive(
        "demo.tarn",
        {kLibrary,
         {"stone.mat", "diffuse 1 1 1\n"},
         kCube,
         {"scenes/box.tarn", scene("1 0.8 0.6", "  begin automation slide box position\n"
                                                "    key x spline 0 -2\n    key x spline 1 1\n"
                                                "    key x spline 2 -1\n    key x spline 3 2\n"
                                                "    key x spline 10 -2\n    key x spline 12 1\n"
                                                "    key x spline 14 0\n  end\n")},
         {"music.wav", toneWav(8.0)},
         {"assets/demo.tarn", "soundtrack music.wav\nscene box scenes/box.tarn\n"
                              "sceneclip box 0 0 4 cam\nsceneclip box 4 10 4 cam\n"
                              "begin postfx\n  effect Raymarcher\n  effect Amiga\n  effect Glow\n"
                              "  begin automation r 0 bypass\n    key f hold 0 1\n"
                              "    key f hold 1 0\n    key f hold 2 1\n  end\n"
                              "  begin automation a 1 bypass\n    key f hold 0 1\n"
                              "    key f hold 5 0\n    key f hold 6 1\n  end\n"
                              "  begin automation g 2 Power\n    key f linear 0 0\n"
                              "    key f spline 2 3\n    key f spline 4 1\n"
                              "    key f spline 8 0\n  end\nend\n"}});
}

Tarn::Test::Image window() {
    return Tarn::Test::readFramebuffer(0, GL_BACK, 0, 0, 64, 64);
}

std::array<int, 4> liveObjects() {
    return {Tarn::Texture::liveCount(), Tarn::VertexBuffer::liveCount(),
            Tarn::FrameBuffer::liveCount(), Tarn::ShaderProgram::liveCount()};
}

DemoProgram::Settings authoring() {
    DemoProgram::Settings settings;
    settings.width = settings.height = 64;
    settings.preloader = false;
    settings.dev = true;
    return settings;
}

class DemoProgramGLTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No device: the music keeps time on a clock, driven by the test.
        setenv("ALSOFT_DRIVERS", "none", 1);
        g_now = 100.0;
        g_step = 0.25;
        Tarn::Clock::setTimeSource(&fakeTime);
        testing::internal::CaptureStdout();
        Tarn::Ext::AssimpLoader::registerExtension();
        Tarn::Ext::GlowEffect::registerExtension();
        Tarn::Ext::DoFEffect::registerExtension();
        RaymarchedScene::registerExtension();
        AmigaScene::registerExtension();
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
// first frame at or past 4 s; without authoring, its keys do nothing.
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
                              "  effect DepthOfField\n  begin automation focus 3 Focus distance\n"
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
        for (int key :
             {GLFW_KEY_SPACE, GLFW_KEY_RIGHT, GLFW_KEY_HOME, GLFW_KEY_LEFT_BRACKET, GLFW_KEY_F5})
            m_app.keyPressed.emit(key);
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
    EXPECT_EQ(log.find("[Demo] reloading"), std::string::npos);
    EXPECT_EQ(log.find("assets/demo.tarn:14:"), std::string::npos);
    EXPECT_NE(log.find("[Demo] 6 content problems; run with --check to list them"),
              std::string::npos);
    for (const char* line :
         {":5: \"scene NAME PATH\" needs 2 arguments; line skipped",
          ":6: sceneclip names the scene \"blue\", which no earlier scene line declares; "
          "valid names: green, red; line skipped",
          ":7: \"effect\" outside the postfx block; line skipped",
          // The failed line keeps its index: the automation of effect 2 (line
          // 14) goes with it, without a line, and DepthOfField stays effect 3.
          ":13: no effect is registered as \"Nope\"; valid names: Amiga, DepthOfField, Glow, "
          "Raymarcher; the automations of effect 2 are skipped too; line skipped",
          ":16: effect 1 (Glow) has no parameter \"Powr\"; did you mean \"Power\"?; line "
          "skipped",
          ":21: unknown interpolation \"lineer\"; linear is used; did you mean \"linear\"?"})
        EXPECT_NE(log.find(std::string("[Demo] assets/demo.tarn") + line), std::string::npos)
            << line << "\n"
            << log;
    EXPECT_EQ(program.renderer(), nullptr) << "released when the loop ended";
}

// A shader effect while authoring: F5 with nothing changed keeps the very
// effect (nothing compiled again), a shader broken by an edit keeps drawing
// as it last compiled and names itself in the title, the fixed one, saved
// by renaming a new file over it, is seen by the watcher and draws anew
// with its keyed parameter's value, and twenty reloads leave the count of
// programs flat.
TEST_F(DemoProgramGLTest, ReloadKeepsTheLastShaderThatCompiled) {
    const auto shader = [](const char* red) {
        return std::string("uniform float uGain; // @param 0..4 = 1\n"
                           "void main() { fragColor = vec4(uGain * ") +
               red + ", 0.0, 0.0, 1.0); }\n";
    };
    Tarn::Test::writeLooseFiles(
        {kLibrary,
         kCube,
         {"stone.mat", "diffuse 1 1 1\n"},
         {"scenes/box.tarn", scene("1 1 1")},
         {"fx/red.frag", shader("0.375")},
         {"assets/demo.tarn", "scene box scenes/box.tarn\nsceneclip box 0 0 99 cam\n"
                              "begin postfx\n  shader fx/red.frag\n"
                              "  begin automation gain 0 uGain\n    key f hold 0 2\n  end\nend\n"}});
    // The clock moves between frames only, so reloads show no frames of
    // their own.
    m_app.started.connect([] { g_step = 0.0; });
    DemoProgram::Settings settings = authoring();
    settings.watch = true;
    DemoProgram program(settings);
    program.attach(m_app);
    std::vector<float> reds;
    std::vector<const Tarn::PostFX::Effect*> effects;
    std::vector<std::string> titles;
    int programs = 0, waited = 0;
    m_app.frame.connect([&](double, double) {
        g_now += 0.25;
        const float red = window().at(32, 32)[0];
        if (reds.size() == 3 && std::abs(red - 0.25f) > 0.01f && ++waited < 8)
            return;  // until the watcher sees the fixed shader
        reds.push_back(red);
        effects.push_back(program.chain()->effect(0));
        titles.push_back(m_app.windowTitle());
        switch (reds.size()) {
        case 2:
            Tarn::Test::writeLooseFiles({{"fx/red.frag", shader("0.375 +")}});
            break;
        case 3:  // saved as editors do: a new file renamed over the old
            Tarn::Test::writeLooseFiles({{"fx/red.frag.new", shader("0.125")}});
            std::filesystem::rename("fx/red.frag.new", "fx/red.frag");
            programs = Tarn::ShaderProgram::liveCount();
            return;
        case 4:
            for (int i = 0; i < 20; ++i)
                m_app.keyPressed.emit(GLFW_KEY_F5);
            return;
        case 5:
            EXPECT_EQ(Tarn::ShaderProgram::liveCount(), programs);
            return m_app.closed.emit();
        }
        m_app.keyPressed.emit(GLFW_KEY_F5);
    });
    EXPECT_EQ(m_app.run(), 0);
    ASSERT_EQ(reds.size(), 5u);
    EXPECT_NEAR(reds[0], 0.75f, 0.01f);
    EXPECT_EQ(effects[1], effects[0]) << "nothing changed, nothing compiled";
    EXPECT_NEAR(reds[2], 0.75f, 0.01f) << "the broken shader keeps its last picture";
    EXPECT_EQ(effects[2], effects[0]);
    EXPECT_NE(titles[2].find("shader error: fx/red.frag"), std::string::npos) << titles[2];
    EXPECT_NEAR(reds[3], 0.25f, 0.01f);
    EXPECT_EQ(titles[3].find("shader error"), std::string::npos) << titles[3];
}

// Everything the music gives a frame is a function of its time alone: the
// values of a parameter that follows the music, the FrameInfo's bands,
// onset, level and integrals, its beat and bar, and the spectrum texture's
// rows are bit-identical at 0.5, 1 and 1.5 s whether the frames before came
// at 24 or 60 a second, after a seek back, or repeated while paused.
TEST_F(DemoProgramGLTest, MusicValuesDependOnTheTimeAlone) {
    const std::vector<float> drums = Tarn::Test::drumLoop(3, 8000);
    ASSERT_TRUE(Tarn::Test::packArchive(
        "demo.tarn",
        {kLibrary,
         kCube,
         {"stone.mat", "diffuse 1 1 1\n"},
         {"scenes/box.tarn", scene("1 1 1")},
         {"music.wav", Tarn::Test::waveFile(8000, drums)},
         {"assets/demo.tarn", "tempo 100 0.1\nsoundtrack music.wav\nscene box scenes/box.tarn\n"
                              "sceneclip box 0 0 3 cam\nbegin postfx\n  effect Glow as glow\n"
                              "  begin automation g glow Power\n    key f linear 0 1\n"
                              "    key f linear 3 2\n    follow f onset 2 0.05 0.2\n"
                              "    follow f bass 1\n    follow f beat 0.5\n  end\nend\n"}}));
    DemoProgram::Settings settings;
    settings.width = settings.height = 64;
    settings.preloader = settings.music = settings.playsFrames = false;
    DemoProgram program(settings);
    program.attach(m_app);
    using Record = std::vector<float>;
    const auto record = [&] {
        const Tarn::PostFX::FrameInfo& f = program.chain()->frameInfo();
        Record values = {program.chain()->effect(0)->property("Power").value.f, float(f.beat),
                         float(f.bar), f.onset, f.level};
        values.insert(values.end(), f.bands, f.bands + 4);
        values.insert(values.end(), f.integrals, f.integrals + 4);
        const Tarn::Test::Image spectrum = Tarn::Test::readTexture(f.spectrum->id());
        values.insert(values.end(), spectrum.rgba.begin(), spectrum.rgba.end());
        return values;
    };
    // Each run: the times of its frames; the records kept at the checked times.
    const std::vector<std::vector<double>> runs = {
        [] {
            std::vector<double> t;
            for (int i = 0; i <= 40; ++i)
                t.push_back(i / 24.0);
            return t;
        }(),
        [] {
            std::vector<double> t;
            for (int i = 0; i <= 102; ++i)
                t.push_back(i / 60.0);  // to 1.7 s
            for (int i = 0; i < 5; ++i)
                t.push_back(1.0);  // paused at 1 s, after a seek
            for (int i = 18; i <= 90; ++i)
                t.push_back(i / 60.0);  // from 0.3 s on again
            return t;
        }()};
    std::vector<std::map<double, std::vector<Record>>> kept(runs.size());
    m_app.started.connect([&] {
        for (std::size_t run = 0; run < runs.size(); ++run) {
            double previous = 0.0;
            for (double t : runs[run]) {
                ASSERT_TRUE(program.renderFrame(t, t - previous));
                previous = t;
                for (double checked : {0.5, 1.0, 1.5})
                    if (std::abs(t - checked) < 1e-9)
                        kept[run][checked].push_back(record());
            }
        }
        m_app.closed.emit();
    });
    EXPECT_EQ(m_app.run(), 0);
    for (double checked : {0.5, 1.0, 1.5}) {
        SCOPED_TRACE(checked);
        ASSERT_EQ(kept[0][checked].size(), 1u);
        ASSERT_GE(kept[1][checked].size(), 2u);
        for (const Record& other : kept[1][checked])
            EXPECT_TRUE(other == kept[0][checked][0]);
    }
    // The music moves them: not the same record at every time.
    EXPECT_FALSE(kept[0][0.5][0] == kept[0][1.0][0]);
    EXPECT_NE(kept[0][1.0][0][0], 1.0f + 1.0f / 3.0f) << "Power is more than its keys";
    EXPECT_FLOAT_EQ(kept[0][1.0][0][1], float((1.0 - 0.1) * 100 / 60)) << "beats since 0.1 s";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// What loading does between the preloader's frames, as a trace: '|' for a
// frame shown, 'm' for an image's mipmaps made, 'l' for a program linked,
// 'E' where Escape was pressed, 'S' where the demo started. The GL entry
// points are counted by swapping GLEW's pointers while the program runs.
std::string g_trace;
PFNGLGENERATEMIPMAPPROC g_generateMipmap = nullptr;
PFNGLLINKPROGRAMPROC g_linkProgram = nullptr;
void APIENTRY countMipmap(GLenum target) {
    g_trace += 'm';
    g_generateMipmap(target);
}
void APIENTRY countLink(GLuint program) {
    g_trace += 'l';
    g_linkProgram(program);
}
// Counts into g_trace while it lives (made and dropped with a context).
struct CountingGL {
    CountingGL() {
        g_generateMipmap = glGenerateMipmap;
        g_linkProgram = glLinkProgram;
        glGenerateMipmap = countMipmap;
        glLinkProgram = countLink;
    }
    ~CountingGL() {
        glGenerateMipmap = g_generateMipmap;
        glLinkProgram = g_linkProgram;
    }
};

// Loader threads that wait, before each decode, until the preloader has
// shown two more frames (or the program is closing): loading that waited
// for them without drawing frames would stop here until the guard gives up,
// which the test then reports.
class SlowDecoding {
public:
    SlowDecoding() {
        Tarn::DecodeCache::setDecodeHook([this](const std::string&) {
            std::unique_lock<std::mutex> hold(m_lock);
            const int until = m_shown + 2;
            if (!m_changed.wait_for(hold, std::chrono::seconds(10),
                                    [&] { return m_shown >= until || m_closing; }))
                ++m_guardsExpired;
        });
    }
    ~SlowDecoding() { Tarn::DecodeCache::setDecodeHook(nullptr); }
    void shown() { f_change([this] { ++m_shown; }); }
    void closing() { f_change([this] { m_closing = true; }); }
    int guardsExpired() {
        const std::lock_guard<std::mutex> hold(m_lock);
        return m_guardsExpired;
    }

private:
    template <typename Change> void f_change(Change change) {
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            change();
        }
        m_changed.notify_all();
    }
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_shown = 0;
    bool m_closing = false;
    int m_guardsExpired = 0;
};

// Six 16x16 images (four in the library, two maps of a material), a model
// and a Glow, whose programs link while loading.
bool packImageDemo() {
    std::vector<std::pair<std::string, std::string>> files = {
        kCube,
        {"stone.mat", "diffuse_map maps/4.png\nnormal_map maps/5.png\n"},
        {"scenes/box.tarn", scene("1 1 1")},
        {"assets/demo.tarn", "scene box scenes/box.tarn\nsceneclip box 0 0 4 cam\n"
                             "begin postfx\n  effect Glow\nend\n"}};
    std::string library = "material stone stone.mat\nmesh cube cube.obj\n";
    for (int i = 0; i < 6; ++i) {
        const std::string path = "maps/" + std::to_string(i) + ".png";
        const auto image = Tarn::Test::makeImage(16, 16, [i](int x, int y) {
            return std::array<float, 4>{x / 15.0f, y / 15.0f, i / 5.0f, 1.0f};
        });
        files.push_back({path, Tarn::Test::readFile(Tarn::Test::writePng(image, "map"))});
        if (i < 4)
            library += "imagetexture map" + std::to_string(i) + " " + path + "\n";
    }
    files.push_back({"assets/library.tarn", library});
    return Tarn::Test::packArchive("demo.tarn", files);
}

// Plays the image demo with the preloader, the clock moving 20 ms a reading
// (more than a preloader frame), decoding slowed, and Escape pressed at the
// preloader's frame escapeAt (0: never); the trace ends with the first demo
// frame, which closes the program.
std::string playPaced(Application& app, int escapeAt) {
    g_trace.clear();
    g_step = 0.02;
    SlowDecoding slow;
    DemoProgram::Settings settings;
    settings.width = settings.height = 64;
    DemoProgram program(settings);
    program.attach(app);
    int frames = 0;
    program.preloaderShown.connect([&] {
        g_trace += '|';
        slow.shown();
        if (++frames == escapeAt) {
            g_trace += 'E';
            app.keyPressed.emit(GLFW_KEY_ESCAPE);
        }
    });
    app.closed.connect([&] { slow.closing(); });
    std::optional<CountingGL> counting;
    app.launched.connect([&] { counting.emplace(); });
    app.started.connect([] { g_trace += 'S'; });
    app.frame.connect([&](double, double) {
        g_trace += 'F';
        app.closed.emit();
    });
    app.terminated.connect([&] { counting.reset(); });
    testing::internal::CaptureStdout();
    EXPECT_EQ(app.run(), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(program.renderer(), nullptr) << "released";
    EXPECT_EQ(slow.guardsExpired(), 0) << "decodes waited for frames never shown";
    return g_trace;
}

// The GL work of loading before the demo starts, split at the frames shown.
std::vector<std::string> loadingGaps(const std::string& trace) {
    std::vector<std::string> gaps(1);
    for (const char c : trace.substr(0, trace.find('S'))) {
        if (c == '|')
            gaps.emplace_back();
        else if (c != 'E')
            gaps.back() += c;
    }
    return gaps;
}

// Every image and program is made between two intro frames, one at a time,
// while the loader threads wait for frames to be shown; then the outro and
// the first demo frame.
TEST_F(DemoProgramGLTest, LoadingRunsBetweenIntroFrames) {
    ASSERT_TRUE(packImageDemo());
    const std::string trace = playPaced(m_app, 0);
    std::size_t images = 0, links = 0;
    for (const std::string& gap : loadingGaps(trace)) {
        EXPECT_LE(gap.size(), 1u) << "in one gap: " << gap << "\n" << trace;
        images += std::count(gap.begin(), gap.end(), 'm');
        links += std::count(gap.begin(), gap.end(), 'l');
    }
    EXPECT_EQ(images, 6u) << trace;
    EXPECT_GT(links, 0u) << trace;
    EXPECT_NE(trace.find('S'), std::string::npos) << trace;
    EXPECT_EQ(trace.back(), 'F') << trace;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Escape at the third frame, mid-loading: no frame is shown after it, at
// most the piece of GL work under way finishes, nothing plays, and all is
// released once.
TEST_F(DemoProgramGLTest, EscapeWhileLoadingQuitsAtTheNextFrame) {
    ASSERT_TRUE(packImageDemo());
    const std::string trace = playPaced(m_app, 3);
    ASSERT_NE(trace.find('E'), std::string::npos) << trace;
    const std::string after = trace.substr(trace.find('E') + 1);
    EXPECT_EQ(after.find('|'), std::string::npos) << trace;
    EXPECT_LE(std::count(after.begin(), after.end(), 'm') +
                  std::count(after.begin(), after.end(), 'l'),
              1) << trace;
    EXPECT_EQ(trace.find('F'), std::string::npos) << trace;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// A reload with decoding slowed plays on while it builds: the frames it
// shows draw the content that played, lit, unpaused, at times that run on,
// between its images (one loader thread, each decode waiting for two
// frames); the next frame draws the new content.
TEST_F(DemoProgramGLTest, ReloadPlaysOnWhileItBuilds) {
    ASSERT_TRUE(packImageDemo());
    m_app.started.connect([] { g_step = 0.02; });
    DemoProgram::Settings settings = authoring();
    settings.loaderThreads = 1;
    DemoProgram program(settings);
    program.attach(m_app);
    std::optional<CountingGL> counting;
    std::optional<SlowDecoding> slow;
    std::vector<double> times;
    bool reloaded = false;
    m_app.frame.connect([&](double, double now) {
        const Tarn::Test::Image image = window();
        const float* centre = image.at(32, 32);
        EXPECT_GT(std::max({centre[0], centre[1], centre[2]}), 0.1f) << now;
        times.push_back(now);
        if (program.reloading()) {
            g_trace += '|';
            slow->shown();
            EXPECT_EQ(program.contentVersion(), 1u);
            EXPECT_FALSE(program.paused());
        } else if (!reloaded) {
            reloaded = true;
            g_trace.clear();
            counting.emplace();
            slow.emplace();
            EXPECT_TRUE(program.reload());
            EXPECT_EQ(slow->guardsExpired(), 0) << "decodes waited for frames never shown";
            slow.reset();
            counting.reset();
        } else {
            EXPECT_EQ(program.contentVersion(), 2u);
            m_app.closed.emit();
        }
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_app.run(), 0);
    testing::internal::GetCapturedStdout();
    std::vector<std::string> gaps(1);
    for (const char c : g_trace)
        if (c == '|')
            gaps.emplace_back();
        else
            gaps.back() += c;
    for (const std::string& gap : gaps)
        EXPECT_LE(std::count(gap.begin(), gap.end(), 'm'), 1) << gap << "\n" << g_trace;
    EXPECT_EQ(std::count(g_trace.begin(), g_trace.end(), 'm'), 6) << g_trace;
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_LT(times[i - 1], times[i]) << "frame " << i;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Seeking by key draws the frame that playing drew at that time, the music
// at the picture's time; pause holds both; a loop set by keys repeats its
// frames and the music pass after pass; past the end the demo waits on its
// last frame. No frame is black, and the title shows the time and the loop.
TEST_F(DemoProgramGLTest, SeekingAndLoopingAreExact) {
    ASSERT_TRUE(packTimedDemo());
    m_app.started.connect([] { g_step = 0.0; });
    DemoProgram program(authoring());
    program.attach(m_app);
    // After playing from 0 to 7.75 s: the keys pressed after a frame, then
    // the times of the next frames (0.25 s of the clock apart) and whether
    // they are paused.
    const struct {
        std::vector<int> keys;
        std::vector<double> next;
        bool paused = false;
    } rows[] = {
        {{GLFW_KEY_HOME}, {0.25}},
        {{GLFW_KEY_RIGHT}, {5.5}},
        {{GLFW_KEY_LEFT_SHIFT, GLFW_KEY_LEFT}, {4.75}},
        {{GLFW_KEY_LEFT}, {0.25}},
        {{GLFW_KEY_RIGHT_SHIFT, GLFW_KEY_RIGHT}, {1.5}},
        {{GLFW_KEY_SPACE}, {1.5}, true},
        {{GLFW_KEY_RIGHT}, {6.5}, true},
        {{GLFW_KEY_SPACE}, {6.75}},
        {{GLFW_KEY_LEFT}, {2.0}},
        {{GLFW_KEY_LEFT_BRACKET}, {2.25, 2.5, 2.75}},                  // a loop from 2 s ...
        {{GLFW_KEY_RIGHT_BRACKET}, {2.25, 2.5, 2.0, 2.25, 2.5, 2.0}},  // ... to 2.75 s
        {{GLFW_KEY_BACKSPACE}, {2.25}},
        {{GLFW_KEY_RIGHT, GLFW_KEY_RIGHT}, {7.999}, true},
        {{GLFW_KEY_HOME}, {0.0}, true},
    };
    std::map<double, Tarn::Test::Image> first;  // the first frame at each time
    int row = -1, repeats = 0;
    std::size_t at = 0;  // in the row's times
    m_app.frame.connect([&](double, double) {
        const double now = program.time();
        if (row >= 0) {
            EXPECT_NEAR(now, rows[row].next[at], 1e-9) << row;
            EXPECT_EQ(program.paused(), rows[row].paused) << row;
        }
        EXPECT_NEAR(program.script()->soundtrack()->position(), now, 0.02) << now;
        const std::string& title = m_app.windowTitle();
        EXPECT_NE(title.find(DevControls::clockText(now)), std::string::npos) << title;
        EXPECT_EQ(title.find("loop") != std::string::npos, program.looping()) << title;
        const Tarn::Test::Image image = window();
        float brightest = 0.0f;  // of the colour channels
        for (std::size_t i = 0; i < image.rgba.size(); ++i)
            brightest = i % 4 == 3 ? brightest : std::max(brightest, image.rgba[i]);
        EXPECT_GT(brightest, 0.1f) << now;
        const auto [kept, fresh] = first.emplace(now, image);
        repeats += !fresh;
        EXPECT_EQ(image.rgba, kept->second.rgba)
            << "the frame at " << now
            << " differs: " << Tarn::Test::writePng(image, (m_folder.previous() / "seek").string());
        if (row < 0 ? now == 7.75 : ++at == rows[row].next.size()) {
            if (++row == static_cast<int>(std::size(rows)))
                return m_app.closed.emit();
            at = 0;
            for (int key : rows[row].keys)
                m_app.keyPressed.emit(key);
            m_app.keyReleased.emit(GLFW_KEY_LEFT_SHIFT);
            m_app.keyReleased.emit(GLFW_KEY_RIGHT_SHIFT);
        }
        g_now += 0.25;
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_app.run(), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(row, static_cast<int>(std::size(rows)));
    EXPECT_EQ(repeats, 20);
}

// F5 shows edited scripts, and so does saving one while watching; a faulty
// line is reported by script and line and the rest loads; a script that is
// gone keeps what it gave. Twenty more reloads leave as many textures,
// buffers and programs alive, keep the time, pause and loop, and keep the
// music rather than decode it again. No frame goes black.
TEST_F(DemoProgramGLTest, ReloadShowsEditsAndFreesWhatItReplaces) {
    using Tarn::Test::writeLooseFiles;
    writeLooseFiles(
        {kLibrary,
         kCube,
         {"stone.mat", "diffuse 1 1 1\nspecular 0 0.5\n"},
         {"scenes/box.tarn", scene("1 1 1")},
         {"music.wav", toneWav()},
         {"assets/demo.tarn",
          "soundtrack music.wav\nscene box scenes/box.tarn\nsceneclip box 0 0 99 cam\n"}});
    m_app.started.connect([] { g_step = 0.0; });
    DemoProgram::Settings settings = authoring();
    settings.watch = true;
    settings.start = settings.loopStart = 1.0;
    settings.loopEnd = 60.0;
    DemoProgram program(settings);
    // The content a frame is drawn with: a reload by the watcher comes after
    // the drawing, one by F5 before. (Counted, not compared by address: a
    // new chain may be made where the old one was.)
    std::size_t drawing = 0, shownVersion = 0;
    m_app.frame.connect([&](double, double) { drawing = program.contentVersion(); });
    program.attach(m_app);
    std::vector<std::array<float, 3>> shown;  // the centre after each change
    std::array<int, 4> counts{};
    const Tarn::Soundtrack* music = nullptr;
    int frame = 0;
    const auto step = [&](const float* centre) {
        shown.push_back({centre[0], centre[1], centre[2]});
        switch (shown.size()) {
        case 1:  // white
            writeLooseFiles({{"stone.mat", "diffuse 1 0 0\nspecular 0 0.5\n"}});
            return m_app.keyPressed.emit(GLFW_KEY_F5);
        case 2:  // red; the watcher reloads within a second
            return writeLooseFiles({{"scenes/box.tarn", "bogus line\n" + scene("0.5 0.5 0.5")}});
        case 3:  // half as bright
            std::filesystem::remove("stone.mat");
            return m_app.keyPressed.emit(GLFW_KEY_F5);
        case 4:  // as bright still
            counts = liveObjects();
            music = program.script()->soundtrack();
            m_app.keyPressed.emit(GLFW_KEY_SPACE);
            for (int i = 0; i < 20; ++i)
                m_app.keyPressed.emit(GLFW_KEY_F5);
            return;
        default:
            EXPECT_EQ(liveObjects(), counts);
            EXPECT_TRUE(program.paused());
            EXPECT_EQ(program.loopStart(), 1.0);
            EXPECT_EQ(program.loopEnd(), 60.0);
            EXPECT_EQ(program.script()->soundtrack(), music);
            m_app.closed.emit();
        }
    };
    m_app.frame.connect([&](double, double) {
        const Tarn::Test::Image image = window();
        const float* centre = image.at(32, 32);
        EXPECT_GT(std::max({centre[0], centre[1], centre[2]}), 0.1f) << "frame " << frame;
        const bool reloaded = drawing != shownVersion;
        shownVersion = drawing;
        // Time runs on through the reloads, until paused before the last.
        EXPECT_EQ(program.time(), 1.0 + 0.25 * (frame - (shown.size() == 4)));
        if (frame++ >= 12) {
            ADD_FAILURE() << "the watcher never reloaded";
            return m_app.closed.emit();
        }
        if (reloaded)  // else waiting for the watcher
            step(centre);
        g_now += 0.25;
    });
    testing::internal::CaptureStdout();
    EXPECT_EQ(m_app.run(), 0);
    const std::string log = testing::internal::GetCapturedStdout();
    ASSERT_EQ(shown.size(), 5u) << log;
    EXPECT_GT(shown[0][1], 0.3f);
    EXPECT_NEAR(shown[1][0], shown[0][0], 0.02f);
    EXPECT_LT(shown[1][1], 0.02f);
    EXPECT_NEAR(shown[2][0], shown[1][0] / 2, 0.02f);
    EXPECT_EQ(shown[3], shown[2]);
    EXPECT_EQ(shown[4], shown[3]);
    for (const char* line :
         {"[Scene] scenes/box.tarn:1: unknown keyword \"bogus\"; line ignored",
          "[VFS] stone.mat cannot be read now; keeping the script as it was last read"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    std::size_t reloads = 0;
    for (auto at = log.find("[Demo] content reloaded in "); at != std::string::npos;
         at = log.find("[Demo] content reloaded in ", at + 1))
        ++reloads;
    EXPECT_EQ(reloads, 23u);
    const std::array<int, 4> released = liveObjects();
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(released[i], counts[i]) << i;
}

// Time words of the command line are read on the content's tempo once it
// is loaded (120 bpm from 0.5 s: a beat is 0.5 s), for playing and for
// rendering alike. One that cannot be read ends the run before any frame,
// with one line on standard output and standard error.
TEST_F(DemoProgramGLTest, TimeWordsAreReadOnTheContentsTempo) {
    const struct {
        const char* tempo;
        bool render;
        const char *start, *loopStart, *loopEnd;
        double first, loopFrom, loopTo;  // the first frame's time, the loop played
        const char* refusal;             // empty: plays
    } rows[] = {
        {"tempo 120 0.5\n", false, "1:2", "", "", 3.5, 0, 8, ""},
        {"tempo 120 0.5\n", false, "0:1", "0:1", "1:0", 1.0, 1.0, 2.5, ""},
        {"tempo 120 0.5\n", true, "1:0.5", "", "", 2.75, 0, 8, ""},
        {"tempo 120 0.5\n", true, "2.25", "", "", 2.25, 0, 8, ""},
        {"", false, "1:2", "", "", 0, 0, 0,
         "tarn-demo: --start 1:2 is a bar time, and the content has no tempo line; give the time "
         "in seconds, or write \"tempo BPM\" at the top of assets/demo.tarn"},
        {"", true, "0:1", "", "", 0, 0, 0,
         "tarn-demo: --start 0:1 is a bar time, and the content has no tempo line; give the time "
         "in seconds, or write \"tempo BPM\" at the top of assets/demo.tarn"},
        {"tempo 120\n", false, "1:5", "", "", 0, 0, 0,
         "tarn-demo: --start 1:5: bar time \"1:5\" has beat 5; a bar has 4 beats"},
        {"tempo 120\n", false, "3", "3", "0:1", 0, 0, 0,
         "tarn-demo: --loop 3..0:1 is the span from 3 s to 0.5 s on the content's tempo; give an "
         "END after START, from 0 s"},
        // Past the end nothing would play: said, not a silent exit.
        {"tempo 120\n", false, "1e30", "", "", 0, 0, 0,
         "tarn-demo: --start 1e+30 s is past the demo's end at 8 s"},
        {"tempo 120\n", false, "", "50:0", "60:0", 0, 0, 0,
         "tarn-demo: --loop from 100 s is past the demo's end at 8 s"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.start);
        Tarn::Test::writeLooseFiles(
            {kLibrary,
             kCube,
             {"stone.mat", "diffuse 1 1 1\n"},
             {"scenes/box.tarn", scene("1 1 1")},
             {"assets/demo.tarn",
              std::string(row.tempo) + "scene box scenes/box.tarn\nsceneclip box 0 0 8 cam\n"}});
        Application app;
        app.setHidden(true);
        g_step = 0.25;
        app.started.connect([] { g_step = 0.0; });
        DemoProgram::Settings settings = authoring();
        settings.playsFrames = !row.render;
        settings.startWord = row.render ? "" : row.start;
        settings.loopStartWord = row.loopStart;
        settings.loopEndWord = row.loopEnd;
        DemoProgram program(settings);
        program.attach(app);
        OfflineRenderer::Settings offline;
        offline.output = "x.png";
        offline.png = offline.singleFrame = true;
        offline.startWord = row.start;
        OfflineRenderer renderer(program, offline);
        if (row.render)
            renderer.attach(app);
        // The renderer closes after its one frame.
        std::vector<double> frames, loop;
        app.frame.connect([&](double, double) {
            if (!frames.empty())
                return;
            frames.push_back(row.render ? renderer.frameTime(0) : program.time());
            loop = {program.loopFrom(), program.loopTo()};
            if (!row.render)
                app.closed.emit();
        });
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(app.run(), 0);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        if (*row.refusal) {
            EXPECT_TRUE(frames.empty());
            EXPECT_TRUE(program.refusedTimes() || renderer.refusedTimes());
            EXPECT_NE(out.find(std::string(row.refusal) + "\n"), std::string::npos) << out;
            EXPECT_EQ(err, std::string(row.refusal) + "\n");
            continue;
        }
        EXPECT_EQ(frames, std::vector<double>{row.first});
        EXPECT_EQ(renderer.succeeded(), row.render);
        EXPECT_FALSE(program.refusedTimes() || renderer.refusedTimes());
        EXPECT_EQ(loop, (std::vector<double>{row.loopFrom, row.loopTo}));
    }
}

}  // namespace
