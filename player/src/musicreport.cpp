#include "musicreport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <stb_image_write.h>

#include <tarn/audio/musicanalysis.h>
#include <tarn/audio/tempogrid.h>
#include <tarn/file.h>
#include <tarn/luceparser.h>
#include <tarn/soundtrack.h>
#include <tarn/vfs.h>

#include "demoprogram.h"

namespace {

using Tarn::Audio::Feature;
using Tarn::Audio::MusicAnalysis;

constexpr const char* CsvName = "music-analysis.csv";
constexpr const char* PngName = "music-analysis.png";
constexpr int ColumnsPerSecond = 50;
constexpr int BinHeight = 2;     // rows per spectrum bin
constexpr int GraphHeight = 40;  // rows per band or onset graph
constexpr Feature Graphs[] = {Feature::Bass, Feature::LowMids, Feature::HighMids, Feature::Highs,
                              Feature::Onset};
constexpr unsigned char GraphColours[][3] = {
    {255, 120, 40}, {230, 200, 60}, {90, 220, 120}, {70, 200, 255}, {255, 60, 90}};

struct Music {
    std::string path;
    std::optional<Tarn::Audio::TempoGrid> tempo;
};

// The last soundtrack line and the first valid tempo line, as the demo
// script's loader takes them.
Music readScript(const std::string& text) {
    Music music;
    Tarn::LUCEParser parser;
    parser.addKeyword("soundtrack", [&music](std::vector<std::string> words) {
        if (!words.empty())
            music.path = words[0];
    });
    parser.addKeyword("tempo", [&music](std::vector<std::string> words) {
        Tarn::Audio::TempoGrid grid(120.0);
        std::string error;
        if (!music.tempo && Tarn::Audio::TempoGrid::readTempo(words, grid, error))
            music.tempo = grid;
    });
    parser.parse(text);
    return music;
}

int fail(const std::string& why, std::ostream& out, std::ostream& err) {
    out << "tarn-demo: " << why << std::endl;
    err << "tarn-demo: " << why << std::endl;
    return 1;
}

bool writeCsv(const MusicAnalysis& analysis) {
    std::FILE* file = std::fopen(CsvName, "w");
    if (!file)
        return false;
    bool ok = std::fputs("time,bass,lowmids,highmids,highs,onset,level\n", file) >= 0;
    for (std::size_t hop = 0; ok && hop < analysis.hopCount(); ++hop) {
        const double t = hop * MusicAnalysis::Hop;
        ok = std::fprintf(file, "%.3f,%.4f,%.4f,%.4f,%.4f,%.4f,%.4f\n", t,
                          analysis.value(Feature::Bass, t), analysis.value(Feature::LowMids, t),
                          analysis.value(Feature::HighMids, t), analysis.value(Feature::Highs, t),
                          analysis.value(Feature::Onset, t), analysis.value(Feature::Level, t)) > 0;
    }
    return std::fclose(file) == 0 && ok;
}

// Black through violet and orange to pale yellow.
void heat(float v, unsigned char* rgb) {
    const float r = std::clamp(v * 2.0f, 0.0f, 1.0f), g = std::clamp(v * 1.6f - 0.6f, 0.0f, 1.0f),
                b = std::clamp(v < 0.5f ? v * 1.4f : 1.2f - v, 0.0f, 1.0f);
    rgb[0] = static_cast<unsigned char>(255 * r);
    rgb[1] = static_cast<unsigned char>(255 * g);
    rgb[2] = static_cast<unsigned char>(255 * b);
}

std::vector<unsigned char> picture(const MusicAnalysis& analysis, const Music& music, int width,
                                   int height) {
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3, 0);
    const auto pixel = [&](int x, int y) { return &rgb[(std::size_t(y) * width + x) * 3]; };
    const int spectrumHeight = MusicAnalysis::Bins * BinHeight;
    std::vector<float> bins(MusicAnalysis::Bins);
    const int hopsPerColumn = int(std::lround(1.0 / (ColumnsPerSecond * MusicAnalysis::Hop)));
    for (int x = 0; x < width; ++x) {
        const double from = double(x) / ColumnsPerSecond;
        analysis.spectrumAt(from + 0.5 / ColumnsPerSecond, bins.data());
        for (int y = 0; y < spectrumHeight; ++y)
            heat(bins[std::size_t(MusicAnalysis::Bins - 1 - y / BinHeight)], pixel(x, y));
        for (int g = 0; g < 5; ++g) {
            // The loudest moment within the column, so that no onset is lost.
            float v = 0.0f;
            for (int h = 0; h < hopsPerColumn; ++h)
                v = std::max(v, analysis.value(Graphs[g], from + h * MusicAnalysis::Hop));
            const int top = spectrumHeight + g * GraphHeight;
            const int filled = int(std::lround(v * (GraphHeight - 2)));
            for (int y = 0; y < filled; ++y)
                std::copy(GraphColours[g], GraphColours[g] + 3,
                          pixel(x, top + GraphHeight - 1 - y));
        }
    }
    if (!music.tempo)
        return rgb;
    const Tarn::Audio::TempoGrid& tempo = *music.tempo;
    for (int bar = 0;; ++bar) {
        const int x = int(std::lround(tempo.seconds(bar, 0) * ColumnsPerSecond));
        if (x >= width)
            break;
        if (x < 0)
            continue;
        const float strength = bar % 4 == 0 ? 0.85f : 0.45f;
        for (int y = 0; y < height; ++y)
            for (int c = 0; c < 3; ++c) {
                unsigned char& v = pixel(x, y)[c];
                v = static_cast<unsigned char>(v + (255 - v) * strength);
            }
    }
    return rgb;
}

// Encoded in memory, then written with every write and the close checked:
// stb's own file writer says nothing of a full disk.
bool writePng(const std::vector<unsigned char>& rgb, int width, int height) {
    std::vector<unsigned char> png;
    const auto append = [](void* context, void* data, int size) {
        auto* bytes = static_cast<std::vector<unsigned char>*>(context);
        bytes->insert(bytes->end(), static_cast<unsigned char*>(data),
                      static_cast<unsigned char*>(data) + size);
    };
    if (!stbi_write_png_to_func(append, &png, width, height, 3, rgb.data(), width * 3))
        return false;
    std::FILE* file = std::fopen(PngName, "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int writeMusicReport(const std::string& content, std::ostream& out, std::ostream& err) {
    const DemoProgram::ContentSource source = DemoProgram::contentSource(content);
    Tarn::VFS vfs(source.archive, false);
    vfs.setLooseRoot(source.looseRoot);
    std::string text;
    if (!vfs.readScript(DemoProgram::DemoScriptPath, text))
        return fail(std::string("the demo script ") + DemoProgram::DemoScriptPath +
                        " cannot be read",
                    out, err);
    const Music music = readScript(text);
    if (music.path.empty())
        return fail("the demo script has no soundtrack line: there is no music to analyse", out,
                    err);
    Tarn::File* file = vfs.open(music.path);
    if (!file)
        return fail("the music " + music.path + " cannot be read", out, err);
    const auto soundtrack = std::make_unique<Tarn::Soundtrack>(file, music.path);
    vfs.close(file);
    const int channels = soundtrack->channels();
    MusicAnalysis analysis;
    if (channels <= 0 || soundtrack->samples().empty() ||
        !analysis.analyse(soundtrack->samples().data(),
                          soundtrack->samples().size() / std::size_t(channels), channels,
                          soundtrack->sampleRate()))
        return fail("the music " + music.path + " does not decode; nothing written", out, err);

    if (!writeCsv(analysis))
        return fail(std::string("cannot write ") + CsvName, out, err);
    out << "tarn-demo: wrote " << CsvName << ": " << analysis.hopCount()
        << " rows, one every 5 ms, of " << music.path << std::endl;

    const int width = std::max(1, int(std::ceil(analysis.duration() * ColumnsPerSecond)));
    const int height = MusicAnalysis::Bins * BinHeight + 5 * GraphHeight;
    const std::vector<unsigned char> rgb = picture(analysis, music, width, height);
    if (!writePng(rgb, width, height))
        return fail(std::string("cannot write ") + PngName, out, err);
    out << "tarn-demo: wrote " << PngName << ": " << width << "x" << height << ", "
        << ColumnsPerSecond
        << " columns a second; the spectrum from 30 Hz (bottom) to 15 kHz, then bass, low mids, "
           "high mids, highs and onsets"
        << (music.tempo ? "; a line at each bar" : "; no tempo line, so no bar lines") << std::endl;
    return 0;
}
