// Makes a VFS over arbitrary bytes and reads every entry it accepts in every
// way a consumer can, aborting when something that must hold for any input
// does not. The first byte picks keep-alive, so both ways of reading the
// archive are covered. vfs_test replays tests/fuzz/regressions/vfs_fuzz/
// through this same function.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include <tarn/file.h>
#include <tarn/vfs.h>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void readEveryWay(Tarn::File& file, const Tarn::VFS::FileEntry& entry) {
    check(file.size() == entry.unpackedSize);
    const std::string whole = file.str();
    check(whole.size() == file.size());
    check(file.size() == 0 ? file.ptr() == nullptr : file.ptr() != nullptr);

    std::vector<char> buffer(file.size() + 1);
    const int size = static_cast<int>(file.size());
    check(file.read(buffer.data(), 1, size + 1) == size);
    check(std::string(buffer.data(), file.size()) == whole);
    check(file.eof() && file.read(buffer.data(), 1, 1) == 0 && file.getc() == 0);

    file.rewind();
    for (char c : whole)
        check(file.getc() == c);
    check(file.getc() == 0 && file.tell() == size);

    file.seek(Tarn::SeekOrigin::End, -1);
    check(size == 0 ? file.getc() == 0 : file.getc() == whole.back());
    file.seek(Tarn::SeekOrigin::Current, -size - 1);
    check(file.eof() && file.read(buffer.data(), 1, 1) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        "/tmp/tarn_vfs_fuzz_" + std::to_string(static_cast<long>(getpid())) + ".tarn";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return 0;
    const bool written = size == 0 || std::fwrite(data, 1, size, out) == size;
    if (std::fclose(out) != 0 || !written)
        return 0;

    const bool keepAlive = size > 0 && (data[0] & 1) != 0;
    {
        Tarn::VFS vfs(path, keepAlive);
        std::vector<std::string> paths;
        vfs.entries(paths);
        check(vfs.hasArchive() || paths.empty());
        for (const std::string& entryPath : paths) {
            const Tarn::VFS::FileEntry* entry = vfs.entry(entryPath);
            check(entry != nullptr && entry->file == nullptr);
            Tarn::File* file = vfs.open(entryPath);
            if (!file)
                continue;
            // Each open is matched by its own close; the File lives until the last.
            check(vfs.open(entryPath) == file && entry->file == file && entry->holders == 2);
            vfs.close(file);
            check(entry->file == file && entry->holders == 1);
            readEveryWay(*file, *entry);
            vfs.close(file);
            check(entry->file == nullptr && entry->holders == 0);
        }
        vfs.close(nullptr);
    }
    std::remove(path.c_str());
    return 0;
}
