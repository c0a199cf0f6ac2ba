// Cost of emitting a signal, per connected slot, against the same callables
// called straight from a vector: the difference is what Signal adds.
// Also counts heap allocations made while emitting; it must stay 0.

#include <tarn/signal.h>

#include "support/allocation_counter.h"

#include <functional>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

// A slot as the engine's frame slots are: it captures state and does a
// little arithmetic with both arguments.
std::function<void(double, double)> makeSlot(double& sink) {
    return [&sink](double delta, double now) { sink += delta * now; };
}

void BM_SignalEmit(benchmark::State& state) {
    const int slots = static_cast<int>(state.range(0));
    double sink = 0.0;
    Tarn::Signal<double, double> signal;
    for (int i = 0; i < slots; ++i)
        signal.connect(makeSlot(sink));

    const long before = Tarn::Test::allocationCount();
    for (auto _ : state) {
        signal.emit(0.016, 1.0);
        benchmark::DoNotOptimize(sink);
    }
    state.counters["allocs_per_emit"] =
        benchmark::Counter(static_cast<double>(Tarn::Test::allocationCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * slots);
}

void BM_DirectCalls(benchmark::State& state) {
    const int slots = static_cast<int>(state.range(0));
    double sink = 0.0;
    std::vector<std::function<void(double, double)>> callables;
    for (int i = 0; i < slots; ++i)
        callables.push_back(makeSlot(sink));

    for (auto _ : state) {
        for (auto& call : callables)
            call(0.016, 1.0);
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(state.iterations() * slots);
}

}  // namespace

BENCHMARK(BM_DirectCalls)->Arg(1)->Arg(8)->Arg(64);
BENCHMARK(BM_SignalEmit)->Arg(1)->Arg(8)->Arg(64);
BENCHMARK_MAIN();
