// Parsing cost of a 2 MB script of long lines, words separated by spaces or
// by tabs, each against a plain split of the same text into lines and words
// (the least any tokenizer has to do), measured in the same run. Parsing is
// linear in the text whatever the separator: the two ratios should be alike
// (spaces / tabs target <= 1.5); a rescan of the line per word shows as a
// spaces ratio many times the tabs one.

#include <tarn/luceparser.h>

#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "support/recording_reporter.h"

namespace {

constexpr std::size_t kScriptBytes = 2 << 20;
constexpr std::size_t kLineBytes = 256 << 10;

// "key" lines of numbered words, until the script reaches its size.
std::string makeScript(char separator) {
    std::string script;
    script.reserve(kScriptBytes + kLineBytes);
    int word = 0;
    while (script.size() < kScriptBytes) {
        std::string line = "key";
        while (line.size() < kLineBytes)
            line += separator + std::to_string(word++ % 100000);
        script += line + '\n';
    }
    return script;
}

const std::string& script(char separator) {
    static const std::string spaces = makeScript(' ');
    static const std::string tabs = makeScript('\t');
    return separator == ' ' ? spaces : tabs;
}

char separatorOf(const benchmark::State& state) {
    return state.range(0) ? '\t' : ' ';
}

void BM_Parse(benchmark::State& state) {
    const std::string& text = script(separatorOf(state));
    std::size_t words = 0;
    for (auto _ : state) {
        Tarn::LUCEParser parser;
        parser.addKeyword("key", [&words](std::vector<std::string> args) { words += args.size(); });
        parser.parse(text);
        benchmark::DoNotOptimize(words);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.SetLabel(state.range(0) ? "tabs" : "spaces");
}

// Lines and words cut out into strings, with no comments or blocks to honour.
void BM_PlainSplit(benchmark::State& state) {
    const std::string& text = script(separatorOf(state));
    const char separator = separatorOf(state);
    std::size_t words = 0;
    for (auto _ : state) {
        std::vector<std::string> tokens;
        std::size_t start = 0;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            if (i < text.size() && text[i] != separator && text[i] != '\n')
                continue;
            if (i > start)
                tokens.emplace_back(text, start, i - start);
            if (i == text.size() || text[i] == '\n') {
                words += tokens.size();
                tokens.clear();
            }
            start = i + 1;
        }
        benchmark::DoNotOptimize(words);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.SetLabel(state.range(0) ? "tabs" : "spaces");
}

}  // namespace

BENCHMARK(BM_PlainSplit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Tarn::Bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ratios[2] = {0.0, 0.0};
    for (int separator = 0; separator < 2; ++separator) {
        const std::string args = separator ? "/1" : "/0";
        const auto parse = reporter.times.find("BM_Parse" + args);
        const auto split = reporter.times.find("BM_PlainSplit" + args);
        if (parse == reporter.times.end() || split == reporter.times.end() || split->second <= 0)
            continue;
        ratios[separator] = parse->second / split->second;
        std::printf("Parse / plain split, words separated by %s: %.2f\n",
                    separator ? "tabs" : "spaces", ratios[separator]);
    }
    if (ratios[1] > 0)
        std::printf("Spaces / tabs: %.2f (target <= 1.5)\n", ratios[0] / ratios[1]);
    benchmark::Shutdown();
    return 0;
}
