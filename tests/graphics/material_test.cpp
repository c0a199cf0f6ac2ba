// The byte a material stores for a colour component: c x 255 truncated
// toward zero, keeping the low 8 bits, as the default textures hold it.

#include "tarn/graphics/material.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

using Tarn::Graphics::Material;

TEST(MaterialTest, ColorByteTruncatesAndKeepsTheLowByte) {
    const struct {
        float c;
        int byte;
    } cases[] = {
        {0.0f, 0},
        {1.0f, 255},
        {0.5f, 127},    // 127.5 truncated
        {0.25f, 63},    // 63.75 truncated
        {0.999f, 254},  // 254.745 truncated
        {64.0f / 255.0f, 64},
        {2.0f, 254},      // 510 = 0x1FE
        {1.0039216f, 0},  // 256.0000 wraps to 0
        {-0.5f, 129},     // -127 truncated toward zero is 0x...81
        {-0.001f, 0},     // -0.255 truncates to 0, not -1
        {1e10f, 0},       // beyond any int: no defined conversion, stored as 0
        {-1e10f, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Material::colorByte(c.c), c.byte) << "for " << c.c;
}

}  // namespace
