#include "tarn/profiler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include <GL/glew.h>

namespace Tarn {

Profiler* Profiler::ms_active = nullptr;

Profiler::~Profiler() {
    if (ms_active == this)
        stop();
    if (!m_allQueries.empty())
        glDeleteQueries(static_cast<GLsizei>(m_allQueries.size()), m_allQueries.data());
}

void Profiler::start() {
    ms_active = this;
}

void Profiler::stop() {
    if (m_inFrame)
        endFrame();
    f_collect(true);
    if (ms_active == this)
        ms_active = nullptr;
}

void Profiler::beginFrame() {
    if (m_inFrame)
        endFrame();
    f_collect(false);
    m_inFrame = true;
    m_frame.begin = f_timestamp();
    m_cpuStart = std::chrono::steady_clock::now();
}

void Profiler::endFrame() {
    if (!m_inFrame)
        return;
    m_inFrame = false;
    m_frame.end = f_timestamp();
    m_frame.cpuMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_cpuStart)
            .count();
    m_inFlight.push_back(std::move(m_frame));
    m_frame = Frame();
}

int Profiler::f_beginPass(std::string_view head, int number, std::string_view tail) {
    if (!m_inFrame)
        return -1;
    m_label.assign(head);
    if (number != 0) {
        char digits[16];
        std::snprintf(digits, sizeof digits, " %d", number);
        m_label += digits;
    }
    if (!tail.empty()) {
        m_label += ' ';
        m_label += tail;
    }
    auto found = m_passIds.find(m_label);
    if (found == m_passIds.end()) {
        found = m_passIds.emplace(m_label, static_cast<int>(m_passNames.size())).first;
        m_passNames.push_back(m_label);
        m_passMs.emplace_back();
    }
    m_frame.stamps.push_back({found->second, f_timestamp(), 0});
    return static_cast<int>(m_frame.stamps.size()) - 1;
}

void Profiler::f_endPass(int stamp) {
    if (m_inFrame && static_cast<std::size_t>(stamp) < m_frame.stamps.size())
        m_frame.stamps[static_cast<std::size_t>(stamp)].end = f_timestamp();
}

unsigned int Profiler::f_timestamp() {
    if (m_freeQueries.empty()) {
        GLuint query = 0;
        glGenQueries(1, &query);
        m_allQueries.push_back(query);
        m_freeQueries.push_back(query);
    }
    const GLuint query = m_freeQueries.back();
    m_freeQueries.pop_back();
    glQueryCounter(query, GL_TIMESTAMP);
    return query;
}

// The GPU finishes frames in order, so a frame whose last timestamp is
// available has all of its timestamps available: reading it cannot wait.
void Profiler::f_collect(bool wait) {
    while (!m_inFlight.empty()) {
        Frame& oldest = m_inFlight.front();
        if (!wait) {
            GLint available = 0;
            glGetQueryObjectiv(oldest.end, GL_QUERY_RESULT_AVAILABLE, &available);
            if (!available)
                return;
        }
        f_read(oldest);
        f_recycle(oldest);
        m_inFlight.pop_front();
    }
}

void Profiler::f_read(Frame& frame) {
    const auto read = [](GLuint query) {
        GLuint64 nanoseconds = 0;
        glGetQueryObjectui64v(query, GL_QUERY_RESULT, &nanoseconds);
        return static_cast<double>(nanoseconds) * 1e-6;
    };
    m_frameGpu.push_back(read(frame.end) - read(frame.begin));
    m_frameCpu.push_back(frame.cpuMs);
    for (const Stamp& stamp : frame.stamps) {
        if (stamp.end)
            m_passMs[static_cast<std::size_t>(stamp.pass)].push_back(read(stamp.end) -
                                                                     read(stamp.begin));
    }
}

void Profiler::f_recycle(Frame& frame) {
    m_freeQueries.push_back(frame.begin);
    m_freeQueries.push_back(frame.end);
    for (const Stamp& stamp : frame.stamps) {
        m_freeQueries.push_back(stamp.begin);
        if (stamp.end)
            m_freeQueries.push_back(stamp.end);
    }
}

double Profiler::quantile(std::vector<double> values, double p) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    if (p == 0.5 && n % 2 == 0)
        return (values[n / 2 - 1] + values[n / 2]) / 2.0;
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(n)));
    return values[std::clamp<std::size_t>(rank, 1, n) - 1];
}

Profiler::Row Profiler::f_row(const std::string& pass, const std::vector<double>& ms,
                              double frameTotal) {
    Row row;
    row.pass = pass;
    row.count = ms.size();
    row.median = quantile(ms, 0.5);
    row.p95 = quantile(ms, 0.95);
    if (frameTotal > 0.0)
        row.share = std::accumulate(ms.begin(), ms.end(), 0.0) / frameTotal;
    return row;
}

std::vector<Profiler::Row> Profiler::rows() const {
    const double total = std::accumulate(m_frameGpu.begin(), m_frameGpu.end(), 0.0);
    std::vector<Row> result;
    for (std::size_t i = 0; i < m_passNames.size(); ++i)
        result.push_back(f_row(m_passNames[i], m_passMs[i], total));
    result.push_back(f_row("frame (GPU)", m_frameGpu, total));
    result.push_back(f_row("frame (CPU)", m_frameCpu, 0.0));
    return result;
}

void Profiler::report(std::ostream& out) const {
    const std::vector<Row> table = rows();
    std::size_t width = 4;
    for (const Row& row : table)
        width = std::max(width, row.pass.size());
    char line[256];
    std::snprintf(line, sizeof line, "%-*s %7s %10s %10s %7s\n", static_cast<int>(width), "pass",
                  "count", "median ms", "p95 ms", "share");
    out << line;
    for (const Row& row : table) {
        // The CPU line has no share of the GPU's time.
        char share[16] = "      -";
        if (&row != &table.back())
            std::snprintf(share, sizeof share, "%6.1f%%", 100.0 * row.share);
        std::snprintf(line, sizeof line, "%-*s %7zu %10.3f %10.3f %s\n", static_cast<int>(width),
                      row.pass.c_str(), row.count, row.median, row.p95, share);
        out << line;
    }
    out.flush();
}

}  // namespace Tarn
