#include "output.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace Content {

namespace fs = std::filesystem;

namespace {

std::FILE* openWithStdio(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

// Writes all of bytes to a new file at path and closes it; every write and
// the close are checked, since a full disk often shows only when the close
// flushes the buffered tail. Empty on success, else what failed and the
// system's reason; a file that failed is removed.
std::string writeWhole(FileOpener open, const fs::path& path,
                       const std::vector<unsigned char>& bytes) {
    std::FILE* file = open(path.string().c_str(), "wb");
    if (!file)
        return std::string("cannot open the file for writing: ") + std::strerror(errno);
    int failure = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        failure = errno ? errno : EIO;
    if (std::fclose(file) != 0 && !failure)
        failure = errno ? errno : EIO;
    if (!failure)
        return {};
    std::error_code ignored;
    fs::remove(path, ignored);
    return std::string("cannot write the file: ") + std::strerror(failure);
}

}  // namespace

void Report::print(const std::string& line) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::cout << line << std::endl;
}

void Report::printFailure(const std::string& line) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::cout << line << std::endl;
    std::cerr << line << std::endl;
}

void Report::add(std::size_t bytes) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_files;
    m_bytes += bytes;
}

std::size_t Report::fileCount() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_files;
}

std::size_t Report::byteCount() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytes;
}

Output::Output(std::string folder, Report& report, FileOpener open)
    : m_folder(std::move(folder)), m_report(report), m_open(open ? open : &openWithStdio) {}

bool Output::prepareFolder(const std::string& folder, std::string& why, FileOpener open) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        why = folder + ": cannot create the folder: " + error.message();
        return false;
    }
    if (!fs::is_directory(folder, error)) {
        why = folder + ": not a folder";
        return false;
    }
    const fs::path probe = fs::path(folder) / ".tarn-content-probe.new";
    const std::string failed = writeWhole(open ? open : &openWithStdio, probe, {'\n'});
    if (!failed.empty()) {
        why = folder + ": cannot write there (" + failed + ")";
        return false;
    }
    fs::remove(probe, error);
    return true;
}

bool Output::write(const std::string& path, const std::vector<unsigned char>& bytes) {
    const fs::path target = fs::path(m_folder) / fs::path(path);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error)
        return fail(target.parent_path().string() +
                    ": cannot create the folder: " + error.message());
    fs::path temporary = target;
    temporary += ".new";
    const std::string failed = writeWhole(m_open, temporary, bytes);
    if (!failed.empty())
        return fail(target.string() + ": " + failed);
    fs::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return fail(target.string() + ": cannot replace the file: " + error.message());
    }
    ++m_files;
    m_bytes += bytes.size();
    m_report.add(bytes.size());
    return true;
}

bool Output::writeText(const std::string& path, const std::string& text) {
    return write(path, std::vector<unsigned char>(text.begin(), text.end()));
}

bool Output::fail(const std::string& message) {
    m_report.printFailure("tarn-content: " + message);
    return false;
}

}  // namespace Content
