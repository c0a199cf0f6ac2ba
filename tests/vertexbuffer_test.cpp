#include "tarn/vertexbuffer.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Tarn::VertexBuffer;

std::vector<std::string> namesOf(const VertexBuffer& buffer) {
    std::vector<std::string> names;
    for (const VertexBuffer::AttributeData& attribute : buffer.attributes())
        names.push_back(attribute.name);
    return names;
}

// Attributes take the next location in insertion order; a refused one changes
// nothing and says why in one line.
TEST(VertexBufferTest, SetAttributeAppendsOrRefuses) {
    const std::vector<float> first = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::vector<float> other = {-1, -2, -3};
    const struct {
        const char* name;
        const float* data;
        unsigned int numValues;
        unsigned int perElement;
        bool accepted;
        const char* message;
    } steps[] = {
        {"position", first.data(), 9, 3, true, ""},
        {"normal", other.data(), 3, 3, true, ""},
        {"position", other.data(), 3, 3, false,
         "[VertexBuffer] Attribute \"position\" is already set; it keeps its data\n"},
        {"uv", first.data(), 6, 2, true, ""},
        {"flat", first.data(), 4, 0, false,
         "[VertexBuffer] Attribute \"flat\" needs 1 to 4 values per vertex, not 0\n"},
        {"wide", first.data(), 5, 5, false,
         "[VertexBuffer] Attribute \"wide\" needs 1 to 4 values per vertex, not 5\n"},
        {"missing", nullptr, 3, 3, false,
         "[VertexBuffer] Attribute \"missing\" has no data for its 3 values\n"},
        {"none yet", nullptr, 0, 1, true, ""},
        {"weight", first.data(), 3, 1, true, ""},
    };
    VertexBuffer buffer;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        testing::internal::CaptureStdout();
        EXPECT_EQ(buffer.setAttribute(step.name, step.data, step.numValues, step.perElement),
                  step.accepted);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), step.message);
    }

    EXPECT_EQ(namesOf(buffer),
              (std::vector<std::string>{"position", "normal", "uv", "none yet", "weight"}));
    const std::vector<VertexBuffer::AttributeData>& attributes = buffer.attributes();
    for (unsigned int i = 0; i < attributes.size(); ++i)
        EXPECT_EQ(attributes[i].index, i) << attributes[i].name;
    EXPECT_EQ(attributes[0].data, first);
    EXPECT_EQ(attributes[0].numValuesPerElement, 3u);
    EXPECT_EQ(attributes[2].data, std::vector<float>(first.begin(), first.begin() + 6));
    EXPECT_EQ(attributes[2].numValuesPerElement, 2u);
    EXPECT_TRUE(attributes[3].data.empty());
}

TEST(VertexBufferTest, KeepsItsOwnCopies) {
    std::vector<float> values = {1, 2, 3};
    std::vector<unsigned int> indices = {0, 0, 0};
    VertexBuffer buffer;
    ASSERT_TRUE(buffer.setAttribute("position", values.data(), 3, 3));
    buffer.setIndices(indices.data(), 3);
    values.assign(3, -7.0f);
    indices.assign(3, 9u);
    EXPECT_EQ(buffer.attributes()[0].data, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(buffer.indices(), (std::vector<unsigned int>{0, 0, 0}));
}

TEST(VertexBufferTest, HoldsAtMostSixteenAttributes) {
    const float value = 1.0f;
    VertexBuffer buffer;
    for (unsigned int i = 0; i < VertexBuffer::MaxAttributes; ++i)
        ASSERT_TRUE(buffer.setAttribute("a" + std::to_string(i), &value, 1, 1));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(buffer.setAttribute("a16", &value, 1, 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VertexBuffer] Cannot add attribute \"a16\": a buffer holds at most 16\n");
    EXPECT_EQ(buffer.attributes().size(), 16u);
}

TEST(VertexBufferTest, SetIndicesReplacesOrRefuses) {
    const unsigned int six[] = {0, 1, 2, 0, 2, 3};
    const unsigned int three[] = {3, 2, 1};
    const struct {
        const char* name;
        const unsigned int* data;
        unsigned int count;
        std::vector<unsigned int> expected;
        const char* message;
    } steps[] = {
        {"six", six, 6, {0, 1, 2, 0, 2, 3}, ""},
        {"three replace six", three, 3, {3, 2, 1}, ""},
        {"null data",
         nullptr,
         3,
         {3, 2, 1},
         "[VertexBuffer] No data for 3 indices; the index list stays as it was\n"},
        {"emptied", nullptr, 0, {}, ""},
    };
    VertexBuffer buffer;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        testing::internal::CaptureStdout();
        buffer.setIndices(step.data, step.count);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), step.message);
        EXPECT_EQ(buffer.indices(), step.expected);
    }
}

}  // namespace
