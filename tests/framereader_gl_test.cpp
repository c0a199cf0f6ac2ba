#include "tarn/framereader.h"

#include <algorithm>
#include <array>
#include <vector>

#include "support/gl_test.h"
#include "tarn/framebuffer.h"
#include "tarn/texture.h"

namespace {

using Tarn::FrameBuffer;
using Tarn::FrameReader;

class FrameReaderGLTest : public Tarn::Test::GLTest {};

// Frame k is cleared to red k * 10 and has its green at pixel (x, y) set to
// x + 4y, so both order and row layout show. A frame is handed over only
// once depth reads are in flight; flush hands over the rest, oldest first.
TEST_F(FrameReaderGLTest, FramesArriveInOrderDepthLate) {
    FrameBuffer source(4, 3);
    source.createRenderTarget(FrameBuffer::RGBA8);
    for (int depth : {1, 3}) {
        SCOPED_TRACE(depth);
        FrameReader reader(4, 3, depth);
        std::vector<int> handed;  // frame numbers, read from the red channel
        bool rowsRight = true;
        const auto sink = [&](const unsigned char* rgba, int width, int height) {
            handed.push_back(rgba[0] / 10);
            for (int i = 0; i < width * height; ++i)
                rowsRight = rowsRight && rgba[4 * i + 1] == i;
            return true;
        };
        for (int frame = 0; frame < 5; ++frame) {
            const Tarn::Test::Image image = Tarn::Test::makeImage(4, 3, [&](int x, int y) {
                return std::array<float, 4>{frame * 10 / 255.0f, (x + 4 * y) / 255.0f, 0, 1};
            });
            Tarn::Test::writeTexture(source.target(0)->id(), image);
            ASSERT_TRUE(reader.read(source, sink));
            EXPECT_EQ(handed.size(), static_cast<std::size_t>(std::max(0, frame + 1 - depth)));
        }
        EXPECT_TRUE(reader.flush(sink));
        EXPECT_EQ(handed, (std::vector<int>{0, 1, 2, 3, 4}));
        EXPECT_TRUE(rowsRight);
    }
}

// A frame buffer of another size is refused with one line; a refusing sink
// stops the stream.
TEST_F(FrameReaderGLTest, RefusesOtherSizesAndStopsWhenTheSinkRefuses) {
    FrameBuffer wrong(8, 8), right(4, 4);
    wrong.createRenderTarget(FrameBuffer::RGBA8);
    right.createRenderTarget(FrameBuffer::RGBA8);
    FrameReader reader(4, 4, 1);
    const auto refuse = [](const unsigned char*, int, int) { return false; };
    testing::internal::CaptureStdout();
    EXPECT_FALSE(reader.read(wrong, refuse));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[FrameReader] cannot read a 8x8 frame buffer into 4x4 frames\n");
    EXPECT_TRUE(reader.read(right, refuse));
    EXPECT_FALSE(reader.read(right, refuse));
    EXPECT_TRUE(reader.flush(refuse)) << "nothing left in flight";
}

}  // namespace
