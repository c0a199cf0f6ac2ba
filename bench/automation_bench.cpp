// Cost of Automation::process over long key lists, playing forwards a frame
// at a time and seeking at random, against a plain scan of every list from
// its second key (what evaluation would cost without the segment search).

#include <tarn/scenegraph/automation.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "support/automation_scan.h"

namespace {

using Tarn::Scenegraph::Automation;
using Tarn::Scenegraph::Property;
using Key = Automation::Keyframe;
using Tarn::Test::scanValue;

constexpr int kKeysPerValue = 10000;
constexpr double kKeySpacing = 0.1;  // seconds: 1,000 s of animation
const char* const kNames[] = {"x", "y", "z"};

std::vector<Key> makeKeys(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-10.0f, 10.0f);
    std::vector<Key> keys;
    for (int i = 0; i < kKeysPerValue; ++i)
        keys.push_back({Automation::InterpolationType(i % 4), i * kKeySpacing, value(random)});
    return keys;
}

struct Fixture {
    float values[3] = {0.0f, 0.0f, 0.0f};
    Property property{"position"};
    std::vector<Key> keys[3];

    Fixture() {
        for (int i = 0; i < 3; ++i) {
            property.addValue(kNames[i], &values[i]);
            keys[i] = makeKeys(static_cast<unsigned>(i + 1));
        }
    }
};

// The time of the next call: a 60 Hz frame forwards, or a random seek.
struct Player {
    bool seeking;
    double now = 0.0;
    std::mt19937 random{42};
    std::uniform_real_distribution<double> anywhere{0.0, kKeysPerValue* kKeySpacing};

    double next() {
        if (seeking)
            return anywhere(random);
        now += 1.0 / 60.0;
        if (now > kKeysPerValue * kKeySpacing)
            now = 0.0;
        return now;
    }
};

void BM_AutomationProcess(benchmark::State& state) {
    Fixture fixture;
    Automation automation(fixture.property);
    for (int i = 0; i < 3; ++i)
        for (const Key& key : fixture.keys[i])
            automation.addKeyframe(kNames[i], key.interpolationType, key.time, key.value);
    Player player{state.range(0) != 0};
    for (auto _ : state) {
        automation.process(player.next());
        benchmark::DoNotOptimize(fixture.values);
    }
    state.SetLabel(state.range(0) ? "seek" : "forward");
}

void BM_PlainScan(benchmark::State& state) {
    Fixture fixture;
    Player player{state.range(0) != 0};
    for (auto _ : state) {
        const double now = player.next();
        for (int i = 0; i < 3; ++i)
            fixture.property.set(kNames[i], scanValue(fixture.keys[i], now));
        benchmark::DoNotOptimize(fixture.values);
    }
    state.SetLabel(state.range(0) ? "seek" : "forward");
}

}  // namespace

BENCHMARK(BM_PlainScan)->Arg(0)->Arg(1);
BENCHMARK(BM_AutomationProcess)->Arg(0)->Arg(1);
BENCHMARK_MAIN();
