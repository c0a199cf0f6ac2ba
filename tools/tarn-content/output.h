#ifndef TARN_CONTENT_OUTPUT_H
#define TARN_CONTENT_OUTPUT_H

// Where the generators put their files: a folder that mirrors the archive's
// relative paths ("assets/runner.png" lands in OUTDIR/assets/runner.png).
// Each job writes through its own Output; all of them add to one Report,
// which the worker threads share.

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace Content {

// The totals of a run, and its console: lines are printed whole even when
// several threads print at once.
class Report {
public:
    void print(const std::string& line);
    void add(std::size_t bytes);
    std::size_t fileCount() const;
    std::size_t byteCount() const;

private:
    mutable std::mutex m_mutex;
    std::size_t m_files = 0;
    std::size_t m_bytes = 0;
};

class Output {
public:
    Output(std::string folder, Report& report);

    // Writes bytes under the archive path, creating folders as needed and
    // replacing a file left by an earlier run. False after printing one
    // "tarn-content: <file>: ..." line on failure.
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
    std::size_t m_files = 0;
    std::size_t m_bytes = 0;
};

}  // namespace Content

#endif
