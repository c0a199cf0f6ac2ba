// Opening every packed entry of a multi-megabyte archive through VFS against
// zlib's uncompress of the same packed bytes, already in memory: what the
// archive adds to the inflating it cannot avoid (target: at least 0.9 of
// zlib's throughput). The archive, 48 entries of 192 KiB of text-like bytes
// (about 9 MiB unpacked), is built in a scratch folder by VFS itself.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <tarn/file.h>
#include <tarn/vfs.h>

#include "support/recording_reporter.h"
#include "support/scratch_folder.h"

namespace {

constexpr int Entries = 48;
constexpr std::size_t EntrySize = 192 * 1024;

// Words drawn from a small vocabulary: compresses about 3:1, like scripts
// and meshes in text form.
std::string entryBytes(unsigned int seed) {
    static const char* const words[] = {"vertex ", "normal ", "0.125 ", "-1.5 ",      "key ",
                                        "linear ", "entity ", "\n",     "component ", "42 "};
    std::string bytes;
    while (bytes.size() < EntrySize) {
        seed = seed * 1664525u + 1013904223u;
        bytes += words[(seed >> 24) % 10];
        if ((seed & 0xff) < 24)
            bytes += static_cast<char>('a' + (seed >> 8) % 26);
    }
    bytes.resize(EntrySize);
    return bytes;
}

std::vector<std::string> g_paths;
std::vector<std::string> g_packed;  // each entry's zlib stream, from the archive

void BM_OpenEveryEntry(benchmark::State& state) {
    Tarn::VFS vfs("bench.tarn", true);
    for (auto _ : state) {
        for (const std::string& path : g_paths) {
            Tarn::File* file = vfs.open(path);
            benchmark::DoNotOptimize(file->ptr());
            vfs.close(file);
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long>(Entries * EntrySize));
}

void BM_ZlibUncompress(benchmark::State& state) {
    std::vector<unsigned char> out(EntrySize);
    for (auto _ : state) {
        for (const std::string& packed : g_packed) {
            uLongf size = static_cast<uLongf>(out.size());
            uncompress(out.data(), &size, reinterpret_cast<const Bytef*>(packed.data()),
                       static_cast<uLong>(packed.size()));
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long>(Entries * EntrySize));
}

BENCHMARK(BM_OpenEveryEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Tarn::Test::ScratchFolder folder;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < Entries; ++i) {
        g_paths.push_back("entries/" + std::to_string(i) + ".txt");
        files.emplace_back(g_paths.back(), entryBytes(static_cast<unsigned int>(i)));
    }
    if (!Tarn::Test::packArchive("bench.tarn", files)) {
        std::printf("[archive_bench] cannot write the archive\n");
        return 1;
    }
    Tarn::VFS reader("bench.tarn", false);
    std::ifstream in("bench.tarn", std::ios::binary);
    const std::string archive((std::istreambuf_iterator<char>(in)), {});
    std::size_t packedTotal = 0;
    for (const std::string& path : g_paths) {
        const Tarn::VFS::FileEntry* entry = reader.entry(path);
        g_packed.push_back(archive.substr(entry->offset, entry->packedSize));
        packedTotal += entry->packedSize;
    }
    std::printf("Archive: %d entries, %.1f MiB unpacked, %.1f MiB packed\n", Entries,
                Entries * EntrySize / 1048576.0, packedTotal / 1048576.0);

    Tarn::Bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // Both sides run on one thread: its CPU time is the fair measure on a
    // busy machine, where the real time also counts other processes.
    const double vfs = reporter.cpuTimes["BM_OpenEveryEntry"];
    const double zlib = reporter.cpuTimes["BM_ZlibUncompress"];
    if (vfs > 0.0 && zlib > 0.0)
        std::printf("VFS open of every entry: %.2f x zlib uncompress throughput by CPU time, "
                    "%.2f x by real time (target >= 0.90)\n",
                    zlib / vfs,
                    reporter.times["BM_ZlibUncompress"] / reporter.times["BM_OpenEveryEntry"]);
    return 0;
}
