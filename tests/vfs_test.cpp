#include "tarn/vfs.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "support/allocation_counter.h"
#include "support/fuzz_inputs.h"
#include "support/scratch_folder.h"

// The fuzz target itself, so that saved inputs replay through the same code.
#include "fuzz/vfs_fuzz.cpp"

namespace {

namespace fs = std::filesystem;
using Tarn::File;
using Tarn::VFS;

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string deflate(const std::string& bytes) {
    uLongf size = compressBound(bytes.size());
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
             bytes.size());
    out.resize(size);
    return out;
}

std::string inflate(const std::string& packed, std::uint32_t size) {
    std::string out(size + 1, '\0');
    uLongf length = size + 1;
    if (uncompress(reinterpret_cast<Bytef*>(&out[0]), &length,
                   reinterpret_cast<const Bytef*>(packed.data()), packed.size()) != Z_OK)
        return "<not a zlib stream>";
    out.resize(length);
    return out;
}

std::uint32_t getU32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void putU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

void putU16(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void setFooter(std::string& bytes, std::uint32_t count, std::int64_t archiveSize) {
    putU16(bytes, bytes.size() - 6, count);
    putU32(bytes, bytes.size() - 4, static_cast<std::uint32_t>(archiveSize));
}

// An archive laid out by hand, independently of VFS::write: any data order,
// any record order, any record values.
struct HandArchive {
    struct Record {
        std::string name;
        std::uint32_t packedSize;
        std::uint32_t unpackedSize;
        std::uint32_t offset;
    };
    std::string data;
    std::vector<Record> records;

    // Appends the content's zlib stream to the data region; returns its record.
    Record pack(const std::string& name, const std::string& content) {
        const std::string packed = deflate(content);
        const Record record{name, static_cast<std::uint32_t>(packed.size()),
                            static_cast<std::uint32_t>(content.size()),
                            static_cast<std::uint32_t>(data.size())};
        data += packed;
        return record;
    }
    std::string bytes() const {
        std::string out = data;
        for (const Record& record : records) {
            std::string field(268, '\0');
            std::copy(record.name.begin(),
                      record.name.begin() + std::min<std::size_t>(record.name.size(), 256),
                      field.begin());
            putU32(field, 256, record.packedSize);
            putU32(field, 260, record.unpackedSize);
            putU32(field, 264, record.offset);
            out += field;
        }
        out += std::string(6, '\0');
        setFooter(out, static_cast<std::uint32_t>(records.size()),
                  static_cast<std::int64_t>(out.size()));
        return out;
    }
};

std::string notAnArchive(const std::string& archive, const std::string& why) {
    return "[VFS] " + archive + " is not a valid archive: " + why + "; serving loose files only\n";
}

std::string corruptEntry(const std::string& path, const std::string& archive,
                         const std::string& why) {
    return "[VFS] " + path + " in " + archive + " is corrupt: " + why + "\n";
}

std::vector<std::string> entriesOf(const VFS& vfs) {
    std::vector<std::string> paths;
    vfs.entries(paths);
    return paths;
}

std::set<std::string> folderListing() {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator("."))
        names.insert(entry.path().filename().string());
    return names;
}

// Each test runs in a fresh folder of its own, its working directory, since
// the VFS reads loose files relative to it and tests run in parallel.
class VFSTest : public ::testing::Test {
protected:
    Tarn::Test::ScratchFolder m_scratch;
};

std::string noise(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

TEST_F(VFSTest, RoundTripFollowsTheFormat) {
    const std::map<std::string, std::string> files = {
        {"assets/library.tarn", "material stone\nmesh rock rock.obj\n"},
        {"assets/empty.bin", ""},
        {"b/nul.bin", std::string("\0head\0\0tail\0", 12)},
        {"Zebra.txt", "capitals sort first\n"},
        {"a.txt", std::string(10000, 'a')},
        {"noise.bin", noise(3000)},
        {"\xc3\xa9t\xc3\xa9.txt", "bytes above 0x7f sort last\n"},
    };
    const std::vector<std::string> byteOrder = {
        "Zebra.txt", "a.txt",     "assets/empty.bin",     "assets/library.tarn",
        "b/nul.bin", "noise.bin", "\xc3\xa9t\xc3\xa9.txt"};
    for (const auto& [path, content] : files)
        writeBytes(path, content);
    {
        VFS writer("out.tarn", false);
        for (const auto& [path, content] : files)
            writer.add(path);
        EXPECT_EQ(entriesOf(writer), byteOrder);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(writer.write());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }

    // Read back the bytes as another reader would.
    const std::string bytes = readBytes("out.tarn");
    ASSERT_GE(bytes.size(), 6u);
    const std::uint32_t count = static_cast<unsigned char>(bytes[bytes.size() - 6]) |
                                static_cast<unsigned char>(bytes[bytes.size() - 5]) << 8;
    ASSERT_EQ(count, files.size());
    EXPECT_EQ(getU32(bytes, bytes.size() - 4), bytes.size());
    const std::size_t directory = bytes.size() - 6 - count * 268;
    std::uint32_t nextOffset = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string record = bytes.substr(directory + i * 268, 268);
        const std::string& path = byteOrder[i];
        const std::string& content = files.at(path);
        EXPECT_EQ(record.substr(0, 256), path + std::string(256 - path.size(), '\0')) << path;
        const std::uint32_t packedSize = getU32(record, 256);
        EXPECT_EQ(getU32(record, 260), content.size()) << path;
        EXPECT_EQ(getU32(record, 264), nextOffset) << path;
        // The stream zlib's compress makes at its default level, byte for byte.
        EXPECT_EQ(bytes.substr(nextOffset, packedSize), deflate(content)) << path;
        EXPECT_EQ(inflate(bytes.substr(nextOffset, packedSize), getU32(record, 260)), content);
        nextOffset += packedSize;
    }
    EXPECT_EQ(nextOffset, directory);  // the directory follows the data directly

    for (bool keepAlive : {false, true}) {
        VFS reader("out.tarn", keepAlive);
        EXPECT_TRUE(reader.hasArchive());
        EXPECT_EQ(entriesOf(reader), byteOrder);
        fs::remove_all("assets");  // only the archive can answer now
        for (const std::string& path : byteOrder) {
            File* file = reader.open(path);
            ASSERT_NE(file, nullptr) << path;
            EXPECT_EQ(file->str(), files.at(path)) << path;
            EXPECT_EQ(reader.entry(path)->unpackedSize, files.at(path).size());
            reader.close(file);
        }
    }
}

TEST_F(VFSTest, OpensArchivesFromAnotherWriter) {
    HandArchive archive;
    const auto c = archive.pack("c/z.txt", "zed");
    const auto dupFirst = archive.pack("dup.txt", "first");
    const auto a = archive.pack("a.txt", "alpha");
    const auto b = archive.pack("b.txt", "");
    const auto dupLast = archive.pack("dup.txt", "last wins");
    archive.records = {b, dupFirst, c, dupLast, a};
    writeBytes("other.tarn", archive.bytes());

    VFS vfs("other.tarn", false);
    EXPECT_EQ(entriesOf(vfs), (std::vector<std::string>{"a.txt", "b.txt", "c/z.txt", "dup.txt"}));
    const std::map<std::string, std::string> expected = {
        {"a.txt", "alpha"}, {"b.txt", ""}, {"c/z.txt", "zed"}, {"dup.txt", "last wins"}};
    for (const auto& [path, content] : expected) {
        File* file = vfs.open(path);
        ASSERT_NE(file, nullptr) << path;
        EXPECT_EQ(file->str(), content) << path;
        vfs.close(file);
    }
}

TEST_F(VFSTest, OpensAnArchiveAppendedToOtherContent) {
    HandArchive archive;
    archive.records = {archive.pack("x.txt", "appended"), archive.pack("y.txt", "too")};
    HandArchive earlier;
    earlier.records = {earlier.pack("x.txt", "an earlier archive")};
    const std::string prefixes[] = {"", "MZ" + noise(1000), earlier.bytes()};
    for (const std::string& prefix : prefixes) {
        writeBytes("demo.exe", prefix + archive.bytes());
        for (bool keepAlive : {false, true}) {
            VFS vfs("demo.exe", keepAlive);
            EXPECT_EQ(entriesOf(vfs), (std::vector<std::string>{"x.txt", "y.txt"}));
            File* x = vfs.open("x.txt");
            File* y = vfs.open("y.txt");
            ASSERT_NE(x, nullptr);
            ASSERT_NE(y, nullptr);
            EXPECT_EQ(x->str(), "appended") << prefix.size();
            EXPECT_EQ(y->str(), "too") << prefix.size();
            vfs.close(x);
            vfs.close(y);
        }
    }
}

// Every open of a packed path is matched by its own close: the demo keeps its
// music open for the whole run while other code opens and closes the same path.
TEST_F(VFSTest, PackedFilesLiveUntilTheirLastClose) {
    HandArchive archive;
    archive.records = {archive.pack("p.txt", "packed")};
    writeBytes("s.tarn", archive.bytes());
    writeBytes("p.txt", "a loose file of the same path");
    writeBytes("loose.txt", "one");
    VFS vfs("s.tarn", true);

    File* first = vfs.open("p.txt");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->str(), "packed");  // the archive comes before loose files
    EXPECT_EQ(vfs.open("p.txt"), first);
    EXPECT_EQ(vfs.entry("p.txt")->file, first);
    first->getc();
    first->getc();
    EXPECT_EQ(vfs.open("p.txt")->tell(), 2);  // one File, one cursor
    vfs.close(first);
    ASSERT_EQ(vfs.entry("p.txt")->file, first);  // two holders left
    vfs.close(first);
    ASSERT_EQ(vfs.entry("p.txt")->file, first);
    EXPECT_EQ(first->str(), "packed");
    vfs.close(first);
    EXPECT_EQ(vfs.entry("p.txt")->file, nullptr);
    File* again = vfs.open("p.txt");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->tell(), 0);
    EXPECT_EQ(again->str(), "packed");
    EXPECT_EQ(vfs.entry("p.txt")->file, again);
    vfs.close(again);

    File* loose1 = vfs.open("loose.txt");
    File* loose2 = vfs.open("loose.txt");
    ASSERT_NE(loose1, nullptr);
    ASSERT_NE(loose2, nullptr);
    EXPECT_NE(loose1, loose2);
    writeBytes("loose.txt", "two");
    File* loose3 = vfs.open("loose.txt");
    ASSERT_NE(loose3, nullptr);
    EXPECT_EQ(loose3->str(), "two");
    EXPECT_EQ(loose1->str(), "one");
    EXPECT_EQ(vfs.entry("loose.txt"), nullptr);
    vfs.close(loose1);
    vfs.close(loose2);
    vfs.close(loose3);
    vfs.close(nullptr);
    EXPECT_EQ(vfs.entry("p.txt")->file, nullptr);
}

// Authoring (tarn-demo --dev): loose files come first and every path opened
// is recorded; a script read before but gone now keeps its text, said in one
// line; a refresh reads the archive as repacked, and a File handed out
// before it stays valid until its own close.
TEST_F(VFSTest, AuthoringReadsLooseFilesFirstAndKeepsScripts) {
    HandArchive archive;
    archive.records = {archive.pack("a.tarn", "packed a"), archive.pack("b.tarn", "packed b")};
    writeBytes("s.tarn", archive.bytes());
    writeBytes("a.tarn", "loose a");
    writeBytes("c.tarn", "loose c");
    VFS vfs("s.tarn", true);
    std::string text;
    ASSERT_TRUE(vfs.readScript("a.tarn", text));
    EXPECT_EQ(text, "packed a");
    vfs.setAuthoring(true);
    const std::pair<const char*, const char*> reads[] = {
        {"a.tarn", "loose a"}, {"b.tarn", "packed b"}, {"c.tarn", "loose c"}};
    for (const auto& [path, expected] : reads) {
        ASSERT_TRUE(vfs.readScript(path, text));
        EXPECT_EQ(text, expected);
    }
    File* held = vfs.open("b.tarn");
    ASSERT_NE(held, nullptr);

    HandArchive repacked;
    repacked.records = {repacked.pack("b.tarn", "repacked b")};
    writeBytes("s.tarn", repacked.bytes());
    fs::remove("c.tarn");
    vfs.refresh();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(vfs.readScript("b.tarn", text));
    EXPECT_EQ(text, "repacked b");
    ASSERT_TRUE(vfs.readScript("c.tarn", text));
    EXPECT_EQ(text, "loose c");
    EXPECT_FALSE(vfs.readScript("d.tarn", text));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VFS] File c.tarn not found in archive nor in real FS.\n"
              "[VFS] c.tarn cannot be read now; keeping the script as it was last read\n"
              "[VFS] File d.tarn not found in archive nor in real FS.\n");
    EXPECT_EQ(held->str(), "packed b");
    vfs.close(held);
    EXPECT_EQ(vfs.openedPaths(), (std::set<std::string>{"a.tarn", "b.tarn", "c.tarn", "d.tarn"}));
}

TEST_F(VFSTest, MissingFiles) {
    VFS vfs("absent.tarn", false);
    EXPECT_FALSE(vfs.hasArchive());
    vfs.add("added/but/missing.txt");
    struct Case {
        const char* path;
        const char* output;
    };
    const Case cases[] = {
        {"assets/nothing.png",
         "[VFS] File assets/nothing.png not found in archive nor in real FS.\n"},
        {"added/but/missing.txt", ""},
        // Only regular files are read loose: a folder holds no bytes, and a
        // device or a named pipe would never end or block for ever.
        {".", "[VFS] File . not found in archive nor in real FS.\n"},
        {"/dev/zero", "[VFS] File /dev/zero not found in archive nor in real FS.\n"},
        {"pipe", "[VFS] File pipe not found in archive nor in real FS.\n"},
    };
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(vfs.open(c.path), nullptr) << c.path;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output) << c.path;
    }
}

// Only a regular file is read as the archive: a named pipe would block the
// constructor until someone wrote to it (the test would then time out).
TEST_F(VFSTest, TheArchiveMustBeARegularFile) {
    ASSERT_EQ(mkfifo("pipe.tarn", 0600), 0);
    fs::create_directory("folder.tarn");
    writeBytes("loose.txt", "still served");
    for (const std::string name : {"pipe.tarn", "folder.tarn"}) {
        testing::internal::CaptureStdout();
        VFS vfs(name, true);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "[VFS] " + name + " is not a regular file; serving loose files only\n");
        EXPECT_FALSE(vfs.hasArchive());
        File* loose = vfs.open("loose.txt");
        ASSERT_NE(loose, nullptr);
        EXPECT_EQ(loose->str(), "still served");
        vfs.close(loose);
    }
}

TEST_F(VFSTest, TarnVFSIsTheFirstOneMade) {
    ASSERT_EQ(VFS::tarnVFS, nullptr);
    {
        VFS first("a.tarn", false);
        {
            VFS second("b.tarn", false);
            EXPECT_EQ(VFS::tarnVFS, &first);
        }
        EXPECT_EQ(VFS::tarnVFS, &first);
    }
    EXPECT_EQ(VFS::tarnVFS, nullptr);
    auto* first = new VFS("a.tarn", false);
    VFS second("b.tarn", false);
    delete first;
    EXPECT_EQ(VFS::tarnVFS, nullptr);
}

TEST_F(VFSTest, InvalidArchivesAreRejectedWhole) {
    HandArchive archive;
    archive.records = {archive.pack("a.txt", "first file"), archive.pack("b.txt", "second"),
                       archive.pack("c.txt", "third")};
    const std::string good = archive.bytes();
    const std::int64_t size = static_cast<std::int64_t>(good.size());
    const std::size_t directory = archive.data.size();
    const auto record = [directory](int i) {
        return directory + 268 * static_cast<std::size_t>(i);
    };
    using Mutation = std::function<void(std::string&)>;
    struct Case {
        const char* what;
        Mutation mutate;
        std::string why;  // empty: any reason will do
    };
    const Case cases[] = {
        {"empty", [](std::string& b) { b.clear(); }, "the file is shorter than the 6-byte footer"},
        {"five bytes", [](std::string& b) { b.resize(5); },
         "the file is shorter than the 6-byte footer"},
        {"last byte cut", [](std::string& b) { b.pop_back(); }, ""},
        {"footer cut", [](std::string& b) { b.resize(b.size() - 6); }, ""},
        {"one record cut", [](std::string& b) { b.resize(b.size() - 268); }, ""},
        {"cut in the directory", [](std::string& b) { b.resize(b.size() - 300); }, ""},
        {"cut in the data", [&](std::string& b) { b.resize(directory / 2); }, ""},
        {"first bytes cut", [](std::string& b) { b.erase(0, 10); },
         "the footer's archive size of " + std::to_string(size) + " bytes does not fit the file of " +
             std::to_string(size - 10) + " bytes"},
        {"count too big", [&](std::string& b) { setFooter(b, 65535, size); },
         "directory of 65535 records does not fit the archive size " + std::to_string(size)},
        {"archive size past the file", [&](std::string& b) { setFooter(b, 3, size + 1); },
         "the footer's archive size of " + std::to_string(size + 1) +
             " bytes does not fit the file of " + std::to_string(size) + " bytes"},
        {"archive size negative", [&](std::string& b) { setFooter(b, 3, -1); },
         "the footer's archive size of 4294967295 bytes does not fit the file of " +
             std::to_string(size) + " bytes"},
        {"archive size most negative", [&](std::string& b) { setFooter(b, 3, INT32_MIN); },
         "the footer's archive size of 2147483648 bytes does not fit the file of " +
             std::to_string(size) + " bytes"},
        {"archive size below the directory",
         [&](std::string& b) { setFooter(b, 3, 6 + 3 * 268 - 1); },
         "directory of 3 records does not fit the archive size " + std::to_string(6 + 3 * 268 - 1)},
        {"data one byte past the region",
         [&](std::string& b) {
             putU32(b, record(1) + 264,
                    static_cast<std::uint32_t>(directory) - archive.records[1].packedSize + 1);
         },
         "record 2 of 3 (b.txt) lies outside the data region"},
        {"packed size wrapping round 32 bits",
         [&](std::string& b) {
             putU32(b, record(2) + 256, 0xFFFFFFFFu);
             putU32(b, record(2) + 264, 1);
         },
         "record 3 of 3 (c.txt) lies outside the data region"},
        {"offset of an unpacked entry",
         [&](std::string& b) { putU32(b, record(0) + 264, 0xDEADBEEF); },
         "record 1 of 3 (a.txt) lies outside the data region"},
        // Each byte of data belongs to one entry: records sharing a stream
        // would let a small archive claim any amount of content.
        {"two records over one stream",
         [&](std::string& b) {
             putU32(b, record(1) + 256, archive.records[0].packedSize);
             putU32(b, record(1) + 264, 0);
         },
         "entries 1 and 2 overlap"},
        {"a record reaching into the next",
         [&](std::string& b) { putU32(b, record(1) + 256, archive.records[1].packedSize + 1); },
         "entries 2 and 3 overlap"},
        {"bytes between two entries",
         [&](std::string& b) { putU32(b, record(1) + 256, archive.records[1].packedSize - 2); },
         "bytes " + std::to_string(archive.records[2].offset - 2) + " to " +
             std::to_string(archive.records[2].offset - 1) +
             " of the data region belong to no entry"},
        {"bytes after the last entry",
         [&](std::string& b) {
             b.insert(directory, "pad");
             setFooter(b, 3, size + 3);
         },
         "3 bytes of the data region follow its last entry"},
        {"name without NUL",
         [&](std::string& b) { std::fill_n(b.begin() + static_cast<long>(record(0)), 256, 'n'); },
         "record 1 of 3 has no NUL-terminated name"},
        {"empty name", [&](std::string& b) { b[record(1)] = '\0'; },
         "record 2 of 3 has an empty name"},
    };
    writeBytes("loose.txt", "still served");
    for (const Case& c : cases) {
        std::string bytes = good;
        c.mutate(bytes);
        writeBytes("bad.tarn", bytes);
        testing::internal::CaptureStdout();
        VFS vfs("bad.tarn", true);
        const std::string output = testing::internal::GetCapturedStdout();
        if (c.why.empty()) {
            const std::string head = "[VFS] bad.tarn is not a valid archive: ";
            const std::string tail = "; serving loose files only\n";
            EXPECT_EQ(output.compare(0, head.size(), head), 0) << c.what << ": " << output;
            ASSERT_GE(output.size(), tail.size()) << c.what;
            EXPECT_EQ(output.substr(output.size() - tail.size()), tail) << c.what;
            EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << c.what;
        } else {
            EXPECT_EQ(output, notAnArchive("bad.tarn", c.why)) << c.what;
        }
        EXPECT_FALSE(vfs.hasArchive()) << c.what;
        EXPECT_TRUE(entriesOf(vfs).empty()) << c.what;
        File* loose = vfs.open("loose.txt");
        ASSERT_NE(loose, nullptr) << c.what;
        EXPECT_EQ(loose->str(), "still served");
        vfs.close(loose);
        testing::internal::CaptureStdout();
        EXPECT_EQ(vfs.open("a.txt"), nullptr) << c.what;
        testing::internal::GetCapturedStdout();
    }
}

TEST_F(VFSTest, CorruptEntriesAreRefused) {
    const std::string content = noise(60) + std::string(40, 'z');  // 100 bytes
    struct Case {
        const char* what;
        std::function<void(std::string& data, HandArchive::Record& record)> mutate;
        std::string why;
    };
    const Case cases[] = {
        {"header flipped", [](std::string& d, HandArchive::Record& r) { d[r.offset] ^= 0xff; },
         "it is not a valid zlib stream"},
        {"checksum flipped",
         [](std::string& d, HandArchive::Record& r) { d[r.offset + r.packedSize - 1] ^= 1; },
         "it is not a valid zlib stream"},
        // The entry is the last one, so cutting it leaves no bytes to no entry.
        {"stream cut short",
         [](std::string& d, HandArchive::Record& r) {
             r.packedSize -= 4;
             d.resize(d.size() - 4);
         },
         "it is not a valid zlib stream"},
        {"no packed bytes",
         [](std::string& d, HandArchive::Record& r) {
             r.packedSize = r.unpackedSize = 0;
             d.resize(r.offset);
         },
         "it is not a valid zlib stream"},
        {"unpacked size too big",
         [](std::string&, HandArchive::Record& r) { r.unpackedSize = 150; },
         "it inflates to 100 bytes, not 150"},
        {"unpacked size too small",
         [](std::string&, HandArchive::Record& r) { r.unpackedSize = 50; },
         "it inflates to more than 50 bytes"},
        {"unpacked size zero", [](std::string&, HandArchive::Record& r) { r.unpackedSize = 0; },
         "it inflates to more than 0 bytes"},
        {"absurd unpacked size",
         [](std::string&, HandArchive::Record& r) { r.unpackedSize = 0xFFFFFFFFu; }, ""},
        {"just past what deflate can reach",
         [](std::string&, HandArchive::Record& r) { r.unpackedSize = r.packedSize * 1032 + 1; },
         ""},
    };
    for (const Case& c : cases) {
        HandArchive archive;
        HandArchive::Record good = archive.pack("ok.txt", "fine");
        HandArchive::Record bad = archive.pack("x.bin", content);
        c.mutate(archive.data, bad);
        archive.records = {good, bad};
        writeBytes("c.tarn", archive.bytes());
        const std::string why =
            !c.why.empty() ? c.why
                           : std::to_string(bad.unpackedSize) + " bytes cannot come from " +
                                 std::to_string(bad.packedSize) + " packed bytes";
        for (bool keepAlive : {false, true}) {
            VFS vfs("c.tarn", keepAlive);
            ASSERT_TRUE(vfs.hasArchive()) << c.what;
            testing::internal::CaptureStdout();
            EXPECT_EQ(vfs.open("x.bin"), nullptr) << c.what;
            EXPECT_EQ(vfs.open("x.bin"), nullptr) << c.what;  // never cached
            EXPECT_EQ(testing::internal::GetCapturedStdout(),
                      corruptEntry("x.bin", "c.tarn", why) + corruptEntry("x.bin", "c.tarn", why))
                << c.what;
            EXPECT_EQ(vfs.entry("x.bin")->file, nullptr);
            File* ok = vfs.open("ok.txt");
            ASSERT_NE(ok, nullptr) << c.what;
            EXPECT_EQ(ok->str(), "fine");
            vfs.close(ok);
        }
    }
}

// What opening an entry costs follows the bytes its stream really gives, not
// the size its record claims: a forged size must not reserve memory.
TEST_F(VFSTest, MemoryFollowsWhatAnEntryInflatesTo) {
    const std::string content = noise(100000);
    const std::uint32_t claimed = 100000000;
    struct Case {
        const char* what;
        std::string packed;
        std::string why;
    };
    const Case cases[] = {
        {"random bytes", noise(200000), "it is not a valid zlib stream"},
        {"a stream of less than it claims", deflate(content),
         "it inflates to 100000 bytes, not " + std::to_string(claimed)},
    };
    for (const Case& c : cases) {
        HandArchive archive;
        archive.data = c.packed;
        archive.records = {{"x.bin", static_cast<std::uint32_t>(c.packed.size()), claimed, 0}};
        writeBytes("m.tarn", archive.bytes());
        VFS vfs("m.tarn", true);
        ASSERT_TRUE(vfs.hasArchive()) << c.what;
        const unsigned long long before = Tarn::Test::allocatedBytes();
        testing::internal::CaptureStdout();
        EXPECT_EQ(vfs.open("x.bin"), nullptr) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), corruptEntry("x.bin", "m.tarn", c.why));
        const unsigned long long used = Tarn::Test::allocatedBytes() - before;
        // The packed bytes, plus output buffers that at most double as they grow.
        EXPECT_LT(used, c.packed.size() + 4 * content.size()) << c.what;
    }
}

TEST_F(VFSTest, KeepAliveHoldsTheArchiveOpenOtherwiseReopensIt) {
    HandArchive archive;
    archive.records = {archive.pack("k.txt", "kept")};
    const std::string bytes = archive.bytes();
    writeBytes("k.tarn", bytes);
    VFS kept("k.tarn", true);
    VFS reopening("k.tarn", false);
    fs::remove("k.tarn");

    File* file = kept.open("k.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->str(), "kept");
    kept.close(file);

    testing::internal::CaptureStdout();
    EXPECT_EQ(reopening.open("k.txt"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[VFS] Cannot reopen k.tarn to read k.txt\n");
    writeBytes("k.tarn", bytes);
    file = reopening.open("k.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->str(), "kept");
    reopening.close(file);
}

TEST_F(VFSTest, FailedWriteKeepsTheOldArchive) {
    HandArchive archive;
    archive.records = {archive.pack("old.txt", "the old archive")};
    const std::string old = archive.bytes();
    writeBytes("a.txt", "readable");
    fs::create_directory("somedir");
    struct Case {
        const char* what;
        std::vector<std::string> paths;
        std::string why;
    };
    const std::string longPath = "p/" + std::string(254, 'n');
    const Case cases[] = {
        {"missing file after others",
         {"a.txt", "zz_missing.txt"},
         "cannot read zz_missing.txt: No such file or directory"},
        {"a folder", {"a.txt", "somedir"}, "cannot read somedir: not a regular file"},
        {"path over 255 bytes",
         {"a.txt", longPath},
         "path " + longPath + " is longer than 255 bytes"},
        {"empty path", {"a.txt", ""}, "an empty path was added"},
        {"NUL in a path", {"a.txt", std::string("a\0b", 3)}, "a path contains a NUL byte"},
    };
    for (const Case& c : cases) {
        writeBytes("old.tarn", old);
        const std::set<std::string> before = folderListing();
        VFS vfs("old.tarn", true);
        for (const std::string& path : c.paths)
            vfs.add(path);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(vfs.write()) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "[VFS] Cannot write old.tarn: " + c.why + "\n")
            << c.what;
        EXPECT_EQ(readBytes("old.tarn"), old) << c.what;
        EXPECT_EQ(folderListing(), before) << c.what;  // no temporary file left
        File* file = vfs.open("old.txt");              // still reading the old archive
        ASSERT_NE(file, nullptr) << c.what;
        EXPECT_EQ(file->str(), "the old archive");
        vfs.close(file);
    }

    VFS nowhere("no/such/folder/new.tarn", false);
    nowhere.add("a.txt");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(nowhere.write());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VFS] Cannot write no/such/folder/new.tarn: cannot create a temporary file beside "
              "it: No such file or directory\n");
    EXPECT_FALSE(fs::exists("no"));
}

TEST_F(VFSTest, WriteReplacesTheArchiveWithAddedPathsOnly) {
    HandArchive archive;
    archive.records = {archive.pack("old.txt", "old")};
    writeBytes("w.tarn", archive.bytes());
    writeBytes("w.tarn.tmp", "someone else's file");
    writeBytes("new.txt", "new");
    VFS vfs("w.tarn", true);
    vfs.add("new.txt");
    vfs.add("old.txt");  // already packed: left as it is, so not written
    EXPECT_TRUE(vfs.write());
    EXPECT_EQ(readBytes("w.tarn.tmp"), "someone else's file");
    EXPECT_EQ(folderListing(), (std::set<std::string>{"new.txt", "w.tarn", "w.tarn.tmp"}));

    VFS reader("w.tarn", false);
    EXPECT_EQ(entriesOf(reader), std::vector<std::string>{"new.txt"});
    File* file = reader.open("new.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->str(), "new");
    reader.close(file);
}

TEST_F(VFSTest, PathLengthLimit) {
    struct Case {
        std::size_t length;
        bool written;
    };
    for (const Case& c : {Case{255, true}, Case{256, false}}) {
        const std::string path = "p/" + std::string(c.length - 2, 'n');
        writeBytes(path, "long");
        VFS writer("long.tarn", false);
        writer.add(path);
        testing::internal::CaptureStdout();
        EXPECT_EQ(writer.write(), c.written) << c.length;
        const std::string output = testing::internal::GetCapturedStdout();
        if (!c.written) {
            EXPECT_EQ(output,
                      "[VFS] Cannot write long.tarn: path " + path + " is longer than 255 bytes\n");
            continue;
        }
        EXPECT_EQ(output, "");
        fs::remove_all("p");
        VFS reader("long.tarn", false);
        EXPECT_EQ(entriesOf(reader), std::vector<std::string>{path});
        File* file = reader.open(path);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->str(), "long");
        reader.close(file);
    }
}

TEST_F(VFSTest, EntryCountLimit) {
    // 65,535 paths fit; they name one file through 256 folders so that the
    // test stays small: "dI/../dJ/../x".
    writeBytes("x", "x");
    for (int i = 0; i < 256; ++i)
        fs::create_directory("d" + std::to_string(i));
    VFS writer("max.tarn", false);
    for (int n = 0; n < 65535; ++n)
        writer.add("d" + std::to_string(n / 256) + "/../d" + std::to_string(n % 256) + "/../x");
    EXPECT_TRUE(writer.write());
    {
        VFS reader("max.tarn", false);
        EXPECT_EQ(entriesOf(reader).size(), 65535u);
        File* last = reader.open("d255/../d254/../x");
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(last->str(), "x");
        reader.close(last);
    }

    VFS tooMany("over.tarn", false);
    for (int n = 0; n < 65536; ++n)
        tooMany.add("f" + std::to_string(n));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(tooMany.write());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VFS] Cannot write over.tarn: 65536 paths added, an archive holds at most 65535\n");
    EXPECT_FALSE(fs::exists("over.tarn"));
}

// Inputs that once broke the archive reader go through the fuzz target again.
TEST_F(VFSTest, SavedFuzzInputs) {
    const auto inputs = Tarn::Test::fuzzRegressionInputs("vfs_fuzz");
    ASSERT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size()),
                  0)
            << name;
        testing::internal::GetCapturedStdout();
    }
}

}  // namespace
