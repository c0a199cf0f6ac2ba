#include "tarn/scenegraph/property.h"

#include <utility>

#include <gtest/gtest.h>

namespace {

using Tarn::Scenegraph::Property;

TEST(PropertyTest, NamesAndRegistration) {
    EXPECT_EQ(Property().name(), "Unnamed property");
    EXPECT_EQ(Property("glow").name(), "glow");

    float p = 1.0f, q = 2.0f;
    Property property("position");
    property.addValue("x", &p);
    property.addValue("x", &q);  // the first registration wins
    property.addValue("y", nullptr);
    EXPECT_EQ(property.ptr("x"), &p);
    EXPECT_EQ(property.ptr("y"), nullptr);
    ASSERT_EQ(property.values().size(), 1u);

    property.set("x", 5.0f);
    EXPECT_EQ(p, 5.0f);
    EXPECT_EQ(q, 2.0f);
    EXPECT_EQ(property.get("x"), 5.0f);
}

TEST(PropertyTest, UnregisteredNamesReadZeroAndWriteNothing) {
    float x = 3.0f;
    Property property("scale");
    property.addValue("x", &x);
    EXPECT_EQ(property.get("w"), 0.0f);
    EXPECT_EQ(property.ptr("w"), nullptr);
    property.set("w", 9.0f);
    property.set("X", 9.0f);  // names are case-sensitive
    EXPECT_EQ(x, 3.0f);
    EXPECT_EQ(property.values().size(), 1u);
}

TEST(PropertyTest, ValuesAreOrderedByNameAndSurviveAMove) {
    float a = 0, b = 0, c = 0;
    Property property("rotation");
    property.addValue("z", &c);
    property.addValue("w", &a);
    property.addValue("x", &b);
    std::string order;
    for (const auto& value : property.values())
        order += value.first;
    EXPECT_EQ(order, "wxz");

    Property moved(std::move(property));
    EXPECT_EQ(moved.name(), "rotation");
    moved.set("w", 4.0f);
    EXPECT_EQ(a, 4.0f);

    Property assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned.name(), "rotation");
    EXPECT_EQ(assigned.ptr("z"), &c);
}

}  // namespace
