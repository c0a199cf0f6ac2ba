// Values that follow the music: a follow line adds gain x a feature at the
// demo time to what the keys give, whatever time the automation itself runs
// at; its mistakes are refused with their reason.

#include "tarn/audio/musictime.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/audio/musicanalysis.h"
#include "tarn/audio/tempogrid.h"
#include "tarn/scenegraph/automation.h"
#include "tarn/scenegraph/property.h"

namespace {

using Tarn::Audio::Feature;
using Tarn::Audio::MusicTime;
using Tarn::Scenegraph::Automation;

// Two seconds of a 55 Hz tone that starts at 1 s, mono at 22.05 kHz.
Tarn::Audio::MusicAnalysis toneFromOneSecond() {
    std::vector<float> samples(2 * 22050);
    for (std::size_t i = 22050; i < samples.size(); ++i)
        samples[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 55.0 * i / 22050.0));
    Tarn::Audio::MusicAnalysis analysis;
    EXPECT_TRUE(analysis.analyse(samples.data(), samples.size(), 1, 22050));
    return analysis;
}

TEST(MusicTimeTest, FollowLinesAddTheFeatureAtDemoTimeToTheKeys) {
    const Tarn::Audio::MusicAnalysis analysis = toneFromOneSecond();
    const Tarn::Audio::TempoGrid tempo(120.0, 0.25);  // a beat is 0.5 s from 0.25 s on
    MusicTime music{0.0, &analysis, &tempo};
    const struct {
        std::vector<std::string> words;
        double keyed;  // keys of x: 2 at any time; NAN: no keys, set to 3
        double now;
        double expected;
    } rows[] = {
        {{"x", "beat", "4"}, 2, 0.5, 2 + 4 * 0.5},
        {{"x", "beat", "4"}, 2, 0.25, 2},
        {{"x", "bar", "1"}, 2, 1.25, 2 + 0.5},  // 4 beats of 0.5 s to a bar
        {{"x", "beat", "-2"}, NAN, 0.375, 3 - 2 * 0.25},
        {{"x", "bass", "10"}, 2, 0.5, 2 + 10 * analysis.value(Feature::Bass, 0.5)},
        {{"x", "bass", "10"}, 2, 1.5, 2 + 10 * analysis.value(Feature::Bass, 1.5)},
        {{"x", "bass", "1", "0", "0"}, NAN, 1.5, 3 + analysis.value(Feature::Bass, 1.5)},
        {{"x", "bass_integral", "1"}, 2, 1.8, 2 + analysis.value(Feature::BassIntegral, 1.8)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.words) + " at " + std::to_string(row.now));
        float x = 3.0f;
        Tarn::Scenegraph::Property property;
        property.addValue("x", &x);
        Automation automation(property);
        if (!std::isnan(row.keyed))
            automation.addKeyframe("x", Automation::IT_HOLD, 0.0, static_cast<float>(row.keyed));
        std::string error;
        ASSERT_TRUE(music.follow(row.words, automation, error)) << error;
        music.now = row.now;
        automation.process(99.0);  // the automation's own time changes nothing here
        EXPECT_FLOAT_EQ(x, static_cast<float>(row.expected));
    }
    // The bass rises with the tone, and a 0.2 s attack lags behind it.
    EXPECT_GT(analysis.value(Feature::Bass, 1.5), analysis.value(Feature::Bass, 0.5) + 0.3f);
    const auto raw = analysis.track(Feature::Bass), slow = analysis.track(Feature::Bass, 0.2f, 0);
    EXPECT_LT(slow.at(1.1), raw.at(1.1) - 0.1f);
}

TEST(MusicTimeTest, WhatCannotBeFollowedIsRefusedWithItsReason) {
    const Tarn::Audio::MusicAnalysis analysis = toneFromOneSecond();
    const Tarn::Audio::TempoGrid tempo(120.0);
    const MusicTime full{0.0, &analysis, &tempo}, silent{0.0, nullptr, nullptr};
    const struct {
        const MusicTime* music;
        std::vector<std::string> words;
        const char* error;
    } rows[] = {
        {&full, {"x", "bass"}, "write it as \"follow VALUE FEATURE GAIN [ATTACK RELEASE]\""},
        {&full, {"x", "bass", "2x"}, "the gain \"2x\" is not a number"},
        {&full,
         {"x", "bass", "1", "-1", "0"},
         "attack \"-1\" and release \"0\" are not seconds of at least 0"},
        {&full, {"x", "bas", "1"}, "unknown music feature \"bas\"; did you mean \"bass\"?"},
        {&full, {"y", "bass", "1"}, "the automated property has no value \"y\""},
        {&silent,
         {"x", "onset", "1"},
         "\"onset\" follows the music, and no soundtrack line comes before"},
        {&silent, {"x", "beat", "1"}, "\"beat\" follows the tempo, and no tempo line comes before"},
    };
    for (const auto& row : rows) {
        float x = 3.0f;
        Tarn::Scenegraph::Property property;
        property.addValue("x", &x);
        Automation automation(property);
        std::string error;
        EXPECT_FALSE(row.music->follow(row.words, automation, error));
        EXPECT_EQ(error, row.error);
        automation.process(0.0);
        EXPECT_EQ(x, 3.0f) << "nothing added";
    }
}

}  // namespace
