// tarn-content: writes every generated asset of the Tarn demo (images,
// meshes, video frames and their scripts, the music) into a folder, under the paths
// the archive uses. The same sources give the same bytes on every run.
// Exit status: 0 on success, 1 on failure, 2 on bad usage.

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <stb_image_write.h>

#include "generators.h"
#include "output.h"

namespace {

constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int UsageError = 2;

const char* const Help =
    "usage: tarn-content [--jobs N] OUTDIR\n"
    "\n"
    "Writes every generated asset of the Tarn demo below OUTDIR, each under\n"
    "the path the demo reads it from (OUTDIR/assets/...). Files of an earlier\n"
    "run are replaced. The same sources always give the same bytes.\n"
    "Text is rendered from the DejaVu fonts (Debian's fonts-dejavu-core).\n"
    "\n"
    "options:\n"
    "  --jobs N   run up to N generators at a time, N from 1 to 1024\n"
    "             (default: one per processor)\n"
    "  --help     show this text\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on bad usage.\n";

struct Job {
    const char* name;
    bool (*run)(Content::Output&);
};

// Every group of files the generator writes: a function that writes through
// its own Output (generators.h). A new group is one more row. The longest
// run first, so that the threads run out of work at about the same time.
const Job Jobs[] = {
    {"music", &Content::writeMusic},
    {"dusk sky cross", &Content::writeDuskSkyCross},
    {"material textures", &Content::writeMaterialTextures},
    {"raymarched backdrop", &Content::writeRaymarchBackdrop},
    {"effect images", &Content::writeEffectImages},
    {"retro images", &Content::writeRetroImages},
    {"reflections and video", &Content::writeReflectionAndVideo},
    {"preloader", &Content::writePreloader},
    {"meshes", &Content::writeMeshes},
};

constexpr std::size_t JobCount = sizeof Jobs / sizeof Jobs[0];

constexpr unsigned int MostThreads = 1024;

// --jobs takes a whole number written in digits alone, from 1 to
// MostThreads: "2.5", "1e3", "+4" or "8x" are refused, not read as the
// digits they start with.
bool readThreadCount(const std::string& text, unsigned int& count) {
    unsigned long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < 1 || value > MostThreads)
        return false;
    count = static_cast<unsigned int>(value);
    return true;
}

struct Options {
    std::string folder;
    unsigned int threads = 0;
    bool help = false;
    std::string error;
};

Options parse(const std::vector<std::string>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "--jobs") {
            const std::string wanted =
                "--jobs needs a whole number from 1 to " + std::to_string(MostThreads);
            if (i + 1 == arguments.size())
                options.error = wanted;
            else if (!readThreadCount(arguments[++i], options.threads))
                options.error = wanted + ", not " + arguments[i];
        } else if (!argument.empty() && argument[0] == '-') {
            options.error = "unknown option " + argument;
        } else if (options.folder.empty()) {
            options.folder = argument;
        } else {
            options.error = "only one OUTDIR, not also " + argument;
        }
    }
    if (options.error.empty() && !options.help && options.folder.empty())
        options.error = "OUTDIR is missing";
    return options;
}

std::string megabytes(std::size_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f MB", bytes / 1e6);
    return text;
}

std::string seconds(std::chrono::steady_clock::duration elapsed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", std::chrono::duration<double>(elapsed).count());
    return text;
}

// Runs every job on `threads` threads, the calling one included; false when
// any failed. A thread the system refuses leaves its share to the others.
bool runJobs(const std::string& folder, unsigned int threads, Content::Report& report) {
    const std::size_t count = JobCount;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    const auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            const auto start = std::chrono::steady_clock::now();
            Content::Output out(folder, report);
            const bool ok = Jobs[i].run(out);
            if (!ok) {
                failed = true;
                report.print(std::string("tarn-content: ") + Jobs[i].name + " failed");
                continue;
            }
            report.print(std::string("tarn-content: ") + Jobs[i].name + ": " +
                         std::to_string(out.fileCount()) + " files, " + megabytes(out.byteCount()) +
                         ", " + seconds(std::chrono::steady_clock::now() - start));
        }
    };
    std::vector<std::thread> pool;
    try {
        for (unsigned int t = 1; t < threads; ++t)
            pool.emplace_back(worker);
    } catch (const std::system_error& error) {
        report.print("tarn-content: " + std::to_string(pool.size() + 1) +
                     " threads only: " + error.what());
    }
    worker();
    for (std::thread& thread : pool)
        thread.join();
    return !failed;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
        std::cout << Help;
        return Success;
    }
    if (!options.error.empty()) {
        std::cerr << "tarn-content: " << options.error << "\n"
                  << "Run 'tarn-content --help' for usage." << std::endl;
        return UsageError;
    }
    // Fast rather than small: the archive compresses every entry again.
    stbi_write_png_compression_level = 2;
    std::string why;
    if (!Content::Output::prepareFolder(options.folder, why)) {
        std::cout << "tarn-content: " << why << std::endl;
        std::cerr << "tarn-content: " << why << std::endl;
        return Failure;
    }
    // No more threads than jobs: a thread without a job would only cost.
    const unsigned int wanted =
        options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    const unsigned int threads = static_cast<unsigned int>(std::min<std::size_t>(wanted, JobCount));

    const auto start = std::chrono::steady_clock::now();
    Content::Report report;
    report.print("tarn-content: " + std::to_string(JobCount) + " jobs on " +
                 std::to_string(threads) + (threads == 1 ? " thread" : " threads"));
    const bool ok = runJobs(options.folder, threads, report);
    const std::string summary = std::to_string(report.fileCount()) + " files, " +
                                megabytes(report.byteCount()) + " in " +
                                seconds(std::chrono::steady_clock::now() - start);
    if (!ok) {
        report.printFailure("tarn-content: failed after writing " + summary);
        return Failure;
    }
    std::cout << "tarn-content: wrote " << summary << " to " << options.folder << std::endl;
    return Success;
}
