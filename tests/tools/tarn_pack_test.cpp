// Runs the tarn-pack program as an author would and checks its output, exit
// status and the files it leaves.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include "tarn/vfs.h"

#include "support/files.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Tarn::Test::filesBelow;
using Tarn::Test::readFile;

void writeBytes(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

void putU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Lays out an archive by hand, so that it can hold what tarn-pack would
// never write. A content of nullptr marks an entry whose stream is broken.
std::string handArchive(const std::vector<std::pair<std::string, const char*>>& entries) {
    std::string data, directory;
    for (const auto& [name, content] : entries) {
        const std::string bytes = content ? content : "some bytes that will not inflate";
        uLongf size = compressBound(bytes.size());
        std::string packed(size, '\0');
        compress(reinterpret_cast<Bytef*>(&packed[0]), &size,
                 reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
        packed.resize(size);
        if (!content)
            packed[0] = 'X';
        std::string record(268, '\0');
        record.replace(0, name.size(), name);
        putU32(record, 256, static_cast<std::uint32_t>(packed.size()));
        putU32(record, 260, static_cast<std::uint32_t>(bytes.size()));
        putU32(record, 264, static_cast<std::uint32_t>(data.size()));
        data += packed;
        directory += record;
    }
    std::string footer(6, '\0');
    footer[0] = static_cast<char>(entries.size());
    putU32(footer, 2, static_cast<std::uint32_t>(data.size() + directory.size() + 6));
    return data + directory + footer;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using Result = Tarn::Test::ProgramResult;

class TarnPackTest : public ::testing::Test {
protected:
    // Runs tarn-pack in the test's folder; arguments go through the shell.
    Result pack(const std::string& arguments) {
        return Tarn::Test::runProgram(TARN_PACK_PATH, arguments, m_scratch.path());
    }

    // The content of the sample folder "src", by path relative to it.
    std::map<std::string, std::string> makeSource() {
        const std::map<std::string, std::string> files = {
            {"top.bin", std::string("\0\x01\x02 binary \0\xff", 12)},
            {"assets/library.tarn", "material stone\n"},
            {"assets/scenes/intro.tarn", std::string(5000, 'i')},
            {"assets/empty.txt", ""},
        };
        for (const auto& [path, content] : files)
            writeBytes(fs::path("src") / path, content);
        return files;
    }

    Tarn::Test::ScratchFolder m_scratch;
};

TEST_F(TarnPackTest, CreateListExtractVerify) {
    const std::map<std::string, std::string> files = makeSource();
    Result created = pack("create demo.tarn src");
    EXPECT_EQ(created.status, 0) << created.output;
    EXPECT_TRUE(contains(created.output, "created demo.tarn: 4 entries")) << created.output;

    Tarn::VFS archive("demo.tarn", false);
    std::vector<std::string> paths;
    archive.entries(paths);
    EXPECT_EQ(paths, (std::vector<std::string>{"assets/empty.txt", "assets/library.tarn",
                                               "assets/scenes/intro.tarn", "top.bin"}));

    const Result listed = pack("list demo.tarn");
    EXPECT_EQ(listed.status, 0) << listed.output;
    std::istringstream lines(listed.output);
    std::string line;
    std::getline(lines, line);  // column titles
    unsigned long packedTotal = 0, unpackedTotal = 0;
    for (const std::string& path : paths) {
        ASSERT_TRUE(std::getline(lines, line));
        std::istringstream fields(line);
        unsigned long packed = 0, unpacked = 0;
        std::string listedPath;
        fields >> packed >> unpacked >> listedPath;
        EXPECT_EQ(listedPath, path);
        EXPECT_EQ(packed, archive.entry(path)->packedSize) << path;
        EXPECT_EQ(unpacked, files.at(path).size()) << path;
        packedTotal += packed;
        unpackedTotal += unpacked;
    }
    ASSERT_TRUE(std::getline(lines, line));
    std::istringstream total(line);
    unsigned long packed = 0, unpacked = 0;
    std::string rest;
    total >> packed >> unpacked;
    std::getline(total, rest);
    EXPECT_EQ(packed, packedTotal);
    EXPECT_EQ(unpacked, unpackedTotal);
    EXPECT_EQ(rest, "  total, 4 entries");

    const Result extracted = pack("extract demo.tarn -C out");
    EXPECT_EQ(extracted.status, 0) << extracted.output;
    EXPECT_EQ(filesBelow("out").size(), files.size());
    for (const auto& [path, content] : files)
        EXPECT_EQ(readFile(fs::path("out") / path), content) << path;

    const Result one = pack("extract demo.tarn assets/scenes/intro.tarn -C one");
    EXPECT_EQ(one.status, 0) << one.output;
    EXPECT_EQ(filesBelow("one"), std::set<std::string>{"assets/scenes/intro.tarn"});
    EXPECT_EQ(readFile("one/assets/scenes/intro.tarn"), files.at("assets/scenes/intro.tarn"));

    const Result verified = pack("verify demo.tarn");
    EXPECT_EQ(verified.status, 0) << verified.output;
    EXPECT_TRUE(contains(verified.output, "demo.tarn: 4 entries verified")) << verified.output;
}

TEST_F(TarnPackTest, CreateReplacesWhatWasThere) {
    makeSource();
    writeBytes("demo.tarn", "not an archive at all");
    ASSERT_EQ(pack("create demo.tarn src").status, 0);
    writeBytes("src/top.bin", "changed");
    writeBytes("src/added.txt", "added");
    // The archive inside the folder it is made from is not packed into itself.
    const Result again = pack("create src/self.tarn src");
    EXPECT_EQ(again.status, 0) << again.output;
    ASSERT_EQ(pack("create src/self.tarn src").status, 0);

    Tarn::VFS archive("src/self.tarn", false);
    std::vector<std::string> paths;
    archive.entries(paths);
    EXPECT_EQ(paths,
              (std::vector<std::string>{"added.txt", "assets/empty.txt", "assets/library.tarn",
                                        "assets/scenes/intro.tarn", "top.bin"}));
    Tarn::File* top = archive.open("top.bin");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->str(), "changed");
    archive.close(top);
    EXPECT_EQ(filesBelow("."),
              (std::set<std::string>{"demo.tarn", "src/added.txt", "src/assets/empty.txt",
                                     "src/assets/library.tarn", "src/assets/scenes/intro.tarn",
                                     "src/self.tarn", "src/top.bin"}));
}

TEST_F(TarnPackTest, VerifyStopsAtTheFirstCorruptEntry) {
    writeBytes("bad.tarn",
               handArchive({{"a.txt", "fine"}, {"b.txt", nullptr}, {"c.txt", nullptr}}));
    const Result result = pack("verify bad.tarn");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.output, "tarn-pack: bad.tarn: entry b.txt is corrupt"))
        << result.output;
    EXPECT_TRUE(contains(result.output, "[VFS] b.txt in bad.tarn is corrupt: ")) << result.output;
    EXPECT_FALSE(contains(result.output, "c.txt")) << result.output;
}

TEST_F(TarnPackTest, ExtractRefusesEntriesThatLeaveTheFolder) {
    const std::string absolute = (m_scratch.path() / "absolute-evil").string();
    writeBytes("evil.tarn", handArchive({{"../evil", "escaped"},
                                         {"a/../../evil2", "escaped"},
                                         {absolute, "escaped"},
                                         {"good.txt", "good"}}));
    const Result all = pack("extract evil.tarn -C out");
    EXPECT_EQ(all.status, 1);
    for (const std::string& path : {std::string("../evil"), std::string("a/../../evil2"), absolute})
        EXPECT_TRUE(contains(all.output, "tarn-pack: refusing to extract " + path +
                                             ": it would land outside out"))
            << all.output;
    EXPECT_EQ(readFile("out/good.txt"), "good");
    EXPECT_EQ(filesBelow("."), (std::set<std::string>{"evil.tarn", "out/good.txt"}));

    const Result one = pack("extract evil.tarn ../evil -C out2");
    EXPECT_EQ(one.status, 1);
    EXPECT_TRUE(contains(one.output, "refusing to extract ../evil")) << one.output;
    EXPECT_FALSE(fs::exists("evil"));
}

TEST_F(TarnPackTest, UsageAndHelp) {
    struct Case {
        const char* arguments;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"", 2, "usage: tarn-pack COMMAND"},
        {"--help", 0, "usage: tarn-pack COMMAND"},
        {"-h", 0, "usage: tarn-pack COMMAND"},
        {"frobnicate", 2, "tarn-pack: unknown command frobnicate"},
        {"create --help", 0, "usage: tarn-pack create ARCHIVE FOLDER"},
        {"list -h", 0, "usage: tarn-pack list ARCHIVE"},
        {"extract a.tarn --help", 0, "usage: tarn-pack extract ARCHIVE [ENTRY] [-C DIR]"},
        {"verify --help", 0, "usage: tarn-pack verify ARCHIVE"},
        {"create only.tarn", 2, "tarn-pack: create needs ARCHIVE and FOLDER"},
        {"list", 2, "tarn-pack: list needs ARCHIVE"},
        {"verify a.tarn b.tarn", 2, "tarn-pack: verify needs ARCHIVE"},
        {"extract", 2, "tarn-pack: extract needs ARCHIVE and at most one ENTRY"},
        {"extract a.tarn b c", 2, "tarn-pack: extract needs ARCHIVE and at most one ENTRY"},
        {"extract a.tarn -C", 2, "tarn-pack: -C needs a folder"},
        {"extract a.tarn -x", 2, "tarn-pack: unknown option -x"},
    };
    for (const Case& c : cases) {
        const Result result = pack(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments;
        EXPECT_TRUE(contains(result.output, c.says)) << c.arguments << ": " << result.output;
    }
}

TEST_F(TarnPackTest, FailuresNameTheFile) {
    makeSource();
    ASSERT_EQ(pack("create demo.tarn src").status, 0);
    writeBytes("notes.txt", "just some notes");
    const std::string longName = "src/" + std::string(200, 'd') + "/" + std::string(100, 'f');
    writeBytes(longName, "deep");
    struct Case {
        const char* arguments;
        std::string says;
    };
    const Case cases[] = {
        {"list missing.tarn", "tarn-pack: missing.tarn: no such file"},
        {"list notes.txt", "tarn-pack: notes.txt: not a valid archive"},
        {"verify src", "tarn-pack: src: not a regular file"},
        {"extract demo.tarn no/such/entry", "tarn-pack: demo.tarn: no entry no/such/entry"},
        {"create new.tarn nofolder", "tarn-pack: nofolder: not a folder"},
        {"create long.tarn src", "is longer than 255 bytes"},
    };
    for (const Case& c : cases) {
        const Result result = pack(c.arguments);
        EXPECT_EQ(result.status, 1) << c.arguments;
        EXPECT_TRUE(contains(result.output, c.says)) << c.arguments << ": " << result.output;
    }
    EXPECT_FALSE(fs::exists("new.tarn"));
    EXPECT_FALSE(fs::exists("long.tarn"));
    EXPECT_EQ(filesBelow(".").count("long.tarn.new"), 0u);
    std::set<std::string> topLevel;
    for (const auto& entry : fs::directory_iterator("."))
        topLevel.insert(entry.path().filename().string());
    EXPECT_EQ(topLevel, (std::set<std::string>{"demo.tarn", "notes.txt", "src"}));
}

}  // namespace
