#ifndef TARN_PLAYER_VIDEOENCODER_H
#define TARN_PLAYER_VIDEOENCODER_H

// Frames encoded into a video file by the ffmpeg program, fed raw RGBA
// frames on a pipe, with the span's music muxed in. The container and codecs
// follow the file's extension: .mp4, .mov and .m4v get H.264 and AAC; any
// other extension (.mkv, .webm, ...) gets what ffmpeg picks for it. The
// music goes to ffmpeg as a raw float file in the temporary folder, removed
// when the encoder closes.

#include <string>
#include <vector>

#include "framesink.h"

namespace Tarn {
class Soundtrack;
}

class VideoEncoder : public FrameSink {
public:
    // The music of the span [start, start + duration) of music (samples
    // past either end are silence); none when music is null or holds no
    // samples.
    struct Audio {
        std::vector<float> samples;  // interleaved
        int rate = 0;
        int channels = 0;
    };
    static Audio musicSpan(const Tarn::Soundtrack* music, double start, double duration);

    // The arguments ffmpeg gets, audioPath empty for no music.
    static std::vector<std::string> arguments(const std::string& path, int width, int height,
                                              double fps, const Audio& audio,
                                              const std::string& audioPath);

    // Starts ffmpeg; check started() (false after one line saying why).
    VideoEncoder(const std::string& path, int width, int height, double fps, const Audio& audio);
    // Closes if not closed.
    ~VideoEncoder() override;
    // For a signal handler that is about to end the process at once:
    // ends the ffmpeg of the encoder that is open and removes its music
    // file, with async-signal-safe calls only.
    static void abandonFromSignal();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    bool started() const { return m_process > 0; }
    bool write(const unsigned char* rgba, int width, int height) override;
    // Ends the input, waits for ffmpeg and reports its failure.
    bool close() override;
    std::string describe() const override { return m_path; }

private:
    bool f_writeAudio(const Audio& audio);
    bool f_start(const std::vector<std::string>& arguments);

    std::string m_path;
    std::string m_audioPath;
    int m_pipe = -1;
    int m_process = -1;
    bool m_failed = false;
};

#endif
