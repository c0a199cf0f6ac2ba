#ifndef TARN_PLAYER_PNGSEQUENCE_H
#define TARN_PLAYER_PNGSEQUENCE_H

// Frames as PNG files, one per frame, named by a pattern with the frame's
// number ("shot%05d.png"); numbers continue across spans, so spans rendered
// apart name their frames as one render of the whole would. A pattern
// without a number names the one file of a single frame.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framesink.h"

class PngSequence : public FrameSink {
public:
    // The first frame gets firstNumber.
    PngSequence(std::string pattern, long long firstNumber);
    // Waits for the frames handed over to be written.
    ~PngSequence() override;
    PngSequence(const PngSequence&) = delete;
    PngSequence& operator=(const PngSequence&) = delete;

    // Frames are encoded and written on a thread of their own while the
    // next ones are drawn, at most Queued waiting. A frame that cannot be
    // written is said (one line naming the file and the frame) by the next
    // write or by close, which then return false; no frame after it is
    // written.
    bool write(const unsigned char* rgba, int width, int height) override;
    bool close() override;
    // The files written (once closed: all of them, or those before the one
    // that failed).
    std::string describe() const override;

    static constexpr std::size_t Queued = 2;

private:
    struct Frame {
        std::vector<unsigned char> rgba;
        int width = 0, height = 0;
        long long number = 0;
    };
    void f_work();
    // Writes frame as a PNG file; why it could not, or an empty string.
    std::string f_save(const Frame& frame);
    // Says the failure once; false when there is one.
    bool f_reportFailure();

    std::string m_pattern;
    long long m_first;
    long long m_next;  // the number the next frame handed over gets
    std::vector<unsigned char> m_rgb;  // the writer's: rows flipped, no alpha
    std::vector<unsigned char> m_png;  // the encoded frame, reused frame after frame

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Frame> m_queue;
    std::vector<std::vector<unsigned char>> m_spare;  // buffers to reuse
    bool m_closing = false;
    // The first frame that could not be written (its number) and why.
    long long m_failedAt = -1;
    std::string m_failure;
    bool m_reported = false;
    std::thread m_writer;
};

#endif
