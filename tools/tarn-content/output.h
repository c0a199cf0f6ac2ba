#ifndef TARN_CONTENT_OUTPUT_H
#define TARN_CONTENT_OUTPUT_H

// Where the generators put their files: a folder that mirrors the archive's
// relative paths ("assets/runner.png" lands in OUTDIR/assets/runner.png).
// Each job writes through its own Output; all of them add to one Report,
// which the worker threads share.

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace Content {

// The totals of a run, and its console: lines are printed whole even when
// several threads print at once.
class Report {
public:
    void print(const std::string& line);
    // A failure: printed on standard output with the rest, and on standard
    // error, where a build running the generator looks.
    void printFailure(const std::string& line);
    void add(std::size_t bytes);
    std::size_t fileCount() const;
    std::size_t byteCount() const;

private:
    mutable std::mutex m_mutex;
    std::size_t m_files = 0;
    std::size_t m_bytes = 0;
};

// Opens a file the way std::fopen does. Output writes through one, so that a
// test can hand it a file that fails as a full disk does (/dev/full).
using FileOpener = std::FILE* (*)(const char* path, const char* mode);

class Output {
public:
    Output(std::string folder, Report& report, FileOpener open = nullptr);

    // Makes the folder if it is missing and proves it takes a file, by
    // writing one and removing it again, so that an unwritable folder stops
    // the run before any generator works. False with the reason in `why`.
    static bool prepareFolder(const std::string& folder, std::string& why,
                              FileOpener open = nullptr);

    // Writes bytes under the archive path, creating folders as needed. The
    // bytes go to "<file>.new" beside the file, which is renamed over the
    // file only once every byte is written and the file closed, so a full
    // disk leaves the earlier run's file or none, never a short one. False
    // after printing one "tarn-content: <file>: ..." line on failure.
    bool write(const std::string& path, const std::vector<unsigned char>& bytes);
    bool writeText(const std::string& path, const std::string& text);
    // Reports a failure of the job in one "tarn-content: ..." line; false.
    bool fail(const std::string& message);

    // What this job has written so far.
    std::size_t fileCount() const { return m_files; }
    std::size_t byteCount() const { return m_bytes; }

private:
    std::string m_folder;
    Report& m_report;
    FileOpener m_open;
    std::size_t m_files = 0;
    std::size_t m_bytes = 0;
};

}  // namespace Content

#endif
