#ifndef TARN_FRAMEREADER_H
#define TARN_FRAMEREADER_H

// Reads frames back from the GPU without making the CPU wait for each one:
// every read goes into the next of several pixel-buffer objects, and a frame
// is handed over only once `depth` reads are in flight (or at flush), by
// which time the GPU has finished it. Made, used and destroyed with the GL
// context current, one per stream of frames; owns its buffers.

#include <functional>
#include <vector>

namespace Tarn {

class FrameBuffer;

class FrameReader {
public:
    // Receives one frame: width x height RGBA8 pixels, rows bottom-up as GL
    // stores them, valid only during the call. False stops the stream.
    using Sink = std::function<bool(const unsigned char* rgba, int width, int height)>;

    // Frames of width x height, with depth of them in flight (at least 1).
    FrameReader(int width, int height, int depth = 3);
    ~FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Starts reading target 0 of source, which must have the reader's size;
    // when depth reads are already in flight, first hands the oldest to
    // sink. False when sink refused that frame, or after one line when the
    // size differs.
    bool read(const FrameBuffer& source, const Sink& sink);
    // Hands every frame still in flight to sink, oldest first; false as
    // soon as sink refuses one (the rest are dropped).
    bool flush(const Sink& sink);

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    bool f_handOldest(const Sink& sink);

    int m_width;
    int m_height;
    std::vector<unsigned int> m_buffers;
    std::size_t m_next = 0;      // buffer the next read goes into
    std::size_t m_inFlight = 0;  // reads started and not yet handed over
};

}  // namespace Tarn

#endif
