// The demo script's tempo line and bar times, loaded for real (effects need a
// GL context): faulty tempo lines and bar times at their lines, scene keys on
// the demo's tempo, and the shipped demo, written in bars, against the same
// demo as it was written in seconds.

#include "demoscript.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "extensions.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "tarn/assetlibrary.h"
#include "tarn/demo/sceneclip.h"
#include "tarn/demo/timeline.h"
#include "tarn/diagnostics.h"
#include "tarn/graphics/renderer.h"
#include "tarn/postfx/chain.h"
#include "tarn/scenegraph/automation.h"
#include "tarn/scenegraph/scene.h"
#include "tarn/vfs.h"

namespace {

using Tarn::Scenegraph::Automation;

// One demo script loaded onto a timeline and chain of its own.
struct Loaded {
    Tarn::Graphics::Renderer renderer{64, 64};
    Tarn::Demo::Timeline timeline;
    Tarn::PostFX::Chain chain{64, 64, &renderer};
    DemoScript script{&renderer, &timeline, &chain};
    std::vector<std::string> problems;

    explicit Loaded(const std::string& path) {
        Tarn::Diagnostics::ProblemList collected(false);
        Tarn::Diagnostics::ScopedCollector collect(collected);
        Tarn::Signal<double> progress;
        testing::internal::CaptureStdout();
        EXPECT_TRUE(script.load(path, progress, 0.4)) << path;
        testing::internal::GetCapturedStdout();
        problems = collected.lines();
    }
    // Key times of the value of every effect automation, in script order.
    std::vector<double> keyTimes(const char* value) const {
        std::vector<double> times;
        for (const Automation* automation : script.automations())
            for (const Automation::Keyframe& key : automation->keyframes(value))
                times.push_back(key.time);
        return times;
    }
};

class DemoScriptGLTest : public Tarn::Test::GLTest {
protected:
    static void SetUpTestSuite() {
        setenv("ALSOFT_DRIVERS", "null", 1);
        testing::internal::CaptureStdout();
        registerExtensions();
        testing::internal::GetCapturedStdout();
    }
    void TearDown() override {
        Tarn::AssetLibrary::destroyInstance();
        GLTest::TearDown();
    }
};

// A tempo of 120 bpm has beats of 0.5 s. A clip's start and effect keys are
// demo time (the offset added); its offset, duration and the scene's keys
// count from 0. A line with a bar time it cannot place is skipped.
TEST_F(DemoScriptGLTest, TempoLineAndBarTimes) {
    Tarn::Test::ScratchFolder scratch;
    Tarn::VFS loose("absent.tarn", false);
    const std::string scene = "begin world\n  begin entity cam\n    component camera 35 1 0.1 9\n"
                              "  end\n  begin automation a cam position\n    key x linear 0 0\n"
                              "    key x linear 1:2 1\n  end\nend\n";
    const std::string sceneWithoutTempo =
        "scenes/s.tarn:7: the key's time: bar time \"1:2\" needs a tempo line before it (in the "
        "demo script, before the scene lines); line skipped";
    const char* const effect = "begin postfx\n  effect Glow\n  begin automation g 0 Power\n"
                               "    key f hold 1:2.5 1\n    key f hold 1:0 2\n  end\nend\n";
    const struct {
        std::string script;
        std::vector<std::string> problems;  // after "assets/demo.tarn:", but the scene's
        std::vector<double> clip;           // start, offset, duration
        std::vector<double> sceneKeys, effectKeys = {};
    } rows[] = {
        {std::string("tempo 120 1 3\nscene s scenes/s.tarn\nsceneclip s 2:1 1:0 0:1.5 cam\n") +
             effect,
         {"8: key at 1:0 (2.5 s) for effect 0 parameter \"Power\" value \"f\" is earlier than the "
          "key at 3.75 s on line 7; keys must be in time order; it is put in its place"},
         {4.5, 1.5, 0.75},
         {0, 2.5},
         {2.5, 3.75}},
        {"scene s scenes/s.tarn\nsceneclip s 2:1 0 1 cam\nsceneclip s 0 0 4 cam\n",
         {sceneWithoutTempo, "2: the clip's start bar time \"2:1\" needs a tempo line before it; "
                             "line skipped"},
         {0, 0, 4},
         {0}},
        {"scene s scenes/s.tarn\ntempo 120\nsceneclip s 0 0 4 cam\n",
         {sceneWithoutTempo, "2: the tempo line comes after line 1, which reads times without "
                             "it; put it before the scene lines; line skipped"},
         {0, 0, 4},
         {0}},
        {"tempo 0\ntempo 120 0 5\ntempo 90\nscene s scenes/s.tarn\nsceneclip s 1:5 0 2 cam\n"
         "sceneclip s 1:4.5 0:1 1:0 cam\n",
         {"1: the tempo \"0\" is not a number of beats per minute above 0; line skipped",
          "3: a second tempo line; the tempo of line 2 is kept; line skipped",
          "5: the clip's start bar time \"1:5\" has beat 5; a bar has 5 beats; line skipped"},
         {4.75, 0.5, 2.5},
         {0, 3.5}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        Tarn::Test::writeLooseFiles({{"scenes/s.tarn", scene}, {"assets/demo.tarn", row.script}});
        const Loaded loaded("assets/demo.tarn");
        std::vector<std::string> problems;
        for (const std::string& problem : row.problems)
            problems.push_back(problem.rfind("scenes/", 0) == 0 ? problem
                                                                : "assets/demo.tarn:" + problem);
        EXPECT_EQ(loaded.problems, problems);
        const std::vector<Tarn::Demo::Clip*> clips = loaded.timeline.clips();
        ASSERT_EQ(clips.size(), 1u);
        EXPECT_EQ((std::vector<double>{clips[0]->startTime(), clips[0]->startOffset(),
                                       clips[0]->duration()}),
                  row.clip);
        std::vector<double> sceneKeys;
        const auto* clip = static_cast<Tarn::Demo::SceneClip*>(clips[0]);
        for (const Automation::Keyframe& key : clip->scene()->automations()[0]->keyframes("x"))
            sceneKeys.push_back(key.time);
        EXPECT_EQ(sceneKeys, row.sceneKeys);
        EXPECT_EQ(loaded.keyTimes("f"), row.effectKeys);
    }
}

// Every time of the shipped demo that lies on its tempo grid is written as a
// bar time; the demo as it was in seconds (a copy kept beside this test)
// gives every clip and key the same time within 0.1 ms, and neither reports a
// problem.
TEST_F(DemoScriptGLTest, ShippedDemoInBarsKeepsItsTimes) {
    Tarn::VFS archive(TARN_DEMO_ARCHIVE, true);
    ASSERT_TRUE(archive.hasArchive()) << TARN_DEMO_ARCHIVE;
    archive.setLooseRoot(TARN_PLAYER_TEST_DATA);
    testing::internal::CaptureStdout();
    Tarn::AssetLibrary::instance()->loadAllFromScript("assets/library.tarn");
    testing::internal::GetCapturedStdout();
    const Loaded bars("assets/demo.tarn"), seconds("demo_in_seconds.tarn");
    ASSERT_NE(bars.script.tempo(), nullptr);
    EXPECT_NEAR(bars.script.tempo()->seconds(36, 0), 67.28, 1e-6);
    EXPECT_EQ(seconds.script.tempo(), nullptr);
    EXPECT_EQ(bars.problems, std::vector<std::string>());
    EXPECT_EQ(seconds.problems, std::vector<std::string>());

    const std::vector<Tarn::Demo::Clip*> inBars = bars.timeline.clips(),
                                         inSeconds = seconds.timeline.clips();
    ASSERT_EQ(inBars.size(), 7u);
    ASSERT_EQ(inSeconds.size(), inBars.size());
    for (std::size_t i = 0; i < inBars.size(); ++i) {
        EXPECT_NEAR(inBars[i]->startTime(), inSeconds[i]->startTime(), 1e-4) << i;
        EXPECT_NEAR(inBars[i]->startOffset(), inSeconds[i]->startOffset(), 1e-4) << i;
        EXPECT_NEAR(inBars[i]->duration(), inSeconds[i]->duration(), 1e-4) << i;
    }
    ASSERT_EQ(bars.script.automationCount(), seconds.script.automationCount());
    std::size_t compared = 0;
    for (const char* value : {"f", "x", "y", "z", "w"}) {
        const std::vector<double> a = bars.keyTimes(value), b = seconds.keyTimes(value);
        ASSERT_EQ(a.size(), b.size()) << value;
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_NEAR(a[i], b[i], 1e-4) << value << " key " << i;
        compared += a.size();
    }
    EXPECT_EQ(compared, 249u);
}

}  // namespace
