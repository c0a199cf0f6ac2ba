#include "tarn/soundtrack.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <AL/alc.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include "support/allocation_counter.h"
#include "support/scratch_folder.h"
#include "tarn/file.h"

namespace {

namespace fs = std::filesystem;
using Tarn::File;
using Tarn::Soundtrack;

// Every case plays through OpenAL Soft's wave writer into this file of its
// scratch folder; where a folder takes the name, the device cannot open.
constexpr char Played[] = "played.wav";
constexpr int PlayedRate = 48000;

double g_now = 0.0;
double fakeTime() {
    return g_now;
}

// A sine of amplitude 1 in the first channel until toneEnd, silence elsewhere.
File makeMusic(int format, int rate, int channels, double seconds, double frequency,
               double toneEnd = 1e9) {
    SF_INFO info{0, rate, channels, format, 0, 0};
    std::vector<float> samples(static_cast<std::size_t>(seconds * rate) * channels);
    for (std::size_t i = 0; i < samples.size(); i += channels)
        samples[i] = i / channels < toneEnd * rate
                         ? std::sin(2 * M_PI * frequency * (i / channels) / rate)
                         : 0;
    SNDFILE* out = sf_open("music", SFM_WRITE, &info);
    sf_writef_float(out, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(out);
    std::ifstream in("music", std::ios::binary);
    return File(std::vector<char>(std::istreambuf_iterator<char>(in), {}));
}

// Goertzel's power of one frequency in the left channel of what was played.
// The wave writer completes the file's header only when its device closes.
double playedPower(double frequency) {
    SF_INFO info{};
    SNDFILE* in = sf_open(Played, SFM_READ, &info);
    std::vector<float> frame(static_cast<std::size_t>(info.channels));
    const double c = 2.0 * std::cos(2.0 * M_PI * frequency / PlayedRate);
    double s1 = 0.0, s2 = 0.0;
    while (sf_readf_float(in, frame.data(), 1) == 1)
        s2 = std::exchange(s1, frame[0] + c * s1 - s2);
    sf_close(in);
    return info.frames > 0 ? s1 * s1 + s2 * s2 - c * s1 * s2 : -1.0;
}

// The device plays in real time on its own thread: only waiting shows it.
template <class Condition> bool waitUntil(Condition done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

// Until the device has mixed that much more, whatever the music does.
bool waitForMixing(double seconds) {
    const double size = fs::file_size(Played) + seconds * PlayedRate * 2 * sizeof(float);
    return waitUntil([&] { return fs::file_size(Played) > size; });
}

class SoundtrackTest : public ::testing::Test {
protected:
    // OpenAL Soft reads its configuration once, at its first call in the
    // process, in whichever case's folder that is.
    void SetUp() override {
        std::ofstream("alsoft.conf") << "[general]\nfrequency=" << PlayedRate
                                     << "\nsample-type=float32\n[wave]\nfile=" << Played << "\n";
        setenv("ALSOFT_CONF", (m_folder.path() / "alsoft.conf").c_str(), 1);
        setenv("ALSOFT_DRIVERS", "wave", 1);
        Tarn::Clock::setTimeSource(&fakeTime);
    }
    void TearDown() override { Tarn::Clock::setTimeSource(nullptr); }
    Tarn::Test::ScratchFolder m_folder;
};

TEST_F(SoundtrackTest, PlaysPausesSeeksAndEndsOnce) {
    File music = makeMusic(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, 0.5, 440.0);
    {
        Soundtrack track(&music);
        track.pause();  // nothing to pause before play
        EXPECT_TRUE(track.paused());
        track.play();
        ASSERT_TRUE(waitUntil([&] { return track.position() > 0.1; }));
        track.pause();
        const double at = track.position();
        ASSERT_TRUE(waitForMixing(0.1));
        EXPECT_EQ(track.position(), at);
        track.setPosition(0.2345f);  // 8 frames a millisecond: 234 ms is exact
        EXPECT_EQ(track.position(), 0.234);
        track.pause();
        EXPECT_FALSE(track.paused());
        ASSERT_TRUE(waitUntil([&] { return track.position() > 0.25; }));
        track.pause();
        track.play();  // from the start, paused or not
        EXPECT_LT(track.position(), at);
        ASSERT_TRUE(waitUntil([&] { return track.position() == 0.5; }));
        ASSERT_TRUE(waitForMixing(0.3));  // time enough for a loop
        EXPECT_EQ(track.position(), 0.5);
        track.pause();
        track.setPosition(0.3f);  // back from the end while paused, then resumed
        EXPECT_EQ(track.position(), 0.3);
        track.pause();
        EXPECT_TRUE(waitUntil([&] { return track.position() > 0.3 && track.position() < 0.5; }));
    }
    EXPECT_EQ(alcGetCurrentContext(), nullptr);
    for (double other : {220.0, 330.0, 660.0, 880.0})
        EXPECT_GT(playedPower(440.0), 100.0 * playedPower(other)) << other;
}

TEST_F(SoundtrackTest, WithoutADeviceItKeepsTimeSilently) {
    fs::create_directory(Played);
    File music = makeMusic(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, 3.0, 1000.0);
    testing::internal::CaptureStdout();
    Soundtrack track(&music);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Soundtrack] no audio device: cannot open the default device (Invalid Value); "
              "playing silently\n");
    // Play, pause, seek or nothing; then the clock moves on; then the position.
    const std::tuple<char, float, double, double> steps[] = {
        {'-', 0, 1, 0},           {'p', 0, 1.5, 1.5},      {'|', 0, 2, 1.5}, {'|', 0, 0.5, 2},
        {'s', 1.2345f, 0, 1.234}, {'s', 1.234f, 0, 1.234}, {'s', -1, 0, 0},  {'s', NAN, 0, 0},
        {'s', 1e30f, 0, 3},       {'s', 1, 0.25, 1.25},    {'-', 0, 9, 3},   {'p', 0, 0.25, 0.25}};
    for (const auto& [action, seconds, wait, expected] : steps) {
        if (action == 'p')
            track.play();
        if (action == '|')
            track.pause();
        if (action == 's')
            track.setPosition(seconds);
        g_now += wait;
        EXPECT_DOUBLE_EQ(track.position(), expected) << action << seconds << " +" << wait;
    }
    EXPECT_NEAR(track.spectrum()[64] * 2.1625f, 1.0f, 1e-3f);
}

TEST_F(SoundtrackTest, SpectrumPeaksAtTheToneAndAveragesSixCalls) {
    // Without a device the music's clock, which the test drives, says where
    // each call looks.
    fs::create_directory(Played);
    testing::internal::CaptureStdout();
    // The tone sits in the first channel, so the mix holds 1 / channels of it.
    const std::tuple<int, int, int, double, int, float> rows[] = {
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, 1000.0, 64, 1e-3f},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 3000.0, 32, 1e-3f},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 1, 440.0, 5, 0.02f},
        {SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 4, 5000.0, 116, 0.05f}};
    // Where each call looks (in the tone or the silence after it), whether a
    // seek took it there rather than the music playing on, and the summed
    // weights of the calls since the last seek that saw the tone: 1, .6, .3,
    // .15, .075, .0375.
    const std::tuple<float, bool, float> calls[] = {
        {1, false, 1},       {1, false, 1.6f},    {1, false, 1.9f},    {1, false, 2.05f},
        {1, false, 2.125f},  {1, false, 2.1625f}, {1, false, 2.1625f}, {2, false, 1.1625f},
        {2, false, 0.5625f}, {2, false, 0.2625f}, {2, false, 0.1125f}, {2, false, 0.0375f},
        {2, false, 0},       {1, true, 1},        {1, false, 1.6f},    {2, true, 0}};
    std::array<float, Soundtrack::Bands> spectra[std::size(calls)];
    for (const auto& [format, rate, channels, frequency, band, tolerance] : rows) {
        File music = makeMusic(format, rate, channels, 2.0, frequency, 1.5);
        Soundtrack track(&music);
        EXPECT_EQ(track.samples().size(), std::size_t(2 * rate * channels));
        track.play();
        double origin = g_now;  // where the music's clock reads 0
        const long allocations = Tarn::Test::allocationCount();
        for (std::size_t i = 0; i < std::size(calls); ++i) {
            const float where = std::get<0>(calls[i]);
            if (std::get<1>(calls[i])) {
                track.setPosition(where);
                origin = g_now - where;
            } else {
                g_now = origin + where;
            }
            ASSERT_EQ(track.position(), where) << i;
            std::copy_n(track.spectrum(), Soundtrack::Bands, spectra[i].begin());
        }
        EXPECT_EQ(Tarn::Test::allocationCount(), allocations);
        const auto& raw = spectra[6];
        for (int i = 0; i < Soundtrack::Bands; ++i) {
            if (i == band || std::abs(i - band) > 3) {
                EXPECT_NEAR(raw[i] * channels, i == band, i == band ? tolerance : 0.05f) << i;
            }
            for (std::size_t call = 0; call < std::size(calls); ++call)
                EXPECT_NEAR(spectra[call][i], raw[i] * std::get<2>(calls[call]) / 2.1625f, 1e-5f)
                    << call;
        }
    }
    testing::internal::GetCapturedStdout();
}

TEST_F(SoundtrackTest, MusicThatDoesNotDecodeIsReportedAndHarmless) {
    const std::string flac = makeMusic(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, 1, 440).str();
    const std::string ogg = makeMusic(SF_FORMAT_OGG | SF_FORMAT_VORBIS, 8000, 1, 1, 440).str();
    const std::pair<std::string, std::string> rows[] = {
        {"", "no file"},  // no File at all
        {"", "empty file"},
        {"not audio at all", "Format not recognised"},
        {flac.substr(0, flac.size() / 2), "cut short after [0-9]+ of 8000 frames"},
        {ogg.substr(0, ogg.size() / 2), "Supported file format but file is malformed"}};
    for (const auto& [bytes, reason] : rows) {
        File file(bytes.data(), unsigned(bytes.size()));
        testing::internal::CaptureStdout();
        Soundtrack track(reason == "no file" ? nullptr : &file, "intro.ogg");
        const std::string line = testing::internal::GetCapturedStdout();
        EXPECT_THAT(line, testing::MatchesRegex(
                              "\\[Soundtrack\\] intro\\.ogg: cannot decode: " + reason + "\n"));
        track.play();
        track.setPosition(0.5f);
        const float* spectrum = track.spectrum();
        EXPECT_EQ(std::count(spectrum, spectrum + Soundtrack::Bands, 0.0f), Soundtrack::Bands);
        EXPECT_EQ(track.position() + track.duration(), 0.0);
        EXPECT_FALSE(fs::exists(Played)) << "no device for " << reason;
    }
}

}  // namespace
