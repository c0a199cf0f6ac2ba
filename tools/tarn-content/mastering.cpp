#include "mastering.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <deque>

namespace Content {

namespace {

constexpr double Pi = 3.14159265358979323846;

// A biquad in direct form I, in double precision.
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
    double process(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// The K-weighting of BS.1770 at any rate: a high shelf (+4 dB above about
// 1.7 kHz, the head's effect) and a high-pass at 38 Hz.
Biquad shelf(int rate) {
    const double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
    const double k = std::tan(Pi * f0 / rate);
    const double vh = std::pow(10.0, gain / 20.0), vb = std::pow(vh, 0.4996667741545416);
    const double a0 = 1.0 + k / q + k * k;
    return Biquad{(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0,
                  (vh - vb * k / q + k * k) / a0, 2.0 * (k * k - 1.0) / a0,
                  (1.0 - k / q + k * k) / a0};
}

Biquad highPass(int rate) {
    const double f0 = 38.13547087602444, q = 0.5003270373238773;
    const double k = std::tan(Pi * f0 / rate);
    const double a0 = 1.0 + k / q + k * k;
    return Biquad{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

double lufs(double meanSquare) {
    return -0.691 + 10.0 * std::log10(std::max(meanSquare, 1e-30));
}

// Taps of the 4x interpolator: a Hann-windowed sinc, 12 taps a phase.
constexpr int Phases = 4;
constexpr int TapsPerPhase = 12;

const std::vector<double>& interpolator() {
    static const std::vector<double> taps = [] {
        std::vector<double> h(Phases * TapsPerPhase);
        const double centre = (h.size() - 1) / 2.0;
        for (std::size_t i = 0; i < h.size(); ++i) {
            const double t = (static_cast<double>(i) - centre) / Phases;
            const double sinc = t == 0.0 ? 1.0 : std::sin(Pi * t) / (Pi * t);
            const double window = 0.5 - 0.5 * std::cos(2.0 * Pi * (i + 0.5) / h.size());
            h[i] = sinc * window;
        }
        return h;
    }();
    return taps;
}

// The largest absolute value of each frame's channels and of the three
// points the 4x interpolation puts between it and the next frame.
std::vector<double> framePeaks(const std::vector<float>& stereo) {
    const std::vector<double>& h = interpolator();
    const std::size_t frames = stereo.size() / 2;
    std::vector<double> peaks(frames, 0.0);
    const auto sample = [&stereo, frames](long frame, int channel) {
        return frame < 0 || frame >= static_cast<long>(frames)
                   ? 0.0
                   : static_cast<double>(stereo[2 * static_cast<std::size_t>(frame) + channel]);
    };
    for (std::size_t i = 0; i < frames; ++i) {
        double peak = 0.0;
        for (int channel = 0; channel < 2; ++channel) {
            peak = std::max(peak, std::fabs(sample(static_cast<long>(i), channel)));
            for (int phase = 1; phase < Phases; ++phase) {
                double value = 0.0;
                for (int k = 0; k < TapsPerPhase; ++k)
                    value += h[static_cast<std::size_t>(k * Phases + phase)] *
                             sample(static_cast<long>(i) + TapsPerPhase / 2 - k, channel);
                peak = std::max(peak, std::fabs(value));
            }
        }
        peaks[i] = peak;
    }
    return peaks;
}

// Gain for every frame so that no true peak passes ceiling: the gain each
// frame needs, the smallest of those within the look-ahead either side,
// averaged over the look-ahead (so every average that covers a peak is at
// most its gain), then recovering slowly.
std::vector<double> limiterGain(const std::vector<double>& peaks, double ceiling, int rate) {
    const std::size_t n = peaks.size();
    const auto reach = static_cast<std::size_t>(0.005 * rate);
    std::vector<double> need(n);
    for (std::size_t i = 0; i < n; ++i)
        need[i] = peaks[i] > ceiling ? ceiling / peaks[i] : 1.0;
    // Sliding minimum over [i - reach, i + reach].
    std::vector<double> low(n);
    std::deque<std::size_t> window;
    for (std::size_t i = 0, next = 0; i < n; ++i) {
        for (; next < n && next <= i + reach; ++next) {
            while (!window.empty() && need[window.back()] >= need[next])
                window.pop_back();
            window.push_back(next);
        }
        while (window.front() + reach < i)
            window.pop_front();
        low[i] = need[window.front()];
    }
    // Average over [i - reach / 2, i + reach / 2].
    std::vector<double> sums(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        sums[i + 1] = sums[i] + low[i];
    std::vector<double> gain(n);
    const double release = 1.0 - std::exp(-1.0 / (0.1 * rate));
    double previous = 1.0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t from = i >= reach / 2 ? i - reach / 2 : 0;
        const std::size_t to = std::min(n, i + reach / 2 + 1);
        const double average = (sums[to] - sums[from]) / static_cast<double>(to - from);
        previous = std::min(average, previous + (1.0 - previous) * release);
        gain[i] = previous;
    }
    return gain;
}

}  // namespace

double integratedLoudness(const std::vector<float>& stereo, int rate) {
    const std::size_t frames = stereo.size() / 2;
    Biquad shelves[2] = {shelf(rate), shelf(rate)}, highs[2] = {highPass(rate), highPass(rate)};
    // Mean square of the weighted signal in each 100 ms step.
    const auto step = static_cast<std::size_t>(rate / 10);
    std::vector<double> steps;
    double sum = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            const double y = highs[c].process(shelves[c].process(stereo[2 * i + c]));
            sum += y * y;
        }
        if ((i + 1) % step == 0) {
            steps.push_back(sum / static_cast<double>(step));
            sum = 0.0;
        }
    }
    // Blocks of 400 ms every 100 ms, gated at -70 LUFS, then 10 LU below
    // the loudness of what passed.
    std::vector<double> blocks;
    for (std::size_t i = 3; i < steps.size(); ++i)
        blocks.push_back((steps[i - 3] + steps[i - 2] + steps[i - 1] + steps[i]) / 4.0);
    const auto gatedMean = [&blocks](double gate) {
        double total = 0.0;
        std::size_t count = 0;
        for (double block : blocks)
            if (lufs(block) > gate) {
                total += block;
                ++count;
            }
        return count ? total / static_cast<double>(count) : 0.0;
    };
    const double absolute = gatedMean(-70.0);
    if (absolute <= 0.0)
        return -70.0;
    return lufs(gatedMean(lufs(absolute) - 10.0));
}

double truePeakDb(const std::vector<float>& stereo, int /*rate*/) {
    double peak = 0.0;
    for (double value : framePeaks(stereo))
        peak = std::max(peak, value);
    return 20.0 * std::log10(std::max(peak, 1e-30));
}

MasterReport master(std::vector<float>& stereo, int rate, double targetLufs, double ceilingDbtp) {
    const std::vector<float> mix = stereo;
    const double ceiling = std::pow(10.0, ceilingDbtp / 20.0);
    MasterReport report;
    report.gainDb = targetLufs - integratedLoudness(mix, rate);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const double scale = std::pow(10.0, report.gainDb / 20.0);
        for (std::size_t i = 0; i < mix.size(); ++i)
            stereo[i] = static_cast<float>(mix[i] * scale);
        const std::vector<double> gain = limiterGain(framePeaks(stereo), ceiling, rate);
        double least = 1.0;
        for (std::size_t i = 0; i < gain.size(); ++i) {
            least = std::min(least, gain[i]);
            stereo[2 * i] = static_cast<float>(stereo[2 * i] * gain[i]);
            stereo[2 * i + 1] = static_cast<float>(stereo[2 * i + 1] * gain[i]);
        }
        report.mostReductionDb = -20.0 * std::log10(least);
        report.loudness = integratedLoudness(stereo, rate);
        const double miss = targetLufs - report.loudness;
        if (std::fabs(miss) < 0.05 || attempt == 3)
            break;
        report.gainDb += miss;
    }
    report.truePeak = truePeakDb(stereo, rate);
    return report;
}

}  // namespace Content
