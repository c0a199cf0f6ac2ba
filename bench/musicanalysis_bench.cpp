// What analysing music costs against decoding it: 60 s of generated stereo
// music at 44.1 kHz (kicks, a bass line, chords, hi-hats) written as 16-bit
// WAV, FLAC and Ogg Vorbis, each decoded whole with libsndfile, against
// MusicAnalysis::analyse on the decoded samples (medians of five runs; the
// target is at most twice the decoding). Then the memory the analysis keeps
// per second of music (target: at most 64 KiB) and one value() query at a
// random time (target: under 1 µs, no allocation).

#include <tarn/audio/musicanalysis.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <sndfile.h>

#include "support/allocation_counter.h"

namespace {

using Tarn::Audio::Feature;
using Tarn::Audio::MusicAnalysis;
using Clock = std::chrono::steady_clock;

constexpr int Rate = 44100;
constexpr double Seconds = 60.0;

std::vector<float> makeMusic() {
    std::vector<float> samples(static_cast<std::size_t>(Seconds * Rate) * 2);
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    const double beat = 60.0 / 124.0;
    const double roots[] = {55.0, 55.0, 65.41, 49.0};
    float previous = 0.0f;
    for (std::size_t i = 0; i < samples.size() / 2; ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double inBeat = std::fmod(t, beat), inBar = std::fmod(t, 4 * beat);
        const double root = roots[static_cast<int>(t / (4 * beat)) % 4];
        double left = 0.5 * std::exp(-inBeat / 0.05) * std::sin(2 * M_PI * 58 * inBeat);
        left += 0.2 * std::sin(2 * M_PI * root * t) * (inBeat < beat / 2 ? 1.0 : 0.6);
        for (double ratio : {4.0, 5.04, 5.99})
            left += 0.04 * std::sin(2 * M_PI * root * ratio * t) * std::exp(-inBar / 1.5);
        const float white = noise(random);
        const double offBeat = std::fmod(t + beat / 2, beat);
        const double hat = 0.08 * std::exp(-offBeat / 0.015) * (white - previous);
        previous = white;
        samples[2 * i] = static_cast<float>(left + 0.5 * hat);
        samples[2 * i + 1] = static_cast<float>(left + hat);
    }
    return samples;
}

bool write(const std::string& path, int format, const std::vector<float>& samples) {
    SF_INFO info{0, Rate, 2, format, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    // The Vorbis encoder crashes on one write of the whole minute: write in pieces.
    const std::size_t frames = samples.size() / 2;
    for (std::size_t at = 0; at < frames; at += 4096)
        sf_writef_float(file, samples.data() + 2 * at,
                        static_cast<sf_count_t>(std::min<std::size_t>(4096, frames - at)));
    sf_close(file);
    return true;
}

std::vector<float> decode(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    if (file) {
        sf_readf_float(file, samples.data(), info.frames);
        sf_close(file);
    }
    return samples;
}

template <class Work> double medianSeconds(Work work) {
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        work();
        runs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

int main() {
    const std::vector<float> music = makeMusic();
    MusicAnalysis analysis;
    const double analyseSeconds =
        medianSeconds([&] { analysis.analyse(music.data(), music.size() / 2, 2, Rate); });
    std::printf("analyse 60 s stereo 44.1 kHz:       %7.1f ms\n", analyseSeconds * 1e3);

    const struct {
        const char* name;
        int format;
    } formats[] = {{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                   {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                   {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}};
    for (const auto& format : formats) {
        const std::string path = std::string("/tmp/musicanalysis_bench.") + format.name;
        if (!write(path, format.format, music)) {
            std::printf("musicanalysis_bench: cannot write %s\n", path.c_str());
            continue;
        }
        std::vector<float> decoded;
        const double decodeSeconds = medianSeconds([&] { decoded = decode(path); });
        std::remove(path.c_str());
        std::printf("decode %-4s with libsndfile:        %7.1f ms   analyse / decode %5.2f "
                    "(target <= 2)\n",
                    format.name, decodeSeconds * 1e3, analyseSeconds / decodeSeconds);
    }

    // The demo's own music, the pair the target is about.
    const std::string demoMusic = std::string(TARN_CONTENT_STAGING) + "/assets/music.ogg";
    std::vector<float> demo;
    SF_INFO demoInfo{};
    if (SNDFILE* file = sf_open(demoMusic.c_str(), SFM_READ, &demoInfo)) {
        sf_close(file);
        const double decodeSeconds = medianSeconds([&] { demo = decode(demoMusic); });
        MusicAnalysis demoAnalysis;
        const std::size_t frames = demo.size() / std::size_t(demoInfo.channels);
        const double demoAnalyse = medianSeconds([&] {
            demoAnalysis.analyse(demo.data(), frames, demoInfo.channels, demoInfo.samplerate);
        });
        std::printf("the demo's music (%.1f s): decode %.1f ms, analyse %.1f ms, analyse / decode "
                    "%5.2f (target <= 2), %.1f KiB per second kept\n",
                    double(frames) / demoInfo.samplerate, decodeSeconds * 1e3, demoAnalyse * 1e3,
                    demoAnalyse / decodeSeconds,
                    demoAnalysis.memoryBytes() / 1024.0 / demoAnalysis.duration());
    } else {
        std::printf("musicanalysis_bench: no %s (build the content first)\n", demoMusic.c_str());
    }

    std::printf("memory kept:                      %7.1f KiB per second of music (target <= 64)\n",
                analysis.memoryBytes() / 1024.0 / analysis.duration());

    const int queries = 1 << 22;
    std::vector<double> times(4096);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> anywhere(0.0, Seconds);
    for (double& t : times)
        t = anywhere(random);
    const long allocationsBefore = Tarn::Test::allocationCount();
    float sum = 0.0f;
    const auto start = Clock::now();
    for (int i = 0; i < queries; ++i)
        sum += analysis.value(static_cast<Feature>(i % 10), times[i & 4095]);
    const double queryNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    const long allocations = Tarn::Test::allocationCount() - allocationsBefore;
    std::printf("value() at a random time:         %7.1f ns, %ld allocations (target < 1000 ns, "
                "0) [%g]\n",
                queryNs / queries, allocations, sum > 0.0f ? 1.0 : 0.0);
    return 0;
}
