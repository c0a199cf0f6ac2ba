#include "tarn/audio/musicanalysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>

#include <kiss_fftr.h>

#include "tarn/diagnostics.h"

// How the spectrum is measured: the music, mixed to mono, is halved in rate
// again and again (a half-band low-pass, then every other sample), one
// octave band per rate. Every band is measured with the same 256-sample
// Hann window at its own rate, so a window spans 5.8 ms at 44.1 kHz for
// 8-16 kHz and 1.5 s at 172 Hz for 30-60 Hz: the usual trade of time for
// frequency, and no FFT longer than 256. A bin's power is its triangle
// (peak at its centre, feet at its neighbours' centres) over the FFT's
// power, so every frequency is counted once. Long windows change slowly,
// so a band's window is placed on every hop only while a hop is under a
// quarter of it; in between, its mapped values are linear between windows.
// The four bands are read from the same FFTs, at the lowest rate whose
// window is at most 50 ms long.

namespace Tarn::Audio {

namespace {

constexpr int ValueFeatures = 6;  // Bass to Level; the integrals follow
constexpr int Bands = 4;
constexpr double BandEdges[Bands + 1] = {30.0, 150.0, 600.0, 3000.0, 16000.0};
constexpr double RangeDb = 60.0;
// No band is lifted more than this above the loudest band's loudest moment.
constexpr double MostLiftDb = 30.0;
// Readings are floored at -300 dB; nothing louder than this is silence.
constexpr double SilenceDb = -250.0;
constexpr double LevelWindow = 0.04;
constexpr double BandWindow = 0.05;
constexpr int WindowSize = 256;
// The octave band at rate r measures bins from Lower * r up to twice that.
// The half-band filter keeps below 0.18 of the higher rate (0.36 r) free of
// aliases, which leaves room for the top bin's triangle.
constexpr double Lower = 0.17;
constexpr float CodeScale = 65535.0f;

const std::vector<std::string> Names = {
    "bass",          "lowmids",          "highmids",          "highs",         "onset", "level",
    "bass_integral", "lowmids_integral", "highmids_integral", "highs_integral"};

double binFrequency(int k) {
    return MusicAnalysis::LowestFrequency *
           std::exp2(static_cast<double>(k) / MusicAnalysis::BinsPerOctave);
}

float mapDb(float db) {
    return std::clamp(1.0f + db / static_cast<float>(RangeDb), 0.0f, 1.0f);
}

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

// Mono samples with Pad zeros on either side, so that filters and vector
// code may read a little past either end and find silence.
class Signal {
public:
    static constexpr std::size_t Pad = 64;

    // Room for size samples rounded up to eight; the caller writes them all,
    // then calls end() to silence what follows size.
    explicit Signal(std::size_t size) : m_size(size), m_padded(Pad + (size + 7) / 8 * 8 + Pad) {
        std::fill(m_padded.begin(), m_padded.begin() + Pad, 0.0f);
    }
    void end() {
        std::fill(m_padded.begin() + static_cast<std::ptrdiff_t>(Pad + m_size), m_padded.end(),
                  0.0f);
    }

    std::size_t size() const { return m_size; }
    std::size_t chunks() const { return (m_size + 7) / 8; }
    const float* data() const { return m_padded.data() + Pad; }
    float* data() { return m_padded.data() + Pad; }

private:
    std::size_t m_size;
    std::vector<float> m_padded;
};

// A 39-tap half-band low-pass (Kaiser window, beta 7.86): within 0.002 dB
// of flat below 0.18 of the rate, at least 78 dB down from 0.32. Its odd
// taps are symmetric and its even ones zero but the centre, 0.5.
class HalfBand {
public:
    static constexpr int Pairs = 10;

    HalfBand() {
        const double reach = 2.0 * Pairs - 1.0;
        std::array<double, Pairs> taps{};
        double sum = 0.5;
        for (int i = 0; i < Pairs; ++i) {
            const double n = 2.0 * i + 1.0;
            const double shape = std::sqrt(std::max(0.0, 1.0 - (n / reach) * (n / reach)));
            const double tap =
                std::sin(M_PI * n / 2.0) / (M_PI * n) * besselI0(7.86 * shape) / besselI0(7.86);
            taps[i] = tap;
            sum += 2.0 * tap;
        }
        m_centre = static_cast<float>(0.5 / sum);
        for (int i = 0; i < Pairs; ++i)
            m_taps[i] = static_cast<float>(taps[i] / sum);
    }

    // Sample j of the result is centred on sample 2j of in: no delay. Even
    // samples other than the centre meet zero taps, so a block of samples is
    // first split into even and odd ones; then each tap runs along them.
    Signal halve(const Signal& in) const {
        Signal out((in.size() + 1) / 2);
        constexpr std::size_t Block = 1024;
        std::array<float, Block + 2 * Pairs + 8> even, odd, unused;
        for (std::size_t begin = 0; begin < 8 * out.chunks(); begin += Block) {
            const std::size_t n = std::min(Block, 8 * out.chunks() - begin);
            const float* x = in.data() + 2 * begin;
            deinterleave(even.data(), unused.data(), x, n / 8);
            deinterleave(unused.data(), odd.data(), x - 2 * Pairs, (n + 2 * Pairs + 7) / 8);
            float* y = out.data() + begin;
            for (std::size_t j = 0; j < n; ++j)
                y[j] = m_centre * even[j];
            for (int i = 0; i < Pairs; ++i)
                addTapped(y, odd.data() + Pairs - i - 1, odd.data() + Pairs + i, m_taps[i], n / 8);
        }
        out.end();
        return out;
    }

private:
    // Eight at a time, for vector code.
    static void deinterleave(float* __restrict even, float* __restrict odd,
                             const float* __restrict pairs, std::size_t chunks) {
        for (std::size_t c = 0; c < chunks; ++c)
            for (std::size_t k = 0; k < 8; ++k) {
                even[8 * c + k] = pairs[16 * c + 2 * k];
                odd[8 * c + k] = pairs[16 * c + 2 * k + 1];
            }
    }
    static void addTapped(float* __restrict out, const float* __restrict before,
                          const float* __restrict after, float tap, std::size_t chunks) {
        for (std::size_t c = 0; c < chunks; ++c)
            for (std::size_t k = 0; k < 8; ++k)
                out[8 * c + k] += tap * (before[8 * c + k] + after[8 * c + k]);
    }

    std::array<float, Pairs> m_taps{};
    float m_centre = 0.5f;
};

struct Weight {
    int fft;
    float weight;
};

// What one octave's windows measure: bins (id below Bins) and bands (id
// Bins + band), each a weighted sum of the FFT's power.
struct Output {
    int id;
    std::vector<Weight> weights;
};

struct Octave {
    double rate = 0.0;
    int firstBin = 0, endBin = 0;
    std::size_t step = 1;  // hops between windows
    std::vector<Output> outputs;
    int lowestFft = WindowSize / 2, highestFft = 0;

    std::size_t frameCount(std::size_t hops) const { return (hops - 1 + step - 1) / step + 1; }
    void add(int id, std::vector<Weight> weights) {
        if (!weights.empty()) {
            lowestFft = std::min(lowestFft, weights.front().fft);
            highestFft = std::max(highestFft, weights.back().fft);
        }
        outputs.push_back({id, std::move(weights)});
    }
};

// Bin k's triangle over FFT bins at this rate, scaled so that a sine of
// amplitude 1 on the bin's centre reads about 1.
std::vector<Weight> triangle(int k, double rate) {
    const double low = binFrequency(k - 1), centre = binFrequency(k), high = binFrequency(k + 1);
    const double spacing = rate / WindowSize;
    const double scale = 16.0 / (static_cast<double>(WindowSize) * WindowSize);
    std::vector<Weight> weights;
    for (int m = static_cast<int>(std::ceil(low / spacing));
         m <= WindowSize / 2 && m * spacing < high; ++m) {
        const double f = m * spacing;
        const double w = f <= centre ? (f - low) / (centre - low) : (high - f) / (high - centre);
        if (w > 0.0)
            weights.push_back({m, static_cast<float>(w * scale)});
    }
    return weights;
}

// Each FFT bin counts with the share of its width inside low..high.
std::vector<Weight> span(double low, double high, double rate) {
    const double spacing = rate / WindowSize;
    std::vector<Weight> weights;
    for (int m = 0; m <= WindowSize / 2; ++m) {
        const double inside =
            std::min(high, (m + 0.5) * spacing) - std::max(low, (m - 0.5) * spacing);
        if (inside > 0.0)
            weights.push_back({m, static_cast<float>(inside / spacing)});
    }
    return weights;
}

// A band is measured at the lowest rate whose window is at most BandWindow
// long and whose clean range reaches the band's top: 46 ms for bass and low
// mids at 44.1 kHz, 23 ms for high mids, 5.8 ms for highs.
std::size_t bandOctave(const std::vector<Octave>& octaves, double top) {
    std::size_t o = 0;
    while (o + 1 < octaves.size() && WindowSize / octaves[o + 1].rate <= BandWindow &&
           2.0 * Lower * octaves[o + 1].rate >= top)
        ++o;
    return o;
}

std::vector<Octave> planOctaves(int rate) {
    std::vector<Octave> octaves;
    int nextBin = MusicAnalysis::Bins;
    for (int level = 0; nextBin > 0; ++level) {
        Octave octave;
        octave.rate = rate / std::exp2(level);
        octave.endBin = nextBin;
        octave.firstBin = nextBin;
        const bool lowest = Lower * octave.rate <= binFrequency(0);
        while (octave.firstBin > 0 &&
               (lowest || binFrequency(octave.firstBin - 1) >= Lower * octave.rate))
            --octave.firstBin;
        const double quarterWindow = WindowSize / 4.0 / octave.rate;
        while (octave.step * 2 * MusicAnalysis::Hop <= quarterWindow)
            octave.step *= 2;
        for (int k = octave.firstBin; k < octave.endBin; ++k)
            octave.add(k, triangle(k, octave.rate));
        nextBin = octave.firstBin;
        octaves.push_back(std::move(octave));
    }
    for (int b = 0; b < Bands; ++b) {
        Octave& octave = octaves[bandOctave(octaves, BandEdges[b + 1])];
        octave.add(MusicAnalysis::Bins + b, span(BandEdges[b], BandEdges[b + 1], octave.rate));
    }
    return octaves;
}

struct PlanFreer {
    void operator()(kiss_fftr_cfg plan) const { kiss_fftr_free(plan); }
};

// Decibels of an octave's outputs at each of its windows, frame-major.
class WindowMeasure {
public:
    WindowMeasure() : m_plan(kiss_fftr_alloc(WindowSize, 0, nullptr, nullptr)) {
        for (int n = 0; n < WindowSize; ++n) {
            const double s = std::sin(M_PI * n / WindowSize);
            m_window[n] = static_cast<float>(s * s);
        }
    }

    std::vector<float> measure(const Octave& octave, const Signal& signal, std::size_t hops) {
        const std::size_t outputs = octave.outputs.size();
        const std::size_t frames = octave.frameCount(hops);
        std::vector<float> db(frames * outputs);
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const double t = static_cast<double>(frame * octave.step) * MusicAnalysis::Hop;
            f_transform(signal, std::llround(t * octave.rate) - WindowSize / 2, octave);
            for (std::size_t i = 0; i < outputs; ++i) {
                float power = 0.0f;
                for (const Weight& w : octave.outputs[i].weights)
                    power += w.weight * m_power[w.fft];
                db[frame * outputs + i] = 10.0f * std::log10(power + 1e-30f);
            }
        }
        return db;
    }

private:
    void f_transform(const Signal& signal, long long start, const Octave& octave) {
        const long long size = static_cast<long long>(signal.size());
        if (start >= 0 && start + WindowSize <= size) {
            const float* x = signal.data() + start;
            for (int n = 0; n < WindowSize; ++n)
                m_input[n] = m_window[n] * x[n];
        } else {
            for (int n = 0; n < WindowSize; ++n) {
                const long long i = start + n;
                m_input[n] = i >= 0 && i < size ? m_window[n] * signal.data()[i] : 0.0f;
            }
        }
        kiss_fftr(m_plan.get(), m_input.data(), m_output.data());
        for (int m = octave.lowestFft; m <= octave.highestFft; ++m)
            m_power[m] = m_output[m].r * m_output[m].r + m_output[m].i * m_output[m].i;
    }

    std::unique_ptr<kiss_fftr_state, PlanFreer> m_plan;
    std::array<float, WindowSize> m_window{};
    std::array<float, WindowSize> m_input{};
    std::array<kiss_fft_cpx, WindowSize / 2 + 1> m_output{};
    std::array<float, WindowSize / 2 + 1> m_power{};
};

// Eight frames at a time, for vector code.
void mixStereo(float* __restrict mono, const float* __restrict stereo, std::size_t chunks) {
    for (std::size_t c = 0; c < chunks; ++c)
        for (std::size_t k = 0; k < 8; ++k)
            mono[8 * c + k] = 0.5f * (stereo[16 * c + 2 * k] + stereo[16 * c + 2 * k + 1]);
}

Signal mixToMono(const float* interleaved, std::size_t frames, int channels) {
    Signal mono(frames);
    float* out = mono.data();
    if (channels == 1) {
        std::copy(interleaved, interleaved + frames, out);
    } else if (channels == 2) {
        mixStereo(out, interleaved, frames / 8);
        for (std::size_t i = frames / 8 * 8; i < frames; ++i)
            out[i] = 0.5f * (interleaved[2 * i] + interleaved[2 * i + 1]);
    } else {
        const float scale = 1.0f / static_cast<float>(channels);
        for (std::size_t i = 0; i < frames; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < channels; ++c)
                sum += interleaved[i * static_cast<std::size_t>(channels) + c];
            out[i] = sum * scale;
        }
    }
    mono.end();
    return mono;
}

// In eight lanes, which the compiler may keep in one vector register.
float sumOfSquares(const float* x, std::size_t n) {
    float lanes[8] = {};
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        for (int k = 0; k < 8; ++k)
            lanes[k] += x[i + k] * x[i + k];
    float sum = 0.0f;
    for (; i < n; ++i)
        sum += x[i] * x[i];
    for (float lane : lanes)
        sum += lane;
    return sum;
}

// Mean square of the samples from LevelWindow / 2 before each hop to as
// long after, in dB; outside the music is silence. The window is made of
// the stretches between hops, each summed once.
std::vector<double> levelsDb(const Signal& mono, int rate, std::size_t hops) {
    const long long half = std::llround(LevelWindow / 2.0 / MusicAnalysis::Hop);
    const long long size = static_cast<long long>(mono.size());
    const auto edge = [&](long long hop) {
        return std::llround(static_cast<double>(hop) * MusicAnalysis::Hop * rate);
    };
    std::vector<double> stretch(hops + 2 * static_cast<std::size_t>(half));
    for (std::size_t s = 0; s < stretch.size(); ++s) {
        const long long hop = static_cast<long long>(s) - half;
        const long long begin = std::clamp(edge(hop), 0LL, size);
        const long long end = std::clamp(edge(hop + 1), 0LL, size);
        stretch[s] = sumOfSquares(mono.data() + begin, static_cast<std::size_t>(end - begin));
    }
    std::vector<double> db(hops);
    for (std::size_t h = 0; h < hops; ++h) {
        double sum = 0.0;
        for (long long s = 0; s < 2 * half; ++s)
            sum += stretch[h + static_cast<std::size_t>(s)];
        const long long hop = static_cast<long long>(h);
        const double length = static_cast<double>(edge(hop + half) - edge(hop - half));
        db[h] = 10.0 * std::log10(sum / length + 1e-30);
    }
    return db;
}

// The loudest reading of each output id over the whole track.
std::vector<double> loudestReadings(const std::vector<Octave>& octaves,
                                    const std::vector<std::vector<float>>& measured) {
    std::vector<double> loudest(MusicAnalysis::Bins + Bands, -1e30);
    for (std::size_t o = 0; o < octaves.size(); ++o) {
        const std::size_t outputs = octaves[o].outputs.size();
        for (std::size_t i = 0; i < measured[o].size(); ++i) {
            double& l = loudest[static_cast<std::size_t>(octaves[o].outputs[i % outputs].id)];
            l = std::max(l, static_cast<double>(measured[o][i]));
        }
    }
    return loudest;
}

// Bins as 16-bit codes (65535 for 1) below the loudest bin of all; bands
// into values, each below its own loudest moment, lifted at most MostLiftDb.
void spreadOverHops(const std::vector<Octave>& octaves,
                    const std::vector<std::vector<float>>& measured, std::size_t hops,
                    std::uint16_t* spectrum, float* bands) {
    constexpr int Bins = MusicAnalysis::Bins;
    const std::vector<double> loudest = loudestReadings(octaves, measured);
    const double loudestBin = *std::max_element(loudest.begin(), loudest.begin() + Bins);
    const double loudestBand = *std::max_element(loudest.begin() + Bins, loudest.end());
    // Silence has no loudest moment: every reading then maps to 0.
    std::vector<float> reference(loudest.size(), 1e30f);
    for (std::size_t id = 0; id < loudest.size(); ++id)
        if (loudestBin > SilenceDb)
            reference[id] = static_cast<float>(
                id < Bins ? loudestBin : std::max(loudest[id], loudestBand - MostLiftDb));
    // Hop by hop, so the spectrum is written in order; an octave's output
    // is its own at the octave's windows, linear between them.
    for (std::size_t h = 0; h < hops; ++h)
        for (std::size_t o = 0; o < octaves.size(); ++o) {
            const Octave& octave = octaves[o];
            const std::size_t outputs = octave.outputs.size();
            const float* now = &measured[o][h / octave.step * outputs];
            const std::size_t within = h % octave.step;
            const float f = static_cast<float>(within) / static_cast<float>(octave.step);
            for (std::size_t i = 0; i < outputs; ++i) {
                const std::size_t id = static_cast<std::size_t>(octave.outputs[i].id);
                float v = mapDb(now[i] - reference[id]);
                if (within > 0)
                    v += f * (mapDb(now[outputs + i] - reference[id]) - v);
                if (id < Bins)
                    spectrum[h * Bins + id] = static_cast<std::uint16_t>(v * CodeScale + 0.5f);
                else
                    bands[(id - Bins) * hops + h] = v;
            }
        }
}

void fillOnset(const std::vector<std::uint16_t>& spectrum, std::size_t hops, float* onset) {
    constexpr int Bins = MusicAnalysis::Bins;
    float largest = 0.0f;
    for (std::size_t h = 1; h < hops; ++h) {
        const std::uint16_t* now = &spectrum[h * Bins];
        const std::uint16_t* before = now - Bins;
        long rise = 0;
        for (int k = 0; k < Bins; ++k)
            rise += std::max(0, static_cast<int>(now[k]) - static_cast<int>(before[k]));
        onset[h] = static_cast<float>(rise);
        largest = std::max(largest, onset[h]);
    }
    if (largest > 0.0f)
        for (std::size_t h = 0; h < hops; ++h)
            onset[h] /= largest;
}

void fillLevel(const std::vector<double>& db, float* out) {
    const double loudest = *std::max_element(db.begin(), db.end());
    const std::size_t hops = db.size();
    for (std::size_t h = 0; h < hops; ++h)
        out[h] = loudest > SilenceDb ? mapDb(static_cast<float>(db[h] - loudest)) : 0.0f;
}

void fillIntegrals(const float* bands, std::size_t hops, double* integrals) {
    for (int b = 0; b < Bands; ++b) {
        const float* band = bands + static_cast<std::size_t>(b) * hops;
        double* sum = integrals + static_cast<std::size_t>(b) * hops;
        for (std::size_t h = 1; h < hops; ++h)
            sum[h] = sum[h - 1] + band[h - 1] * MusicAnalysis::Hop;
    }
}

}  // namespace

bool featureByName(std::string_view name, Feature& out) {
    for (std::size_t i = 0; i < Names.size(); ++i)
        if (Names[i] == name) {
            out = static_cast<Feature>(i);
            return true;
        }
    return false;
}

const std::vector<std::string>& featureNames() {
    return Names;
}

FeatureTrack::FeatureTrack(std::vector<float> values, float attack, float release)
    : m_values(std::move(values)) {
    const auto follow = [](float seconds) {
        return seconds > 0.0f ? static_cast<float>(1.0 - std::exp(-MusicAnalysis::Hop / seconds))
                              : 1.0f;
    };
    const float rise = follow(attack), fall = follow(release);
    float y = 0.0f;
    for (float& value : m_values) {
        y += (value > y ? rise : fall) * (value - y);
        value = y;
    }
}

float FeatureTrack::at(double t) const {
    if (m_values.empty())
        return 0.0f;
    const double x =
        std::clamp(t / MusicAnalysis::Hop, 0.0, static_cast<double>(m_values.size() - 1));
    const std::size_t i = static_cast<std::size_t>(x);
    if (i + 1 >= m_values.size())
        return m_values.back();
    const float f = static_cast<float>(x - static_cast<double>(i));
    return m_values[i] + f * (m_values[i + 1] - m_values[i]);
}

bool MusicAnalysis::analyse(const float* interleaved, std::size_t frames, int channels, int rate) {
    *this = MusicAnalysis();
    if (!interleaved || frames == 0) {
        Diagnostics::problem("MusicAnalysis", "no samples to analyse");
        return false;
    }
    if (channels < 1 || rate < 1) {
        Diagnostics::problem("MusicAnalysis", "cannot analyse " + std::to_string(channels) +
                                                  " channels at " + std::to_string(rate) + " Hz");
        return false;
    }
    try {
        f_analyse(interleaved, frames, channels, rate);
    } catch (const std::bad_alloc&) {
        *this = MusicAnalysis();
        Diagnostics::problem("MusicAnalysis",
                             "out of memory analysing " + std::to_string(frames) + " frames");
        return false;
    }
    return true;
}

void MusicAnalysis::f_analyse(const float* interleaved, std::size_t frames, int channels,
                              int rate) {
    m_duration = static_cast<double>(frames) / rate;
    m_hops = static_cast<std::size_t>(std::ceil(m_duration / Hop - 1e-9)) + 1;

    Signal signal = mixToMono(interleaved, frames, channels);
    const std::vector<double> level = levelsDb(signal, rate, m_hops);

    const std::vector<Octave> octaves = planOctaves(rate);
    std::vector<std::vector<float>> measured;
    const HalfBand halfBand;
    WindowMeasure measure;
    for (std::size_t i = 0; i < octaves.size(); ++i) {
        if (i > 0)
            signal = halfBand.halve(signal);
        measured.push_back(measure.measure(octaves[i], signal, m_hops));
    }

    m_spectrum.assign(m_hops * Bins, 0);
    m_values.assign(m_hops * ValueFeatures, 0.0f);
    spreadOverHops(octaves, measured, m_hops, m_spectrum.data(), m_values.data());
    fillOnset(m_spectrum, m_hops, &m_values[static_cast<std::size_t>(Feature::Onset) * m_hops]);
    fillLevel(level, &m_values[static_cast<std::size_t>(Feature::Level) * m_hops]);
    m_integrals.assign(m_hops * Bands, 0.0);
    fillIntegrals(m_values.data(), m_hops, m_integrals.data());
}

double MusicAnalysis::f_series(Feature feature, std::size_t hop) const {
    const std::size_t f = static_cast<std::size_t>(feature);
    if (f < ValueFeatures)
        return m_values[f * m_hops + hop];
    return m_integrals[(f - ValueFeatures) * m_hops + hop];
}

float MusicAnalysis::value(Feature feature, double t) const {
    const std::size_t f = static_cast<std::size_t>(feature);
    if (m_hops == 0 || f >= Names.size() || !(t >= 0.0))
        return 0.0f;
    const double x = t / Hop;
    if (x > static_cast<double>(m_hops - 1))
        return f < ValueFeatures ? 0.0f : static_cast<float>(f_series(feature, m_hops - 1));
    const std::size_t i = static_cast<std::size_t>(x);
    const double a = f_series(feature, i);
    if (i + 1 >= m_hops)
        return static_cast<float>(a);
    return static_cast<float>(a + (x - static_cast<double>(i)) * (f_series(feature, i + 1) - a));
}

FeatureTrack MusicAnalysis::track(Feature feature, float attack, float release) const {
    std::vector<float> values(m_hops);
    if (static_cast<std::size_t>(feature) < Names.size())
        for (std::size_t h = 0; h < m_hops; ++h)
            values[h] = static_cast<float>(f_series(feature, h));
    return FeatureTrack(std::move(values), attack, release);
}

float MusicAnalysis::bin(std::size_t hop, int bin) const {
    if (hop >= m_hops || bin < 0 || bin >= Bins)
        return 0.0f;
    return m_spectrum[hop * Bins + static_cast<std::size_t>(bin)] / CodeScale;
}

void MusicAnalysis::spectrumAt(double t, float* bins) const {
    const double x = t / Hop;
    if (m_hops == 0 || !(x >= 0.0) || x > static_cast<double>(m_hops - 1)) {
        std::fill(bins, bins + Bins, 0.0f);
        return;
    }
    const std::size_t i = static_cast<std::size_t>(x);
    const std::size_t j = std::min(i + 1, m_hops - 1);
    const float f = static_cast<float>(x - static_cast<double>(i)) / CodeScale;
    const float g = 1.0f / CodeScale;
    for (int k = 0; k < Bins; ++k) {
        const float a = m_spectrum[i * Bins + k], b = m_spectrum[j * Bins + k];
        bins[k] = a * g + f * (b - a);
    }
}

std::size_t MusicAnalysis::memoryBytes() const {
    return sizeof(*this) + m_spectrum.capacity() * sizeof(std::uint16_t) +
           m_values.capacity() * sizeof(float) + m_integrals.capacity() * sizeof(double);
}

}  // namespace Tarn::Audio
