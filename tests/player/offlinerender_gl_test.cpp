// Offline rendering end to end: tarn-demo renders content the test packs,
// without a window, and ffprobe and ffmpeg read what it wrote. One test
// also plays the same content in a hidden window, to compare the pictures.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <GL/glew.h>

#include <gtest/gtest.h>
#include <stb_image.h>

#include "demoprogram.h"
#include "demotime.h"
#include "extensions.h"
#include "support/gl_test.h"
#include "support/scratch_folder.h"
#include "support/subprocess.h"
#include "tarn/application.h"

namespace {

namespace fs = std::filesystem;
using Tarn::Test::ProgramRun;
using Tarn::Test::runProgram;

constexpr double ClickTime = 1.7;

// Four seconds of a quiet tone with one full-scale click at ClickTime.
std::string clickWav() {
    std::vector<float> samples(4 * 8000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.1f * static_cast<float>(std::sin(i * 2 * M_PI * 220 / 8000));
    samples[static_cast<std::size_t>(ClickTime * 8000)] = 1.0f;
    return Tarn::Test::waveFile(8000, samples);
}

// A lit square sliding from bottom left to top right for four seconds (off
// the middle but at 2 s, so a picture upside down shows) under a Glow
// whose power rises with time and follows the music's level, leaving a
// trail (a shader with feedback) from 0.3 s on.
bool packDemo() {
    return Tarn::Test::packArchive(
        "demo.tarn",
        {{"assets/library.tarn", "material stone stone.mat\nmesh cube cube.obj\n"},
         {"stone.mat", "diffuse 1 1 1\n"},
         {"cube.obj", "v -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\nvn 0 0 1\nf 1//1 2//1 3//1 4//1\n"},
         {"scene.tarn", "begin world\n  begin entity box\n    component material stone\n"
                        "    component mesh cube\n    property position 0 2 0\n  end\n"
                        "  begin entity cam\n    component camera 35 1 0.1 100\n"
                        "    property position 0 2 10\n    property rotation 90 1 0 0\n  end\n"
                        "  begin entity sun\n    component light directional 1 0.4 0.2\n"
                        "    property rotation 90 1 0 0\n  end\n"
                        "  begin automation slide box position\n    key x linear 0 -2\n"
                        "    key x linear 4 2\n    key y linear 0 1\n    key y linear 4 3\n"
                        "  end\nend\n"},
         {"music.wav", clickWav()},
         {"trail.frag", "void main() {\n    fragColor = mix(texture(uInput, v_uv), "
                        "texture(uPrevious, v_uv), 0.8);\n}\n"},
         {"assets/demo.tarn", "soundtrack music.wav\nscene box scene.tarn\n"
                              "sceneclip box 0 0 4 cam\nbegin postfx\n  effect Glow\n"
                              "  shader trail.frag as trail\n"
                              "  begin automation power 0 Power\n    key f linear 0 0\n"
                              "    key f linear 4 3\n    follow f level 2 0.1 0.3\n  end\n"
                              "  begin automation later trail bypass\n    key f hold 0 1\n"
                              "    key f hold 0.3 0\n  end\nend\n"}});
}

// environment: assignments for the shell to put before the command.
ProgramRun demo(const std::string& arguments, const std::string& environment = "") {
    return runProgram(environment + " '" + TARN_DEMO_PATH + "' --size 64x64 " + arguments);
}

// The file's audio, mixed to mono at 8 kHz.
std::vector<float> decodeAudio(const std::string& file) {
    runProgram("ffmpeg -v error -i " + file + " -ac 1 -ar 8000 -f f32le audio.raw");
    std::ifstream in("audio.raw", std::ios::binary);
    std::vector<float> samples(static_cast<std::size_t>(fs::file_size("audio.raw")) / 4);
    in.read(reinterpret_cast<char*>(samples.data()),
            static_cast<std::streamsize>(samples.size() * 4));
    return samples;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class OfflineRenderGLTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("ALSOFT_DRIVERS", "null", 1);  // no sound card needed
        ASSERT_TRUE(packDemo());
    }

    Tarn::Test::ScratchFolder m_folder;
};

// 1.5 s from 1 s at 10 fps is 15 frames in every container, and the click
// at 1.7 s of the music sounds 0.7 s into the video, within one frame.
TEST_F(OfflineRenderGLTest, VideoIsFrameExactWithTheMusicInSync) {
    const struct {
        const char* file;
        const char* codec;  // ours for .mp4; ffmpeg's own choice otherwise
    } rows[] = {{"out.mp4", "h264"}, {"out.mkv", nullptr}, {"out.webm", nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const ProgramRun run =
            demo(std::string("--render ") + row.file + " --fps 10 --start 1 --end 2.5");
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_NE(run.err.find(std::string("tarn-demo: wrote ") + row.file +
                               ": 15 frames, 1.500 s from 1.000 s at 10 fps"),
                  std::string::npos)
            << run.err;
        std::map<std::string, std::string> video = Tarn::Test::probeVideo(
            row.file, "stream=codec_name,nb_read_frames,r_frame_rate:format=duration",
            "-count_frames");
        EXPECT_EQ(video["nb_read_frames"], "15");
        EXPECT_EQ(video["r_frame_rate"], "10/1");
        EXPECT_NEAR(std::atof(video["duration"].c_str()), 1.5, 0.1);
        if (row.codec) {
            EXPECT_EQ(video["codec_name"], row.codec);
        }

        const std::vector<float> audio = decodeAudio(row.file);
        ASSERT_GT(audio.size(), 8000u);
        std::size_t loudest = 0;
        for (std::size_t i = 0; i < audio.size(); ++i)
            if (std::fabs(audio[i]) > std::fabs(audio[loudest]))
                loudest = i;
        EXPECT_NEAR(static_cast<double>(loudest) / 8000.0, ClickTime - 1.0, 0.1);
        fs::remove("audio.raw");
    }
}

// [0, 0.5) and [0.5, 1) give the files of [0, 1), byte for byte: the same
// numbers, the same pictures, the trail included, since the second span
// draws the frames since the trail turned on before its first. So does a
// single frame. An end between frames rounds to the nearest.
TEST_F(OfflineRenderGLTest, SpansJoinIntoTheWhole) {
    for (const char* arguments : {"--render whole/f%02d.png --fps 8 --end 0.96",
                                  "--render parts/f%02d.png --fps 8 --end 0.5",
                                  "--render parts/f%02d.png --fps 8 --start 0.5 --end 1",
                                  "--frame 0.875 --fps 8 --png still/f07.png"}) {
        for (const char* folder : {"whole", "parts", "still", "one"})
            fs::create_directories(folder);
        const ProgramRun run = demo(arguments);
        ASSERT_EQ(run.status, 0) << arguments << "\n" << run.out << run.err;
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("whole"))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names.size(), 8u);
    for (const std::string& name : names)
        EXPECT_EQ(readFile("whole/" + name), readFile("parts/" + name)) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator("parts"), fs::directory_iterator()), 8);
    EXPECT_EQ(readFile("whole/f07.png"), readFile("still/f07.png"));
    EXPECT_NE(readFile("whole/f06.png"), readFile("whole/f07.png"));
    // One frame is "1 frame".
    const ProgramRun one = demo("--render one/f%02d.png --fps 8 --end 0.125");
    EXPECT_NE(one.err.find(": 1 frame, 0.125 s from"), std::string::npos) << one.err;
}

// One line per decoded frame of the stream ("v" or "a"): its time, size and
// the MD5 of its pictures or samples.
std::vector<std::string> decodedDigest(const std::string& file, const char* stream) {
    std::istringstream lines(runProgram(std::string("ffmpeg -v error -i ") + file +
                                        " -map 0:" + stream + " -f framemd5 -")
                                 .out);
    std::vector<std::string> digest;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#')
            digest.push_back(line);
    return digest;
}

// The span drawn into a video, and the same span drawn as PNG files in two
// parts and encoded with --frames: the same decoded pictures and sound.
// Then the files of another size, or one missing, stop the encoding, named.
TEST_F(OfflineRenderGLTest, FramesEncodeIntoTheDrawnVideo) {
    const std::string span = " --fps 10 --start 1 --end 2.5";
    for (const char* arguments : {"--render drawn.mkv --fps 10 --start 1 --end 2.5",
                                  "--render f%03d.png --fps 10 --start 1 --end 1.8",
                                  "--render f%03d.png --fps 10 --start 1.8 --end 2.5",
                                  "--render encoded.mkv --frames f%03d.png --fps 10 --start 1 "
                                  "--end 2.5"}) {
        const ProgramRun run = demo(arguments);
        ASSERT_EQ(run.status, 0) << arguments << "\n" << run.out << run.err;
    }
    EXPECT_EQ(decodedDigest("drawn.mkv", "v").size(), 15u);
    EXPECT_FALSE(decodedDigest("drawn.mkv", "a").empty());
    for (const char* stream : {"v", "a"})
        EXPECT_EQ(decodedDigest("encoded.mkv", stream), decodedDigest("drawn.mkv", stream))
            << stream;

    const ProgramRun small = demo("--render s%03d.png --size 32x32" + span);
    ASSERT_EQ(small.status, 0) << small.out << small.err;
    fs::remove("f017.png");
    const struct {
        const char* frames;
        const char* line;
    } rows[] = {
        {"f%03d.png", "cannot read f017.png (frame 8 of 15): No such file or directory"},
        {"s%03d.png", "s010.png (frame 1 of 15) is 32x32, not 64x64"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.frames);
        const ProgramRun run = demo(std::string("--render x.mkv --frames ") + row.frames + span);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find(std::string("[OfflineRenderer] ") + row.line), std::string::npos)
            << run.out;
        EXPECT_NE(run.err.find(std::string("tarn-demo: ") + row.line), std::string::npos)
            << run.err;
    }
}

// --length prints where the timeline ends and nothing else, for scripts;
// without content it says why there is none.
TEST_F(OfflineRenderGLTest, LengthIsWhereTheTimelineEnds) {
    const ProgramRun run = demo("--length");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "4\n");

    fs::remove("demo.tarn");
    const ProgramRun none = demo("--length");
    EXPECT_EQ(none.status, 1);
    const std::string why = "tarn-demo: the demo's timeline is empty: it has no length\n";
    EXPECT_NE(none.out.find("assets/demo.tarn: the demo script cannot be read"), std::string::npos)
        << none.out;
    EXPECT_EQ(none.out.substr(none.out.size() - std::min(none.out.size(), why.size())), why);
    EXPECT_EQ(none.err, why);
}

// The frame at 2.25 s drawn in a hidden window, with the program's profiler
// on, against the same frame rendered offline: identical on one driver.
TEST_F(OfflineRenderGLTest, OfflineFrameIsTheWindowedFrame) {
    constexpr double t = 2.25;
    testing::internal::CaptureStdout();
    registerExtensions();
    Tarn::Test::Image windowed;
    std::string renderer;
    {
        Tarn::Application app;
        app.setHidden(true);
        DemoProgram::Settings settings;
        settings.width = settings.height = 64;
        settings.preloader = settings.music = false;
        settings.profile = true;
        DemoProgram program(settings);
        program.attach(app);
        app.started.connect([] { setDemoTime(t); });
        app.frame.connect([&](double, double) {
            windowed = Tarn::Test::readFramebuffer(0, GL_BACK, 0, 0, 64, 64);
            renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
            app.closed.emit();
        });
        EXPECT_EQ(app.run(), 0);
    }
    releaseDemoTime();
    const std::string log = testing::internal::GetCapturedStdout();
    for (const char* pass : {"\nG-buffer ", "\nBlit ", "\nframe (CPU) "})
        EXPECT_NE(log.find(pass), std::string::npos) << "the windowed profile at exit\n" << log;

    float brightest = 0.0f;
    for (int i = 0; i < 64 * 64 * 4; ++i)
        brightest = std::max(brightest, windowed.rgba[static_cast<std::size_t>(i)]);
    EXPECT_GT(brightest, 0.5f) << "the square is in the picture";

    // Through EGL, and through the hidden window used where EGL is missing
    // (here, where GLVND finds no EGL driver).
    for (const char* environment : {"", "__EGL_VENDOR_LIBRARY_FILENAMES=/none"}) {
        SCOPED_TRACE(environment);
        const ProgramRun run = demo("--frame 2.25 --png offline.png", environment);
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        ASSERT_NE(run.err.find("on " + renderer), std::string::npos)
            << "both pictures must come from one driver: " << renderer << "\n"
            << run.err;
        EXPECT_EQ(run.out.find("[Application] no EGL context (") != std::string::npos,
                  *environment != '\0')
            << run.out;
        int width = 0, height = 0, channels = 0;
        unsigned char* offline = stbi_load("offline.png", &width, &height, &channels, 3);
        ASSERT_TRUE(offline && width == 64 && height == 64);
        int different = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                for (int c = 0; c < 3; ++c)  // the PNG's rows go top down
                    different += std::lround(windowed.at(x, 63 - y)[c] * 255.0f) !=
                                 offline[3 * (64 * y + x) + c];
        stbi_image_free(offline);
        EXPECT_EQ(different, 0) << Tarn::Test::writePng(
            windowed, (m_folder.previous() / "OfflineFrameIsTheWindowedFrame").string());
    }
}

// Offline, every pass has a line with one count per frame it ran in (the
// trail runs from 0.3 s), in the order they first ran, then the GPU and
// CPU time of whole frames; frames drawn before a seek are not counted.
TEST_F(OfflineRenderGLTest, ProfileNamesEveryPass) {
    const ProgramRun run = demo("--render p%d.png --fps 10 --end 1 --profile");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string table = run.out.substr(run.out.find("pass "));
    SCOPED_TRACE(table);
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "pass                count  median ms     p95 ms   share");
    const std::pair<const char*, double> rows[] = {
        {"G-buffer", 10},    {"Light 1", 10},
        {"Glow pass 1", 10}, {"Glow pass 2", 10},      {"Glow pass 3", 10},
        {"Blit", 10},        {"trail.frag pass 1", 7}, {"frame (GPU)", 10},
        {"frame (CPU)", 10}};
    for (const auto& [pass, frames] : rows) {
        std::getline(lines, line);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind(pass, 0), 0u);
        std::istringstream numbers(line.substr(std::string(pass).size()));
        double count = 0.0, median = 0.0;
        numbers >> count >> median;
        EXPECT_EQ(count, frames);
        EXPECT_GT(median, 0.0);
    }
}

// What cannot be rendered says why, in one line, and fails the program.
TEST_F(OfflineRenderGLTest, RefusalsSayWhy) {
    const struct {
        const char* arguments;
        const char* line;
        const char* environment = "";
    } rows[] = {
        {"--frame 9 --png x.png", "[OfflineRenderer] the demo ends at 4.000 s, before 9.000 s"},
        {"--render x.png --end 1",
         "[OfflineRenderer] x.png names one file for 60 frames; put the frame number in it, as "
         "in frame%05d.png"},
        {"--render 'x%s.png' --end 1",
         "[OfflineRenderer] x%s.png: a frame number is written %d, %5d or %05d"},
        {"--render x.mp4 --start 1 --end 1.005",
         "[OfflineRenderer] the span from 1.000 s to 1.005 s holds no frame at 60 fps"},
        {"--frame 1 --png none/x.png", "[PngSequence] cannot write none/x.png"},
        // A full disk: the write is refused at the close, and nothing is claimed written.
        {"--frame 1 --png /dev/full",
         "[PngSequence] cannot write /dev/full: No space left on device (frame 1)"},
        {"--render none/out.mkv --end 0.1", "[VideoEncoder] ffmpeg failed (exit status 1) "
                                            "writing none/out.mkv"},
        // A missing TMPDIR: the music's temporary copy goes to /tmp instead.
        {"--render none/out.mkv --end 0.1",
         "[VideoEncoder] ffmpeg failed (exit status 1) "
         "writing none/out.mkv",
         "TMPDIR=/no/such/folder"},
        {"--render out.mp4", "[VideoEncoder] cannot start ffmpeg (No such file or directory)",
         "PATH=/none"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        const ProgramRun run = demo(row.arguments, row.environment);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.out.find(row.line), std::string::npos) << run.out;
        // What ends the render is also said on standard error.
        const std::string renderer = "[OfflineRenderer] ";
        if (std::string(row.line).rfind(renderer, 0) == 0) {
            EXPECT_NE(run.err.find("tarn-demo: " + std::string(row.line).substr(renderer.size())),
                      std::string::npos)
                << run.err;
        }
    }
}

// SIGTERM and SIGINT during a video render stop it between frames: the
// frames so far are finished as a video that says it is incomplete,
// ffmpeg ends, the music's temporary copy is removed, and the exit status
// is the shell's for the signal.
TEST_F(OfflineRenderGLTest, ASignalStopsTheRenderCleanly) {
    for (const auto& [signal, status] : {std::pair{"TERM", 143}, {"INT", 130}}) {
        SCOPED_TRACE(signal);
        fs::remove_all("tmp");
        fs::create_directory("tmp");
        fs::remove("err.log");
        const ProgramRun run = runProgram(
            std::string("(TMPDIR=$PWD/tmp '") + TARN_DEMO_PATH +
            "' --size 64x64 --fps 480 --render long.mp4 >out.log 2>err.log & pid=$!\n"
            "until grep -q rendering err.log 2>/dev/null; do sleep 0.01; done\n"
            "kill -" + signal + " $pid; wait $pid; echo $?; cat err.log; "
            "pgrep -f 'ffmpeg.*long[.]mp4' >/dev/null && echo ffmpeg left; ls tmp)");
        std::istringstream lines(run.out);
        int exit = 0;
        lines >> exit;
        EXPECT_EQ(exit, status) << run.out;
        EXPECT_NE(run.out.find(std::string("tarn-demo: stopped by SIG") + signal), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("frames; long.mp4 is incomplete"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("ffmpeg left"), std::string::npos);
        EXPECT_TRUE(fs::is_empty("tmp"));
    }
}

}  // namespace
