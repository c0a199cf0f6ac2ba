// The demo script's tempo line and bar times, loaded for real (effects need a
// GL context): faulty tempo lines and bar times at their lines, scene keys on
// the demo's tempo, and the shipped demo, written in bars, against the same
// demo as it was written in seconds; the music decoded on a loader thread;
// and the fuzz target's saved inputs.

#include "demoscript.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <sstream>
#include <map>
#include <fstream>
#include <string>
#include <vector>

#include "extensions.h"
#include "support/fuzz_inputs.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "support/subprocess.h"
#include "tarn/assetlibrary.h"
#include "tarn/audio/musicanalysis.h"
#include "tarn/decodecache.h"
#include "tarn/demo/sceneclip.h"
#include "tarn/demo/timeline.h"
#include "tarn/diagnostics.h"
#include "tarn/graphics/renderer.h"
#include "tarn/postfx/chain.h"
#include "tarn/scenegraph/automation.h"
#include "tarn/scenegraph/scene.h"
#include "tarn/soundtrack.h"
#include "tarn/vfs.h"

#define TARN_DEMOSCRIPT_FUZZ_NO_MAIN
#include "fuzz/demoscript_fuzz.cpp"

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
// bar time; the times it had when written in seconds (kept beside this
// test) are every clip's and key's within 0.1 ms, and it loads clean.
TEST_F(DemoScriptGLTest, ShippedDemoInBarsKeepsItsTimes) {
    Tarn::VFS archive(TARN_DEMO_ARCHIVE, true);
    ASSERT_TRUE(archive.hasArchive()) << TARN_DEMO_ARCHIVE;
    testing::internal::CaptureStdout();
    Tarn::AssetLibrary::instance()->loadAllFromScript("assets/library.tarn");
    testing::internal::GetCapturedStdout();
    const Loaded bars("assets/demo.tarn");
    ASSERT_NE(bars.script.tempo(), nullptr);
    EXPECT_NEAR(bars.script.tempo()->seconds(36, 0), 67.28, 1e-6);
    EXPECT_EQ(bars.problems, std::vector<std::string>());

    std::map<std::string, std::vector<double>> seconds;  // "clip", then each value
    std::ifstream file(std::string(TARN_PLAYER_TEST_DATA) + "/demo_times_in_seconds.txt");
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        for (double t; key[0] != '#' && words >> t;)
            seconds[key].push_back(t);
    }
    std::vector<double> clips;
    for (const Tarn::Demo::Clip* clip : bars.timeline.clips())
        clips.insert(clips.end(), {clip->startTime(), clip->startOffset(), clip->duration()});
    std::size_t compared = 0;
    for (const auto& [key, expected] : seconds) {
        const std::vector<double> got = key == "clip" ? clips : bars.keyTimes(key.c_str());
        ASSERT_EQ(got.size(), expected.size()) << key;
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i], expected[i], 1e-4) << key << " " << i;
        compared += got.size();
    }
    EXPECT_EQ(compared, 7u * 3 + 166);
}

// Each key or follow line (a "beat" adds up to its gain to the keys so far)
// that can go above the most is reported once, at its line.
TEST_F(DemoScriptGLTest, ValuesAboveAParametersMostAreReportedOnce) {
    Tarn::Test::ScratchFolder scratch;
    Tarn::VFS loose("absent.tarn", false);
    Tarn::Test::writeLooseFiles(
        {{"assets/demo.tarn",
          "tempo 120\nbegin postfx\neffect AnisotropicFlare\nbegin automation a 0 "
          "Blur_iterations\nkey f hold 0 200\nfollow f beat 56\nfollow f beat 57\nkey f hold 1 "
          "1000\nkey f hold 2 256\nend\nend\n"}});
    EXPECT_EQ(Loaded("assets/demo.tarn").problems,
              (std::vector<std::string>{
                  "assets/demo.tarn:7: follow f beat 57 for effect 0 parameter \"Blur_iterations\" "
                  "can take it above its most, 256; 256 is used above it",
                  "assets/demo.tarn:8: key 1000 for effect 0 parameter \"Blur_iterations\" is "
                  "above its most, 256; 256 is used"}));
}

// Scripts that once broke loading, reloading or playing the content go
// through the fuzz target's steps again.
TEST_F(DemoScriptGLTest, SavedFuzzInputs) {
    Tarn::Test::ScratchFolder scratch;
    Tarn::VFS loose("absent.tarn", false);
    writeContent();
    {
        Tarn::Fuzz::FuzzAssets assets;
        Tarn::Graphics::Renderer renderer(16, 16);
        const auto inputs = Tarn::Test::fuzzRegressionInputs("demoscript_fuzz");
        ASSERT_FALSE(inputs.empty());
        for (const auto& [name, bytes] : inputs) {
            SCOPED_TRACE(name);
            testing::internal::CaptureStdout();
            playDemoScript(bytes, renderer);
            testing::internal::GetCapturedStdout();
        }
    }
}

}  // namespace

namespace {

std::uint32_t bits(float value) {
    std::uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// Every feature at each time and the spectrum at each time, as bit patterns.
std::vector<std::uint32_t> analysisBits(const Tarn::Audio::MusicAnalysis& music,
                                        const std::vector<double>& times) {
    std::vector<std::uint32_t> out;
    for (const double t : times) {
        for (const std::string& name : Tarn::Audio::featureNames()) {
            Tarn::Audio::Feature feature{};
            EXPECT_TRUE(Tarn::Audio::featureByName(name, feature)) << name;
            out.push_back(bits(music.value(feature, t)));
        }
        float spectrum[Tarn::Audio::MusicAnalysis::Bins];
        music.spectrumAt(t, spectrum);
        for (const float bin : spectrum)
            out.push_back(bits(bin));
    }
    return out;
}

}  // namespace

// The music a loader thread decoded and analysed is the music a serial load
// makes, bit for bit; and what its soundtrack lines report comes at those
// lines, in the order a serial load reports it: a missing file, music that
// does not decode, then a later line's fault, then the music that plays.
TEST_F(DemoScriptGLTest, PrefetchedMusicIsTheSerialMusicReportedAtItsLines) {
    Tarn::Test::ScratchFolder scratch;
    const std::vector<float> drums = Tarn::Test::drumLoop(2, 8000);
    ASSERT_TRUE(Tarn::Test::packArchive(
        "demo.tarn", {{"music.wav", Tarn::Test::waveFile(8000, drums)},
                      {"bad.wav", "RIFF, but no wave in it"},
                      {"assets/demo.tarn", "soundtrack missing.ogg\nsoundtrack bad.wav\n"
                                           "soundtrak music.wav\nsoundtrack music.wav\n"}}));
    Tarn::VFS archive("demo.tarn", true);
    const Loaded serial("assets/demo.tarn");

    std::mutex lock;
    std::vector<std::string> decoded;
    Tarn::DecodeCache::setDecodeHook([&lock, &decoded](const std::string& path) {
        const std::lock_guard<std::mutex> hold(lock);
        decoded.push_back(path);
    });
    DemoScript::registerDecoders();
    std::unique_ptr<Loaded> prefetched;
    {
        Tarn::DecodeCache cache(archive, 1);
        DemoScript::prefetch("assets/demo.tarn", cache);
        const Tarn::DecodeCache::Use use(cache);
        prefetched = std::make_unique<Loaded>("assets/demo.tarn");
    }
    Tarn::DecodeCache::setDecodeHook(nullptr);
    EXPECT_EQ(decoded, (std::vector<std::string>{"missing.ogg", "bad.wav", "music.wav"}));

    const std::vector<std::string> expected = {
        "assets/demo.tarn:1: File missing.ogg not found in archive nor in real FS.",
        "assets/demo.tarn:1: the music \"missing.ogg\" cannot be read; line skipped",
        "assets/demo.tarn:2: bad.wav: cannot decode: Format not recognised",
        "assets/demo.tarn:3: unknown keyword \"soundtrak\"; did you mean \"soundtrack\"?; "
        "line ignored"};
    EXPECT_EQ(serial.problems, expected);
    EXPECT_EQ(prefetched->problems, expected);

    const Tarn::Soundtrack* music = prefetched->script.soundtrack();
    ASSERT_NE(music, nullptr);
    ASSERT_NE(serial.script.soundtrack(), nullptr);
    EXPECT_EQ(music->samples(), serial.script.soundtrack()->samples());
    EXPECT_EQ(music->sampleRate(), 8000);
    const Tarn::Audio::MusicAnalysis& analysis = *prefetched->script.analysis();
    EXPECT_EQ(analysis.hopCount(), serial.script.analysis()->hopCount());
    EXPECT_GT(analysis.hopCount(), 0u);
    const std::vector<double> times = {0.0, 0.37, 0.741, 1.0025, 1.99};
    EXPECT_EQ(analysisBits(analysis, times), analysisBits(*serial.script.analysis(), times));
}
