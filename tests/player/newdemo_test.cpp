// tarn-demo --new: what it refuses, the files and music it writes, and the
// written demo played in a hidden window from those files alone.

#include "newdemo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "demoprogram.h"
#include "stockextensions.h"
#include "support/files.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "tarn/application.h"
#include "tarn/demo/timeline.h"
#include "tarn/diagnostics.h"

namespace {

using Tarn::Test::filesBelow;
using Tarn::Test::readFile;

struct Written {
    int code;
    std::string out, err;
};

Written newDemo(const std::string& folder) {
    std::ostringstream out, err;
    const int code = writeNewDemo(folder, out, err);
    return {code, out.str(), err.str()};
}

// A little-endian unsigned field of the WAV header.
std::uint32_t field(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

TEST(NewDemoGLTest, WritesADemoThatPlaysWithoutProblems) {
    Tarn::Test::ScratchFolder scratch;
    std::filesystem::create_directory("full");
    std::ofstream("full/notes.txt") << "mine\n";
    std::ofstream("notes.txt") << "mine\n";
    const struct {
        const char* folder;
        const char* line;
    } refusals[] = {
        {"full", "[NewDemo] full is not empty; give a new or empty folder\n"},
        {"notes.txt", "[NewDemo] notes.txt is a file; give a new or empty folder\n"},
        {"nowhere/demo",
         "[NewDemo] cannot write a demo in nowhere/demo: the folder nowhere does not exist\n"},
    };
    for (const auto& row : refusals) {
        const Written refused = newDemo(row.folder);
        EXPECT_EQ(refused.code, 1) << row.folder;
        EXPECT_EQ(refused.out, row.line);
        EXPECT_EQ(refused.err, row.line);
    }
    EXPECT_EQ(filesBelow("full"), std::set<std::string>{"notes.txt"});
    EXPECT_FALSE(std::filesystem::exists("nowhere"));

    const Written written = newDemo("demo/");
    ASSERT_EQ(written.code, 0) << written.out;
    EXPECT_EQ(written.err, "");
    std::filesystem::create_directory("again");  // an empty folder takes a demo too
    ASSERT_EQ(newDemo("again").code, 0);
    std::set<std::string> files = {"assets/demo.tarn",           "assets/library.tarn",
                                   "assets/materials/cube.tarn", "assets/materials/floor.tarn",
                                   "assets/meshes/cube.obj",     "assets/meshes/floor.obj",
                                   "assets/music.wav",           "assets/scenes/stage.tarn",
                                   "assets/textures/checker.png"};
    files.insert("assets/fx/vignette.frag");  // the shader effect
    EXPECT_EQ(filesBelow("demo"), files);
    for (const std::string& file : files) {
        EXPECT_NE(written.out.find("\n  " + file + " "), std::string::npos) << written.out;
        EXPECT_EQ(readFile("demo/" + file), readFile("again/" + file)) << "not the same bytes";
    }
    for (const char* next :
         {"tarn-demo demo ", "tarn-demo demo --check ", "tarn-demo demo --render demo.mp4 "})
        EXPECT_NE(written.out.find(next), std::string::npos) << next << "\n" << written.out;

    const std::string wav = readFile("demo/assets/music.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(field(wav, 4, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    const std::vector<std::uint32_t> format = {
        field(wav, 16, 4), field(wav, 20, 2), field(wav, 22, 2), field(wav, 24, 4),
        field(wav, 28, 4), field(wav, 32, 2), field(wav, 34, 2)};
    EXPECT_EQ(format, (std::vector<std::uint32_t>{16, 1, 2, 44100, 176400, 4, 16}));
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(field(wav, 40, 4), wav.size() - 44);
    int peak = 0;
    for (std::size_t at = 44; at + 1 < wav.size(); at += 2)
        peak = std::max(peak, std::abs(static_cast<std::int16_t>(field(wav, at, 2))));
    EXPECT_LT(peak, 32767 * std::pow(10.0, -1.0 / 20)) << "louder than -1 dBFS";
    EXPECT_GT(peak, 32767 * std::pow(10.0, -6.0 / 20)) << "quieter than -6 dBFS";

    // Played from the written folder, with no device for the music.
    setenv("ALSOFT_DRIVERS", "none", 1);
    registerStockExtensions();
    Tarn::Diagnostics::ProblemList problems(false);
    double shownAt = -1.0, duration = 0.0;
    Tarn::Test::Image frame;
    {
        Tarn::Diagnostics::ScopedCollector collect(problems);
        Tarn::Application app;
        app.setHidden(true);
        DemoProgram::Settings settings;
        settings.width = settings.height = 64;
        settings.preloader = false;
        settings.start = 4.0;  // the middle of the clip
        settings.content = "demo";
        DemoProgram program(settings);
        program.attach(app);
        app.frame.connect([&](double, double now) {
            shownAt = now;
            duration = program.timeline()->duration();
            frame = Tarn::Test::readFramebuffer(0, GL_BACK, 0, 0, 64, 64);
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
            app.closed.emit();
        });
        EXPECT_EQ(app.run(), 0);
    }
    EXPECT_EQ(problems.lines(), std::vector<std::string>{});
    EXPECT_GE(shownAt, 4.0);
    EXPECT_LT(shownAt, 8.0);
    EXPECT_EQ(duration, 8.0);
    EXPECT_EQ((wav.size() - 44) / 4, 8u * 44100) << "the music lasts as long as the clip";
    ASSERT_EQ(frame.rgba.size(), 64u * 64 * 4);
    // The orange cube fills the middle of the picture.
    const float* centre = frame.at(32, 32);
    EXPECT_GT(centre[0], 0.2f);
    EXPECT_GT(centre[0], centre[2] + 0.1f)
        << Tarn::Test::writePng(frame, (scratch.previous() / "newdemo").string());
}
