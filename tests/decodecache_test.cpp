// Files decoded on loader threads are reported by the thread that takes
// them, at its script line and in the order it takes them, once per take;
// the archive gives every thread the bytes open gives.

#include "tarn/decodecache.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/scratch_folder.h"
#include "tarn/diagnostics.h"
#include "tarn/file.h"
#include "tarn/vfs.h"

namespace {

namespace Diagnostics = Tarn::Diagnostics;
using Tarn::DecodeCache;

// The file's text, and a problem for a file that says "bad".
std::shared_ptr<const void> decodeText(Tarn::VFS& vfs, const std::string& path) {
    const std::unique_ptr<Tarn::File> file = vfs.openCopy(path);
    if (!file)
        return nullptr;
    if (file->str() == "bad")
        Diagnostics::problem("Test", path + " is bad");
    return std::make_shared<const std::string>(file->str());
}

// One loader thread takes the files in the order asked, so once the last
// is taken every decode is over: what they reported waits for its take.
TEST(DecodeCacheTest, ReportsComeWithTheTakeAtItsLine) {
    Tarn::Test::ScratchFolder folder;
    ASSERT_TRUE(Tarn::Test::packArchive("demo.tarn", {{"a.txt", "alpha"}, {"b.txt", "bad"}}));
    Tarn::VFS vfs("demo.tarn", true);
    DecodeCache::addDecoder("text", decodeText);
    Diagnostics::ProblemList problems(false);
    const Diagnostics::ScopedCollector collect(problems);
    DecodeCache cache(vfs, 1);
    for (const char* path : {"b.txt", "a.txt", "c.txt", "b.txt"})
        cache.prefetch("text", path);
    cache.prefetch("no such kind", "a.txt");
    EXPECT_EQ(cache.size(), 3u);

    const DecodeCache::Use use(cache);
    const std::string script = "library.tarn";
    int line = 0;
    const Diagnostics::ScriptScope scope(script, &line);
    const struct {
        const char* path;
        int line;
        bool asked;
        const char* text;                   // null: no result
        std::vector<std::string> problems;  // all so far
    } takes[] = {
        {"c.txt",
         7,
         true,
         nullptr,
         {"library.tarn:7: File c.txt not found in archive nor in real FS."}},
        {"a.txt",
         3,
         true,
         "alpha",
         {"library.tarn:7: File c.txt not found in archive nor in real FS."}},
        {"b.txt",
         4,
         true,
         "bad",
         {"library.tarn:7: File c.txt not found in archive nor in real FS.",
          "library.tarn:4: b.txt is bad"}},
        {"b.txt",
         9,
         true,
         "bad",
         {"library.tarn:7: File c.txt not found in archive nor in real FS.",
          "library.tarn:4: b.txt is bad", "library.tarn:9: b.txt is bad"}},
        {"d.txt",
         10,
         false,
         nullptr,
         {"library.tarn:7: File c.txt not found in archive nor in real FS.",
          "library.tarn:4: b.txt is bad", "library.tarn:9: b.txt is bad"}},
    };
    for (const auto& take : takes) {
        line = take.line;
        std::shared_ptr<const std::string> text;
        EXPECT_EQ(DecodeCache::take("text", take.path, text), take.asked) << take.path;
        EXPECT_EQ(text ? *text : "(none)", take.text ? take.text : "(none)") << take.path;
        EXPECT_EQ(problems.lines(), take.problems) << take.path;
    }
}

// Several threads copy entries while the owner opens and closes them.
TEST(DecodeCacheTest, OpenCopyGivesTheBytesOfOpenOnAnyThread) {
    Tarn::Test::ScratchFolder folder;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 8; ++i)
        files.push_back({"f" + std::to_string(i), std::string(1000 + 97 * i, char('a' + i))});
    ASSERT_TRUE(Tarn::Test::packArchive("demo.tarn", files));
    Tarn::VFS vfs("demo.tarn", true);
    std::vector<std::vector<std::string>> copies(4);
    std::vector<std::thread> threads;
    for (auto& copied : copies)
        threads.emplace_back([&vfs, &files, &copied] {
            for (int round = 0; round < 20; ++round)
                for (const auto& file : files) {
                    const std::unique_ptr<Tarn::File> copy = vfs.openCopy(file.first);
                    copied.push_back(copy ? copy->str() : std::string());
                }
        });
    for (int round = 0; round < 20; ++round)
        for (const auto& file : files) {
            Tarn::File* opened = vfs.open(file.first);
            ASSERT_NE(opened, nullptr);
            EXPECT_EQ(opened->str(), file.second);
            vfs.close(opened);
        }
    for (std::thread& thread : threads)
        thread.join();
    for (const auto& copied : copies)
        for (std::size_t i = 0; i < copied.size(); ++i)
            ASSERT_EQ(copied[i], files[i % files.size()].second) << i;
}

}  // namespace
