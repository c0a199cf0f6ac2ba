#ifndef TARN_PLAYER_OFFLINERENDERER_H
#define TARN_PLAYER_OFFLINERENDERER_H

// Renders a span of the demo without a window, frame by frame at exact demo
// times, into PNG files or a video with the span's music. Frame i of a span
// starting at S shows demo time S + i / fps, whatever the frame costs; a
// span of N seconds has round(N * fps) frames, so spans that start on frame
// boundaries join into the frames of the whole. Frames are drawn by the
// program's own per-frame entry point into a frame buffer of the output
// size and read back a few frames late, so the GPU never waits on the CPU.
// Given the PNG files of such a render instead (Settings::frames), it
// encodes them into the video drawing the span would give, music and all:
// spans drawn on many machines join into one video. Progress goes to
// standard error. One per run, made by main next to the program it drives;
// it runs inside the application's loop.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace Tarn {
class Application;
class FrameBuffer;
class FrameReader;
}  // namespace Tarn

class DemoProgram;
class FrameSink;

class OfflineRenderer {
public:
    struct Settings {
        // A video file, a PNG pattern with a frame number ("f%05d.png"), or
        // with png set the one PNG file of a single frame.
        std::string output;
        double fps = 60.0;
        double start = 0.0;
        // --start as a time word (seconds or BAR:BEAT), read on the content's
        // tempo when open() is called; replaces start when given.
        std::string startWord;
        // Negative: the end of the timeline; later ends stop there too.
        double end = -1.0;
        // Exactly one frame, at start, whatever end says.
        bool singleFrame = false;
        // Numbered PNG files (or the one PNG), not a video.
        bool png = false;
        // With a video output: numbered PNG files to encode instead of
        // drawing, frame i read from number round(start * fps) + i as a PNG
        // output numbers them; empty: draw the frames. The video is the
        // one drawing would give, music and all, when the files are the
        // frames a PNG render of the span wrote.
        std::string frames;
        // Frames the GPU may run ahead of the read-back.
        int readDepth = 3;
    };

    // Frames in a span of the given seconds: round(seconds * fps).
    static std::size_t framesIn(double seconds, double fps);

    OfflineRenderer(DemoProgram& program, const Settings& settings);
    ~OfflineRenderer();
    OfflineRenderer(const OfflineRenderer&) = delete;
    OfflineRenderer& operator=(const OfflineRenderer&) = delete;

    // Connects to the application: started opens the output and moves demo
    // time to the first frame; each frame draws and reads one frame and
    // moves demo time on; after the last the output is finished and closed
    // is emitted. The program must be attached first, with playsFrames off.
    void attach(Tarn::Application& app);
    // True once every frame was written and the output finished.
    bool succeeded() const { return m_succeeded; }
    // SIGINT or SIGTERM while attached stops the render at the next frame
    // as any early stop does (the frames so far finished, ffmpeg ended, the
    // music's temporary file removed, "stopped after N of M frames"); a
    // second one ends the process at once, after ending ffmpeg and removing
    // that file. The signal's number, 0 when none came.
    int stopSignal() const;

    // True when open() could not read the start word (a bar time and no
    // tempo line): one line went to standard output and standard error,
    // nothing was written, and the run should end with exit code 2.
    bool refusedTimes() const { return m_refusedTimes; }

    // The steps attach connects, for a driver of its own (the benchmark),
    // with the content loaded and the GL context current. open returns
    // false after one line saying why; renderNext draws and reads the next
    // frame at the demo time it sets, false once all are done or on a
    // failure; finish reads the frames in flight and closes the output.
    bool open();
    bool renderNext();
    bool finish();
    std::size_t frameCount() const { return m_count; }
    double frameTime(std::size_t frame) const;

private:
    void f_onStarted(Tarn::Application& app);
    void f_onFrame(Tarn::Application& app, double delta, double now);
    bool f_makeSink(double duration);
    bool f_drawNext();
    bool f_readNextFile();
    void f_progress(bool last);

    DemoProgram& m_program;
    Settings m_settings;
    std::size_t m_count = 0;
    std::size_t m_done = 0;
    long long m_firstFile = 0;          // the number of the first file read
    std::vector<unsigned char> m_rgba;  // a file's frame, rows bottom-up
    bool m_failed = false;
    bool m_succeeded = false;
    bool m_refusedTimes = false;
    bool m_handlesSignals = false;
    std::unique_ptr<Tarn::FrameBuffer> m_target;
    std::unique_ptr<Tarn::FrameReader> m_reader;
    std::unique_ptr<FrameSink> m_sink;
    std::chrono::steady_clock::time_point m_begin;
    std::chrono::steady_clock::time_point m_lastReport;
};

#endif
