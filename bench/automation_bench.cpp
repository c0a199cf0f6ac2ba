// Cost of Automation::process over long key lists, playing forwards a frame
// at a time and seeking at random, against a plain scan of every list from
// its second key (what evaluation would cost without the segment search).

#include <tarn/scenegraph/automation.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

using Tarn::Scenegraph::Automation;
using Tarn::Scenegraph::Property;
using Key = Automation::Keyframe;

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

float scanValue(const std::vector<Key>& k, double time) {
    const std::size_t n = k.size() - 1;
    if (k[0].time >= time)
        return k[0].value;
    if (time >= k[n].time)
        return k[n].value;
    std::size_t j = 1;
    while (k[j].time <= time)
        ++j;
    float mu = static_cast<float>((time - k[j - 1].time) / (k[j].time - k[j - 1].time));
    if (k[j].interpolationType == Automation::IT_SPLINE) {
        const double p0 = j > 1 ? k[j - 2].value : k[j - 1].value, p1 = k[j - 1].value;
        const double p2 = k[j].value, p3 = j < n ? k[j + 1].value : k[j].value;
        const double m = mu;
        const double a0 = -0.5 * p0 + 1.5 * p1 - 1.5 * p2 + 0.5 * p3;
        const double a1 = p0 - 2.5 * p1 + 2 * p2 - 0.5 * p3;
        return static_cast<float>(((a0 * m + a1) * m + (-0.5 * p0 + 0.5 * p2)) * m + p1);
    }
    if (k[j].interpolationType == Automation::IT_HOLD)
        mu = 0.0f;
    if (k[j].interpolationType == Automation::IT_COSINE)
        mu = static_cast<float>(0.5 - 0.5 * std::cos(static_cast<double>(mu * 3.1415927f)));
    return k[j].value * mu + k[j - 1].value * (1.0f - mu);
}

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
