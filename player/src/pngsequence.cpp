#include "pngsequence.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <utility>

#include <stb_image_write.h>

namespace {

// Where the one conversion of pattern starts and ends, or npos when there
// is none; false when the pattern holds anything else after a '%'.
bool findConversion(const std::string& pattern, std::size_t& begin, std::size_t& end) {
    begin = end = std::string::npos;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%')
            continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < pattern.size() && j - i <= 2 &&
               std::isdigit(static_cast<unsigned char>(pattern[j])))
            ++j;
        if (j >= pattern.size() || pattern[j] != 'd' || begin != std::string::npos)
            return false;
        begin = i;
        end = j + 1;
        i = j;
    }
    return true;
}

}  // namespace

bool expandFramePattern(const std::string& pattern, long long number, std::string& path) {
    std::size_t begin = 0, end = 0;
    if (!findConversion(pattern, begin, end))
        return false;
    std::string result;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (i == begin) {
            const std::string spec = pattern.substr(begin + 1, end - begin - 2);
            const bool zeros = !spec.empty() && spec[0] == '0';
            const std::size_t width = spec.empty() ? 0 : std::stoul(spec);
            std::string digits = std::to_string(number < 0 ? -number : number);
            const std::size_t sign = number < 0 ? 1 : 0;
            const std::string fill(width > digits.size() + sign ? width - digits.size() - sign : 0,
                                   zeros ? '0' : ' ');
            result += zeros ? (sign ? "-" : "") + fill + digits : fill + (sign ? "-" : "") + digits;
            i = end - 1;
        } else if (pattern[i] == '%') {
            result += '%';
            ++i;
        } else {
            result += pattern[i];
        }
    }
    path = std::move(result);
    return true;
}

bool hasFrameNumber(const std::string& pattern) {
    std::size_t begin = 0, end = 0;
    return findConversion(pattern, begin, end) && begin != std::string::npos;
}

// stb tries all five row filters at compression level 8; one filter
// (Paeth, which suits rendered pictures) at level 2 writes a frame several
// times faster for slightly larger files, and offline rendering on a CPU
// spends the time on frames instead (offline_render_bench).
PngSequence::PngSequence(std::string pattern, long long firstNumber)
    : m_pattern(std::move(pattern)), m_first(firstNumber), m_next(firstNumber) {
    stbi_write_png_compression_level = 2;
    stbi_write_force_png_filter = 4;
}

PngSequence::~PngSequence() {
    close();
}

bool PngSequence::write(const unsigned char* rgba, int width, int height) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_changed.wait(hold, [this] { return m_queue.size() < Queued || m_failedAt >= 0; });
    if (m_failedAt >= 0) {
        hold.unlock();
        return f_reportFailure();
    }
    Frame frame;
    if (!m_spare.empty()) {
        frame.rgba = std::move(m_spare.back());
        m_spare.pop_back();
    }
    frame.rgba.assign(rgba, rgba + static_cast<std::size_t>(4) * width * height);
    frame.width = width;
    frame.height = height;
    frame.number = m_next++;
    m_queue.push_back(std::move(frame));
    if (!m_writer.joinable())
        m_writer = std::thread(&PngSequence::f_work, this);
    hold.unlock();
    m_changed.notify_all();
    return true;
}

bool PngSequence::close() {
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    if (m_writer.joinable())
        m_writer.join();
    return f_reportFailure();
}

bool PngSequence::f_reportFailure() {
    std::string path;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        if (m_failedAt < 0)
            return true;
        // What describe() names: the frames before the one that failed.
        m_next = m_failedAt;
        if (m_reported)
            return false;
        m_reported = true;
    }
    expandFramePattern(m_pattern, m_failedAt, path);
    std::cout << "[PngSequence] cannot write " << path << ": " << m_failure << " (frame "
              << m_failedAt - m_first + 1 << ")" << std::endl;
    return false;
}

// After a failure the frames still waiting are dropped: a sequence with a
// gap would look whole.
void PngSequence::f_work() {
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        m_changed.wait(hold, [this] { return !m_queue.empty() || m_closing; });
        if (m_queue.empty() || m_failedAt >= 0)
            return;
        Frame frame = std::move(m_queue.front());
        m_queue.pop_front();
        hold.unlock();
        m_changed.notify_all();
        const std::string why = f_save(frame);
        hold.lock();
        m_spare.push_back(std::move(frame.rgba));
        if (!why.empty()) {
            m_failedAt = frame.number;
            m_failure = why;
            m_queue.clear();
            m_changed.notify_all();
            return;
        }
    }
}

// Stored top row first and without alpha: what an image viewer expects of a
// video frame. Encoded in memory, then written with every write and the
// close checked: stb's own file writer says nothing of a full disk, and a
// frame half written must not be left looking like a frame.
std::string PngSequence::f_save(const Frame& frame) {
    std::string path;
    expandFramePattern(m_pattern, frame.number, path);
    const int width = frame.width, height = frame.height;
    m_rgb.resize(static_cast<std::size_t>(3) * width * height);
    for (int y = 0; y < height; ++y) {
        const unsigned char* from =
            frame.rgba.data() + static_cast<std::size_t>(4) * width * (height - 1 - y);
        unsigned char* to = m_rgb.data() + static_cast<std::size_t>(3) * width * y;
        for (int x = 0; x < width; ++x, from += 4, to += 3) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
    m_png.clear();
    const auto append = [](void* context, void* data, int size) {
        auto* png = static_cast<std::vector<unsigned char>*>(context);
        png->insert(png->end(), static_cast<unsigned char*>(data),
                    static_cast<unsigned char*>(data) + size);
    };
    if (!stbi_write_png_to_func(append, &m_png, width, height, 3, m_rgb.data(), 3 * width))
        return "the picture could not be encoded";
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return std::strerror(errno);
    const bool written = std::fwrite(m_png.data(), 1, m_png.size(), file) == m_png.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed)
        return std::string();
    const std::string why = std::strerror(written ? errno : writeError);
    // Only a regular file is a half-written frame; a device (/dev/full) or
    // anything else named stays.
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
        std::filesystem::remove(path, error);
    return why;
}

std::string PngSequence::describe() const {
    if (!hasFrameNumber(m_pattern))
        return m_pattern;
    std::string first, last;
    expandFramePattern(m_pattern, m_first, first);
    expandFramePattern(m_pattern, m_next - 1, last);
    return first + " to " + last;
}
