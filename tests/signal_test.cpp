#include "tarn/signal.h"

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/allocation_counter.h"

namespace {

using Tarn::Signal;

TEST(SignalTest, CallsSlotsInConnectionOrderOnEveryEmission) {
    Signal<int> signal;
    std::string calls;
    signal.connect([&](int v) { calls += "A" + std::to_string(v); });
    signal.connect([&](int v) { calls += "B" + std::to_string(v); });
    signal.connect([&](int v) { calls += "C" + std::to_string(v); });

    signal.emit(1);
    signal(2);
    EXPECT_EQ(calls, "A1B1C1A2B2C2");
}

TEST(SignalTest, SameCallableConnectedTwiceRunsTwice) {
    Signal<void> signal;
    int count = 0;
    const std::function<void()> slot = [&] { ++count; };
    signal.connect(slot);
    signal.connect(slot);
    signal.emit();
    EXPECT_EQ(count, 2);
}

TEST(SignalTest, EmittingWithoutSlotsDoesNothing) {
    Signal<void> none;
    Signal<double, double> alsoNone;
    none.emit();
    alsoNone.emit(1.0, 2.0);
    EXPECT_EQ(none.slotCount(), 0u);
}

TEST(SignalTest, PassesArgumentsInOrderAndReferencesThrough) {
    Signal<double, double> frame;
    std::vector<double> seen;
    frame.connect([&](double delta, double now) {
        seen.push_back(delta);
        seen.push_back(now);
    });
    frame.emit(0.016, 3.5);
    EXPECT_EQ(seen, (std::vector<double>{0.016, 3.5}));

    // The loading signal hands its slots the progress signal itself.
    Signal<double> progress;
    Signal<Signal<double>&> loading;
    double reported = -1.0;
    progress.connect([&](double p) { reported = p; });
    Signal<double>* received = nullptr;
    loading.connect([&](Signal<double>& p) {
        received = &p;
        p.emit(0.5);
    });
    loading.emit(progress);
    EXPECT_EQ(received, &progress);
    EXPECT_EQ(reported, 0.5);
}

// A slot that connects slots while the signal runs must not pull the running
// callable from under itself; the new slots run later in the same emission.
TEST(SignalTest, ConnectDuringEmit) {
    Signal<int> signal;
    std::vector<std::string> calls;
    std::array<char, 256> bulk{};  // too big for std::function's inline buffer
    signal.connect([&, bulk](int v) {
        for (int i = 0; i < 100; ++i)
            signal.connect([&calls](int) { calls.push_back("late"); });
        calls.push_back("first" + std::to_string(v + bulk[0]));
    });
    signal.emit(7);
    ASSERT_EQ(calls.size(), 101u);
    EXPECT_EQ(calls.front(), "first7");
    EXPECT_EQ(calls.back(), "late");
    EXPECT_EQ(signal.slotCount(), 101u);
}

TEST(SignalTest, EmissionAllocatesNothing) {
    Signal<double, double> signal;
    double sum = 0.0;
    std::array<double, 32> big{};  // forces the stored callables onto the heap
    big[0] = 1.0;
    for (int i = 0; i < 8; ++i)
        signal.connect([&sum, big](double a, double b) { sum += a + b + big[0]; });

    const long before = Tarn::Test::allocationCount();
    for (int i = 0; i < 1000; ++i)
        signal.emit(1.0, 2.0);
    EXPECT_EQ(Tarn::Test::allocationCount() - before, 0);
    EXPECT_EQ(sum, 8 * 1000 * 4.0);
}

}  // namespace
