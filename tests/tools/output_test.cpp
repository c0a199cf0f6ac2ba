// The generator's output folder: files appear whole or not at all, and a
// folder that cannot take files is found before any generator runs. A full
// disk is a file that opens and then refuses its bytes, as /dev/full does.

#include "output.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/files.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Tarn::Test::filesBelow;
using Tarn::Test::readFile;

// Makes the file on disk, as a real full disk does, and hands back a stream
// on /dev/full: writes past its buffer fail at once, a short file's bytes
// when the close flushes them.
std::FILE* openOnFullDisk(const char* path, const char* mode) {
    if (std::FILE* made = std::fopen(path, mode))
        std::fclose(made);
    return std::fopen("/dev/full", mode);
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(OutputTest, AFullDiskLeavesTheEarlierFileOrNone) {
    const struct {
        const char* what;
        std::size_t size;
        const char* earlier;  // the file an earlier run left, or null
    } cases[] = {
        {"short, refused when closed, over an earlier file", 10, "earlier run"},
        {"long, refused while written, over an earlier file", 1 << 20, "earlier run"},
        {"short, refused when closed, no earlier file", 10, nullptr},
        {"long, refused while written, no earlier file", 1 << 20, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Tarn::Test::ScratchFolder scratch;
        if (c.earlier)
            writeBytes("out/assets/a.bin", c.earlier);
        Content::Report report;
        Content::Output out("out", report, &openOnFullDisk);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(out.write("assets/a.bin", std::vector<unsigned char>(c.size, 'x')));
        const std::string said = testing::internal::GetCapturedStdout();
        const std::string toldStderr = testing::internal::GetCapturedStderr();

        const std::string line =
            "tarn-content: out/assets/a.bin: cannot write the file: No space left on device\n";
        EXPECT_EQ(said, line);
        EXPECT_EQ(toldStderr, line);
        const std::set<std::string> left =
            c.earlier ? std::set<std::string>{"assets/a.bin"} : std::set<std::string>{};
        EXPECT_EQ(filesBelow("out"), left);
        if (c.earlier) {
            EXPECT_EQ(readFile("out/assets/a.bin"), c.earlier);
        }
        EXPECT_EQ(out.fileCount(), 0u);
        EXPECT_EQ(report.fileCount(), 0u);
    }
}

// Each of these holds even for root, who may write where others may not.
TEST(OutputTest, PrepareFolderMakesItOrSaysWhyNot) {
    const struct {
        const char* folder;
        Content::FileOpener open;
        const char* why;  // the start of the reason; null when it succeeds
    } cases[] = {
        {"missing/below", nullptr, nullptr},
        {"file/out", nullptr, "file/out: cannot create the folder: "},
        {"file", nullptr, "file: "},
        {"/proc", nullptr, "/proc: cannot write there (cannot open the file for writing: "},
        {"full", &openOnFullDisk,
         "full: cannot write there (cannot write the file: No space left on device)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const Tarn::Test::ScratchFolder scratch;
        writeBytes("file", "a file, not a folder");
        std::string why;
        const bool prepared = Content::Output::prepareFolder(c.folder, why, c.open);
        EXPECT_EQ(prepared, c.why == nullptr) << why;
        if (c.why) {
            EXPECT_EQ(why.rfind(c.why, 0), 0u) << why;
            EXPECT_EQ(readFile("file"), "a file, not a folder");
        } else {
            EXPECT_TRUE(fs::is_directory(c.folder));
        }
        // The probe never stays behind.
        if (fs::is_directory(c.folder) && std::string(c.folder) != "/proc") {
            EXPECT_TRUE(fs::is_empty(c.folder));
        }
    }
}

}  // namespace
