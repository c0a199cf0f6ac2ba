// tarn-demo on a demo maker's own content, end to end: --check names each
// mistake at its script and line, a folder plays as its packed archive does,
// and effects named by alias keep their automations when the chain changes.
// The content is what `tarn-demo --new` writes, changed one mistake a row.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stb_image.h>

#include "support/scratch_folder.h"
#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;
using Tarn::Test::runProgram;

std::string demo(const std::string& arguments) {
    return std::string("ALSOFT_DRIVERS=null '") + TARN_DEMO_PATH + "' " + arguments;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Replaces the first `find` in the file with `replace`; returns the 1-based
// line the replacement starts on, 0 when `find` is not there.
int edit(const fs::path& file, const std::string& find, const std::string& replace) {
    std::string text = readText(file);
    const std::size_t at = text.find(find);
    if (at == std::string::npos)
        return 0;
    text.replace(at, find.size(), replace);
    writeText(file, text);
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + long(at), '\n'));
}

class CheckTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(runProgram(demo("--new base")).status, 0); }
    // A copy of the new demo to change.
    fs::path copy(const std::string& name) {
        fs::copy("base", name, fs::copy_options::recursive);
        return name;
    }
    Tarn::Test::ScratchFolder m_scratch;
};

TEST_F(CheckTest, EveryMistakeIsNamedAtItsScriptLine) {
    // {LINE} stands for the line the change lands on. No find: the file is
    // removed; an empty find: the whole file is replaced.
    struct Row {
        const char* file;
        const char* find;
        const char* replace;
        const char* expected;
    } rows[] = {
        {"assets/demo.tarn", "sceneclip stage 0 0 8 cam", "sceneclip stage 0 0 8 camera",
         "assets/demo.tarn:{LINE}: scene \"stage\" has no camera \"camera\"; the clip shows "
         "black; valid names: cam"},
        {"assets/demo.tarn", "sceneclip stage 0 0 8", "sceneclip stage inf 0 8",
         "assets/demo.tarn:{LINE}: the clip's start \"inf\" is not a number of seconds; line "
         "skipped"},
        {"assets/demo.tarn", "sceneclip stage 0 0 8", "sceneclip stage 0 nan 8",
         "assets/demo.tarn:{LINE}: the clip's offset \"nan\" is not a number of seconds; line "
         "skipped"},
        {"assets/demo.tarn", "sceneclip stage 0 0 8", "sceneclip stage -1 0 8",
         "assets/demo.tarn:{LINE}: the clip's start -1 is negative; line skipped"},
        {"assets/demo.tarn", "sceneclip stage 0 0 8", "sceneclip stage 0:0 0 4:0",
         "assets/demo.tarn:{LINE}: the clip's start bar time \"0:0\" needs a tempo line before "
         "it; line skipped"},
        {"assets/demo.tarn", "sceneclip stage 0 0 8", "sceneclip stage 0 0 -8",
         "assets/demo.tarn:{LINE}: the clip's duration is -8: it ends before it starts; line "
         "skipped"},
        {"assets/demo.tarn", "sceneclip stage 0 0 8", "sceneclip stage 0 0 1e300",
         "assets/demo.tarn:{LINE}: the clip (start 0, duration 1e300) ends after 86400 s, the "
         "longest a demo may be; line skipped"},
        {"assets/demo.tarn", "effect Fog", "effect Fgo",
         "assets/demo.tarn:{LINE}: no effect is registered as \"Fgo\"; did you mean \"Fog\"?; "
         "the automations of effect 0 are skipped too; line skipped"},
        {"assets/demo.tarn", "begin automation bright 1 Threshold",
         "begin automation bright 1 Treshold",
         "assets/demo.tarn:{LINE}: effect 1 (Glow) has no parameter \"Treshold\"; did you mean "
         "\"Threshold\"?; line skipped"},
        {"assets/demo.tarn", "begin automation bright 1 Threshold\n    key f hold 0 0.5\n",
         "begin automation bright 1 Threshold\n    key f hold 0 0.5\n"
         "  begin automation x 1 Power\n    key f hold 0 9\n  end\n",
         "assets/demo.tarn:{LINE+2}: an automation block inside the one opened on line {LINE} "
         "(close that one with \"end\" first); its keys are skipped; line skipped"},
        {"assets/demo.tarn", "key f hold 2 2.5", "key f hold 0.2 2.5",
         "assets/demo.tarn:{LINE}: key at 0.2 s for effect 1 parameter \"Power\" value \"f\" is "
         "earlier than the key at 0.5 s on line {LINE-1}; keys must be in time order; it is "
         "put in its place"},
        {"assets/demo.tarn", "key f linear 0.5 0.8", "key f lineer 0.5 0.8",
         "assets/demo.tarn:{LINE}: unknown interpolation \"lineer\"; linear is used; did you "
         "mean \"linear\"?"},
        {"assets/demo.tarn", "soundtrack", "soundtrak",
         "assets/demo.tarn:{LINE}: unknown keyword \"soundtrak\"; did you mean \"soundtrack\"?; "
         "line ignored"},
        {"assets/demo.tarn", "begin automation rise 0", "begin automation rise mist",
         "assets/demo.tarn:{LINE}: no effect line has the alias \"mist\"; line skipped"},
        {"assets/demo.tarn", "windowtitle", "preloader logo assets/none.png\nwindowtitle",
         "assets/demo.tarn:{LINE}: the preloader's logo \"assets/none.png\" is neither in the "
         "archive nor a loose file; line skipped"},
        {"assets/scenes/stage.tarn", "light point", "light pont",
         "assets/scenes/stage.tarn:{LINE}: unknown light kind \"pont\"; a point light is made "
         "instead; did you mean \"point\"?"},
        {"assets/meshes/cube.obj", "", "garbage\n",
         "assets/library.tarn:10: Cannot import assets/meshes/cube.obj: No suitable reader found "
         "for the file format of file \"$$$___magic___$$$.\"."},
        // Files left out: the line that asked for each is named.
        {"assets/textures/checker.png", nullptr, nullptr,
         "assets/materials/floor.tarn:3: File assets/textures/checker.png not found in archive "
         "nor in real FS.\nassets/materials/floor.tarn:3: diffuse_map assets/textures/checker.png "
         "gave no image; the magenta placeholder is used"},
        {"assets/materials/cube.tarn", nullptr, nullptr,
         "assets/library.tarn:6: File assets/materials/cube.tarn not found in archive nor in real "
         "FS."},
    };
    int number = 0;
    for (const Row& row : rows) {
        const fs::path folder = copy("row" + std::to_string(number++));
        int line = 0;
        if (row.find && !*row.find) {
            writeText(folder / row.file, row.replace);  // the whole file
        } else if (row.find) {
            line = edit(folder / row.file, row.find, row.replace);
            ASSERT_GT(line, 0) << row.find;
        } else {
            ASSERT_TRUE(fs::remove(folder / row.file)) << row.file;
        }
        std::string expected = row.expected;
        for (const auto& [mark, offset] :
             {std::pair{"{LINE}", 0}, {"{LINE-1}", -1}, {"{LINE+2}", 2}})
            for (std::size_t at; (at = expected.find(mark)) != std::string::npos;)
                expected.replace(at, std::string(mark).size(), std::to_string(line + offset));
        const auto count = 1 + std::count(expected.begin(), expected.end(), '\n');
        const std::string problems =
            std::to_string(count) + (count == 1 ? " problem" : " problems");
        const Tarn::Test::ProgramRun run = runProgram(demo(folder.string() + " --check"));
        EXPECT_EQ(run.status, 1) << row.file;
        EXPECT_EQ(run.out, expected + "\n" + problems + "\n") << row.file;
        EXPECT_EQ(run.err, "tarn-demo: " + problems + " in the content\n") << row.file;
    }
}

// The new demo and TARN check clean; the new demo plays the same from its folder, from
// an archive in another folder (its loose files beside it, none from the
// working folder), and after its effects were reordered where automations
// address them by alias.
TEST_F(CheckTest, AFolderPlaysAsItsArchiveAndAliasesSurviveReordering) {
    for (const std::string& content :
         {std::string("base"), "'" + std::string(TARN_DEMO_ARCHIVE) + "'"}) {
        const Tarn::Test::ProgramRun clean = runProgram(demo(content + " --check"));
        EXPECT_EQ(clean.status, 0) << content;
        EXPECT_EQ(clean.out, "") << content;
    }

    const auto frame = [](const std::string& content, const std::string& png) {
        const Tarn::Test::ProgramRun run =
            runProgram(demo(content + " --size 64x64 --frame 4.25 --png " + png));
        EXPECT_EQ(run.status, 0) << run.out;
        return readText(png);
    };
    const std::string folder = frame("base", "folder.png");
    ASSERT_FALSE(folder.empty());

    fs::create_directory("packed");
    ASSERT_EQ(
        runProgram(std::string("'") + TARN_PACK_PATH + "' create packed/demo.tarn base").status, 0);
    // A stray loose script in the working folder must not be read.
    fs::create_directories("assets");
    writeText("assets/demo.tarn", "sceneclip nothing 0 0 1 cam\n");
    EXPECT_EQ(frame("packed/demo.tarn", "packed.png"), folder);

    // An effect put in front of the chain, switched off by its own key:
    // with automations addressing effects by alias the picture stays; by
    // index, the keys move to other effects and it changes.
    const std::string extra = "  effect Glow as extra\n  begin automation off extra bypass\n"
                              "    key f hold 0 1\n  end\n";
    const fs::path indexed = copy("indexed");
    ASSERT_GT(edit(indexed / "assets/demo.tarn", "  effect Fog\n", extra + "  effect Fog\n"), 0);
    EXPECT_NE(frame("indexed", "indexed.png"), folder);

    const fs::path aliased = copy("aliased");
    const fs::path script = aliased / "assets/demo.tarn";
    ASSERT_GT(edit(script, "  effect Fog\n  effect Glow\n",
                   extra + "  effect Fog as fog\n  effect Glow as glow\n"),
              0);
    for (const auto& [from, to] : {std::pair{"rise 0", "rise fog"},
                                   {"tint 0", "tint fog"},
                                   {"bright 1", "bright glow"},
                                   {"pulse 1", "pulse glow"}})
        ASSERT_GT(edit(script, from, to), 0) << from;
    EXPECT_EQ(runProgram(demo("aliased --check")).out, "");
    EXPECT_EQ(frame("aliased", "aliased.png"), folder);

    // The times written in bars on a tempo of 120 (a bar is 2 s), as the
    // docs' Tempo section writes them, place everything where it was.
    const fs::path bars = copy("bars") / "assets/demo.tarn";
    for (const auto& [from, to] : {std::pair{"windowtitle", "tempo 120\nwindowtitle"},
                                   {"sceneclip stage 0 0 8 cam", "sceneclip stage 0:0 0 4:0 cam"},
                                   {"key f hold 2 2.5", "key f hold 1:0 2.5"}})
        ASSERT_GT(edit(bars, from, to), 0) << from;
    EXPECT_EQ(runProgram(demo("bars --check")).out, "");
    EXPECT_EQ(frame("bars", "bars.png"), folder);
}

// The shader example of docs/shaders.md plays in the new demo and checks
// clean; broken in its include, --check names the include's line and a
// render refuses to run rather than leave the effect out.
TEST_F(CheckTest, AShaderEffectPlaysAndABrokenOneIsNeverRendered) {
    Tarn::Test::writeLooseFiles(
        {{"base/assets/fx/tint.frag",
          "#include \"assets/fx/colour.glsl\"\n\nuniform float uWarmth; // @param 0..1 = 0.5\n\n"
          "void main() {\n    vec4 picture = texture(uInput, v_uv);\n"
          "    fragColor = vec4(mix(picture.rgb, warm(picture.rgb), uWarmth), 1.0);\n}\n"},
         {"base/assets/fx/colour.glsl",
          "vec3 warm(vec3 c) { return c * vec3(1.1, 0.95, 0.8) + vec3(0.03, 0.01, 0.0); }\n"}});
    const std::string plain = readText([&] {
        EXPECT_EQ(runProgram(demo("base --size 64x64 --frame 6 --png plain.png")).status, 0);
        return "plain.png";
    }());
    ASSERT_GT(edit("base/assets/demo.tarn", "  effect Glow\n",
                   "  effect Glow\n  shader assets/fx/tint.frag as tint\n"
                   "  begin automation warm tint uWarmth\n    key f linear 0 0\n"
                   "    key f linear 8 1\n  end\n"),
              0);
    EXPECT_EQ(runProgram(demo("base --check")).out, "");
    const Tarn::Test::ProgramRun tinted =
        runProgram(demo("base --size 64x64 --frame 6 --png tint.png"));
    EXPECT_EQ(tinted.status, 0) << tinted.out;
    EXPECT_NE(readText("tint.png"), plain);

    ASSERT_GT(edit("base/assets/fx/colour.glsl", "vec3(0.03, 0.01, 0.0)", "vec3(0.03, 0.01)"), 0);
    const Tarn::Test::ProgramRun check = runProgram(demo("base --check"));
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out.rfind("assets/fx/colour.glsl:1: error: ", 0), 0u) << check.out;
    EXPECT_NE(check.out.find("assets/demo.tarn:22: the shader assets/fx/tint.frag was not made"),
              std::string::npos)
        << check.out;
    const Tarn::Test::ProgramRun render =
        runProgram(demo("base --size 64x64 --frame 6 --png no.png"));
    EXPECT_EQ(render.status, 1);
    EXPECT_EQ(render.err, "tarn-demo: the shader assets/fx/tint.frag does not compile (see above); "
                          "nothing is rendered until it does\n");
    EXPECT_FALSE(fs::exists("no.png"));
}

// --analyse writes the music's table and picture for the new demo's eight
// seconds; with a tempo its bars are lines in the picture. Without music it
// writes nothing and says why.
TEST_F(CheckTest, AnalyseWritesTheMusicsTableAndPicture) {
    ASSERT_GT(edit("base/assets/demo.tarn", "windowtitle", "tempo 120\nwindowtitle"), 0);
    const Tarn::Test::ProgramRun run = runProgram(demo("base --analyse"));
    ASSERT_EQ(run.status, 0) << run.out;
    std::istringstream csv(readText("music-analysis.csv"));
    std::string row;
    std::getline(csv, row);
    EXPECT_EQ(row, "time,bass,lowmids,highmids,highs,onset,level");
    int rows = 0;
    float loudestOnset = 0.0f;
    for (; std::getline(csv, row); ++rows) {
        float t = -1, bass, lowmids, highmids, highs, onset = -1, level = -1;
        ASSERT_EQ(std::sscanf(row.c_str(), "%f,%f,%f,%f,%f,%f,%f", &t, &bass, &lowmids, &highmids,
                              &highs, &onset, &level),
                  7)
            << row;
        EXPECT_NEAR(t, rows * 0.005f, 1e-4f);
        EXPECT_TRUE(onset >= 0 && onset <= 1 && level >= 0 && level <= 1) << row;
        loudestOnset = std::max(loudestOnset, onset);
    }
    EXPECT_EQ(rows, 1601) << "8 s every 5 ms, the end included";
    EXPECT_EQ(loudestOnset, 1.0f);
    int width = 0, height = 0, channels = 0;
    unsigned char* png = stbi_load("music-analysis.png", &width, &height, &channels, 3);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(width, 400);  // 50 columns a second
    // A bar every 2 s at 120 beats a minute: columns 100, 200, 300 are
    // lightened from top to bottom, their neighbours are not.
    const auto sum = [&](int x) {
        long total = 0;
        for (int y = 0; y < height; ++y)
            for (int c = 0; c < 3; ++c)
                total += png[(y * width + x) * 3 + c];
        return total / height;
    };
    for (int x : {100, 200, 300})
        EXPECT_GT(sum(x), std::max(sum(x - 1), sum(x + 1)) + 100) << x;
    stbi_image_free(png);

    ASSERT_GT(edit("base/assets/demo.tarn", "soundtrack assets/music.wav", ""), 0);
    fs::remove("music-analysis.csv");
    const Tarn::Test::ProgramRun silent = runProgram(demo("base --analyse"));
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(silent.err,
              "tarn-demo: the demo script has no soundtrack line: there is no music to analyse\n");
    EXPECT_FALSE(fs::exists("music-analysis.csv"));
}

// TARN itself follows its music: over the Pillars section (bars 8 to 20)
// the picture's mean brightness, frame by frame at 8 fps, correlates with
// the bass band of the music's analysis at 0.5 or more.
TEST(DemoMusicTest, ThePillarsBrightenWithTheBass) {
    Tarn::Test::ScratchFolder scratch;
    const std::string archive = std::string("'") + TARN_DEMO_ARCHIVE + "' ";
    const Tarn::Test::ProgramRun analysed = runProgram(demo(archive + "--analyse"));
    ASSERT_EQ(analysed.status, 0) << analysed.out << analysed.err;
    std::vector<double> bass;  // every 5 ms from 0
    std::istringstream csv(readText("music-analysis.csv"));
    std::string row;
    std::getline(csv, row);
    for (float t, b; std::getline(csv, row) && std::sscanf(row.c_str(), "%f,%f", &t, &b) == 2;)
        bass.push_back(b);
    const Tarn::Test::ProgramRun run =
        runProgram(demo(archive + "--render 'p%04d.png' --size 64x36 --fps 8 --start 8:0 --end 37.37"));
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const double start = 8 * 4 * 60.0 / 128.41855;  // bar 8 on the demo's tempo
    std::vector<double> light, heard;
    for (long frame = std::lround(start * 8);; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "p%04ld.png", frame);
        int width = 0, height = 0, channels = 0;
        unsigned char* pixels = stbi_load(name, &width, &height, &channels, 3);
        if (!pixels)
            break;
        double sum = 0.0;
        for (int i = 0; i < width * height * 3; ++i)
            sum += pixels[i];
        stbi_image_free(pixels);
        light.push_back(sum / (width * height * 3));
        // Bar 8 is off the grid of 8 fps: frame i is at start + i / 8.
        const double time = start + static_cast<double>(light.size() - 1) / 8.0;
        const auto at = static_cast<std::size_t>(std::lround(time / 0.005));
        ASSERT_LT(at, bass.size());
        heard.push_back(bass[at]);
    }
    ASSERT_GT(light.size(), 170u);
    const auto mean = [](const std::vector<double>& v) {
        double sum = 0.0;
        for (double x : v)
            sum += x;
        return sum / static_cast<double>(v.size());
    };
    const double ml = mean(light), mh = mean(heard);
    double sxy = 0.0, sxx = 0.0, syy = 0.0;
    for (std::size_t i = 0; i < light.size(); ++i) {
        sxy += (light[i] - ml) * (heard[i] - mh);
        sxx += (light[i] - ml) * (light[i] - ml);
        syy += (heard[i] - mh) * (heard[i] - mh);
    }
    EXPECT_GE(sxy / std::sqrt(sxx * syy), 0.5);
}

}  // namespace
