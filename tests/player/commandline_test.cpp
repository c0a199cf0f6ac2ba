#include "commandline.h"
#include "extensions.h"
#include "framesink.h"
#include "pngsequence.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stb_image.h>

#include "support/scratch_folder.h"

namespace {

CommandLine parse(const std::vector<const char*>& arguments) {
    std::vector<const char*> argv = {"tarn-demo"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

// True when a refusal is expected (error not empty): the line's error must
// start with it.
bool refused(const CommandLine& line, const char* error) {
    if (!*error)
        return false;
    EXPECT_EQ(line.error.rfind(std::string("tarn-demo: ") + error, 0), 0u) << line.error;
    return true;
}

TEST(CommandLineTest, FirstCharacterFormsAndRefusals) {
    const struct {
        std::vector<const char*> arguments;
        int width, height;
        bool fullscreen, help, refused;
    } rows[] = {
        {{}, 1024, 600, false, false, false},
        {{"w1280", "h720", "f"}, 1280, 720, true, false, false},
        {{"f", "h720", "w1280"}, 1280, 720, true, false, false},
        {{"fw800"}, 1024, 600, true, false, false},
        {{"x", "-v", "full"}, 1024, 600, true, false, false},
        {{"--help"}, 1024, 600, false, true, false},
        {{"w0"}, 1024, 600, false, false, true},
        {{"habc"}, 1024, 600, false, false, true},
        {{"w4294967456"}, 1024, 600, false, false, true},
        {{"w1e30"}, 1024, 600, false, false, true},
        {{"w20000"}, 1024, 600, false, false, true},
        {{"h16384"}, 1024, 16384, false, false, false},
        {{"--fullscreen"}, 1024, 600, false, false, true},
    };
    for (const auto& row : rows) {
        const CommandLine line = parse(row.arguments);
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        EXPECT_EQ(line.width, row.width);
        EXPECT_EQ(line.height, row.height);
        EXPECT_EQ(line.fullscreen, row.fullscreen);
        EXPECT_EQ(line.help, row.help);
        EXPECT_EQ(!line.error.empty(), row.refused) << line.error;
    }
}

// An argument naming an existing file or folder is the content; every other
// keeps the first-character rule, so "hills.tarn" is a height only when no
// such file exists. --check and --new stand apart from playing.
TEST(CommandLineTest, ContentArgumentsAndTheirModes) {
    Tarn::Test::ScratchFolder scratch;
    std::filesystem::create_directory("warehouse");
    std::ofstream("hills.tarn") << "x";
    const struct {
        std::vector<const char*> arguments;
        const char* error;  // empty: accepted
        const char* content;
        int width, height;
        bool check;
        const char* newFolder;
    } rows[] = {
        {{"hills.tarn", "h720"}, "", "hills.tarn", 1024, 720, false, ""},
        {{"w800", "warehouse"}, "", "warehouse", 800, 600, false, ""},
        {{"warehouse", "--check"}, "", "warehouse", 1024, 600, true, ""},
        {{"--render", "a.mp4", "warehouse"}, "", "warehouse", 1024, 600, false, ""},
        {{"--new", "mine"}, "", "", 1024, 600, false, "mine"},
        {{"hills2.tarn"}, "\"hills2.tarn\" does not give a size", "", 1024, 0, false, ""},
        {{"hills.tarn", "warehouse"}, "two contents given", "hills.tarn", 1024, 600, false, ""},
        {{"--check", "--render", "a.mp4"},
         "--check loads the content without playing",
         "",
         1024,
         600,
         true,
         ""},
        {{"--check", "--dev"},
         "--check loads the content without playing",
         "",
         1024,
         600,
         true,
         ""},
        {{"--new", "mine", "warehouse"},
         "--new writes a demo folder",
         "warehouse",
         1024,
         600,
         false,
         "mine"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        const CommandLine line = parse(row.arguments);
        if (refused(line, row.error))
            continue;
        EXPECT_EQ(line.error, "");
        EXPECT_EQ(line.content, row.content);
        EXPECT_EQ(line.width, row.width);
        EXPECT_EQ(line.height, row.height);
        EXPECT_EQ(line.check, row.check);
        EXPECT_EQ(line.newFolder, row.newFolder);
    }
}

// Rendering and playing options read with their values; what cannot be
// done is refused before anything starts. A loop starts playing at its start
// unless --start says otherwise. Bar times are kept as words for the
// content's tempo, their form checked at once.
TEST(CommandLineTest, RenderingAndPlayingOptions) {
    const struct {
        std::vector<const char*> arguments;
        const char* error;  // empty: accepted
        bool offline = false, png = false;
        double fps = 60, start = 0, end = -1, frame = -1;
        int width = 1024, height = 600;
        double loopStart = -1, loopEnd = -1;
        bool dev = false, watch = false;
        const char *startWord = "", *loopStartWord = "", *loopEndWord = "";
    } rows[] = {
        {{"--render", "a.mp4"}, "", true, false, 60, 0, -1, -1, 1024, 600},
        {{"--render", "f%04d.PNG", "--fps", "24", "--start", "2.5", "--end", "4", "--size",
          "320x180"},
         "",
         true,
         true,
         24,
         2.5,
         4,
         -1,
         320,
         180},
        {{"--frame", "12.5", "--png", "x.png", "--profile"},
         "",
         true,
         true,
         60,
         0,
         -1,
         12.5,
         1024,
         600},
        {{"--profile", "w640"}, "", false, false, 60, 0, -1, -1, 640, 600},
        {{"--start", "12.5"}, "", false, false, 60, 12.5},
        {{"--loop", "10:20"}, "", false, false, 60, 10, -1, -1, 1024, 600, 10, 20},
        {{"--loop", "10:20", "--start", "15", "--dev"},
         "",
         false,
         false,
         60,
         15,
         -1,
         -1,
         1024,
         600,
         10,
         20,
         true},
        {{"--dev", "--watch", "f"}, "", false, false, 60, 0, -1, -1, 1024, 600, -1, -1, true, true},
        {{"--render"}, "--render needs a value"},
        {{"--render", ""}, "--render needs a file name"},
        {{"--render", "-x.mp4"}, "\"-x.mp4\" begins with '-', which ffmpeg reads as an option"},
        {{"--render", "x.wav"}, "--render \"x.wav\" names no video"},
        {{"--render", "a.mp4", "--fps", "0"}, "--fps \"0\" is not a number above 0"},
        {{"--render", "a.mp4", "--start", "-1"}, "--start \"-1\" is not a number of at least 0"},
        {{"--render", "a.mp4", "--fps", "2x"}, "--fps \"2x\" is not a number above 0"},
        {{"--render", "a.mp4", "--fps", "2147483648"}, "--fps \"2147483648\" is above 1000"},
        {{"--render", "a.mp4", "--fps", "1e30"}, "--fps \"1e30\" is above 1000"},
        {{"--render", "a.mp4", "--size", "20000x10"}, "--size \"20000x10\" is not WIDTHxHEIGHT"},
        {{"--render", "a.mp4", "--size", "+64x64"}, "--size \"+64x64\" is not WIDTHxHEIGHT"},
        {{"--render", "a.mp4", "--size", "64x"}, "--size \"64x\" is not WIDTHxHEIGHT"},
        {{"--render", "a.mp4", "--size", "63x64"}, "a video needs an even width and height"},
        {{"--render", "a.mp4", "--start", "3", "--end", "2"}, "--end must come after --start"},
        {{"--frame", "1"}, "--frame T and --png FILE go together"},
        {{"--render", "a.mp4", "--frame", "1", "--png", "b.png"},
         "--render and --frame/--png make different outputs"},
        {{"--fps", "30"}, "--end goes with --render, --fps with --render or --frame"},
        {{"--frame", "1", "--png", "x.png", "--end", "2"}, "--end goes with --render"},
        {{"--frame", "1", "--png", "x.png", "--start", "2"},
         "--start goes with --render or playing"},
        {{"--watch"}, "--watch goes with --dev"},
        {{"--loop", "20:10"}, "--loop \"20:10\" is not START:END in seconds"},
        {{"--loop", "-1:2"}, "--loop \"-1:2\" is not START:END"},
        {{"--loop", "5"}, "--loop \"5\" is not START:END"},
        {{"--render", "a.mp4", "--dev"}, "--dev, --watch and --loop are for playing in a window"},
        {{"--frame", "1", "--png", "a.png", "--loop", "1:2"}, "--dev, --watch and --loop are for"},
        {{"--start", "36:0"},
         "",
         false,
         false,
         60,
         0,
         -1,
         -1,
         1024,
         600,
         -1,
         -1,
         false,
         false,
         "36:0"},
        {{"--render", "a.mp4", "--start", "12:2.5", "--end", "1"},
         "",
         true,
         false,
         60,
         0,
         1,
         -1,
         1024,
         600,
         -1,
         -1,
         false,
         false,
         "12:2.5"},
        {{"--loop", "8:0..12:0"},
         "",
         false,
         false,
         60,
         0,
         -1,
         -1,
         1024,
         600,
         -1,
         -1,
         false,
         false,
         "8:0",
         "8:0",
         "12:0"},
        {{"--loop", "8:0..8:0.5", "--start", "3:1"},
         "",
         false,
         false,
         60,
         0,
         -1,
         -1,
         1024,
         600,
         -1,
         -1,
         false,
         false,
         "3:1",
         "8:0",
         "8:0.5"},
        {{"--loop", "4..12:0"},
         "",
         false,
         false,
         60,
         0,
         -1,
         -1,
         1024,
         600,
         -1,
         -1,
         false,
         false,
         "4",
         "4",
         "12:0"},
        {{"--loop", "4..10.5"}, "", false, false, 60, 4, -1, -1, 1024, 600, 4, 10.5},
        {{"--start", "3:x"},
         "--start: bar time \"3:x\" has beat \"x\"; a beat is a number from 0 (as 12:2.5)"},
        {{"--start", "1.5:0"}, "--start: bar time \"1.5:0\" has bar \"1.5\""},
        {{"--loop", "12:0..8:0"}, "--loop \"12:0..8:0\" is not START..END in bar times"},
        {{"--loop", "8:1..8:1"}, "--loop \"8:1..8:1\" is not START..END in bar times"},
        {{"--loop", "10..4"}, "--loop \"10..4\" is not START..END in bar times"},
        {{"--loop", "8:0..x"}, "--loop \"8:0..x\" is not START..END in bar times"},
        {{"--loop", "8:0"},
         "--loop \"8:0\" is not START:END in seconds, with END after START "
         "(as 10:20), nor START..END in bar times (as 8:0..12:0)"},
        {{"--render", "a.mp4", "--loop", "1:0..2:0"}, "--dev, --watch and --loop are for"},
        {{"--check", "--start", "1:0"}, "--check loads the content without playing"},
    };
    for (const auto& row : rows) {
        const CommandLine line = parse(row.arguments);
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        if (refused(line, row.error))
            continue;
        EXPECT_EQ(line.error, "");
        EXPECT_EQ(line.offline(), row.offline);
        EXPECT_EQ(line.pngOutput(), row.png);
        EXPECT_EQ(line.fps, row.fps);
        EXPECT_EQ(line.start, row.start);
        EXPECT_EQ(line.end, row.end);
        EXPECT_EQ(line.frame, row.frame);
        EXPECT_EQ(line.width, row.width);
        EXPECT_EQ(line.height, row.height);
        EXPECT_EQ(line.loopStart, row.loopStart);
        EXPECT_EQ(line.loopEnd, row.loopEnd);
        EXPECT_EQ(line.dev, row.dev);
        EXPECT_EQ(line.watch, row.watch);
        EXPECT_EQ(line.startWord, row.startWord);
        EXPECT_EQ(line.loopStartWord, row.loopStartWord);
        EXPECT_EQ(line.loopEndWord, row.loopEndWord);
    }
}

// --frames encodes PNG files into a video in place of drawing, so it needs
// a video to write and files named by number; --length stands alone.
TEST(CommandLineTest, FramesAndLength) {
    const struct {
        std::vector<const char*> arguments;
        const char* error;  // empty: accepted
        const char* frames = "";
        bool length = false;
    } rows[] = {
        {{"--render", "a.mp4", "--frames", "f%07d.png", "--start", "2"}, "", "f%07d.png"},
        {{"--length"}, "", "", true},
        {{"--render", "f%d.png", "--frames", "g%d.png"}, "--frames goes with --render of a video"},
        {{"--render", "a.mp4", "--frames", "f.png"},
         "--frames \"f.png\" holds no frame number: name the files as --render wrote them"},
        {{"--length", "--render", "a.mp4"}, "--length prints the demo's length; it takes only"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        const CommandLine line = parse(row.arguments);
        if (refused(line, row.error))
            continue;
        EXPECT_EQ(line.error, "");
        EXPECT_EQ(line.frames, row.frames);
        EXPECT_EQ(line.length, row.length);
    }
}

// One integer conversion with an optional width, and "%%" for a percent.
TEST(CommandLineTest, FramePatterns) {
    const struct {
        const char* pattern;
        const char* path;  // null: refused
        bool numbered;
    } rows[] = {
        {"f%d.png", "f7.png", true},    {"f%04d.png", "f0007.png", true},
        {"f%3d.png", "f  7.png", true}, {"100%%/f%d.png", "100%/f7.png", true},
        {"one.png", "one.png", false},  {"f%s.png", nullptr, false},
        {"f%d%d.png", nullptr, false},  {"f%.png", nullptr, false},
        {"f%123d.png", nullptr, false}, {"f%", nullptr, false},
    };
    for (const auto& row : rows) {
        std::string path = "unchanged";
        EXPECT_EQ(expandFramePattern(row.pattern, 7, path), row.path != nullptr) << row.pattern;
        EXPECT_EQ(path, row.path ? row.path : "unchanged");
        EXPECT_EQ(hasFrameNumber(row.pattern), row.numbered) << row.pattern;
    }
}

// Frames are written behind the drawing, in order and whole: a frame that
// cannot be written (its name is a folder) is said once, by a later write
// or the close, which fail; nothing after it is written, and the sequence
// names only the frames before it.
TEST(CommandLineTest, PngSequenceStopsAtTheFrameItCannotWrite) {
    const Tarn::Test::ScratchFolder scratch;
    std::filesystem::create_directory("f13.png");
    const int width = 3, height = 2;
    testing::internal::CaptureStdout();
    bool accepted = true;
    int handed = 0;
    {
        PngSequence frames("f%d.png", 10);
        for (; handed < 40 && accepted; ++handed) {
            const std::vector<unsigned char> rgba(4 * width * height,
                                                  static_cast<unsigned char>(handed));
            accepted = frames.write(rgba.data(), width, height);
        }
        EXPECT_FALSE(frames.close());
        EXPECT_FALSE(frames.close());
        EXPECT_EQ(frames.describe(), "f10.png to f12.png");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[PngSequence] cannot write f13.png: Is a directory (frame 4)\n");
    EXPECT_FALSE(accepted) << "a write after the failure is refused";
    EXPECT_LE(handed, 4 + int(PngSequence::Queued) + 1);
    for (int number = 10; number < 50; ++number) {
        const std::string name = "f" + std::to_string(number) + ".png";
        EXPECT_EQ(std::filesystem::is_regular_file(name), number < 13) << name;
    }
    int w = 0, h = 0, channels = 0;
    unsigned char* pixels = stbi_load("f12.png", &w, &h, &channels, 3);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 2) << "frame 3 holds what the third write gave";
    stbi_image_free(pixels);
}

// The mesh loader first, then one line per effect in the demo's fixed order.
TEST(CommandLineTest, ExtensionsRegisterInTheirFixedOrder) {
    testing::internal::CaptureStdout();
    registerExtensions();
    std::string expected = "[MeshFactory] Registered loader \"assimp\"\n";
    for (const char* name : {"AnisotropicFlare", "Motion blur", "DepthOfField", "SSAO", "FXAA",
                             "LensFlare", "Fog", "Glow", "Reflection", "Raymarcher", "Amiga",
                             "Overlay"})
        expected += std::string("[EffectFactory] Registered effect \"") + name + "\"\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

}  // namespace
