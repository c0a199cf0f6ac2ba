#include "tarn/diagnostics.h"

#include <algorithm>
#include <atomic>
#include <iostream>
#include <map>
#include <mutex>
#include <utility>

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
thread_local std::vector<HeldReport>* t_held = nullptr;

// Problems printed for each file since it was last read to its end, and
// those held back past MaxPrintedPerFile, with the owner to name them by.
struct FileCount {
    std::size_t printed = 0;
    std::size_t hidden = 0;
    std::string owner;
};
std::map<std::string, FileCount> g_files;

// The length of the valid UTF-8 sequence at text[i], or 0.
std::size_t utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                             : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size() || (length == 2 && lead < 0xC2))
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) >> 6) != 0x2)
            return 0;
    return length;
}

// Control characters and bytes that are not UTF-8 as \xNN: a script that
// is really a binary file reads on a terminal as what it is.
std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(text, i);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            static const char digits[] = "0123456789abcdef";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

void f_report(Severity severity, std::string_view owner, std::string file, int line,
              std::string_view what, bool printLocation) {
    if (t_held) {
        HeldReport held;
        held.record.severity = severity;
        held.record.owner = owner;
        held.record.file = std::move(file);
        held.record.line = line;
        held.record.what = what;
        held.printsLocation = printLocation;
        t_held->push_back(std::move(held));
        return;
    }
    Record record;
    record.severity = severity;
    record.owner = owner;
    record.what = printable(what);
    if (file.empty() && !t_scopes.empty()) {
        record.file = *t_scopes.back().file;
        record.line = t_scopes.back().line ? *t_scopes.back().line : 0;
    } else {
        record.file = std::move(file);
        record.line = line;
    }
    record.file = printable(record.file);
    if (severity == Severity::Problem)
        ++g_problems;

    std::lock_guard<std::mutex> hold(g_lock);
    bool shown = !g_collector || g_collector->prints();
    if (shown && severity == Severity::Problem && !record.file.empty()) {
        FileCount& count = g_files[record.file];
        if (count.printed == MaxPrintedPerFile) {
            ++count.hidden;
            count.owner = record.owner;
            shown = false;
        } else {
            ++count.printed;
        }
    }
    if (shown) {
        std::cout << "[" << owner << "] ";
        if (printLocation && !record.file.empty()) {
            std::cout << record.file;
            if (record.line > 0)
                std::cout << ":" << record.line;
            std::cout << ": ";
        }
        std::cout << record.what << std::endl;
    }
    if (g_collector)
        g_collector->take(record);
}

// Letters inserted, removed, changed or two neighbours swapped ("Fgo" is one
// from "Fog").
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
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

HeldReports::HeldReports() : m_previous(t_held) {
    t_held = &m_reports;
}

HeldReports::~HeldReports() {
    t_held = m_previous;
}

std::vector<HeldReport> HeldReports::take() {
    return std::exchange(m_reports, {});
}

void replay(const std::vector<HeldReport>& reports) {
    for (const HeldReport& held : reports)
        f_report(held.record.severity, held.record.owner, held.record.file, held.record.line,
                 held.record.what, held.printsLocation);
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

void endOfFile(const std::string& file) {
    std::lock_guard<std::mutex> hold(g_lock);
    const auto found = g_files.find(printable(file));
    if (found == g_files.end())
        return;
    if (found->second.hidden > 0)
        std::cout << "[" << found->second.owner << "] " << found->first << ": "
                  << found->second.hidden << " more problem"
                  << (found->second.hidden == 1 ? "" : "s")
                  << " not shown; tarn-demo --check lists them all" << std::endl;
    g_files.erase(found);
}

std::string nearest(std::string_view name, const std::vector<std::string>& known) {
    const std::string wanted = lowered(name);
    std::size_t best = std::string::npos;
    const std::string* found = nullptr;
    for (const std::string& candidate : known) {
        const std::size_t distance = editDistance(wanted, lowered(candidate));
        if (distance < best) {
            best = distance;
            found = &candidate;
        }
    }
    const std::size_t allowed = std::max<std::size_t>(1, wanted.size() / 3);
    return found && best <= allowed ? *found : std::string();
}

std::string suggestion(std::string_view name, const std::vector<std::string>& known) {
    if (known.empty())
        return std::string();
    const std::string close = nearest(name, known);
    if (!close.empty())
        return "; did you mean \"" + close + "\"?";
    if (known.size() > 8)
        return std::string();
    std::string list = "; valid names: ";
    for (std::size_t i = 0; i < known.size(); ++i)
        list += (i ? ", " : "") + known[i];
    return list;
}

}  // namespace Tarn::Diagnostics
