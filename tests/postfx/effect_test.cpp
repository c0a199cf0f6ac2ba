#include "tarn/postfx/effect.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tarn/postfx/effectfactory.h"
#include "tarn/scenegraph/automation.h"

namespace {

using Tarn::PostFX::Chain;
using Tarn::PostFX::Effect;
using Tarn::PostFX::EffectFactory;
using Tarn::Scenegraph::Automation;

// Each overload stores its type and components, and its automatable
// property holds one value per component pointing at it ("f", or "x" to
// "w"); a matrix keeps the caller's pointer and is not automatable.
TEST(EffectTest, ParametersAndTheirAutomatableValues) {
    Effect effect;
    const float matrix[16] = {};
    effect.setProperty("F", 1.0f);
    effect.setProperty("V2", 1.0f, 2.0f);
    effect.setProperty("V3", 1.0f, 2.0f, 3.0f);
    effect.setProperty("Fog_Color", 1.0f, 2.0f, 3.0f, 4.0f);
    effect.setProperty("M", matrix);
    const struct {
        const char* name;
        Effect::PropertyType type;
        std::string values;
    } rows[] = {{"F", Effect::PT_FLOAT, "f"},   {"V2", Effect::PT_VEC2, "xy"},
                {"V3", Effect::PT_VEC3, "xyz"}, {"Fog_Color", Effect::PT_VEC4, "wxyz"},
                {"M", Effect::PT_MAT4, ""},     {"Never set", Effect::PT_FLOAT, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Effect::Property& stored = effect.property(row.name);
        EXPECT_EQ(stored.type, row.type);
        std::string values;
        for (const auto& [value, ptr] : effect.automatableProperty(row.name).values()) {
            const int component = value == "f" ? 0 : (value[0] - 'x' + 4) % 4;
            EXPECT_EQ(ptr, &stored.value.v4[component]);
            EXPECT_EQ(*ptr, component + 1.0f);
            values += value;
        }
        EXPECT_EQ(values, row.values);
    }
    EXPECT_EQ(effect.property("M").value.m4, matrix);
    EXPECT_EQ(effect.property("Never set").value.f, 0.0f);
    EXPECT_EQ(effect.automatableProperty("M").name(), "Unnamed property");
}

// Setting a parameter again rebuilds its automatable property in place, so an
// automation bound before keeps driving it; "bypass" is one value "f" however
// many passes there are, and any value but 0.0 skips every pass.
TEST(EffectTest, AutomationDrivesRebuiltParametersAndBypass) {
    Effect effect;
    std::vector<int> ran;
    for (int i = 0; i < 3; ++i)
        effect.addPass([&ran, i](Chain::Buffers&) { ran.push_back(i); });
    EXPECT_EQ(effect.automatableProperty("bypass").values().size(), 1u);

    effect.setProperty("Power", 1.0f);
    Automation power(effect.automatableProperty("Power"));
    power.addKeyframe("f", Automation::IT_LINEAR, 0.0, 4.0f);
    effect.setProperty("Power", 3.0f);
    power.process(0.0);
    EXPECT_EQ(effect.property("Power").value.f, 4.0f);

    Automation bypass(effect.automatableProperty("bypass"));
    for (auto [time, value] : {std::pair{0.0, 0.0f}, {1.0, 0.5f}, {2.0, 0.0f}})
        bypass.addKeyframe("f", Automation::IT_HOLD, time, value);
    Chain::Buffers buffers;
    for (double time : {0.5, 1.5, 2.5}) {
        bypass.process(time);
        effect.apply(buffers);
    }
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 0, 1, 2}));
}

TEST(EffectFactoryTest, MessagesAndTheFirstRegistrationWins) {
    Effect first, second;
    testing::internal::CaptureStdout();
    EffectFactory::registerEffect("Test glow", [&first] { return &first; });
    EffectFactory::registerEffect("Test glow", [&second] { return &second; });
    EXPECT_EQ(EffectFactory::createEffect("Test glow"), &first);
    EXPECT_EQ(EffectFactory::createEffect("test glow"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[EffectFactory] Registered effect \"Test glow\"\n"
              "[EffectFactory] Effect \"Test glow\" is already registered.\n"
              "[EffectFactory] Effect \"test glow\" does not exist.\n");
}

}  // namespace
