// Runs the tarn-pack program as an author would and checks its output, exit
// status and the files it leaves.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
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
// never write. A content of nullptr marks an entry whose stream is broken;
// `after` gives bytes to place after an entry's stream, within its record.
std::string handArchive(const std::vector<std::pair<std::string, const char*>>& entries,
                        const std::map<std::string, std::string>& after = {}) {
    std::string data, directory;
    for (const auto& [name, content] : entries) {
        const std::string bytes = content ? content : "some bytes that will not inflate";
        uLongf size = compressBound(bytes.size());
        std::string packed(size, '\0');
        compress(reinterpret_cast<Bytef*>(&packed[0]), &size,
                 reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
        packed.resize(size);
        if (after.count(name))
            packed += after.at(name);
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
    footer[1] = static_cast<char>(entries.size() >> 8);
    putU32(footer, 2, static_cast<std::uint32_t>(data.size() + directory.size() + 6));
    return data + directory + footer;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using Result = Tarn::Test::ProgramResult;

class TarnPackTest : public ::testing::Test {
protected:
    // Runs tarn-pack in the test's folder; arguments go through the shell,
    // after `shell`, commands that set its limits.
    Result pack(const std::string& arguments, const std::string& shell = "") {
        return Tarn::Test::runProgram(TARN_PACK_PATH, arguments, m_scratch.path(), shell);
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
    EXPECT_TRUE(contains(verified.output, "demo.tarn: 4 entries verified, " +
                                              std::to_string(unpackedTotal) + " bytes unpacked"))
        << verified.output;
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

// Verify stops at the first entry the reader cannot give back whole, and
// names it escaped.
TEST_F(TarnPackTest, VerifyFailsOnWhatCannotBeRead) {
    struct Case {
        const char* what;
        std::string archive;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"a broken stream",
         handArchive({{"a.txt", "fine"}, {"b.txt", nullptr}, {"c.txt", nullptr}}),
         {"tarn-pack: bad.tarn: entry b.txt is corrupt\n", "[VFS] b.txt in bad.tarn is corrupt: "}},
        {"a name carried twice: the first record cannot be reached",
         handArchive({{"a.txt", "first"}, {"a.txt", "second"}}),
         {"tarn-pack: bad.tarn: more than one record is named a.txt; only the last can be "
          "read\n"}},
        {"bytes after an entry's stream",
         handArchive({{"a.txt", "fine"}}, {{"a.txt", "xyz"}}),
         {"[VFS] a.txt in bad.tarn is corrupt: 3 bytes follow its zlib stream\n",
          "tarn-pack: bad.tarn: entry a.txt is corrupt\n"}},
        {"control characters in a name",
         handArchive({{"a\x1b[2J\n.txt", nullptr}}),
         {"tarn-pack: bad.tarn: entry a\\x1b[2J\\n.txt is corrupt\n"}},
    };
    for (const Case& c : cases) {
        writeBytes("bad.tarn", c.archive);
        const Result result = pack("verify bad.tarn");
        EXPECT_EQ(result.status, 1) << c.what;
        for (const std::string& line : c.says)
            EXPECT_TRUE(contains(result.output, line)) << c.what << ": " << result.output;
        EXPECT_FALSE(contains(result.output, "c.txt")) << c.what << ": " << result.output;
        EXPECT_FALSE(contains(result.output, "\x1b")) << c.what << ": " << result.output;
    }
}

// Regular files are packed, and links to files inside the folder as the file
// they lead to; everything else is skipped with one line each.
TEST_F(TarnPackTest, CreatePacksOnlyWhatLiesInsideTheFolder) {
    writeBytes("src/a.txt", "inside");
    writeBytes("src/sub/b.txt", "below");
    writeBytes("src/tab\tname.txt", "odd name");
    writeBytes("outside.txt", "outside");
    fs::create_symlink("a.txt", "src/in.txt");
    fs::create_symlink("../src/sub/b.txt", "src/up.txt");
    fs::create_symlink("../outside.txt", "src/out.txt");
    fs::create_directory_symlink("sub", "src/dirlink");
    fs::create_symlink("nowhere", "src/dangling");
    writeBytes("src/demo.tarn", "the archive being replaced");
    fs::create_symlink("demo.tarn", "src/self.tarn");
    ASSERT_EQ(mkfifo("src/pipe", 0600), 0);
    const Result created = pack("create src/demo.tarn src");
    EXPECT_EQ(created.status, 0) << created.output;
    for (const char* line :
         {"tarn-pack: skipping out.txt: the link leads outside src\n",
          "tarn-pack: skipping dirlink: a folder reached through a link\n",
          "tarn-pack: skipping dangling: the link leads nowhere\n",
          "tarn-pack: skipping self.tarn: the link leads to the archive being written\n",
          "tarn-pack: skipping pipe: a FIFO\n", "added tab\\tname.txt (8 bytes)\n"})
        EXPECT_TRUE(contains(created.output, line)) << line << created.output;
    EXPECT_EQ(std::count(created.output.begin(), created.output.end(), '\n'), 11) << created.output;

    Tarn::VFS archive("src/demo.tarn", false);
    std::map<std::string, std::string> packed;
    std::vector<std::string> paths;
    archive.entries(paths);
    for (const std::string& path : paths) {
        Tarn::File* file = archive.open(path);
        ASSERT_NE(file, nullptr) << path;
        packed[path] = file->str();
        archive.close(file);
    }
    EXPECT_EQ(packed, (std::map<std::string, std::string>{{"a.txt", "inside"},
                                                          {"in.txt", "inside"},
                                                          {"sub/b.txt", "below"},
                                                          {"tab\tname.txt", "odd name"},
                                                          {"up.txt", "below"}}));
}

// No files: a valid archive of no entries, written without handing fwrite
// a null pointer (which UndefinedBehaviorSanitizer stops on).
TEST_F(TarnPackTest, CreateOfAnEmptyFolder) {
    fs::create_directory("empty");
    const Result created = pack("create e.tarn empty");
    EXPECT_EQ(created.status, 0) << created.output;
    EXPECT_EQ(readFile("e.tarn"), std::string("\0\0\x06\0\0\0", 6));
    const Result verified = pack("verify e.tarn");
    EXPECT_EQ(verified.status, 0) << verified.output;
    EXPECT_EQ(verified.output, "e.tarn: 0 entries verified, 0 bytes unpacked\n");
}

// A failure says what the system said, and the old archive stays.
TEST_F(TarnPackTest, CreateFailuresCarryTheSystemsReason) {
    makeSource();
    ASSERT_EQ(pack("create demo.tarn src").status, 0);
    const std::string old = readFile("demo.tarn");
    std::string noise(100000, '\0');
    std::uint32_t state = 1;
    for (char& c : noise)
        c = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
    writeBytes("src/noise.bin", noise);
    // Files may grow to 8 KiB; the signal would end the program instead.
    const Result result = pack("create demo.tarn src", "trap '' XFSZ; ulimit -f 16; ");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.output, ": File too large\n")) << result.output;
    EXPECT_TRUE(contains(result.output, "tarn-pack: demo.tarn: not written\n")) << result.output;
    EXPECT_FALSE(contains(result.output, "Success")) << result.output;
    EXPECT_EQ(readFile("demo.tarn"), old);
    EXPECT_EQ(filesBelow(".").count("demo.tarn.new"), 0u);
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
    EXPECT_EQ(filesBelow("."), std::set<std::string>{"evil.tarn"});  // nothing written

    const Result one = pack("extract evil.tarn ../evil -C out2");
    EXPECT_EQ(one.status, 1);
    EXPECT_TRUE(contains(one.output, "refusing to extract ../evil")) << one.output;
    EXPECT_FALSE(fs::exists("evil"));
}

// Every regular file below the working folder with its bytes.
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> files;
    for (const std::string& path : filesBelow("."))
        files[path] = readFile(path);
    return files;
}

// A failed extract changes nothing: links planted in the destination are
// refused rather than followed, and files are put in place only once every
// entry has been written.
TEST_F(TarnPackTest, ExtractNeverLeavesItsFolderOrDamagesFiles) {
    // Makes the files and links of a case below the working folder.
    using Setup = void (*)();
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, const char*>> entries;
        Setup setup;
        const char* arguments;
        const char* shell;
        std::string says;
    };
    const std::string big(100000, 'b');
    const Case cases[] = {
        {"a folder that is a link",
         {{"a/x.txt", "in"}},
         [] {
             fs::create_directories("outside");
             fs::create_directories("d");
             fs::create_directory_symlink("../outside", "d/a");
         },
         "extract t.tarn -C d",
         "",
         "tarn-pack: refusing to extract a/x.txt: d/a is a symbolic link"},
        {"a file that is a link",
         {{"f", "new"}},
         [] {
             writeBytes("outside/f.txt", "old");
             fs::create_directories("d");
             fs::create_symlink("../outside/f.txt", "d/f");
         },
         "extract t.tarn -C d",
         "",
         "tarn-pack: refusing to extract f: d/f is a symbolic link"},
        {"a corrupt entry after a good one",
         {{"good.txt", "new"}, {"z/z.txt", nullptr}},
         [] { writeBytes("d/good.txt", "old"); },
         "extract t.tarn -C d",
         "",
         "tarn-pack: t.tarn: cannot extract z/z.txt: the entry is corrupt"},
        {"no room for the file",
         {{"a.txt", "new"}, {"big.bin", big.c_str()}},
         [] {
             writeBytes("d/a.txt", "old");
             writeBytes("d/big.bin", "old");
         },
         // Files may grow to 8 KiB; the signal would end the program instead.
         "extract t.tarn -C d",
         "trap '' XFSZ; ulimit -f 16; ",
         "tarn-pack: cannot write d/big.bin: File too large"},
        {"the archive being read",
         {{"t.tarn", "overwritten"}},
         [] {},
         "extract t.tarn",
         "",
         "tarn-pack: refusing to extract t.tarn: it is the archive being read"},
        {"a file that is also a folder",
         {{"a", "file"}, {"a/b", "below"}},
         [] {},
         "extract t.tarn -C d",
         "",
         "tarn-pack: refusing to extract a: other entries lie below it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& entry : fs::directory_iterator("."))
            fs::remove_all(entry.path());
        writeBytes("t.tarn", handArchive(c.entries));
        c.setup();
        const std::map<std::string, std::string> before = snapshot();
        const Result result = pack(c.arguments, c.shell);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(contains(result.output, c.says + "\n")) << result.output;
        EXPECT_EQ(snapshot(), before);
        EXPECT_FALSE(fs::exists("outside/x.txt"));
    }
}

// Records may claim up to 4 GiB each; extract adds up what they claim and
// writes nothing when the destination cannot hold it.
TEST_F(TarnPackTest, ExtractChecksTheFreeSpaceFirst) {
    const std::uintmax_t available = fs::space(".").available;
    const std::uintmax_t count = available / 0xFFFFFFFFu + 2;
    if (count > 65535)
        GTEST_SKIP() << "no archive can claim more than the " << available << " bytes free here";
    std::vector<std::pair<std::string, const char*>> entries;
    for (std::uintmax_t i = 0; i < count; ++i)
        entries.emplace_back("big" + std::to_string(i), "x");
    std::string bytes = handArchive(entries);
    const std::size_t directory = bytes.size() - 6 - count * 268;
    for (std::uintmax_t i = 0; i < count; ++i)
        putU32(bytes, directory + i * 268 + 260, 0xFFFFFFFFu);
    writeBytes("big.tarn", bytes);

    const Result result = pack("extract big.tarn -C out");
    EXPECT_EQ(result.status, 1);
    const std::string says = "tarn-pack: big.tarn: extracting needs " +
                             std::to_string(count * 0xFFFFFFFFull) + " bytes, out has ";
    EXPECT_EQ(result.output.compare(0, says.size(), says), 0) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    EXPECT_FALSE(fs::exists("out"));
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
