#include "tarn/file.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Tarn::File;
using Tarn::SeekOrigin;

File makeFile(const std::string& bytes) {
    return File(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

TEST(FileTest, CopiesItsBytes) {
    std::string source = "abc";
    File file = makeFile(source);
    source[0] = 'X';
    EXPECT_EQ(file.str(), "abc");
    EXPECT_EQ(file.size(), 3u);
    EXPECT_EQ(file.tell(), 0);
}

TEST(FileTest, ReadPastTheEndCopiesWhatIsLeft) {
    File file = makeFile("0123456789");
    char buffer[16] = {};
    EXPECT_EQ(file.read(buffer, 2, 3), 6);  // a byte count, not an element count
    EXPECT_EQ(std::string(buffer, 6), "012345");
    std::fill(std::begin(buffer), std::end(buffer), '#');
    EXPECT_EQ(file.read(buffer, 4, 2), 4);
    EXPECT_EQ(std::string(buffer, 5), "6789#");
    EXPECT_TRUE(file.eof());
    EXPECT_EQ(file.read(buffer, 1, 1), 0);
    EXPECT_EQ(file.tell(), 10);
}

TEST(FileTest, ReadsThatCopyNothing) {
    struct Case {
        const char* what;
        int cursor;
        void* dst;
        int elementSize;
        int count;
    };
    char buffer[8] = {};
    const Case cases[] = {
        {"null destination", 0, nullptr, 1, 4},        {"zero elements", 0, buffer, 1, 0},
        {"negative count", 0, buffer, 1, -4},          {"negative element size", 0, buffer, -2, 2},
        {"cursor before the start", -3, buffer, 1, 4}, {"cursor past the end", 40, buffer, 1, 4},
    };
    for (const Case& c : cases) {
        File file = makeFile("abcd");
        file.seek(SeekOrigin::Start, c.cursor);
        EXPECT_EQ(file.read(c.dst, c.elementSize, c.count), 0) << c.what;
        EXPECT_EQ(file.tell(), c.cursor) << c.what;
    }
    // Products that overflow an int still ask for everything that is left.
    File file = makeFile("abcd");
    EXPECT_EQ(file.read(buffer, INT_MAX, 3), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST(FileTest, GetcWalksTheBytesThenReturnsZero) {
    File file = makeFile(std::string("a\0b", 3));
    EXPECT_EQ(file.getc(), 'a');
    EXPECT_EQ(file.getc(), '\0');
    EXPECT_FALSE(file.eof());
    EXPECT_EQ(file.getc(), 'b');
    EXPECT_TRUE(file.eof());
    EXPECT_EQ(file.getc(), 0);
    EXPECT_EQ(file.tell(), 3);
    file.seek(SeekOrigin::Start, -1);
    EXPECT_EQ(file.getc(), 0);
    EXPECT_EQ(file.tell(), -1);
}

TEST(FileTest, SeekFromEachOrigin) {
    struct Case {
        int start;
        SeekOrigin origin;
        int offset;
        int cursor;
        bool eof;
        char next;
    };
    const Case cases[] = {
        {3, SeekOrigin::Start, 1, 1, false, 'b'},
        {3, SeekOrigin::Current, 1, 4, false, 'e'},
        {3, SeekOrigin::Current, -3, 0, false, 'a'},
        {3, SeekOrigin::End, -1, 5, false, 'f'},
        {3, SeekOrigin::End, 0, 6, true, 0},
        {3, SeekOrigin::End, 4, 10, true, 0},
        {3, SeekOrigin::Start, -2, -2, true, 0},
        {0, SeekOrigin::Current, INT_MAX, INT_MAX, true, 0},
    };
    for (const Case& c : cases) {
        File file = makeFile("abcdef");
        file.seek(SeekOrigin::Start, c.start);
        file.seek(c.origin, c.offset);
        const std::string what = "from " + std::to_string(c.start) + " origin " +
                                 std::to_string(static_cast<int>(c.origin)) + " offset " +
                                 std::to_string(c.offset);
        EXPECT_EQ(file.tell(), c.cursor) << what;
        EXPECT_EQ(file.eof(), c.eof) << what;
        EXPECT_EQ(file.getc(), c.next) << what;
    }
    File file = makeFile("abcdef");
    file.seek(SeekOrigin::End, 0);
    file.seek(SeekOrigin::Current, INT_MAX);
    EXPECT_EQ(file.tell(), INT_MAX);  // pinned, not wrapped round to a negative cursor
    file.rewind();
    EXPECT_EQ(file.tell(), 0);
    EXPECT_EQ(file.getc(), 'a');
}

TEST(FileTest, StrKeepsEveryByte) {
    const std::string bytes("\0one\0\0two\xff\0", 11);
    File file = makeFile(bytes);
    EXPECT_EQ(file.str(), bytes);
    EXPECT_EQ(file.str().size(), 11u);
    ASSERT_NE(file.ptr(), nullptr);
    EXPECT_EQ(std::string(file.ptr(), file.size()), bytes);
}

TEST(FileTest, EmptyFileHasNothingToDereference) {
    std::vector<File*> files = {new File(nullptr, 0), new File("x", 0),
                                new File(std::vector<char>())};
    for (File* file : files) {
        EXPECT_EQ(file->size(), 0u);
        EXPECT_EQ(file->ptr(), nullptr);
        EXPECT_TRUE(file->eof());
        EXPECT_EQ(file->getc(), 0);
        char buffer[4];
        EXPECT_EQ(file->read(buffer, 1, 4), 0);
        EXPECT_EQ(file->str(), "");
        delete file;
    }
}

TEST(FileTest, TakesOverAVector) {
    File file(std::vector<char>{'h', 'i', '\0'});
    EXPECT_EQ(file.str(), std::string("hi\0", 3));
    EXPECT_EQ(file.getc(), 'h');
}

}  // namespace
