#include "tarn/diagnostics.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <mutex>

namespace Tarn::Diagnostics {

namespace {

struct Location {
    const std::string* file;
    const int* line;
};

std::mutex g_lock;
Collector* g_collector = nullptr;
std::atomic<std::size_t> g_problems{0};
thread_local std::vector<Location> t_scopes;

void f_report(Severity severity, std::string_view owner, std::string file, int line,
              std::string_view what, bool printLocation) {
    Record record;
    record.severity = severity;
    record.owner = owner;
    record.what = what;
    if (file.empty() && !t_scopes.empty()) {
        record.file = *t_scopes.back().file;
        record.line = t_scopes.back().line ? *t_scopes.back().line : 0;
    } else {
        record.file = std::move(file);
        record.line = line;
    }
    if (severity == Severity::Problem)
        ++g_problems;

    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_collector || g_collector->prints()) {
        std::cout << "[" << owner << "] ";
        if (printLocation && !record.file.empty()) {
            std::cout << record.file;
            if (record.line > 0)
                std::cout << ":" << record.line;
            std::cout << ": ";
        }
        std::cout << what << std::endl;
    }
    if (g_collector)
        g_collector->take(record);
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = a[i - 1] == b[j - 1];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

}  // namespace

std::string Record::located() const {
    if (file.empty())
        return "[" + owner + "] " + what;
    return file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what;
}

void ProblemList::take(const Record& record) {
    if (record.severity == Severity::Problem)
        m_problems.push_back(record);
}

std::vector<std::string> ProblemList::lines() const {
    std::vector<std::string> out;
    for (const Record& record : m_problems)
        out.push_back(record.located());
    return out;
}

ScopedCollector::ScopedCollector(Collector& collector) {
    std::lock_guard<std::mutex> hold(g_lock);
    m_previous = g_collector;
    g_collector = &collector;
}

ScopedCollector::~ScopedCollector() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_collector = m_previous;
}

ScriptScope::ScriptScope(const std::string& file, const int* line) {
    t_scopes.push_back(Location{&file, line});
}

ScriptScope::~ScriptScope() {
    t_scopes.pop_back();
}

void note(std::string_view owner, std::string_view what) {
    f_report(Severity::Note, owner, std::string(), 0, what, false);
}

void problem(std::string_view owner, std::string_view what) {
    f_report(Severity::Problem, owner, std::string(), 0, what, false);
}

void problemAt(std::string_view owner, const std::string& file, int line, std::string_view what) {
    f_report(Severity::Problem, owner, file, line, what, true);
}

std::size_t problemCount() {
    return g_problems.load();
}

// Case is ignored when measuring ("glow" finds "Glow"); a name is close when
// at most a third of its letters (at least one) must change.
std::string suggestion(std::string_view name, const std::vector<std::string>& known) {
    if (known.empty())
        return std::string();
    const std::string wanted = lowered(name);
    std::size_t best = std::string::npos;
    const std::string* nearest = nullptr;
    for (const std::string& candidate : known) {
        const std::size_t distance = editDistance(wanted, lowered(candidate));
        if (distance < best) {
            best = distance;
            nearest = &candidate;
        }
    }
    const std::size_t allowed = std::max<std::size_t>(1, wanted.size() / 3);
    if (nearest && best <= allowed)
        return "; did you mean \"" + *nearest + "\"?";
    if (known.size() > 8)
        return std::string();
    std::string list = "; valid names: ";
    for (std::size_t i = 0; i < known.size(); ++i)
        list += (i ? ", " : "") + known[i];
    return list;
}

}  // namespace Tarn::Diagnostics
