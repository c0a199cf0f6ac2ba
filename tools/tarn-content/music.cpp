#include "music.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <utility>

#include <sndfile.h>

#include "mastering.h"

namespace Content {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int MinRate = 8000;
constexpr int MaxRate = 192000;
// Mastered as streaming services play music: -14 LUFS integrated, and a
// true-peak ceiling with room for what Vorbis coding adds to the peaks.
constexpr double LoudnessLufs = -14.0;
constexpr double CeilingDbtp = -1.6;
// libsndfile's scale: 0 is the smallest file, 1 the best sound.
constexpr double VorbisQuality = 0.5;
// libsndfile hands each write to libvorbis whole, and one write of the whole
// track crashed inside vorbis_analysis_wrote (MusicTest.OggDecodesBackAsTheSameMusic
// reproduces it); writes of a few thousand frames are safe.
constexpr sf_count_t EncodeChunkFrames = 4096;

double noteHz(double pitch) {
    return 440.0 * std::exp2((pitch - 69.0) / 12.0);
}

// Feedback loops decaying towards silence would otherwise pass through
// subnormal numbers, which are many times slower on most CPUs.
float flushed(float x) {
    return std::fabs(x) < 1e-15f ? 0.0f : x;
}

// xorshift32: the same noise on every run and platform.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : m_state(seed * 2654435761u | 1u) {}
    float next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return static_cast<float>(m_state) * (2.0f / 4294967296.0f) - 1.0f;
    }

private:
    std::uint32_t m_state;
};

// The polynomial residual of a unit step at phase 0 of a cycle advancing dt
// per sample: subtracted at a falling edge (added at a rising one) it
// removes most of a naive waveform's aliasing.
double blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

class Oscillator {
public:
    explicit Oscillator(double rate) : m_rate(rate) {}
    double saw(double hz) {
        const double dt = step(hz);
        const double value = 2.0 * m_phase - 1.0 - blep(m_phase, dt);
        advance(dt);
        return value;
    }
    // Zero mean at any width, so that chip voices add no offset.
    double pulse(double hz, double width) {
        const double dt = step(hz);
        double fall = m_phase + 1.0 - width;
        fall -= std::floor(fall);
        const double value = (m_phase < width ? 1.0 : -1.0) + blep(m_phase, dt) - blep(fall, dt) -
                             (2.0 * width - 1.0);
        advance(dt);
        return value;
    }
    double sine(double hz) {
        const double value = std::sin(2.0 * Pi * m_phase);
        advance(step(hz));
        return value;
    }

private:
    double step(double hz) const { return std::min(hz / m_rate, 0.45); }
    void advance(double dt) {
        m_phase += dt;
        m_phase -= std::floor(m_phase);
    }
    double m_rate;
    double m_phase = 0.0;
};

// Zavalishin's trapezoidal state-variable filter: it stays stable while the
// cutoff moves, as it does in every sweep here.
class Filter {
public:
    struct Output {
        float low, band, high;
    };
    Filter(double cutoff, double q, double rate) : m_rate(rate) { tune(cutoff, q); }
    void tune(double cutoff, double q) {
        const double g = std::tan(Pi * std::min(cutoff, 0.45 * m_rate) / m_rate);
        m_k = static_cast<float>(1.0 / q);
        const double a1 = 1.0 / (1.0 + g * (g + m_k));
        m_a1 = static_cast<float>(a1);
        m_a2 = static_cast<float>(g * a1);
        m_a3 = static_cast<float>(g * g * a1);
    }
    Output process(float in) {
        const float v3 = in - m_ic2;
        const float v1 = m_a1 * m_ic1 + m_a2 * v3;
        const float v2 = m_ic2 + m_a2 * m_ic1 + m_a3 * v3;
        m_ic1 = flushed(2.0f * v1 - m_ic1);
        m_ic2 = flushed(2.0f * v2 - m_ic2);
        return {v2, v1, in - m_k * v1 - v2};
    }
    // The band output scaled to unit gain at the centre frequency.
    float bandpass(float in) { return m_k * process(in).band; }

private:
    double m_rate;
    float m_k = 1.0f, m_a1 = 0.0f, m_a2 = 0.0f, m_a3 = 0.0f;
    float m_ic1 = 0.0f, m_ic2 = 0.0f;
};

// Attack, then decay towards the sustain level while the gate is held, then
// a release that reaches exactly zero.
struct Envelope {
    double attack, decay, sustain, release;
    double level(double t, double gate) const {
        if (t < gate)
            return held(t);
        const double x = (t - gate) / release;
        return x >= 1.0 ? 0.0 : held(gate) * (1.0 - x) * (1.0 - x);
    }
    double held(double t) const {
        if (t < attack)
            return t / attack;
        return sustain + (1.0 - sustain) * std::exp(-(t - attack) / decay);
    }
};

struct Stereo {
    float left, right;
};

Stereo mono(double value) {
    return {static_cast<float>(value), static_cast<float>(value)};
}

// How a voice reaches the master: its level, whether the kick ducks it, and
// how much of it feeds the reverb and the echo.
struct Route {
    float level, reverb, echo;
    bool ducked;
};

// Freeverb's layout: eight damped combs in parallel, four allpasses in
// series, the right channel's delays 23 samples longer (at 44.1 kHz).
class Reverb {
public:
    explicit Reverb(double rate) {
        constexpr int Combs[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
        constexpr int Allpasses[] = {556, 441, 341, 225};
        for (int side = 0; side < 2; ++side) {
            for (int length : Combs)
                m_combs[side].push_back(Delay(length + 23 * side, rate));
            for (int length : Allpasses)
                m_allpasses[side].push_back(Delay(length + 23 * side, rate));
        }
    }
    Stereo process(float in) {
        float out[2];
        for (int side = 0; side < 2; ++side) {
            float sum = 0.0f;
            for (Delay& comb : m_combs[side]) {
                const float delayed = comb.read();
                comb.store = flushed(delayed * (1.0f - Damping) + comb.store * Damping);
                comb.write(in * InputGain + comb.store * Feedback);
                sum += delayed;
            }
            for (Delay& allpass : m_allpasses[side]) {
                const float delayed = allpass.read();
                allpass.write(flushed(sum + delayed * 0.5f));
                sum = delayed - sum;
            }
            out[side] = sum;
        }
        return {out[0], out[1]};
    }

private:
    static constexpr float InputGain = 0.015f;
    static constexpr float Feedback = 0.86f;
    static constexpr float Damping = 0.3f;
    struct Delay {
        Delay(int length, double rate)
            : samples(std::max<std::size_t>(1, static_cast<std::size_t>(length * rate / 44100.0))) {
        }
        float read() const { return samples[at]; }
        void write(float value) {
            samples[at] = value;
            at = at + 1 == samples.size() ? 0 : at + 1;
        }
        std::vector<float> samples;
        std::size_t at = 0;
        float store = 0.0f;
    };
    std::vector<Delay> m_combs[2], m_allpasses[2];
};

// A ping-pong echo: the input enters on the left, each repeat crosses to the
// other side, a little darker and quieter.
class Echo {
public:
    Echo(double seconds, double rate)
        : m_length(static_cast<std::size_t>(seconds * rate)), m_left(m_length), m_right(m_length) {}
    Stereo process(float in) {
        const float left = m_left[m_at], right = m_right[m_at];
        m_toneLeft = flushed(m_toneLeft + 0.4f * (left - m_toneLeft));
        m_toneRight = flushed(m_toneRight + 0.4f * (right - m_toneRight));
        m_left[m_at] = in + Feedback * m_toneRight;
        m_right[m_at] = Feedback * m_toneLeft;
        m_at = m_at + 1 == m_length ? 0 : m_at + 1;
        return {left, right};
    }

private:
    static constexpr float Feedback = 0.42f;
    std::size_t m_length;
    std::vector<float> m_left, m_right;
    std::size_t m_at = 0;
    float m_toneLeft = 0.0f, m_toneRight = 0.0f;
};

// The whole track as buses: the stereo mix, and mono sends to the reverb and
// the echo, which master() runs once at the end. Kicks must be registered
// with duck() before the voices they duck are added.
class Mix {
public:
    explicit Mix(int sampleRate)
        : rate(sampleRate), m_frames(static_cast<std::size_t>(std::ceil(barTime(Bars) * rate))),
          m_left(m_frames), m_right(m_frames), m_reverb(m_frames), m_echo(m_frames),
          m_duck(m_frames, 1.0f) {}

    // Adds voice(t) for t from 0 to seconds, t counted from start.
    template <typename Voice>
    void add(double start, double seconds, float pan, const Route& route, Voice voice) {
        const std::size_t first = frameAt(start), end = frameAt(start + seconds);
        const double angle = (pan + 1.0) * Pi / 4.0;
        const float left = static_cast<float>(std::sqrt(2.0) * std::cos(angle) * route.level);
        const float right = static_cast<float>(std::sqrt(2.0) * std::sin(angle) * route.level);
        for (std::size_t i = first; i < end; ++i) {
            const Stereo s = voice(static_cast<double>(i - first) / rate);
            const float duck = route.ducked ? m_duck[i] : 1.0f;
            const float l = s.left * left * duck, r = s.right * right * duck;
            m_left[i] += l;
            m_right[i] += r;
            m_reverb[i] += (l + r) * route.reverb;
            m_echo[i] += (l + r) * route.echo;
        }
    }

    // Ducks the voices routed so, by depth at time, recovering in 0.3 s:
    // the pads and the bass breathe with the kick.
    void duck(double time, float depth) {
        const std::size_t first = frameAt(time), end = frameAt(time + 0.3);
        for (std::size_t i = first; i < end; ++i) {
            const double t = static_cast<double>(i - first) / rate;
            const double shape = t < 0.005 ? t / 0.005 : std::exp(-(t - 0.005) / 0.08);
            m_duck[i] = std::min(m_duck[i], static_cast<float>(1.0 - depth * shape));
        }
    }

    // Interleaved stereo: the buses with reverb and echo, high-passed at
    // 25 Hz (no offset, no rumble that small speakers cannot play but that
    // would cost headroom), faded out over the last four bars.
    std::vector<float> master() {
        Reverb reverb(rate);
        Echo echo(0.75 * BeatSeconds, rate);
        Filter highLeft(25.0, 0.7071, rate), highRight(25.0, 0.7071, rate);
        const std::size_t fadeStart = frameAt(barTime(Bars - 4));
        std::vector<float> out(2 * m_frames);
        for (std::size_t i = 0; i < m_frames; ++i) {
            const Stereo wet = reverb.process(m_reverb[i]);
            const Stereo echoed = echo.process(m_echo[i]);
            double fade = 1.0;
            if (i >= fadeStart) {
                const double x = static_cast<double>(i - fadeStart) / (m_frames - fadeStart);
                fade = std::cos(0.5 * Pi * std::min(x, 1.0));
                fade *= fade;
            }
            out[2 * i] = highLeft.process(m_left[i] + wet.left + echoed.left).high *
                         static_cast<float>(fade);
            out[2 * i + 1] = highRight.process(m_right[i] + wet.right + echoed.right).high *
                             static_cast<float>(fade);
        }
        const MasterReport report = Content::master(out, rate, LoudnessLufs, CeilingDbtp);
        char line[160];
        std::snprintf(line, sizeof line,
                      "[Music] mastered: %+.2f dB, the limiter taking at most %.2f dB; %.2f LUFS, "
                      "true peak %.2f dBTP\n",
                      report.gainDb, report.mostReductionDb, report.loudness, report.truePeak);
        std::cout << line;
        return out;
    }

    const int rate;

private:
    std::size_t frameAt(double seconds) const {
        return std::min(m_frames, static_cast<std::size_t>(std::max(0.0, seconds * rate)));
    }
    std::size_t m_frames;
    std::vector<float> m_left, m_right, m_reverb, m_echo, m_duck;
};

std::uint32_t seedAt(double time, std::uint32_t instrument) {
    return static_cast<std::uint32_t>(time * 1000.0) * 31u + instrument;
}

// Drums, each a hit at a time with a velocity from 0 to 1.

void kick(Mix& mix, double time, float velocity, bool soft) {
    mix.duck(time, soft ? 0.2f : 0.5f);
    const Route route{soft ? 0.6f : 0.9f, 0.0f, 0.0f, false};
    mix.add(time, 0.5, 0.0f, route,
            [osc = Oscillator(mix.rate), noise = Noise(seedAt(time, 1)), soft,
             velocity](double t) mutable {
                const double hz =
                    soft ? 42.0 + 60.0 * std::exp(-t / 0.04) : 46.0 + 130.0 * std::exp(-t / 0.025);
                double value = osc.sine(hz) * std::exp(-t / (soft ? 0.22 : 0.28));
                if (!soft)
                    value += 0.3 * noise.next() * std::exp(-t / 0.002);
                return mono(value * velocity * std::min(1.0, (0.5 - t) / 0.02));
            });
}

// The drum machine's kick: a long, slightly saturated boom.
void machineKick(Mix& mix, double time, float velocity) {
    mix.duck(time, 0.35f);
    const Route route{0.65f, 0.0f, 0.0f, false};
    mix.add(time, 0.8, 0.0f, route, [osc = Oscillator(mix.rate), velocity](double t) mutable {
        const double body = osc.sine(50.0 + 110.0 * std::exp(-t / 0.015)) * std::exp(-t / 0.3);
        return mono(std::tanh(1.6 * body) / std::tanh(1.6) * velocity *
                    std::min(1.0, (0.8 - t) / 0.03));
    });
}

void snare(Mix& mix, double time, float velocity) {
    const Route route{0.45f, 0.12f, 0.0f, false};
    mix.add(
        time, 0.35, 0.05f, route,
        [low = Oscillator(mix.rate), high = Oscillator(mix.rate), noise = Noise(seedAt(time, 2)),
         filter = Filter(3500.0, 0.6, mix.rate), velocity](double t) mutable {
            const double tone = (low.sine(185.0) + 0.6 * high.sine(330.0)) * std::exp(-t / 0.05);
            const double rattle = filter.bandpass(noise.next()) * 1.5 * std::exp(-t / 0.12);
            return mono((0.5 * tone + rattle) * velocity * std::min(1.0, (0.35 - t) / 0.02));
        });
}

// The drum machine's snare: noise held at a low clock rate for grit, over a
// short tone.
void machineSnare(Mix& mix, double time, float velocity) {
    const Route route{0.4f, 0.06f, 0.0f, false};
    const int hold = std::max(1, mix.rate / 9000);
    mix.add(time, 0.25, -0.05f, route,
            [osc = Oscillator(mix.rate), noise = Noise(seedAt(time, 3)),
             filter = Filter(2500.0, 0.8, mix.rate), hold, count = 0, held = 0.0f,
             velocity](double t) mutable {
                if (count++ % hold == 0)
                    held = noise.next();
                const double tone = osc.pulse(220.0 * (1.0 + std::exp(-t / 0.01)), 0.5);
                const double value = filter.bandpass(held) * 1.4 * std::exp(-t / 0.11) +
                                     0.3 * tone * std::exp(-t / 0.04);
                return mono(value * velocity * std::min(1.0, (0.25 - t) / 0.02));
            });
}

void hat(Mix& mix, double time, float velocity, bool open) {
    const double seconds = open ? 0.6 : 0.12;
    const Route route{open ? 0.09f : 0.1f, 0.03f, 0.0f, false};
    mix.add(time, seconds, 0.3f, route,
            [noise = Noise(seedAt(time, open ? 4 : 5)), band = Filter(8000.0, 0.5, mix.rate),
             top = Filter(12000.0, 0.7071, mix.rate), open, seconds, velocity](double t) mutable {
                const double decay = std::exp(-t / (open ? 0.2 : 0.03));
                return mono(top.process(band.bandpass(noise.next())).low * decay * velocity *
                            std::min(1.0, (seconds - t) / 0.01));
            });
}

// The drum machine's hat: six square waves at inharmonic pitches, as analogue
// machines make their metal, high-passed.
void machineHat(Mix& mix, double time, float velocity) {
    static constexpr double Pitches[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    const Route route{0.2f, 0.0f, 0.0f, false};
    std::vector<Oscillator> oscillators(6, Oscillator(mix.rate));
    mix.add(time, 0.1, -0.35f, route,
            [oscillators, filter = Filter(7000.0, 0.7, mix.rate), velocity](double t) mutable {
                double metal = 0.0;
                for (int i = 0; i < 6; ++i)
                    metal += oscillators[i].pulse(Pitches[i] * 1.7, 0.5);
                return mono(filter.process(static_cast<float>(metal / 6.0)).high *
                            std::exp(-t / 0.03) * velocity * std::min(1.0, (0.1 - t) / 0.01));
            });
}

void crash(Mix& mix, double time, float velocity) {
    const Route route{0.2f, 0.1f, 0.0f, false};
    mix.add(time, 3.5, 0.0f, route,
            [left = Noise(seedAt(time, 6)), right = Noise(seedAt(time, 7)),
             filters = std::vector<Filter>(2, Filter(7000.0, 0.5, mix.rate)),
             velocity](double t) mutable {
                const double level = std::exp(-t / 1.0) * std::min(1.0, t / 0.001) * velocity *
                                     std::min(1.0, (3.5 - t) / 0.2);
                return Stereo{static_cast<float>(filters[0].bandpass(left.next()) * level),
                              static_cast<float>(filters[1].bandpass(right.next()) * level)};
            });
}

// Noise through a band-pass sweeping from 300 Hz to 9 kHz, growing louder.
void riser(Mix& mix, double start, double seconds) {
    const Route route{0.25f, 0.2f, 0.0f, false};
    mix.add(start, seconds, 0.0f, route,
            [left = Noise(8), right = Noise(9),
             filters = std::vector<Filter>(2, Filter(300.0, 3.0, mix.rate)), seconds,
             count = 0](double t) mutable {
                const double x = t / seconds;
                if (count++ % 32 == 0)
                    for (Filter& filter : filters)
                        filter.tune(300.0 * std::pow(30.0, x), 3.0);
                const double level = x * x * std::min(1.0, (seconds - t) / 0.01);
                return Stereo{static_cast<float>(filters[0].bandpass(left.next()) * level),
                              static_cast<float>(filters[1].bandpass(right.next()) * level)};
            });
}

// Tonal voices: a note of pitch (MIDI numbers, 69 is A 440 Hz) held for gate
// seconds, then released.

void pad(Mix& mix, double start, double gate, int pitch, float velocity, double brightness,
         double release = 1.2) {
    const Envelope envelope{0.8, 1.5, 0.75, release};
    const Route route{0.11f * velocity, 0.35f, 0.0f, true};
    const double hz = noteHz(pitch);
    std::vector<Oscillator> saws(3, Oscillator(mix.rate));
    mix.add(start, gate + release, 0.0f, route,
            [saws, filters = std::vector<Filter>(2, Filter(brightness, 0.8, mix.rate)), hz, start,
             gate, envelope, brightness, count = 0](double t) mutable {
                if (count++ % 32 == 0) {
                    const double sweep = 1.0 + 0.35 * std::sin(2.0 * Pi * 0.13 * (start + t));
                    for (Filter& filter : filters)
                        filter.tune(brightness * sweep, 0.8);
                }
                const double a = saws[0].saw(hz * 0.9948), b = saws[1].saw(hz),
                             c = saws[2].saw(hz * 1.0052);
                const double level = envelope.level(t, gate);
                return Stereo{filters[0].process(static_cast<float>(a + 0.5 * b)).low *
                                  static_cast<float>(level),
                              filters[1].process(static_cast<float>(c + 0.5 * b)).low *
                                  static_cast<float>(level)};
            });
}

void drone(Mix& mix, double start, double gate) {
    const Envelope envelope{3.0, 1.0, 1.0, 3.0};
    const Route route{0.25f, 0.15f, 0.0f, true};
    const double low = noteHz(33), high = noteHz(45.07);
    mix.add(start, gate + envelope.release, 0.0f, route,
            [sub = Oscillator(mix.rate), saw = Oscillator(mix.rate),
             filter = Filter(260.0, 0.9, mix.rate), low, high, gate, envelope](double t) mutable {
                const double value =
                    sub.sine(low) + 0.6 * filter.process(static_cast<float>(saw.saw(high))).low;
                return mono(value * envelope.level(t, gate));
            });
}

// A glassy frequency-modulated bell.
void bell(Mix& mix, double start, int pitch, float velocity, float pan) {
    const Route route{0.14f * velocity, 0.3f, 0.25f, false};
    const double hz = noteHz(pitch);
    mix.add(start, 3.0, pan, route, [hz](double t) {
        const double index = 2.0 * std::exp(-t / 0.5);
        const double value =
            std::sin(2.0 * Pi * hz * t + index * std::sin(2.0 * Pi * 2.0 * hz * t));
        return mono(value * std::exp(-t / 0.9) * std::min({1.0, t / 0.002, (3.0 - t) / 0.1}));
    });
}

void bass(Mix& mix, double start, double gate, int pitch, float velocity) {
    const Envelope envelope{0.003, 0.2, 0.8, 0.03};
    const Route route{0.4f * velocity, 0.0f, 0.0f, true};
    const double hz = noteHz(pitch);
    mix.add(start, gate + envelope.release, 0.0f, route,
            [saw = Oscillator(mix.rate), sub = Oscillator(mix.rate),
             filter = Filter(1000.0, 0.9, mix.rate), hz, gate, envelope,
             count = 0](double t) mutable {
                if (count++ % 16 == 0)
                    filter.tune(180.0 + 1800.0 * std::exp(-t / 0.09), 0.9);
                const double value =
                    filter.process(static_cast<float>(saw.saw(hz))).low + 0.5 * sub.sine(hz / 2);
                return mono(value * envelope.level(t, gate));
            });
}

void lead(Mix& mix, double start, double gate, int pitch, float velocity) {
    const Envelope envelope{0.01, 0.3, 0.7, 0.25};
    const Route route{0.26f * velocity, 0.22f, 0.3f, false};
    std::vector<Oscillator> oscillators(3, Oscillator(mix.rate));
    mix.add(
        start, gate + envelope.release, 0.0f, route,
        [oscillators, filter = Filter(3000.0, 1.2, mix.rate), pitch, gate, envelope,
         count = 0](double t) mutable {
            if (count++ % 16 == 0)
                filter.tune(1800.0 + 2600.0 * std::exp(-t / 0.2), 1.2);
            const double depth = 0.18 * std::clamp((t - 0.2) / 0.4, 0.0, 1.0);
            const double hz = noteHz(pitch + depth * std::sin(2.0 * Pi * 5.5 * t));
            const double value = oscillators[0].saw(hz * 0.996) + oscillators[1].saw(hz * 1.004) +
                                 0.4 * oscillators[2].pulse(hz / 2, 0.5);
            return mono(filter.process(static_cast<float>(value)).low * envelope.level(t, gate));
        });
}

// A resonant, plucked voice for the arpeggio; cutoff is where its filter
// sits at this note.
void pluck(Mix& mix, double start, int pitch, double cutoff, float velocity, float pan) {
    const Envelope envelope{0.003, 0.12, 0.0, 0.05};
    const Route route{0.16f * velocity, 0.15f, 0.2f, true};
    const double hz = noteHz(pitch), gate = 0.25 * BeatSeconds;
    mix.add(start, gate + envelope.release, pan, route,
            [osc = Oscillator(mix.rate), saw = Oscillator(mix.rate),
             filter = Filter(cutoff, 3.0, mix.rate), hz, gate, envelope](double t) mutable {
                const double value = osc.pulse(hz, 0.3) + 0.5 * saw.saw(hz);
                return mono(filter.process(static_cast<float>(value)).low *
                            envelope.level(t, gate));
            });
}

// A square-wave chip voice: its pitch steps through pitches every step
// seconds (an arpeggio when there are several), and its loudness moves in
// sixteen steps, as sound chips' volume registers do.
struct Chip {
    std::vector<int> pitches;
    double width = 0.5;
    double step = 1.0;
    double vibrato = 0.0;
    float level = 0.15f;
    float pan = 0.0f;
    float echo = 0.0f;
};

void chip(Mix& mix, double start, double gate, const Chip& voice) {
    const Envelope envelope{0.002, 0.15, 0.6, 0.03};
    const Route route{voice.level, 0.05f, voice.echo, false};
    mix.add(start, gate + envelope.release, voice.pan, route,
            [osc = Oscillator(mix.rate), voice, gate, envelope](double t) mutable {
                const std::size_t index = static_cast<std::size_t>(t / voice.step);
                const double depth = voice.vibrato * std::clamp((t - 0.15) / 0.2, 0.0, 1.0);
                const double pitch = voice.pitches[index % voice.pitches.size()] +
                                     depth * std::sin(2.0 * Pi * 6.0 * t);
                const double level = std::round(envelope.level(t, gate) * 15.0) / 15.0;
                return mono(osc.pulse(noteHz(pitch), voice.width) * level);
            });
}

// A laser-like square sweep from high to low.
void zap(Mix& mix, double start) {
    const Route route{0.12f, 0.1f, 0.3f, false};
    mix.add(start, 0.6, 0.2f, route, [osc = Oscillator(mix.rate)](double t) mutable {
        const double pitch = 96.0 - 60.0 * std::sqrt(t / 0.6);
        return mono(osc.pulse(noteHz(pitch), 0.25) * (1.0 - t / 0.6));
    });
}

enum Part { Dusk, Pillars, Metaballs, Mirrors, Retro, Night, Outro };
static_assert(Sections[Retro].firstBar == 36 && Sections[Night].firstBar == 52,
              "the parts follow the sections' order");

Part partOf(int bar) {
    int part = 0;
    while (bar >= Sections[part].endBar)
        ++part;
    return static_cast<Part>(part);
}

struct Chord {
    int root;                    // the bass note, in the lowest octave
    std::array<int, 4> voicing;  // the pads' four notes
};

Chord chordAt(int bar) {
    switch (Progression[bar]) {
    case 'A':
        return {33, {57, 60, 64, 71}};
    case 'F':
        return {29, {53, 57, 60, 64}};
    case 'C':
        return {36, {55, 60, 64, 67}};
    case 'G':
        return {31, {55, 59, 62, 67}};
    case 'E':
        return {28, {52, 56, 59, 64}};
    default:
        return {28, {52, 55, 59, 64}};
    }
}

// A step pattern over the bar's sixteen 16ths: 'x' full, 'o' medium, '-'
// soft, '.' rest.
float velocityAt(const char* pattern, int step) {
    switch (pattern[step]) {
    case 'x':
        return 1.0f;
    case 'o':
        return 0.7f;
    case '-':
        return 0.4f;
    default:
        return 0.0f;
    }
}

struct Groove {
    const char* kick;
    const char* snare;
    const char* hat;
    const char* open;
};

Groove grooveAt(int bar) {
    const char* rest = "................";
    const char* four = "x...x...x...x...";
    switch (partOf(bar)) {
    case Dusk:
        return {bar < 4   ? rest
                : bar < 6 ? "x.......o......."
                          : "x...o...x...o...",
                rest, rest, rest};
    case Pillars:
        return {four, bar == 19 ? "....x.......xoxx" : "....x.......x...", ".-x-.-x-.-x-.-x-",
                rest};
    case Metaballs:
        return {four, bar == 27 ? "....x...x.x.xxxx" : "........x.......",
                bar < 24 ? "-.x.-.x.-.x.-.x." : "-.-.-.-.-.-.-.-.",
                bar < 24 ? rest : "..o...o...o...o."};
    case Mirrors:
        return {bar < 35 ? four : rest, rest, bar < 32 ? ".-x-.-x-.-x-.-x-" : rest, rest};
    case Retro:
        if (bar == 43)
            return {"x.......x.......", "....x...........", "x.x.x.x.x.......", rest};
        return {"x.....x...x.....", bar == 51 ? "....x...xoxoxxxx" : "....x.......x...",
                bar < 44 ? "x.x.x.x.x.x.x.x." : "xoxoxoxoxoxoxoxo", rest};
    case Night:
        return {four, bar == 71 ? "....x...x.xxxxxx" : "....x.......x...", ".-.-.-.-.-.-.-.-",
                "..x...x...x...x."};
    case Outro:
        break;
    }
    return {rest, rest, rest, rest};
}

void arrangeDrums(Mix& mix) {
    for (int bar = 0; bar < Bars; ++bar) {
        const Groove groove = grooveAt(bar);
        const Part part = partOf(bar);
        for (int step = 0; step < 16; ++step) {
            const double time = beatTime(bar, step / 4.0);
            if (const float v = velocityAt(groove.kick, step); v > 0)
                part == Retro ? machineKick(mix, time, v) : kick(mix, time, v, part == Dusk);
            if (const float v = velocityAt(groove.snare, step); v > 0)
                part == Retro ? machineSnare(mix, time, v) : snare(mix, time, v);
            if (const float v = velocityAt(groove.hat, step); v > 0)
                part == Retro ? machineHat(mix, time, v) : hat(mix, time, v, false);
            if (const float v = velocityAt(groove.open, step); v > 0)
                hat(mix, time, v, true);
        }
    }
    // The snare roll into the drop: 8ths, 8ths, 16ths, then 32nds, louder
    // and louder, stopping an 8th before bar 36 so that the drop hits out
    // of silence.
    constexpr int HitsPerBar[] = {8, 8, 16, 32};
    for (int bar = 32; bar < 36; ++bar) {
        const int hits = HitsPerBar[bar - 32];
        for (int i = 0; i < hits * 7 / 8; ++i) {
            const double beat = 4.0 * i / hits;
            const double progress = (bar - 32 + beat / 4.0) / 4.0;
            snare(mix, beatTime(bar, beat), static_cast<float>(0.25 + 0.75 * progress));
        }
    }
    riser(mix, barTime(28), beatTime(35, 3.5) - barTime(28));
    for (int bar : {8, 12, 16, 20, 36, 52, 56, 60, 64, 68, 72})
        crash(mix, barTime(bar), 1.0f);
    kick(mix, barTime(72), 1.0f, false);
}

struct Tone {
    int bar;
    double beat, beats;
    int pitch;
};

// The lead's phrases in A minor, bars counted from the phrase's start.
const std::vector<Tone> PhraseA{
    {0, 0, 0.5, 69}, {0, 0.5, 0.5, 72}, {0, 1, 1.5, 76},   {0, 2.5, 0.5, 74}, {0, 3, 1, 72},
    {1, 0, 0.5, 72}, {1, 0.5, 0.5, 69}, {1, 1, 1, 72},     {1, 2, 1.5, 77},   {1, 3.5, 0.5, 76},
    {2, 0, 1, 76},   {2, 1, 1.5, 79},   {2, 2.5, 0.5, 76}, {2, 3, 1, 74},     {3, 0, 2, 74},
    {3, 2, 1, 71},   {3, 3, 1, 74}};
const std::vector<Tone> PhraseB{
    {0, 0, 0.5, 69},   {0, 0.5, 0.5, 72}, {0, 1, 1.5, 76}, {0, 2.5, 0.5, 74}, {0, 3, 1, 72},
    {1, 0, 0.5, 72},   {1, 0.5, 0.5, 69}, {1, 1, 1, 72},   {1, 2, 1.5, 81},   {1, 3.5, 0.5, 79},
    {2, 0, 1, 79},     {2, 1, 1, 76},     {2, 2, 1, 72},   {2, 3, 1, 76},     {3, 0, 1.5, 74},
    {3, 1.5, 0.5, 71}, {3, 2, 2, 67}};
// The answer an octave higher, the melody's peak.
const std::vector<Tone> PhraseHigh{
    {0, 0, 1.5, 81}, {0, 1.5, 0.5, 79}, {0, 2, 1, 76},     {0, 3, 1, 72},   {1, 0, 1, 77},
    {1, 1, 1, 81},   {1, 2, 1.5, 84},   {1, 3.5, 0.5, 81}, {2, 0, 1.5, 79}, {2, 1.5, 0.5, 76},
    {2, 2, 1, 79},   {2, 3, 1, 76},     {3, 0, 1, 74},     {3, 1, 1, 79},   {3, 2, 2, 83}};
// Over A minor, G, F, E: down to the leading tone, resolved on bar 72.
const std::vector<Tone> PhraseClose{{0, 0, 2, 81}, {0, 2, 1, 79}, {0, 3, 1, 76}, {1, 0, 2, 74},
                                    {1, 2, 2, 71}, {2, 0, 2, 72}, {2, 2, 1, 69}, {2, 3, 1, 72},
                                    {3, 0, 2, 71}, {3, 2, 2, 68}, {4, 0, 8, 69}};
// The chip lead over F, G, E minor, A minor, F, G, E, E.
const std::vector<Tone> PhraseChip{
    {0, 0, 0.5, 72},   {0, 0.5, 0.5, 77}, {0, 1, 0.5, 81},   {0, 1.5, 0.5, 84}, {0, 2, 0.5, 81},
    {0, 2.5, 0.5, 77}, {0, 3, 0.5, 72},   {0, 3.5, 0.5, 77}, {1, 0, 0.5, 74},   {1, 0.5, 0.5, 79},
    {1, 1, 0.5, 83},   {1, 1.5, 0.5, 86}, {1, 2, 1, 83},     {1, 3, 0.5, 81},   {1, 3.5, 0.5, 79},
    {2, 0, 1.5, 76},   {2, 1.5, 0.5, 79}, {2, 2, 1, 83},     {2, 3, 0.5, 79},   {2, 3.5, 0.5, 76},
    {3, 0, 1, 81},     {3, 1, 0.5, 76},   {3, 1.5, 0.5, 72}, {3, 2, 0.5, 76},   {3, 2.5, 0.5, 81},
    {3, 3, 1, 84},     {4, 0, 1.5, 81},   {4, 1.5, 0.5, 79}, {4, 2, 0.5, 77},   {4, 2.5, 0.5, 76},
    {4, 3, 1, 77},     {5, 0, 1.5, 79},   {5, 1.5, 0.5, 77}, {5, 2, 0.5, 76},   {5, 2.5, 0.5, 74},
    {5, 3, 1, 71},     {6, 0, 1, 80},     {6, 1, 1, 83},     {6, 2, 2, 88},     {7, 0, 0.5, 86},
    {7, 0.5, 0.5, 83}, {7, 1, 0.5, 80},   {7, 1.5, 0.5, 76}, {7, 2, 0.5, 74},   {7, 2.5, 0.5, 71},
    {7, 3, 1, 68}};

void arrangeLead(Mix& mix) {
    const std::pair<int, const std::vector<Tone>*> phrases[] = {
        {52, &PhraseA}, {56, &PhraseB}, {60, &PhraseA}, {64, &PhraseHigh}, {68, &PhraseClose}};
    for (const auto& [first, phrase] : phrases)
        for (const Tone& tone : *phrase)
            lead(mix, beatTime(first + tone.bar, tone.beat), tone.beats * BeatSeconds * 0.92,
                 tone.pitch, tone.bar == 4 ? 0.9f : 0.8f);
    Chip voice;
    voice.level = 0.18f;
    voice.vibrato = 0.2;
    voice.echo = 0.25f;
    for (const Tone& tone : PhraseChip) {
        voice.pitches = {tone.pitch};
        chip(mix, beatTime(44 + tone.bar, tone.beat), tone.beats * BeatSeconds * 0.85, voice);
    }
}

double padBrightness(int bar) {
    switch (partOf(bar)) {
    case Dusk:
        return 800.0 + 100.0 * bar;
    case Metaballs:
        return 1600.0;
    case Mirrors:
        return 2400.0;
    case Night:
        return 3000.0;
    default:
        return 2000.0;
    }
}

void arrangeHarmony(Mix& mix) {
    for (int bar = 0; bar < 72; ++bar) {
        const Part part = partOf(bar);
        const Chord chord = chordAt(bar);
        if (part != Retro) {
            const float velocity = part == Dusk || part == Pillars ? 1.0f
                                   : part == Metaballs             ? 0.6f
                                                                   : 0.75f;
            const double gate = bar == 35 ? 3.0 * BeatSeconds : BarSeconds;
            for (int pitch : chord.voicing)
                pad(mix, barTime(bar), gate, pitch, velocity, padBrightness(bar),
                    bar == 35 ? 0.2 : 1.2);
        }
        if (part == Pillars || part == Metaballs)
            for (double beat : {0.5, 1.5, 2.5, 3.5})
                bass(mix, beatTime(bar, beat), 0.42 * BeatSeconds, chord.root + 12, 0.9f);
        if (part == Mirrors)
            bass(mix, barTime(bar), (bar == 35 ? 3.4 : 3.9) * BeatSeconds, chord.root + 12, 0.8f);
        if (part == Night)
            for (int step = 0; step < 16; ++step)
                if (step % 4 != 0)
                    bass(mix, beatTime(bar, step / 4.0), 0.2 * BeatSeconds,
                         chord.root + (step == 15 ? 24 : 12), step % 4 == 2 ? 0.9f : 0.7f);
        if (part == Dusk && bar >= 2) {
            const int tones[] = {chord.voicing[3] + 12, chord.voicing[2] + 12,
                                 chord.voicing[1] + 12};
            for (int i = 0; i < 3; ++i)
                bell(mix, beatTime(bar, 1.5 * i), tones[i], 0.6f + 0.05f * bar,
                     i % 2 ? -0.4f : 0.4f);
        }
    }
    drone(mix, 0.0, barTime(8));
}

// The filtered arpeggio: 16ths up the chord, alternate beats an octave
// higher; from bar 24 an octave higher again while its filter opens.
void arrangeArpeggio(Mix& mix) {
    for (int bar = 20; bar < 72; ++bar) {
        const Part part = partOf(bar);
        if (part == Retro)
            continue;
        const Chord chord = chordAt(bar);
        for (int step = 0; step < (bar == 35 ? 13 : 16); ++step) {
            const double time = beatTime(bar, step / 4.0);
            double cutoff = 1800.0;
            if (part == Metaballs)
                cutoff = 300.0 * std::pow(8000.0 / 300.0, (time - barTime(20)) / (8 * BarSeconds));
            if (part == Mirrors)
                cutoff = 8000.0;
            const int octave = (step / 4) % 2 + (bar >= 24 && part != Night ? 1 : 0);
            pluck(mix, time, chord.voicing[step % 4] + 12 * octave, cutoff,
                  part == Night ? 0.6f : 1.0f, step % 2 ? 0.35f : -0.35f);
        }
    }
}

// The retro break: chip bass and arpeggios over the drum machine, a run up
// into the accent at RetroAccentSeconds, and a chip lead after it.
void arrangeRetro(Mix& mix) {
    for (int bar = 36; bar < 52; ++bar) {
        const Chord chord = chordAt(bar);
        Chip bassVoice;
        bassVoice.level = 0.22f;
        Chip arpVoice;
        arpVoice.width = 0.25;
        arpVoice.step = BeatSeconds / 8.0;
        arpVoice.level = 0.07f;
        arpVoice.pan = -0.3f;
        for (int pitch : chord.voicing)
            arpVoice.pitches.push_back(pitch + 12);
        for (int eighth = 0; eighth < (bar == 43 ? 4 : 8); ++eighth) {
            const double time = beatTime(bar, eighth / 2.0);
            bassVoice.pitches = {chord.root + 12 + (eighth % 2 ? 12 : 0)};
            chip(mix, time, 0.4 * BeatSeconds, bassVoice);
            if (bar != 43 || eighth < 2)
                chip(mix, time, 0.45 * BeatSeconds, arpVoice);
        }
    }
    Chip run;
    run.width = 0.125;
    run.level = 0.1f;
    run.echo = 0.2f;
    const int runPitches[] = {67, 71, 74, 79, 83, 86};
    for (int i = 0; i < 6; ++i) {
        run.pitches = {runPitches[i]};
        chip(mix, beatTime(43, 1.0 + 0.25 * i), 0.22 * BeatSeconds, run);
    }
    crash(mix, RetroAccentSeconds, 1.0f);
    machineKick(mix, RetroAccentSeconds, 1.0f);
    machineSnare(mix, RetroAccentSeconds, 1.0f);
    Chip stab;
    stab.level = 0.1f;
    stab.echo = 0.35f;
    for (int pitch : {55, 67, 71, 74, 79}) {
        stab.pitches = {pitch};
        chip(mix, RetroAccentSeconds, 0.6 * BeatSeconds, stab);
    }
    zap(mix, RetroAccentSeconds);
}

// The last chord, struck on bar 72 and left to ring out under the fade.
void arrangeOutro(Mix& mix) {
    const Chord chord = chordAt(72);
    for (int pitch : chord.voicing)
        pad(mix, barTime(72), 5 * BarSeconds, pitch, 1.0f, 1400.0, 2.5);
    bass(mix, barTime(72), 2 * BarSeconds, chord.root + 12, 0.9f);
    drone(mix, barTime(72), 6 * BarSeconds);
    const std::pair<double, int> bells[] = {
        {72.5, 88}, {73.0, 86}, {73.5, 84}, {74.0, 81}, {75.0, 76}};
    for (const auto& [bar, pitch] : bells)
        bell(mix, bar * BarSeconds, pitch, 0.7f, pitch % 2 ? -0.3f : 0.3f);
}

// Ogg pages: "OggS", version, flags, granule position (8 bytes), serial
// number (4, at 14), page number (4), checksum (4, at 22), segment count (1,
// at 26), the segment sizes, then the data.
constexpr std::size_t OggHeaderSize = 27;
// libsndfile picks a different stream serial number on every run; everything
// else it writes is the same for the same samples. Every page gets this
// serial instead, and its checksum again.
constexpr std::uint32_t OggSerial = 0x4e524154;  // "TARN"

std::uint32_t oggChecksum(const unsigned char* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = r & 0x80000000u ? (r << 1) ^ 0x04c11db7u : r << 1;
            entries[i] = r;
        }
        return entries;
    }();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xff];
    return crc;
}

void putU32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// False when the bytes are not a sequence of whole Ogg pages.
bool fixSerialNumbers(std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        unsigned char* page = reinterpret_cast<unsigned char*>(&bytes[at]);
        if (bytes.size() - at < OggHeaderSize || std::memcmp(page, "OggS", 4) != 0)
            return false;
        std::size_t size = OggHeaderSize + page[26];
        if (bytes.size() - at < size)
            return false;
        for (int i = 0; i < page[26]; ++i)
            size += page[OggHeaderSize + i];
        if (bytes.size() - at < size)
            return false;
        putU32(page + 14, OggSerial);
        putU32(page + 22, 0);
        putU32(page + 22, oggChecksum(page, size));
        at += size;
    }
    return !bytes.empty();
}

// libsndfile writes into this string instead of a file.
struct MemoryFile {
    std::string bytes;
    sf_count_t cursor = 0;
};

sf_count_t memoryLength(void* user) {
    return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size());
}

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
    MemoryFile& file = *static_cast<MemoryFile*>(user);
    const sf_count_t base = whence == SEEK_CUR   ? file.cursor
                            : whence == SEEK_END ? static_cast<sf_count_t>(file.bytes.size())
                                                 : 0;
    file.cursor = std::max<sf_count_t>(0, base + offset);
    return file.cursor;
}

sf_count_t memoryRead(void* ptr, sf_count_t count, void* user) {
    MemoryFile& file = *static_cast<MemoryFile*>(user);
    const sf_count_t size = static_cast<sf_count_t>(file.bytes.size());
    const sf_count_t n =
        std::clamp<sf_count_t>(size - file.cursor, 0, std::max<sf_count_t>(count, 0));
    std::memcpy(ptr, file.bytes.data() + file.cursor, static_cast<std::size_t>(n));
    file.cursor += n;
    return n;
}

sf_count_t memoryWrite(const void* ptr, sf_count_t count, void* user) {
    MemoryFile& file = *static_cast<MemoryFile*>(user);
    const std::size_t end = static_cast<std::size_t>(file.cursor + count);
    if (end > file.bytes.size())
        file.bytes.resize(end);
    std::memcpy(&file.bytes[static_cast<std::size_t>(file.cursor)], ptr,
                static_cast<std::size_t>(count));
    file.cursor += count;
    return count;
}

sf_count_t memoryTell(void* user) {
    return static_cast<MemoryFile*>(user)->cursor;
}

struct SoundFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

// Encodes music into bytes; returns the reason it could not, or "".
std::string encode(const Music& music, std::string& bytes) {
    SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
    MemoryFile memory;
    SF_INFO info{0, music.sampleRate, music.channels, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0, 0};
    {
        std::unique_ptr<SNDFILE, SoundFileCloser> file(
            sf_open_virtual(&io, SFM_WRITE, &info, &memory));
        if (!file)
            return std::string("cannot encode Ogg Vorbis: ") + sf_strerror(nullptr);
        double quality = VorbisQuality;
        sf_command(file.get(), SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof(quality));
        const sf_count_t frames = static_cast<sf_count_t>(music.samples.size()) / music.channels;
        for (sf_count_t done = 0; done < frames; done += EncodeChunkFrames) {
            const sf_count_t count = std::min(EncodeChunkFrames, frames - done);
            if (sf_writef_float(file.get(), music.samples.data() + done * music.channels, count) !=
                count)
                return std::string("cannot encode Ogg Vorbis: ") + sf_strerror(file.get());
        }
    }
    if (!fixSerialNumbers(memory.bytes))
        return "libsndfile wrote no valid Ogg pages";
    bytes = std::move(memory.bytes);
    return std::string();
}

std::string rateProblem(int rate) {
    if (rate >= MinRate && rate <= MaxRate)
        return std::string();
    return "sample rate " + std::to_string(rate) + " Hz is outside " + std::to_string(MinRate) +
           " to " + std::to_string(MaxRate) + " Hz";
}

}  // namespace

Music renderMusic(int sampleRate) {
    if (const std::string problem = rateProblem(sampleRate); !problem.empty()) {
        std::cout << "[Music] " << problem << "\n";
        return Music{0, 0, {}};
    }
    Mix mix(sampleRate);
    arrangeDrums(mix);
    arrangeHarmony(mix);
    arrangeArpeggio(mix);
    arrangeLead(mix);
    arrangeRetro(mix);
    arrangeOutro(mix);
    return Music{sampleRate, 2, mix.master()};
}

bool encodeOggVorbis(const Music& music, std::string& bytes, std::string& error) {
    if (music.channels < 1 || music.samples.empty() || music.samples.size() % music.channels != 0)
        error = "no whole frames of music to write";
    else
        error = rateProblem(music.sampleRate);
    if (error.empty())
        error = encode(music, bytes);
    return error.empty();
}

bool writeOggVorbis(const std::string& path, const Music& music, std::string& error) {
    std::string bytes;
    if (!encodeOggVorbis(music, bytes, error)) {
        error = path + ": " + error;
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        error = path + ": cannot open the file for writing";
        return false;
    }
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
        out.close();
        std::remove(path.c_str());
        error = path + ": cannot write the file";
        return false;
    }
    return true;
}

}  // namespace Content
