// Renders the demo's music and checks what the demo and its listeners rely
// on: the length and beat grid, headroom, the same samples on every run,
// the sections audible where the picture changes, the chord of every bar,
// and the Ogg Vorbis file it becomes.

#include "music.h"

#include <cstdio>
#include <regex>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "mastering.h"
#include "support/scratch_folder.h"

namespace {

using namespace Content;
constexpr int Rate = 44100;
constexpr double Pi = 3.14159265358979323846;
// How much louder the moment after an accent must be than the moment before
// it for the accent to stand out.
constexpr double OnsetDb = 3.0;

// Each test case runs in a process of its own, so each renders once.
const Music& track() {
    static const Music music = renderMusic(Rate);
    return music;
}

double seconds(const Music& music) {
    return static_cast<double>(music.samples.size()) / music.channels / music.sampleRate;
}

// Root mean square of all channels from one time to another, in dBFS.
double rmsDb(const Music& music, double from, double to) {
    const std::size_t first = static_cast<std::size_t>(from * music.sampleRate) * music.channels;
    const std::size_t end = std::min(
        music.samples.size(), static_cast<std::size_t>(to * music.sampleRate) * music.channels);
    double sum = 0.0;
    for (std::size_t i = first; i < end; ++i)
        sum += music.samples[i] * music.samples[i];
    return 10.0 * std::log10(sum / std::max<std::size_t>(1, end - first) + 1e-30);
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MusicTest, EightyBarsOnTheDemoGrid) {
    const struct {
        int bar;
        double beat, seconds, tolerance;
    } grid[] = {
        {0, 0.0, 0.0, 1e-12},     // the music starts with the demo
        {1, 0.0, 1.8689, 5e-5},   // a bar at 128.42 beats per minute
        {36, 0.0, 67.28, 1e-9},   // where the retro scene's clock is zero
        {43, 2.435, 81.5, 1e-3},  // the accent for the retro scene's plasma
        {80, 0.0, 149.5, 0.02},   // the end of the picture
    };
    for (const auto& row : grid)
        EXPECT_NEAR(beatTime(row.bar, row.beat), row.seconds, row.tolerance) << "bar " << row.bar;
    for (int rate : {8000, Rate}) {
        const Music music = rate == Rate ? track() : renderMusic(rate);
        EXPECT_EQ(music.sampleRate, rate);
        EXPECT_EQ(music.channels, 2);
        EXPECT_NEAR(seconds(music), 149.5, 0.5) << rate << " Hz";
    }
}

TEST(MusicTest, PeaksUnderMinusOneDbfsWithoutOffset) {
    const Music& music = track();
    float peak = 0.0f;
    double sums[2] = {0.0, 0.0};
    int unusual = 0;
    for (std::size_t i = 0; i < music.samples.size(); ++i) {
        const float sample = music.samples[i];
        unusual += !std::isfinite(sample) || std::fpclassify(sample) == FP_SUBNORMAL;
        peak = std::max(peak, std::fabs(sample));
        sums[i % 2] += sample;
    }
    EXPECT_EQ(unusual, 0);
    EXPECT_LT(20.0 * std::log10(peak), -1.0);
    const double frames = static_cast<double>(music.samples.size()) / 2;
    for (double sum : sums)
        EXPECT_LT(std::fabs(sum / frames), 1e-4);
}

TEST(MusicTest, EverySectionIsInStereo) {
    const Music& music = track();
    for (const Section& section : Sections) {
        double mid = 0.0, side = 0.0;
        for (std::size_t i = static_cast<std::size_t>(barTime(section.firstBar) * Rate);
             i < static_cast<std::size_t>(barTime(section.endBar) * Rate); ++i) {
            const double left = music.samples[2 * i], right = music.samples[2 * i + 1];
            mid += (left + right) * (left + right);
            side += (left - right) * (left - right);
        }
        // Wider than mono, narrower than two unrelated channels.
        EXPECT_GT(10.0 * std::log10(side / mid), -25.0) << section.name;
        EXPECT_LT(10.0 * std::log10(side / mid), -3.0) << section.name;
    }
}

TEST(MusicTest, RendersTheSameSamplesEveryTime) {
    EXPECT_TRUE(renderMusic(Rate).samples == track().samples);
}

TEST(MusicTest, SectionsAreAudibleWherePictureChanges) {
    const Music& music = track();
    const double end = seconds(music);
    const struct {
        const char* what;
        double from, to, atMostDb;
    } silences[] = {
        {"before the first note", 0.0, 0.01, -60.0},
        {"when the picture has faded out", end - 0.05, end, -90.0},
    };
    for (const auto& row : silences)
        EXPECT_LT(rmsDb(music, row.from, row.to), row.atMostDb) << row.what;

    const struct {
        const char* what;
        double quietFrom, quietTo, loudFrom, loudTo, atLeastDb;
    } contrasts[] = {
        {"Night over Dusk", barTime(0), barTime(8), barTime(52), barTime(72), 3.0},
        {"the drop on bar 36", barTime(36) - 0.1, barTime(36) - 0.01, barTime(36),
         barTime(36) + 0.1, 12.0},
        {"the retro accent", RetroAccentSeconds - 0.1, RetroAccentSeconds - 0.01,
         RetroAccentSeconds, RetroAccentSeconds + 0.1, OnsetDb},
        {"the flash on bar 56", barTime(56) - 0.1, barTime(56) - 0.01, barTime(56),
         barTime(56) + 0.1, OnsetDb},
        {"the flash on bar 68", barTime(68) - 0.1, barTime(68) - 0.01, barTime(68),
         barTime(68) + 0.1, OnsetDb},
    };
    for (const auto& row : contrasts)
        EXPECT_GT(rmsDb(music, row.loudFrom, row.loudTo) - rmsDb(music, row.quietFrom, row.quietTo),
                  row.atLeastDb)
            << row.what;
}

// The low band of the mixed-down music, through a one-pole low-pass at 150 Hz.
Music lowBand(const Music& music) {
    Music low{music.sampleRate, 1, std::vector<float>(music.samples.size() / 2)};
    const double pole = std::exp(-2.0 * Pi * 150.0 / music.sampleRate);
    double state = 0.0;
    for (std::size_t i = 0; i < low.samples.size(); ++i) {
        state = (1.0 - pole) * (music.samples[2 * i] + music.samples[2 * i + 1]) + pole * state;
        low.samples[i] = static_cast<float>(state);
    }
    return low;
}

TEST(MusicTest, KickLandsOnEveryBeatWhereTheDrumsPlay) {
    const Music low = lowBand(track());
    for (const auto& [first, end] : {std::pair{8, 20}, {52, 72}})
        for (int bar = first; bar < end; ++bar)
            for (int beat = 0; beat < BeatsPerBar; ++beat) {
                const double time = beatTime(bar, beat);
                EXPECT_GT(rmsDb(low, time, time + 0.05) - rmsDb(low, time - 0.06, time - 0.01),
                          OnsetDb)
                    << "bar " << bar << " beat " << beat;
            }
}

// Energy of each pitch class (0 is A) from 110 to 1760 Hz over a window of
// the mixed-down music, by Goertzel's algorithm at each semitone.
std::vector<double> pitchClasses(const Music& music, double from, double length) {
    std::vector<double> energy(12, 0.0);
    const std::size_t first = static_cast<std::size_t>(from * music.sampleRate);
    const std::size_t count = static_cast<std::size_t>(length * music.sampleRate);
    for (int semitone = 0; semitone < 48; ++semitone) {
        const double coefficient =
            2.0 * std::cos(2.0 * Pi * 110.0 * std::exp2(semitone / 12.0) / music.sampleRate);
        double previous = 0.0, beforeThat = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            const double window = 0.5 - 0.5 * std::cos(2.0 * Pi * i / count);
            const std::size_t at = 2 * (first + i);
            const double x = window * (music.samples[at] + music.samples[at + 1]);
            const double next = x + coefficient * previous - beforeThat;
            beforeThat = previous;
            previous = next;
        }
        energy[semitone % 12] +=
            previous * previous + beforeThat * beforeThat - coefficient * previous * beforeThat;
    }
    return energy;
}

TEST(MusicTest, EveryBarSoundsItsChord) {
    // Pitch classes counted from A: the triads the chord names stand for.
    const std::map<char, std::vector<int>> triads{{'A', {0, 3, 7}},  {'F', {8, 0, 3}},
                                                  {'C', {3, 7, 10}}, {'G', {10, 2, 5}},
                                                  {'E', {7, 11, 2}}, {'e', {7, 10, 2}}};
    // The Dusk's drone holds A under every chord, so its bars are left out.
    for (int bar = 8; bar < Bars - 1; ++bar) {
        const std::vector<double> energy = pitchClasses(track(), barTime(bar) + 0.5, 0.5);
        const int strongest =
            static_cast<int>(std::max_element(energy.begin(), energy.end()) - energy.begin());
        const std::vector<int>& chord = triads.at(Progression[bar]);
        EXPECT_NE(std::find(chord.begin(), chord.end(), strongest), chord.end())
            << "bar " << bar << " (" << Progression[bar] << ") sounds pitch class " << strongest;
    }
}

TEST(MusicTest, OggDecodesBackAsTheSameMusic) {
    Tarn::Test::ScratchFolder folder;
    const Music& music = track();
    std::string error;
    ASSERT_TRUE(writeOggVorbis("music.ogg", music, error)) << error;
    SF_INFO info{};
    SNDFILE* file = sf_open("music.ogg", SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(info.samplerate, Rate);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.frames, static_cast<sf_count_t>(music.samples.size() / 2));
    Music decoded{info.samplerate, info.channels,
                  std::vector<float>(static_cast<std::size_t>(info.frames * info.channels))};
    EXPECT_EQ(sf_readf_float(file, decoded.samples.data(), info.frames), info.frames);
    sf_close(file);
    float peak = 0.0f;
    for (float sample : decoded.samples)
        peak = std::max(peak, std::fabs(sample));
    EXPECT_LT(20.0 * std::log10(peak), -1.0);
    for (const Section& section : Sections)
        EXPECT_NEAR(rmsDb(decoded, barTime(section.firstBar), barTime(section.endBar)),
                    rmsDb(music, barTime(section.firstBar), barTime(section.endBar)), 0.5)
            << section.name;
}

// ffmpeg's EBU R128 meter on the decoded Ogg (lossy coding moves peaks):
// -14 LUFS within 1 LU, true peak at most -1 dBTP; and our own meters,
// which the mastering steers by, read the same decoded samples as ffmpeg
// does within 0.2 LU and 0.3 dB.
TEST(MusicTest, MasteredToStreamingLoudnessOnTheDecodedOgg) {
    Tarn::Test::ScratchFolder folder;
    std::string error;
    ASSERT_TRUE(writeOggVorbis("music.ogg", track(), error)) << error;
    std::string log;
    if (FILE* pipe = popen("ffmpeg -hide_banner -nostats -i music.ogg -af ebur128=peak=true "
                           "-f null - 2>&1",
                           "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            log.append(buffer, got);
        pclose(pipe);
    }
    // The summary at the end, after the meter's lines for every 100 ms.
    const std::size_t summary = log.rfind("Integrated loudness:");
    ASSERT_NE(summary, std::string::npos) << log;
    log = log.substr(summary);
    std::smatch integrated, peak;
    ASSERT_TRUE(std::regex_search(log, integrated, std::regex(R"(I:\s+(-?[0-9.]+) LUFS)"))) << log;
    ASSERT_TRUE(std::regex_search(log, peak, std::regex(R"(Peak:\s+(-?[0-9.]+) dBFS)"))) << log;
    const double lufs = std::stod(integrated[1]), truePeak = std::stod(peak[1]);
    EXPECT_NEAR(lufs, -14.0, 1.0);
    EXPECT_LE(truePeak, -1.0);

    SF_INFO info{};
    SNDFILE* file = sf_open("music.ogg", SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> decoded(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, decoded.data(), info.frames);
    sf_close(file);
    EXPECT_NEAR(integratedLoudness(decoded, info.samplerate), lufs, 0.2);
    EXPECT_NEAR(truePeakDb(decoded, info.samplerate), truePeak, 0.3);
}

TEST(MusicTest, OggBytesAreTheSameEveryTime) {
    Tarn::Test::ScratchFolder folder;
    Music excerpt = renderMusic(8000);
    excerpt.samples.resize(2 * 8000 * 10);
    std::string error;
    ASSERT_TRUE(writeOggVorbis("first.ogg", excerpt, error)) << error;
    ASSERT_TRUE(writeOggVorbis("second.ogg", excerpt, error)) << error;
    EXPECT_FALSE(readBytes("first.ogg").empty());
    EXPECT_TRUE(readBytes("first.ogg") == readBytes("second.ogg"));
}

TEST(MusicTest, RefusesWhatItCannotRenderOrWrite) {
    for (int rate : {0, 7999, 192001}) {
        testing::internal::CaptureStdout();
        const Music music = renderMusic(rate);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Music] sample rate " +
                                                              std::to_string(rate) +
                                                              " Hz is outside 8000 to 192000 Hz\n");
        EXPECT_TRUE(music.samples.empty());
        EXPECT_EQ(music.sampleRate, 0);
    }
    Tarn::Test::ScratchFolder folder;
    std::filesystem::create_directory("folder.ogg");
    const struct {
        const char* path;
        Music music;
        const char* error;
    } writes[] = {
        {"empty.ogg", Music{Rate, 2, {}}, "empty.ogg: no whole frames of music to write"},
        {"half.ogg", Music{Rate, 2, {0.5f}}, "half.ogg: no whole frames of music to write"},
        {"rate.ogg", Music{0, 2, {0.5f, 0.5f}},
         "rate.ogg: sample rate 0 Hz is outside 8000 to 192000 Hz"},
        {"folder.ogg", Music{Rate, 2, std::vector<float>(2 * Rate)},
         "folder.ogg: cannot open the file for writing"},
    };
    for (const auto& row : writes) {
        std::string error;
        EXPECT_FALSE(writeOggVorbis(row.path, row.music, error)) << row.path;
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(std::filesystem::is_directory(row.path), row.path == std::string("folder.ogg"));
        EXPECT_EQ(std::filesystem::exists(row.path), row.path == std::string("folder.ogg"));
    }
}

}  // namespace
