// tarn-content: writes every generated asset of the Tarn demo (images,
// meshes, video frames and their scripts, the music) into a folder, under the paths
// the archive uses. The same sources give the same bytes on every run.
// Exit status: 0 on success, 1 on failure, 2 on bad usage.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
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
    "  --jobs N   run N generators at a time (default: one per processor)\n"
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
            const int count = i + 1 < arguments.size() ? std::atoi(arguments[++i].c_str()) : 0;
            if (count < 1)
                options.error = "--jobs needs a number of at least 1";
            options.threads = static_cast<unsigned int>(std::max(count, 1));
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

// Runs every job on `threads` threads; false when any failed.
bool runJobs(const std::string& folder, unsigned int threads, Content::Report& report) {
    const std::size_t count = sizeof Jobs / sizeof Jobs[0];
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
    for (unsigned int t = 1; t < threads; ++t)
        pool.emplace_back(worker);
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
    const unsigned int threads =
        options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());

    const auto start = std::chrono::steady_clock::now();
    Content::Report report;
    const bool ok = runJobs(options.folder, threads, report);
    const std::string summary = std::to_string(report.fileCount()) + " files, " +
                                megabytes(report.byteCount()) + " in " +
                                seconds(std::chrono::steady_clock::now() - start);
    if (!ok) {
        std::cout << "tarn-content: failed after writing " << summary << std::endl;
        return Failure;
    }
    std::cout << "tarn-content: wrote " << summary << " to " << options.folder << std::endl;
    return Success;
}
