#ifndef TARN_AUDIO_TEMPOGRID_H
#define TARN_AUDIO_TEMPOGRID_H

// The music's grid of bars and beats: a tempo, the demo time of bar 0 and a
// meter. Scripts and the command line write times on it as BAR:BEAT (0-based:
// "36:0" is the first beat of the 37th bar, "12:2.5" half way through the third
// beat of bar 12). A plain value, read from the demo script's tempo line and
// kept by the script; copy it freely.

#include <string>
#include <vector>

namespace Tarn::Audio {

class TempoGrid {
public:
    // How a time word is read. A bar time is demo time with the offset
    // applied; scene time and lengths count bars from 0 without it.
    enum class Reading {
        DemoTime,
        SceneTime,
        Length,
    };

    static constexpr int MaxBeatsPerBar = 32;

    // bpm must be above 0 and finite, beatsPerBar from 1 to MaxBeatsPerBar
    // (readTempo checks the words of a script line).
    explicit TempoGrid(double bpm, double offset = 0.0, int beatsPerBar = 4);

    double bpm() const { return m_bpm; }
    // Demo seconds of bar 0.
    double offset() const { return m_offset; }
    int beatsPerBar() const { return m_beatsPerBar; }
    double secondsPerBeat() const { return 60.0 / m_bpm; }
    double secondsPerBar() const { return secondsPerBeat() * m_beatsPerBar; }

    // Seconds of BAR:BEAT as read: demo time includes the offset.
    double seconds(double bar, double beat, Reading reading = Reading::DemoTime) const;
    // Beats and bars since bar 0 at demo time t (negative before it); the
    // fraction is the phase within the beat or bar.
    double beat(double t) const;
    double bar(double t) const;

    // The words of "tempo BPM [OFFSET] [BEATS_PER_BAR]" after the keyword.
    // False with the reason in error ("the tempo "0" is not ...").
    static bool readTempo(const std::vector<std::string>& words, TempoGrid& grid,
                          std::string& error);

    // Whether the word is written as a bar time (it holds a colon).
    static bool isBarTime(const std::string& word);
    // The form BAR:BEAT alone: BAR a whole number from 0, BEAT a number from
    // 0. The meter is not known here: the beat's upper bound is not checked.
    static bool readBarTime(const std::string& word, double& bar, double& beat, std::string& error);

    // A time word: plain seconds (the whole word a finite number) or BAR:BEAT
    // on grid, with the beat below the bar's beats. False with the reason in
    // error, written to follow what the word is ("the clip's start " +
    // error): "\"1.5s\" is not a number of seconds", "bar time \"12:5\" has
    // beat 5; a bar has 4 beats", "bar time \"3:1\" needs a tempo line
    // before it" (grid null). seconds is left as it was on failure.
    static bool readTime(const std::string& word, const TempoGrid* grid, Reading reading,
                         double& seconds, std::string& error);

private:
    double m_bpm;
    double m_offset;
    int m_beatsPerBar;
};

}  // namespace Tarn::Audio

#endif
