#ifndef TARN_SOUNDTRACK_H
#define TARN_SOUNDTRACK_H

// The demo's music: decoded whole from a File when constructed (or taken
// decoded, from a loader thread), played once through an OpenAL device of
// its own, and measured as a smoothed spectrum. The demo makes one while
// loading and keeps it to exit. Without a working device it plays silently
// but keeps time on a Clock, so the demo runs the same with or without sound.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "tarn/clock.h"

namespace Tarn {

class File;

class Soundtrack {
public:
    static constexpr int Bands = 256;
    // The spectrum looks at this many samples, ending at the playing one.
    static constexpr int WindowSize = 2 * Bands;
    static constexpr int HistorySize = 6;

    // Decodes the File's bytes in any format libsndfile recognises (WAV,
    // FLAC, Ogg Vorbis among them) and opens the default audio device. The
    // File is only read here. Music that does not decode whole is reported
    // and the Soundtrack stays at position 0; a missing device is reported
    // and the music plays silently. name is what messages call the music.
    explicit Soundtrack(File* file, const std::string& name = "music");

    // Music decoded whole: interleaved frames of channels floats at rate Hz.
    struct Decoded {
        std::vector<float> samples;  // empty when it did not decode
        int rate = 0;                // 0 and 0 when it did not decode
        int channels = 0;
        std::string problem;  // why it did not decode; empty when it did
    };
    // Decodes the File's bytes as the constructor does and reports nothing:
    // on any thread, several at once. Never null.
    static std::shared_ptr<const Decoded> decode(File* file);
    // Plays music that decode() gave, shared, not copied; reports its
    // problem and opens the device as the File's constructor does. Null is
    // music that did not decode.
    explicit Soundtrack(std::shared_ptr<const Decoded> music, const std::string& name = "music");
    ~Soundtrack();

    Soundtrack(const Soundtrack&) = delete;
    Soundtrack& operator=(const Soundtrack&) = delete;

    // Plays once from the beginning, also when already playing. Like
    // setPosition, it starts the spectrum's average afresh.
    void play();
    // Toggles between paused and playing. Ignored before the first play.
    void pause();
    // Moves to seconds truncated to whole milliseconds, playing or paused;
    // a negative time is the start, a time at or past the end ends the
    // music. Ignored before the first play, which starts from 0 anyway.
    // The spectra of earlier calls are forgotten, as if the Soundtrack were
    // new: what spectrum() shows is the music at the new position only.
    void setPosition(float seconds);
    // Band i is the magnitude at i * sampleRate / 512 Hz of the 512 samples
    // (all channels mixed) that end at the position, triangle-windowed, so
    // that a full-scale sine reads about 1; averaged with weights 1, 0.6,
    // 0.3, 0.15, 0.075, 0.0375 over the last six calls, newest first. The
    // first five calls (after construction, play or setPosition) therefore
    // average in zeros. Overwritten by the next call; allocates nothing.
    float* spectrum();

    // Seconds from the start of the music to what plays now, from 0 to
    // duration(); duration() once the music has ended.
    double position() const;
    double duration() const;
    // True from construction until play, then toggled by pause.
    bool paused() const { return m_paused; }

    // The decoded music, interleaved frames of channels() floats; empty when
    // it did not decode. Offline rendering reads spans of it from here.
    const std::vector<float>& samples() const { return m_music->samples; }
    int sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }

private:
    struct Device;
    struct Analysis;

    long long f_frames() const;
    long long f_frame() const;
    long long f_frameAt(float seconds) const;
    void f_measure(std::array<float, Bands>& raw);
    void f_forgetSpectra();

    // Never null; empty samples when the music did not decode.
    std::shared_ptr<const Decoded> m_music;
    int m_rate;
    int m_channels;
    // Null when there is no device (or no music): time then comes from
    // m_clock, counted from m_startFrame.
    std::unique_ptr<Device> m_device;
    Clock m_clock;
    long long m_startFrame;
    // Where a seek left music that had ended while paused; -1 for none.
    // OpenAL cannot pause a stopped source, so resuming starts it there.
    long long m_pendingFrame;
    bool m_started;
    bool m_paused;

    std::unique_ptr<Analysis> m_analysis;
    // Raw spectra of the last calls; m_history[m_newest] is the newest.
    std::array<std::array<float, Bands>, HistorySize> m_history;
    int m_newest;
    std::array<float, Bands> m_spectrum;
};

}  // namespace Tarn

#endif
