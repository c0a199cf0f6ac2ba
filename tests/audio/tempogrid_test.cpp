#include "tarn/audio/tempogrid.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Tarn::Audio::TempoGrid;
using Reading = TempoGrid::Reading;

// Expected seconds are worked by hand: at 120 bpm a beat is 0.5 s, at 90 bpm
// 2/3 s; a bar of 3 beats at 120 bpm is 1.5 s.
TEST(TempoGridTest, TimeWordsAndTheirSeconds) {
    const TempoGrid common(120.0), late(120.0, 2.25), waltz(120.0, -1.0, 3), slow(90.0);
    const struct {
        const char* word;
        const TempoGrid* grid;
        Reading reading;
        double seconds;     // when read
        const char* error;  // empty: read
    } rows[] = {
        {"12.5", nullptr, Reading::DemoTime, 12.5, ""},
        {"-3", &late, Reading::DemoTime, -3.0, ""},
        {"1e1", &late, Reading::Length, 10.0, ""},
        {"0:0", &common, Reading::DemoTime, 0.0, ""},
        {"36:0", &common, Reading::DemoTime, 72.0, ""},
        {"12:2.5", &common, Reading::DemoTime, 25.25, ""},
        {"12:2.5", &late, Reading::DemoTime, 27.5, ""},
        {"12:2.5", &late, Reading::SceneTime, 25.25, ""},
        {"4:0", &late, Reading::Length, 8.0, ""},
        {"2:2", &waltz, Reading::DemoTime, 3.0, ""},
        {"2:2", &waltz, Reading::Length, 4.0, ""},
        {"3:1", &slow, Reading::DemoTime, 26.0 / 3.0, ""},
        {"1.5s", &common, Reading::DemoTime, 0, "\"1.5s\" is not a number of seconds"},
        {"inf", &common, Reading::DemoTime, 0, "\"inf\" is not a number of seconds"},
        {"", &common, Reading::DemoTime, 0, "\"\" is not a number of seconds"},
        {"3:1", nullptr, Reading::SceneTime, 0, "bar time \"3:1\" needs a tempo line before it"},
        {"12:5", &common, Reading::DemoTime, 0, "bar time \"12:5\" has beat 5; a bar has 4 beats"},
        {"1:3", &waltz, Reading::DemoTime, 0, "bar time \"1:3\" has beat 3; a bar has 3 beats"},
        {"1.5:0", &common, Reading::DemoTime, 0,
         "bar time \"1.5:0\" has bar \"1.5\"; a bar is a whole number from 0 (as 12:2.5)"},
        {"-1:0", &common, Reading::DemoTime, 0,
         "bar time \"-1:0\" has bar \"-1\"; a bar is a whole number from 0 (as 12:2.5)"},
        {":2", &common, Reading::DemoTime, 0,
         "bar time \":2\" has bar \"\"; a bar is a whole number from 0 (as 12:2.5)"},
        {"3:-0.5", &common, Reading::DemoTime, 0,
         "bar time \"3:-0.5\" has beat \"-0.5\"; a beat is a number from 0 (as 12:2.5)"},
        {"3:1:2", &common, Reading::DemoTime, 0,
         "bar time \"3:1:2\" has beat \"1:2\"; a beat is a number from 0 (as 12:2.5)"},
        {"3:", nullptr, Reading::DemoTime, 0,
         "bar time \"3:\" has beat \"\"; a beat is a number from 0 (as 12:2.5)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.word);
        double seconds = -99.0;
        std::string error;
        const bool read = TempoGrid::readTime(row.word, row.grid, row.reading, seconds, error);
        EXPECT_EQ(read, !*row.error);
        EXPECT_EQ(error, row.error);
        EXPECT_DOUBLE_EQ(seconds, read ? row.seconds : -99.0);
    }
}

// beat and bar count from the offset, negative before it; their fractions
// are the phases.
TEST(TempoGridTest, BeatAndBarOfATime) {
    const struct {
        TempoGrid grid;
        double t, beat, bar;
    } rows[] = {
        {TempoGrid(120.0), 0.0, 0.0, 0.0},
        {TempoGrid(120.0), 25.25, 50.5, 12.625},
        {TempoGrid(120.0, 2.25), 2.0, -0.5, -0.125},
        {TempoGrid(120.0, -1.0, 3), 3.0, 8.0, 8.0 / 3.0},
        {TempoGrid(128.41855), 67.28, 144.0, 36.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.t);
        EXPECT_NEAR(row.grid.beat(row.t), row.beat, 1e-6);
        EXPECT_NEAR(row.grid.bar(row.t), row.bar, 1e-6);
    }
}

// The words after the keyword of a tempo line.
TEST(TempoGridTest, TempoLines) {
    const struct {
        std::vector<std::string> words;
        double bpm, offset;
        int beatsPerBar;
        const char* error;  // empty: read
    } rows[] = {
        {{"120"}, 120, 0, 4, ""},
        {{"128.41855", "-0.5"}, 128.41855, -0.5, 4, ""},
        {{"90", "1", "3"}, 90, 1, 3, ""},
        {{"90", "1", "32"}, 90, 1, 32, ""},
        {{}, 0, 0, 0, "the tempo \"\" is not a number of beats per minute above 0"},
        {{"0"}, 0, 0, 0, "the tempo \"0\" is not a number of beats per minute above 0"},
        {{"fast"}, 0, 0, 0, "the tempo \"fast\" is not a number of beats per minute above 0"},
        {{"120", "nan"}, 0, 0, 0, "the tempo's offset \"nan\" is not a number of seconds"},
        {{"120", "0", "0"},
         0,
         0,
         0,
         "the tempo's beats per bar \"0\" is not a whole number from 1 to 32"},
        {{"120", "0", "33"},
         0,
         0,
         0,
         "the tempo's beats per bar \"33\" is not a whole number from 1 to 32"},
        {{"120", "0", "3.5"},
         0,
         0,
         0,
         "the tempo's beats per bar \"3.5\" is not a whole number from 1 to 32"},
        {{"120", "0", "4", "x"},
         0,
         0,
         0,
         "write the tempo as \"tempo BPM [OFFSET] [BEATS_PER_BAR]\"; \"x\" is one word too "
         "many"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.words));
        TempoGrid grid(1.0, 9.0, 9);
        std::string error;
        EXPECT_EQ(TempoGrid::readTempo(row.words, grid, error), !*row.error);
        EXPECT_EQ(error, row.error);
        const bool read = !*row.error;
        EXPECT_EQ(grid.bpm(), read ? row.bpm : 1.0);
        EXPECT_EQ(grid.offset(), read ? row.offset : 9.0);
        EXPECT_EQ(grid.beatsPerBar(), read ? row.beatsPerBar : 9);
    }
}

}  // namespace
