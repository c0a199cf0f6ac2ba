#ifndef TARN_AUDIO_MUSICANALYSIS_H
#define TARN_AUDIO_MUSICANALYSIS_H

// The music measured once, whole, ahead of time, then read by time: a
// log-frequency spectrum, four bands, onsets, level and the bands' running
// integrals, every 5 ms (a hop). Windows are centred on each hop's time, so
// nothing lags the music, and every value depends on the time alone, never
// on the order of queries. The player makes one while loading (on any
// thread) and keeps it as long as the music; once analysed, its const
// methods may be called from any number of threads.
//
// Values are 0..1. The spectrum and the level are decibels below the
// track's loudest moment mapped linearly, 0 dB to 1 and -60 dB or below to
// 0. A band is the power of everything between its edges, measured over at
// most 50 ms (so bass follows each kick, which the spectrum's 1.5 s window
// at 30 Hz cannot), in decibels below that band's own loudest moment,
// mapped the same way; no band is lifted more than 30 dB above the loudest
// band's loudest moment, so a nearly silent band stays low. Onset is the
// rise of the mapped spectrum from one hop to the next, summed over the
// bins where it rises, divided by the track's largest such rise.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Tarn::Audio {

enum class Feature {
    Bass,      // 30-150 Hz
    LowMids,   // 150-600 Hz
    HighMids,  // 600-3000 Hz
    Highs,     // 3000-16000 Hz
    Onset,
    Level,  // RMS of the 40 ms centred on the time
    // Seconds times the band's value, summed over the hops before the time:
    // 0 at the start, never decreasing, its total after the end.
    BassIntegral,
    LowMidsIntegral,
    HighMidsIntegral,
    HighsIntegral,
};

// Scripts name features "bass", "lowmids", "highmids", "highs", "onset",
// "level", "bass_integral", "lowmids_integral", "highmids_integral" and
// "highs_integral", in Feature's order. False (out untouched) for any other.
bool featureByName(std::string_view name, Feature& out);
const std::vector<std::string>& featureNames();

// One feature at the hop rate, owned by whoever asked for it.
class FeatureTrack {
public:
    FeatureTrack() = default;
    // values[i] is the value at i hops; smoothed at the hop rate with time
    // constants in seconds: rising, y moves 1 - exp(-hop / attack) of the
    // way to the value each hop, falling the same with release (0: no
    // smoothing), starting from 0 before the first hop.
    explicit FeatureTrack(std::vector<float> values, float attack = 0.0f, float release = 0.0f);

    // Linear between hops; the first or last value outside. Allocates nothing.
    float at(double t) const;
    const std::vector<float>& values() const { return m_values; }

private:
    std::vector<float> m_values;
};

class MusicAnalysis {
public:
    static constexpr double Hop = 0.005;
    // Bin k is centred at 30 * 2^(k / 12) Hz: 30 Hz to 15360 Hz.
    static constexpr int Bins = 109;
    static constexpr double LowestFrequency = 30.0;
    static constexpr int BinsPerOctave = 12;

    // Analyses frames of channels interleaved samples at rate Hz (mixed to
    // mono), replacing any earlier analysis. Reports and returns false for
    // no samples, no channels or no rate, leaving an empty analysis whose
    // every query reads 0. Silence analyses to zeros. Holds about six bytes
    // per frame of scratch while it works; keeps memoryBytes() afterwards.
    bool analyse(const float* interleaved, std::size_t frames, int channels, int rate);

    double duration() const { return m_duration; }
    // Hop i is at i * Hop seconds; the last one is at or after duration().
    std::size_t hopCount() const { return m_hops; }

    // Linear between hops; 0 before the start and after the last hop (the
    // integrals keep their total there). Allocates nothing.
    float value(Feature feature, double t) const;
    // The feature at every hop, smoothed as FeatureTrack says.
    FeatureTrack track(Feature feature, float attack = 0.0f, float release = 0.0f) const;
    // Bin of hop, 0..1; 0 for a hop or bin out of range.
    float bin(std::size_t hop, int bin) const;
    // Writes Bins values, linear between hops, zeros outside them.
    void spectrumAt(double t, float* bins) const;

    // What the analysis keeps: about 54 KiB per second of music.
    std::size_t memoryBytes() const;

private:
    void f_analyse(const float* interleaved, std::size_t frames, int channels, int rate);
    double f_series(Feature feature, std::size_t hop) const;

    double m_duration = 0.0;
    std::size_t m_hops = 0;
    std::vector<std::uint16_t> m_spectrum;  // Bins per hop, 65535 for 1
    std::vector<float> m_values;            // hopCount() per feature, Bass to Level
    std::vector<double> m_integrals;        // the same for the four integrals
};

}  // namespace Tarn::Audio

#endif
