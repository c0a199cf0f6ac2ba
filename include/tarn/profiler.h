#ifndef TARN_PROFILER_H
#define TARN_PROFILER_H

// Where a frame's time goes: GPU timestamps written at the boundaries of
// every pass (the renderer's G-buffer, each light, each effect pass, the
// final blit) and read back only once the GPU has passed
// them, so profiling never makes the CPU wait; plus the CPU time of each
// frame. Off unless a program makes one and starts it: a pass then pays one
// test of a null pointer. At most one is started at a time; it is used on
// the thread with the GL context, and made, stopped and destroyed while that
// context is current.

#include <chrono>
#include <deque>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace Tarn {

class Profiler {
public:
    // One line of the table. Times in milliseconds; share is the pass's
    // total over the total GPU time of all frames (0 for the CPU line).
    struct Row {
        std::string pass;
        std::size_t count = 0;
        double median = 0.0;
        double p95 = 0.0;
        double share = 0.0;
    };

    // Times a pass while a profiler is started; otherwise does nothing.
    // The label is head, or "head number tail", or "head number" when tail
    // is empty ("Light 1", "Glow pass 2"). Passes may nest.
    class Scope {
    public:
        // Inline, so that with no profiler started a pass pays one test.
        explicit Scope(std::string_view head, int number = 0, std::string_view tail = {}) {
            if (ms_active)
                m_stamp = ms_active->f_beginPass(head, number, tail);
        }
        ~Scope() {
            if (ms_active && m_stamp >= 0)
                ms_active->f_endPass(m_stamp);
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        int m_stamp = -1;
    };

    Profiler() = default;
    // Stops first if started, then deletes its queries.
    ~Profiler();
    Profiler(const Profiler&) = delete;
    Profiler& operator=(const Profiler&) = delete;

    // Makes this the profiler that scopes report to, replacing any other.
    void start();
    // Waits for every timestamp still in flight, reads them, and stops.
    void stop();
    // The started profiler, or null.
    static Profiler* active() { return ms_active; }

    // Bracket one frame; scopes outside a frame are not timed. beginFrame
    // first reads every earlier frame the GPU has finished, without waiting.
    void beginFrame();
    void endFrame();

    // Frames whose timestamps have been read.
    std::size_t frames() const { return m_frameGpu.size(); }
    // One row per pass in the order first seen, then "frame (GPU)" and
    // "frame (CPU)".
    std::vector<Row> rows() const;
    // The rows as a table with a heading line.
    void report(std::ostream& out) const;

    // The p-th quantile (0 < p <= 1) of values by nearest rank, the median
    // (p = 0.5) as the mean of the middle two of an even count; 0 when empty.
    static double quantile(std::vector<double> values, double p);

private:
    struct Stamp {
        int pass;
        unsigned int begin;
        unsigned int end;
    };
    struct Frame {
        unsigned int begin = 0;
        unsigned int end = 0;
        double cpuMs = 0.0;
        std::vector<Stamp> stamps;
    };

    int f_beginPass(std::string_view head, int number, std::string_view tail);
    void f_endPass(int stamp);
    unsigned int f_timestamp();
    // Reads finished frames from the front of the queue; waits when asked.
    void f_collect(bool wait);
    void f_read(Frame& frame);
    void f_recycle(Frame& frame);
    static Row f_row(const std::string& pass, const std::vector<double>& ms, double frameTotal);

    static Profiler* ms_active;

    bool m_inFrame = false;
    Frame m_frame;
    std::chrono::steady_clock::time_point m_cpuStart;
    std::deque<Frame> m_inFlight;
    std::vector<unsigned int> m_freeQueries;
    std::vector<unsigned int> m_allQueries;
    std::string m_label;  // reused, so a known label allocates nothing
    std::map<std::string, int, std::less<>> m_passIds;
    std::vector<std::string> m_passNames;
    std::vector<std::vector<double>> m_passMs;
    std::vector<double> m_frameGpu;
    std::vector<double> m_frameCpu;
};

}  // namespace Tarn

#endif
