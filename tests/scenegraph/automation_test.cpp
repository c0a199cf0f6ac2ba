#include "tarn/scenegraph/automation.h"

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/automation_scan.h"

namespace {

using Tarn::Scenegraph::Automation;
using Tarn::Scenegraph::Property;
using Key = Automation::Keyframe;
using Tarn::Test::scanValue;

float valueAt(const std::vector<Key>& keys, double time) {
    float x = -1.0f;
    Property property("p");
    property.addValue("x", &x);
    Automation automation(property);
    for (const Key& key : keys)
        automation.addKeyframe("x", key.interpolationType, key.time, key.value);
    automation.process(time);
    return x;
}

TEST(AutomationTest, EvaluatesTheWorkedExamples) {
    const auto two = [](Automation::InterpolationType second) {
        return std::vector<Key>{{Automation::IT_LINEAR, 0.0, 0.0f}, {second, 1.0, 10.0f}};
    };
    const std::vector<Key> four = {{Automation::IT_LINEAR, 0.0, 0.0f},
                                   {Automation::IT_LINEAR, 1.0, 10.0f},
                                   {Automation::IT_SPLINE, 2.0, 0.0f},
                                   {Automation::IT_LINEAR, 3.0, 10.0f}};
    const struct {
        const char* name;
        std::vector<Key> keys;
        double time;
        float expected;
        float tolerance;
    } cases[] = {
        {"single key before", {{Automation::IT_HOLD, 3.0, 7.0f}}, -1.0, 7.0f, 0.0f},
        {"single key after", {{Automation::IT_SPLINE, 3.0, 7.0f}}, 100.0, 7.0f, 0.0f},
        {"linear inside", two(Automation::IT_LINEAR), 0.25, 2.5f, 0.0f},
        {"linear before", two(Automation::IT_LINEAR), -5.0, 0.0f, 0.0f},
        {"linear after", two(Automation::IT_LINEAR), 7.0, 10.0f, 0.0f},
        {"undefined is linear", two(Automation::IT_UNDEFINED), 0.25, 2.5f, 0.0f},
        {"unknown type is linear", two(Automation::InterpolationType(9)), 0.25, 2.5f, 0.0f},
        {"hold before the key", two(Automation::IT_HOLD), 0.999, 0.0f, 0.0f},
        {"hold at the key", two(Automation::IT_HOLD), 1.0, 10.0f, 0.0f},
        {"cosine middle", two(Automation::IT_COSINE), 0.5, 5.0f, 1e-6f},
        {"cosine quarter", two(Automation::IT_COSINE), 0.25, 1.4644661f, 1e-6f},
        {"spline middle", two(Automation::IT_SPLINE), 0.5, 5.0f, 0.0f},
        {"spline duplicated ends", two(Automation::IT_SPLINE), 0.25, 2.03125f, 0.0f},
        {"spline inner middle", four, 1.5, 5.0f, 0.0f},
        {"spline inner quarter", four, 1.25, 8.4375f, 0.0f},
        {"inner key time starts the next segment", four, 2.0, 0.0f, 0.0f},
        {"the end key's type shapes the segment", four, 2.5, 5.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(valueAt(c.keys, c.time), c.expected, c.tolerance);
    }
}

TEST(AutomationTest, WritesOnlyValuesWithKeys) {
    float x = 1.0f, y = 2.0f, late = 3.0f;
    Property property("position");
    property.addValue("x", &x);
    property.addValue("y", &y);
    Automation automation(property);
    property.addValue("z", &late);  // registered after the automation was made

    testing::internal::CaptureStdout();
    automation.addKeyframe("x", Automation::IT_LINEAR, 0.0, 4.0f);
    automation.addKeyframe("z", Automation::IT_LINEAR, 0.0, 5.0f);
    automation.addKeyframe("w", Automation::IT_LINEAR, 0.0, 5.0f);
    automation.addKeyframe("x", Automation::IT_LINEAR, NAN, 5.0f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Automation] property \"position\" has no value \"z\"; key ignored\n"
              "[Automation] property \"position\" has no value \"w\"; key ignored\n"
              "[Automation] \"position\" value \"x\": key time nan is not finite; key ignored\n");

    automation.process(NAN);
    EXPECT_EQ(x, 1.0f);
    automation.process(2.0);
    EXPECT_EQ(x, 4.0f);
    EXPECT_EQ(y, 2.0f);
    EXPECT_EQ(late, 3.0f);
    EXPECT_TRUE(automation.keyframes("z").empty());
    EXPECT_EQ(automation.keyframes("x").size(), 1u);
}

// A key out of order is kept and reported; its list then follows the scan:
// the segment ends at the first later key in list order, and anything at or
// after the last key in the list reads that key.
TEST(AutomationTest, KeysOutOfOrderFollowListOrder) {
    float x = 0.0f;
    Property property("fog");
    property.addValue("x", &x);
    Automation automation(property);
    automation.addKeyframe("x", Automation::IT_LINEAR, 0.0, 0.0f);
    automation.addKeyframe("x", Automation::IT_LINEAR, 2.0, 20.0f);
    testing::internal::CaptureStdout();
    automation.addKeyframe("x", Automation::IT_LINEAR, 1.0, 10.0f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Automation] \"fog\" value \"x\": key at 1 s added after a key at 2 s; keys "
              "should come in time order\n");

    const struct {
        double time;
        float expected;
    } cases[] = {{0.5, 5.0f}, {0.9, 9.0f}, {1.5, 10.0f}, {3.0, 10.0f}};
    for (const auto& c : cases) {
        automation.process(c.time);
        EXPECT_EQ(x, c.expected) << "time " << c.time;
    }

    EXPECT_EQ(automation.removeKeyframe("x", 1.0), 1u);
    EXPECT_EQ(automation.removeKeyframe("x", 1.0), 0u);
    EXPECT_EQ(automation.removeKeyframe("nothing", 0.0), 0u);
    automation.process(1.5);
    EXPECT_EQ(x, 15.0f);
}

TEST(AutomationTest, RemovesEveryKeyAtATime) {
    float x = 0.0f;
    Property property("glow");
    property.addValue("x", &x);
    Automation automation(property);
    for (double t : {0.0, 1.0, 1.0, 2.0})
        automation.addKeyframe("x", Automation::IT_LINEAR, t, static_cast<float>(t * 10.0));
    automation.process(1.5);
    EXPECT_EQ(x, 15.0f);
    EXPECT_EQ(automation.removeKeyframe("x", 1.0), 2u);
    automation.process(1.5);
    EXPECT_EQ(x, 15.0f);
    EXPECT_EQ(automation.removeKeyframe("x", 2.0), 1u);
    automation.process(1.5);
    EXPECT_EQ(x, 0.0f);
    automation.removeKeyframe("x", 0.0);
    x = 7.0f;
    automation.process(1.5);
    EXPECT_EQ(x, 7.0f);  // an emptied list writes nothing
}

TEST(AutomationTest, SegmentSearchMatchesAPlainScan) {
    std::mt19937 random(6);
    std::uniform_real_distribution<double> gap(0.0, 1.0);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    std::uniform_int_distribution<int> type(0, 4);
    std::vector<Key> keys;
    double t = 0.0;
    for (int i = 0; i < 2000; ++i) {
        t += i % 97 == 0 ? 0.0 : gap(random);  // some keys share a time
        keys.push_back({Automation::InterpolationType(type(random)), t, value(random)});
    }
    const double end = keys.back().time;

    std::vector<double> times;
    for (double now = -1.0; now < end + 1.0; now += 1.0 / 60.0)
        times.push_back(now);  // forwards, a frame at a time
    for (double now = end + 1.0; now > -1.0; now -= 0.37)
        times.push_back(now);  // backwards
    std::uniform_real_distribution<double> anywhere(-1.0, end + 1.0);
    std::uniform_int_distribution<std::size_t> anyKey(0, keys.size() - 1);
    for (int i = 0; i < 5000; ++i) {
        times.push_back(anywhere(random));           // jumps
        times.push_back(keys[anyKey(random)].time);  // exactly on a key
    }

    float x = 0.0f;
    Property property("p");
    property.addValue("x", &x);
    Automation automation(property);
    for (const Key& key : keys)
        automation.addKeyframe("x", key.interpolationType, key.time, key.value);
    int mismatches = 0;
    for (double now : times) {
        automation.process(now);
        const float expected = scanValue(keys, now);
        if (!(x == expected) && ++mismatches <= 5)
            ADD_FAILURE() << "time " << now << ": " << x << " instead of " << expected;
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
