#include "output.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>

namespace Content {

namespace fs = std::filesystem;

void Report::print(const std::string& line) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::cout << line << std::endl;
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

Output::Output(std::string folder, Report& report)
    : m_folder(std::move(folder)), m_report(report) {}

bool Output::write(const std::string& path, const std::vector<unsigned char>& bytes) {
    const fs::path target = fs::path(m_folder) / fs::path(path);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error)
        return fail(target.parent_path().string() +
                    ": cannot create the folder: " + error.message());
    std::FILE* file = std::fopen(target.string().c_str(), "wb");
    if (!file)
        return fail(target.string() + ": cannot open the file for writing");
    bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    if (!written)
        return fail(target.string() + ": cannot write the file");
    ++m_files;
    m_bytes += bytes.size();
    m_report.add(bytes.size());
    return true;
}

bool Output::writeText(const std::string& path, const std::string& text) {
    return write(path, std::vector<unsigned char>(text.begin(), text.end()));
}

bool Output::fail(const std::string& message) {
    m_report.print("tarn-content: " + message);
    return false;
}

}  // namespace Content
