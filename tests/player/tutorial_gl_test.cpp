// docs/tutorial.md, followed as a reader would, so that it cannot fall behind
// the player. The tutorial's fenced blocks say what to do:
//   ```sh                 each line is one command as a user types it,
//                         starting with tarn-demo or tarn-pack
//   ```luce file=PATH     the whole file PATH as it is after that step; also
//   ```obj file=PATH      `text file=`. The prose since the block before
//                         names `PATH`.
// Any other block fails the test: every block must be one it runs.
// In a scratch folder, in document order, each file block is written and
// each command run with the built programs (sound through OpenAL's null
// driver). Every command must exit 0; a --check must print nothing. A command
// that would play in a window (no --new, --check, --frame or --render) gets
// `--frame 1 --png shot.png --size 64x64` appended instead and must report no
// content problem. A --render runs as written: the tutorial gives its size.
// Then the outcome it promises: the video has that size and lasts from its
// --start (or 0) up to its --end (or the end of the last clip); a frame from
// the middle of the second clip differs from one from the middle of the
// first; and the packed archive shows the same frame as the folder.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/scratch_folder.h"
#include "support/subprocess.h"

namespace {

namespace fs = std::filesystem;
using Tarn::Test::ProgramRun;
using Tarn::Test::readFile;
using Tarn::Test::runProgram;

struct Block {
    int line;           // of the opening fence, 1-based
    std::string info;   // what follows the opening fence
    std::string body;   // the lines between the fences
    std::string prose;  // the text since the block before
};

std::vector<Block> fencedBlocks(const std::string& markdown) {
    std::vector<Block> blocks;
    std::istringstream lines(markdown);
    std::string prose;
    Block* open = nullptr;
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.rfind("```", 0) == 0) {
            if (open) {
                open = nullptr;
            } else {
                blocks.push_back({number, line.substr(3), "", prose});
                open = &blocks.back();
                prose.clear();
            }
        } else {
            (open ? open->body : prose) += line + "\n";
        }
    }
    EXPECT_EQ(open, nullptr) << "a block is never closed";
    return blocks;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> all;
    for (std::string word; in >> word;)
        all.push_back(word);
    return all;
}

bool has(const std::vector<std::string>& words, const std::string& word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// The word after `word`; empty when there is none.
std::string after(const std::vector<std::string>& words, const std::string& word) {
    const auto at = std::find(words.begin(), words.end(), word);
    return at != words.end() && at + 1 != words.end() ? *(at + 1) : "";
}

struct Clip {
    std::string scene;
    double start, duration;
};

std::vector<Clip> sceneClips(const fs::path& demoScript) {
    std::istringstream lines(readFile(demoScript));
    std::vector<Clip> clips;
    for (std::string line; std::getline(lines, line);)
        if (const std::vector<std::string> w = words(line); w.size() >= 5 && w[0] == "sceneclip")
            clips.push_back({w[1], std::atof(w[2].c_str()), std::atof(w[4].c_str())});
    return clips;
}

class TutorialGLTest : public testing::Test {
protected:
    // The command line with the program the user typed replaced by the built one.
    static std::string built(const std::string& command) {
        for (const auto& [name, path] :
             {std::pair{"tarn-demo ", TARN_DEMO_PATH}, std::pair{"tarn-pack ", TARN_PACK_PATH}})
            if (command.rfind(name, 0) == 0)
                return std::string("ALSOFT_DRIVERS=null '") + path + "' " +
                       command.substr(std::string(name).size());
        ADD_FAILURE() << "not a tarn-demo or tarn-pack command: " << command;
        return "false";
    }

    // The frame at time t of content, 64x64, as PNG bytes, written to png.
    std::string frame(const std::string& content, double t, const std::string& png) {
        const ProgramRun run = runProgram(built("tarn-demo " + content + " --size 64x64 --frame " +
                                                std::to_string(t) + " --png " + png));
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        return readFile(png);
    }
    // Copies png beside the test's output, for a person to look at.
    void keep(const std::string& png) {
        std::error_code ignored;
        fs::copy_file(png, m_scratch.previous() / ("tutorial_" + png),
                      fs::copy_options::overwrite_existing, ignored);
    }

    Tarn::Test::ScratchFolder m_scratch;
};

TEST_F(TutorialGLTest, ItsCommandsAndFilesMakeTheDemoItDescribes) {
    const std::string tutorial = readFile(TARN_TUTORIAL_PATH);
    ASSERT_FALSE(tutorial.empty()) << TARN_TUTORIAL_PATH;

    std::string content, render, archive;
    std::vector<std::string> renderWords;
    for (const Block& block : fencedBlocks(tutorial)) {
        const std::string where = "docs/tutorial.md:" + std::to_string(block.line) + ": ";
        const std::vector<std::string> info = words(block.info);
        if (info.size() == 2 && (info[0] == "luce" || info[0] == "obj" || info[0] == "text") &&
            info[1].rfind("file=", 0) == 0) {
            const fs::path path = info[1].substr(5);
            ASSERT_TRUE(path.is_relative() && path.string().find("..") == std::string::npos)
                << where << path << " is not a path inside the demo's folder";
            EXPECT_NE(block.prose.find("`" + path.string() + "`"), std::string::npos)
                << where << "the prose before the block does not name " << path;
            fs::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary) << block.body;
            continue;
        }
        ASSERT_EQ(block.info, "sh") << where << "a block that this test does not run";
        std::istringstream lines(block.body);
        for (std::string command; std::getline(lines, command);) {
            const std::vector<std::string> w = words(command);
            ASSERT_FALSE(w.empty()) << where << "an empty line among the commands";
            const bool plays = !has(w, "--new") && !has(w, "--check") && !has(w, "--frame") &&
                               !has(w, "--render") && w[0] == "tarn-demo";
            const ProgramRun run = runProgram(
                built(command + (plays ? " --frame 1 --png shot.png --size 64x64" : "")));
            EXPECT_EQ(run.status, 0) << where << command << "\n" << run.out << run.err;
            if (has(w, "--check")) {
                EXPECT_EQ(run.out + run.err, "") << where << command;
            }
            if (plays) {
                EXPECT_EQ(run.out.find("content problem"), std::string::npos)
                    << where << command << "\n"
                    << run.out;
            }
            if (has(w, "--new"))
                content = after(w, "--new");
            if (has(w, "--render")) {
                render = after(w, "--render");
                renderWords = w;
            }
            if (w[0] == "tarn-pack" && has(w, "create"))
                archive = after(w, "create");
        }
    }
    ASSERT_FALSE(content.empty()) << "the tutorial never runs tarn-demo --new";
    ASSERT_FALSE(render.empty()) << "the tutorial never renders a video";
    ASSERT_FALSE(archive.empty()) << "the tutorial never packs an archive";

    const std::vector<Clip> clips = sceneClips(fs::path(content) / "assets/demo.tarn");
    ASSERT_GE(clips.size(), 2u) << "the tutorial's demo has no second clip";
    EXPECT_NE(clips[1].scene, clips[0].scene) << "the second clip shows the first scene";
    double end = 0;
    for (const Clip& clip : clips)
        end = std::max(end, clip.start + clip.duration);
    if (const std::string given = after(renderWords, "--end"); !given.empty())
        end = std::atof(given.c_str());
    const double start = std::atof(after(renderWords, "--start").c_str());
    const std::string size = after(renderWords, "--size");
    ASSERT_FALSE(size.empty()) << "the tutorial's render has no --size: it would take minutes";
    std::map<std::string, std::string> video =
        Tarn::Test::probeVideo(render, "stream=width,height:format=duration");
    EXPECT_EQ(video["width"] + "x" + video["height"], size);
    EXPECT_NEAR(std::atof(video["duration"].c_str()), end - start, 0.1) << render;

    const auto middle = [](const Clip& clip) { return clip.start + clip.duration / 2; };
    const std::string first = frame(content, middle(clips[0]), "first.png");
    const std::string second = frame(content, middle(clips[1]), "second.png");
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second) << "the second clip shows what the first does";
    const std::string packed = frame(archive, middle(clips[1]), "packed.png");
    EXPECT_EQ(packed, second) << "the archive plays differently from its folder; see "
                              << m_scratch.previous() / "tutorial_*.png";
    if (testing::Test::HasFailure())
        for (const char* png : {"first.png", "second.png", "packed.png"})
            keep(png);
}

}  // namespace
