#include "newdemo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kBeat = 0.5;  // 120 beats per minute
constexpr int kBars = 4;
constexpr double kPi = 3.14159265358979323846;

// Midi note numbers: 69 is A4, 440 Hz.
double frequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

// One chord a bar (A minor, F, C, G) and the bass note under it.
struct Chord {
    int bass;
    int notes[3];
};
constexpr Chord kChords[kBars] = {
    {45, {57, 60, 64}}, {41, {53, 57, 60}}, {48, {55, 60, 64}}, {43, {55, 59, 62}}};

// Stereo float samples, mixed by adding voices into them.
struct Mix {
    std::vector<float> left, right;

    Mix() : left(kBars * 4 * kBeat * kRate), right(left.size()) {}

    // Adds voice(t) for t in [0, duration) seconds from start; pan -1 is left.
    template <typename Voice> void add(double start, double duration, float pan, Voice voice) {
        const auto first = static_cast<std::size_t>(std::lround(start * kRate));
        const auto count = static_cast<std::size_t>(duration * kRate);
        for (std::size_t i = 0; i < count && first + i < left.size(); ++i) {
            const float value = static_cast<float>(voice(static_cast<double>(i) / kRate));
            left[first + i] += value * (1.0f - pan) / 2.0f;
            right[first + i] += value * (1.0f + pan) / 2.0f;
        }
    }
};

// A falling sine: 120 Hz down to 45 Hz in a few milliseconds.
double kick(double t) {
    const double phase = 2.0 * kPi * (45.0 * t + 75.0 / 30.0 * (1.0 - std::exp(-30.0 * t)));
    return std::sin(phase) * std::exp(-8.0 * t);
}

// A short plucked note with its second and third harmonics, its ends
// faded over a few milliseconds so that they do not click.
double bass(double f, double t, double length) {
    const double x = 2.0 * kPi * f * t;
    const double ends = std::max(std::min({1.0, t / 0.005, (length - t) / 0.02}), 0.0);
    return ends * std::exp(-6.0 * t) *
           (std::sin(x) + 0.3 * std::sin(2 * x) + 0.15 * std::sin(3 * x));
}

// A soft note held for the bar, faded in and out so that bars join cleanly.
double pad(double f, double t, double length) {
    const double x = 2.0 * kPi * f * t;
    const double envelope = std::min({1.0, t / 0.05, (length - t) / 0.3});
    return std::max(envelope, 0.0) * (std::sin(x) + std::sin(3 * x) / 9.0);
}

// White noise from a fixed linear congruential generator, so every run
// gives the same hats, differenced to keep only the hiss.
struct Hiss {
    std::uint32_t state = 1;
    float last = 0.0f;
    float next() {
        state = state * 1664525u + 1013904223u;
        const float white = static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
        const float high = white - last;
        last = white;
        return high;
    }
};

void put(std::string& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xff);
}

// A 44-byte RIFF header (PCM, two 16-bit channels), then the samples
// interleaved, scaled so that the loudest is at -3 dBFS.
std::string waveFile(const Mix& mix) {
    float peak = 0.0f;
    for (const std::vector<float>* channel : {&mix.left, &mix.right})
        for (float sample : *channel)
            peak = std::max(peak, std::abs(sample));
    const float scale = static_cast<float>(std::pow(10.0, -3.0 / 20.0)) / peak;
    const auto dataSize = static_cast<std::uint32_t>(mix.left.size() * 4);
    std::string bytes = "RIFF";
    put(bytes, 36 + dataSize, 4);
    bytes += "WAVEfmt ";
    put(bytes, 16, 4);         // the format chunk's size
    put(bytes, 1, 2);          // PCM
    put(bytes, 2, 2);          // channels
    put(bytes, kRate, 4);      // frames per second
    put(bytes, kRate * 4, 4);  // bytes per second
    put(bytes, 4, 2);          // bytes per frame
    put(bytes, 16, 2);         // bits per sample
    bytes += "data";
    put(bytes, dataSize, 4);
    for (std::size_t i = 0; i < mix.left.size(); ++i)
        for (float sample : {mix.left[i], mix.right[i]})
            put(bytes, static_cast<std::uint16_t>(std::lround(32767.0f * scale * sample)), 2);
    return bytes;
}

}  // namespace

std::string newDemoMusic() {
    Mix mix;
    Hiss hiss;
    for (int bar = 0; bar < kBars; ++bar) {
        const Chord& chord = kChords[bar];
        const double barStart = bar * 4 * kBeat;
        for (int i = 0; i < 3; ++i) {
            const double f = frequency(chord.notes[i]);
            mix.add(barStart, 4 * kBeat, 0.4f * (i - 1),
                    [f](double t) { return 0.12 * pad(f, t, 4 * kBeat); });
        }
        for (int beat = 0; beat < 4; ++beat) {
            const double start = barStart + beat * kBeat;
            const double f = frequency(chord.bass);
            mix.add(start, kBeat, 0.0f, [](double t) { return 0.9 * kick(t); });
            mix.add(start + kBeat / 2, 0.22, 0.0f,
                    [f](double t) { return 0.45 * bass(f, t, 0.22); });
            mix.add(start + kBeat / 2, 0.05, 0.3f,
                    [&hiss](double t) { return 0.08 * hiss.next() * std::exp(-60.0 * t); });
        }
    }
    return waveFile(mix);
}
