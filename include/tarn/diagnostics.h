#ifndef TARN_DIAGNOSTICS_H
#define TARN_DIAGNOSTICS_H

// One way for the engine and the player to say something about content: a
// line on standard output ("[Scene] assets/a.tarn:14: unknown material
// "stone"") and a record handed to the collector installed, if any. A
// normal run prints what it always printed; `tarn-demo --check` installs a
// quiet collector and prints only the problems; tests install a collector
// instead of reading standard output.
//
// Where a report names no script, it takes the script and line being parsed
// at the time on this thread (a ScriptScope, which the LUCE parser opens
// around each parse), so a missing image reported by the archive is placed
// at the material line that asked for it.
//
// Reports may come from any thread; the collector is called under a lock in
// the order the reports were made. A loader thread holds its reports
// instead (HeldReports) and the GL thread replays them where a serial load
// would have made them, so the log does not depend on thread timing.

#include <string>
#include <string_view>
#include <vector>

namespace Tarn::Diagnostics {

enum class Severity {
    Note,     // progress and chatter: "[Material] Setting ..."
    Problem,  // something in the content is wrong; what was done instead is said
};

struct Record {
    Severity severity = Severity::Note;
    std::string owner;  // the class in brackets, without them: "Scene"
    std::string file;   // the script the problem is at; empty when none is known
    int line = 0;       // 1-based; 0 when not known
    std::string what;   // the message without owner and location
    // "file:line: what", "file: what" or "[owner] what": the form --check prints.
    std::string located() const;
};

class Collector {
public:
    virtual ~Collector() = default;
    virtual void take(const Record& record) = 0;
    // Whether reports are still printed on standard output while this
    // collector is installed.
    virtual bool prints() const { return true; }
};

// Keeps every problem (notes are dropped) and can hide the printed lines.
class ProblemList : public Collector {
public:
    explicit ProblemList(bool print = true) : m_print(print) {}
    void take(const Record& record) override;
    bool prints() const override { return m_print; }
    const std::vector<Record>& problems() const { return m_problems; }
    // Each problem's located() line, in order.
    std::vector<std::string> lines() const;

private:
    bool m_print;
    std::vector<Record> m_problems;
};

// Installs a collector for its own lifetime, restoring the previous one.
class ScopedCollector {
public:
    explicit ScopedCollector(Collector& collector);
    ~ScopedCollector();
    ScopedCollector(const ScopedCollector&) = delete;
    ScopedCollector& operator=(const ScopedCollector&) = delete;

private:
    Collector* m_previous;
};

// The script and line being read on this thread, for reports that name none.
// line points at the reader's own counter, read when a report is made.
class ScriptScope {
public:
    ScriptScope(const std::string& file, const int* line);
    ~ScriptScope();
    ScriptScope(const ScriptScope&) = delete;
    ScriptScope& operator=(const ScriptScope&) = delete;
};

// A report kept back by HeldReports: a record whose location is still to be
// found, and whether it prints one.
struct HeldReport {
    Record record;
    bool printsLocation = false;
};

// While it lives, reports made on this thread are kept here instead of being
// printed, collected or counted (nested holds each keep their own). Loader
// threads decode under one and hand the reports to the GL thread.
class HeldReports {
public:
    HeldReports();
    ~HeldReports();
    HeldReports(const HeldReports&) = delete;
    HeldReports& operator=(const HeldReports&) = delete;
    // What was reported so far on this thread, in order; the hold goes on.
    std::vector<HeldReport> take();

private:
    std::vector<HeldReport> m_reports;
    std::vector<HeldReport>* m_previous;
};

// Makes held reports on the calling thread, in their order, as if they were
// made here and now: a report that named no script is placed at this
// thread's innermost script scope.
void replay(const std::vector<HeldReport>& reports);

// "[owner] what"; the record is placed at the innermost script scope.
void note(std::string_view owner, std::string_view what);
void problem(std::string_view owner, std::string_view what);
// "[owner] file:line: what" (line 0: "[owner] file: what").
void problemAt(std::string_view owner, const std::string& file, int line, std::string_view what);

// At most this many problems of one file are printed each time it is read;
// the rest are counted, and given to the collector as usual (--check lists
// them all). Control characters and bytes that are not UTF-8 in a report
// are printed and collected as \xNN.
constexpr std::size_t MaxPrintedPerFile = 20;
// The file was read to its end (the LUCE parser says so after each parse):
// prints "[owner] file: N more problems not shown; ..." when some were held
// back, and counts the file's problems from 0 again.
void endOfFile(const std::string& file);

// The number of problems reported since the program started, from any
// collector or none; loading reports the difference as its summary.
std::size_t problemCount();

// The known name nearest to name when it is close (at most a third of its
// letters changed, at least one; case ignored), else an empty string.
std::string nearest(std::string_view name, const std::vector<std::string>& known);

// For a name that matched nothing: "; did you mean "x"?" with the nearest of
// the known names when it is close, else "; valid names: a, b, c" when there
// are at most eight, else nothing.
std::string suggestion(std::string_view name, const std::vector<std::string>& known);

}  // namespace Tarn::Diagnostics

#endif
