// Parsing a large LUCE script (a scene of 20,000 entities, 120,000 lines)
// against a plain std::getline split of the same text into whitespace
// tokens: what the parser adds to reading lines and words (target: at least
// 0.5 of the split's speed). Every callback counts its tokens, so both sides
// hand over the same words.

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <tarn/luceparser.h>

#include "support/recording_reporter.h"

namespace {

std::string makeScript() {
    std::string text = "# a generated scene\nbegin world\n";
    char line[160];
    for (int i = 0; i < 20000; ++i) {
        std::snprintf(line, sizeof line,
                      "  begin entity e%d\n    component material stone\n"
                      "    property position %d.5 2 -%d\n    key x linear %d.25 %d\n  end\n\n",
                      i, i % 97, i % 31, i % 13, i);
        text += line;
    }
    return text + "end\n";
}

const std::string g_script = makeScript();

void BM_LUCEParse(benchmark::State& state) {
    std::size_t tokens = 0;
    const auto count = [&tokens](std::vector<std::string> arguments) {
        tokens += arguments.size() + 1;
    };
    for (auto _ : state) {
        Tarn::LUCEParser parser;
        for (const char* keyword : {"begin:world", "end:world", "begin:entity", "end:entity",
                                    "component", "property", "key"})
            parser.addKeyword(keyword, count);
        parser.parse(g_script);
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long>(g_script.size()));
}

void BM_GetlineSplit(benchmark::State& state) {
    std::size_t tokens = 0;
    for (auto _ : state) {
        std::istringstream lines(g_script);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::vector<std::string> split;
            for (std::string word; words >> word;)
                split.push_back(word);
            if (!split.empty() && split[0][0] != '#')
                tokens += split.size();
        }
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<long>(g_script.size()));
}

BENCHMARK(BM_LUCEParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetlineSplit)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Tarn::Bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // One thread each: CPU time is the fair measure on a busy machine.
    const double parse = reporter.cpuTimes["BM_LUCEParse"];
    const double split = reporter.cpuTimes["BM_GetlineSplit"];
    if (parse > 0.0 && split > 0.0)
        std::printf("LUCE parse: %.2f x the speed of a getline split by CPU time, %.2f x by real "
                    "time (target >= 0.50)\n",
                    split / parse,
                    reporter.times["BM_GetlineSplit"] / reporter.times["BM_LUCEParse"]);
    return 0;
}
