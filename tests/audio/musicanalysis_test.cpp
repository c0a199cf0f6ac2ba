// The analysis of music made here, whose events are known: kicks on a grid,
// a bass tone, hi-hats on the off-beats, pure tones. Expectations come from
// those events and from the mapping's formula, never from the analysis.

#include "tarn/audio/musicanalysis.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/diagnostics.h"

namespace {

using Tarn::Audio::Feature;
using Tarn::Audio::FeatureTrack;
using Tarn::Audio::MusicAnalysis;
constexpr double Hop = MusicAnalysis::Hop;
constexpr int Rate = 44100;

// Stereo, 8 s: kicks (a decaying 60 Hz sine and a 2 ms click) every 0.5 s
// from 0.2513 s until 4.3 s; a 55 Hz bass tone from 2 s to 6 s; hi-hats (30
// ms of high-passed noise, right channel only) every 0.5 s from 0.5013 s.
struct Song {
    std::vector<float> samples;
    std::vector<double> kicks, hats;

    Song() : samples(2 * 8 * Rate) {
        std::mt19937 random(7);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        for (double t = 0.2513; t < 4.3; t += 0.5)
            kicks.push_back(t);
        for (double t = 0.5013; t < 7.9; t += 0.5)
            hats.push_back(t);
        float previous = 0.0f;
        for (std::size_t i = 0; i < samples.size() / 2; ++i) {
            const double t = static_cast<double>(i) / Rate;
            double both = t >= 2.0 && t < 6.0 ? 0.3 * std::sin(2 * M_PI * 55 * t) : 0.0;
            const double k = sinceLast(kicks, t), h = sinceLast(hats, t);
            if (k < 0.4)
                both += 0.8 * std::exp(-k / 0.04) * std::sin(2 * M_PI * 60 * k) +
                        (k < 0.002 ? 0.5 * noise(random) : 0.0);
            const float white = noise(random);
            const double hat = h < 0.03 ? 0.1 * std::exp(-h / 0.01) * (white - previous) : 0.0;
            previous = white;
            samples[2 * i] = static_cast<float>(both);
            samples[2 * i + 1] = static_cast<float>(both + hat);
        }
    }
    static double sinceLast(const std::vector<double>& events, double t) {
        double since = 1e9;
        for (double e : events)
            if (e <= t)
                since = t - e;
        return since;
    }
};

const MusicAnalysis& songAnalysis() {
    static const Song song;
    static const MusicAnalysis analysis = [] {
        MusicAnalysis a;
        a.analyse(song.samples.data(), song.samples.size() / 2, 2, Rate);
        return a;
    }();
    return analysis;
}

float at(Feature f, double t) {
    return songAnalysis().value(f, t);
}

TEST(MusicAnalysisTest, OnsetPeaksAtEveryKickAndNowhereElse) {
    const Song song;
    const MusicAnalysis& a = songAnalysis();
    std::vector<double> peaks;
    for (std::size_t h = 1; h + 1 < a.hopCount(); ++h) {
        const float v = at(Feature::Onset, h * Hop);
        if (v > 0.8f && v >= at(Feature::Onset, (h - 1) * Hop) &&
            v > at(Feature::Onset, (h + 1) * Hop))
            peaks.push_back(h * Hop);
    }
    ASSERT_EQ(peaks.size(), song.kicks.size());
    for (std::size_t i = 0; i < peaks.size(); ++i)
        EXPECT_NEAR(peaks[i], song.kicks[i], Hop) << "kick " << i;
}

// Bass is high with the tone or just after a kick, low without either;
// highs are high within a hi-hat's 30 ms and low between hi-hats.
TEST(MusicAnalysisTest, BandsFollowWhatPlaysInThem) {
    const struct {
        Feature band;
        double t;
        bool high;
    } cases[] = {
        {Feature::Bass, 0.7613, true},   {Feature::Bass, 1.2013, false},
        {Feature::Bass, 5.0, true},      {Feature::Bass, 6.7, false},
        {Feature::Bass, 7.3, false},     {Feature::Highs, 6.5063, true},
        {Feature::Highs, 6.6013, false}, {Feature::Highs, 7.0063, true},
        {Feature::Highs, 7.2013, false}, {Feature::Highs, 2.5063, true},
    };
    for (const auto& c : cases) {
        const float v = at(c.band, c.t);
        if (c.high)
            EXPECT_GT(v, 0.7f) << "band " << static_cast<int>(c.band) << " at " << c.t;
        else
            EXPECT_LT(v, 0.2f) << "band " << static_cast<int>(c.band) << " at " << c.t;
    }
}

TEST(MusicAnalysisTest, PeakBinIsTheTonesBin) {
    for (int rate : {44100, 48000})
        for (double frequency : {55.0, 110.0, 440.0, 1000.0, 5000.0}) {
            std::vector<float> tone(2 * rate);
            for (std::size_t i = 0; i < tone.size(); ++i)
                tone[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * frequency * i / rate));
            MusicAnalysis a;
            ASSERT_TRUE(a.analyse(tone.data(), tone.size(), 1, rate));
            float bins[MusicAnalysis::Bins];
            a.spectrumAt(1.0, bins);
            const int peak =
                static_cast<int>(std::max_element(bins, bins + MusicAnalysis::Bins) - bins);
            EXPECT_NEAR(peak, 12.0 * std::log2(frequency / 30.0), 1.0)
                << frequency << " Hz at " << rate;
            EXPECT_FLOAT_EQ(bins[peak], 1.0f) << "the loudest moment reads 1";
        }
}

// A full-scale sine then one at half amplitude: -6.02 dB of 60 mapped.
// Silence has no loudest moment and reads 0.
TEST(MusicAnalysisTest, LevelIsDecibelsBelowTheLoudestMoment) {
    std::vector<float> tone(2 * Rate);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] =
            static_cast<float>((i < Rate ? 1.0 : 0.5) * std::sin(2 * M_PI * 441.0 * i / Rate));
    MusicAnalysis a;
    ASSERT_TRUE(a.analyse(tone.data(), tone.size(), 1, Rate));
    EXPECT_NEAR(a.value(Feature::Level, 0.5), 1.0f, 1e-3);
    EXPECT_NEAR(a.value(Feature::Level, 1.5), 1.0 + 20.0 * std::log10(0.5) / 60.0, 1e-3);
    const std::vector<float> silence(Rate);
    ASSERT_TRUE(a.analyse(silence.data(), silence.size(), 1, Rate));
    EXPECT_EQ(a.value(Feature::Level, 0.5) + a.value(Feature::Bass, 0.5) + a.bin(100, 50), 0.0f);
}

TEST(MusicAnalysisTest, ValuesDependOnTimeAloneNotOnQueryOrder) {
    const MusicAnalysis& a = songAnalysis();
    std::vector<double> times;
    for (double t = -0.1; t < a.duration() + 0.1; t += 0.0137)
        times.push_back(t);
    std::vector<float> forwards;
    for (double t : times)
        forwards.push_back(a.value(Feature::Onset, t) + a.value(Feature::Bass, t));
    std::vector<std::size_t> order(times.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    for (std::size_t i : order)
        EXPECT_EQ(a.value(Feature::Onset, times[i]) + a.value(Feature::Bass, times[i]),
                  forwards[i]);
}

TEST(MusicAnalysisTest, IntegralsSumTheBandOverHops) {
    const MusicAnalysis& a = songAnalysis();
    const Feature pairs[][2] = {{Feature::Bass, Feature::BassIntegral},
                                {Feature::LowMids, Feature::LowMidsIntegral},
                                {Feature::HighMids, Feature::HighMidsIntegral},
                                {Feature::Highs, Feature::HighsIntegral}};
    for (const auto& pair : pairs) {
        double sum = 0.0;
        float previous = 0.0f;
        for (std::size_t h = 0; h < a.hopCount(); ++h) {
            const float integral = a.value(pair[1], h * Hop);
            EXPECT_NEAR(integral, sum, 1e-4) << "hop " << h;
            EXPECT_GE(integral, previous);
            previous = integral;
            sum += a.value(pair[0], h * Hop) * Hop;
        }
        EXPECT_GT(sum, 0.1);
        EXPECT_FLOAT_EQ(a.value(pair[1], a.duration() + 1.0), previous) << "kept after the end";
    }
}

// A step up at hop 10 and down at hop 110: y = 1 - exp(-(n + 1) hop / attack)
// n hops after the rise, then the level reached times exp(-(n + 1) hop / release).
TEST(MusicAnalysisTest, TrackFollowsAStepWithAttackAndRelease) {
    const struct { float attack, release; } cases[] = {{0.0f, 0.0f}, {0.05f, 0.2f}, {0.2f, 0.01f}};
    std::vector<float> step(200, 0.0f);
    std::fill(step.begin() + 10, step.begin() + 110, 1.0f);
    for (const auto& c : cases) {
        const FeatureTrack track(step, c.attack, c.release);
        const auto follow = [](double n, float seconds) {
            return seconds > 0 ? std::exp(-(n + 1) * Hop / seconds) : 0.0;
        };
        const double top = 1.0 - follow(99, c.attack);
        for (int h = 0; h < 200; ++h) {
            const double expected = h < 10    ? 0.0
                                    : h < 110 ? 1.0 - follow(h - 10, c.attack)
                                              : top * follow(h - 110, c.release);
            EXPECT_NEAR(track.at(h * Hop), expected, 1e-5) << h << " " << c.attack;
        }
        const double halfway = (track.at(20 * Hop) + track.at(21 * Hop)) / 2;
        EXPECT_NEAR(track.at(20.5 * Hop), halfway, 1e-6) << "linear between hops";
        EXPECT_EQ(track.at(-1.0), track.at(0.0));
        EXPECT_EQ(track.at(10.0), track.at(199 * Hop));
    }
    const MusicAnalysis& a = songAnalysis();
    EXPECT_EQ(a.track(Feature::Highs).at(6.5063), at(Feature::Highs, 6.5063));
}

TEST(MusicAnalysisTest, RefusesNothingToAnalyseAndReadsZero) {
    const float one[2] = {0.5f, 0.5f};
    const struct {
        const float* samples;
        std::size_t frames;
        int channels, rate;
        std::string line;
    } cases[] = {
        {nullptr, 10, 1, Rate, "[MusicAnalysis] no samples to analyse"},
        {one, 0, 1, Rate, "[MusicAnalysis] no samples to analyse"},
        {one, 1, 0, Rate, "[MusicAnalysis] cannot analyse 0 channels at 44100 Hz"},
        {one, 1, 2, -5, "[MusicAnalysis] cannot analyse 2 channels at -5 Hz"},
    };
    for (const auto& c : cases) {
        Tarn::Diagnostics::ProblemList problems(false);
        const Tarn::Diagnostics::ScopedCollector collect(problems);
        MusicAnalysis a = songAnalysis();
        EXPECT_FALSE(a.analyse(c.samples, c.frames, c.channels, c.rate));
        EXPECT_EQ(problems.lines(), std::vector<std::string>{c.line});
        float bins[MusicAnalysis::Bins];
        a.spectrumAt(0.0, bins);
        EXPECT_EQ(a.hopCount(), 0u);
        EXPECT_EQ(a.value(Feature::Bass, 0.0) + a.bin(0, 0) + bins[0] +
                      a.track(Feature::Level).at(0),
                  0.0f);
    }
}

TEST(MusicAnalysisTest, FeaturesHaveTheirScriptNames) {
    const std::vector<std::string> names = {
        "bass",          "lowmids",          "highmids",          "highs",         "onset", "level",
        "bass_integral", "lowmids_integral", "highmids_integral", "highs_integral"};
    EXPECT_EQ(Tarn::Audio::featureNames(), names);
    for (std::size_t i = 0; i < names.size(); ++i) {
        Feature f = Feature::Bass;
        EXPECT_TRUE(Tarn::Audio::featureByName(names[i], f));
        EXPECT_EQ(static_cast<std::size_t>(f), i);
    }
    Feature untouched = Feature::Onset;
    EXPECT_FALSE(Tarn::Audio::featureByName("Bass", untouched));
    EXPECT_EQ(untouched, Feature::Onset);
}

}  // namespace
