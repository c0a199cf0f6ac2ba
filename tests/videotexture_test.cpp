// Video textures without GL: the frame coordinate for a demo time, and the
// video script read into its staging block, with the line each bad line
// gives.

#include "tarn/videotexture.h"

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <unistd.h>

#include "tarn/vfs.h"

#include "support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using Tarn::VideoTexture;

TEST(VideoTexturePlaybackTest, FrameIdFollowsTheClock) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        float fps;
        unsigned int frames;
        double offset;
        bool loops;
        double time;
        float expected;
    } cases[] = {
        // 24 frames per second, 10 frames, looping, from 0.
        {24, 10, 0, true, 0.5, 2.0f},  // 12 wraps to 2
        {24, 10, 0, true, 0.3, 7.2f},
        {24, 10, 0, true, -1, 0.0f},
        {24, 10, 0, true, 0.0, 0.0f},
        {24, 10, 0, true, 0.40625, 9.75f},  // past the last frame's middle: still below 10
        {24, 10, 0, true, 10.0 / 24.0, 0.0f},
        {24, 10, 0, true, 1.0, 4.0f},     // 24 wraps to 4
        {24, 10, 0, true, 100000, 0.0f},  // 2,400,000 frames in
        // The same without looping holds the last frame.
        {24, 10, 0, false, 0.5, 9.0f},
        {24, 10, 0, false, 0.3, 7.2f},
        {24, 10, 0, false, 3600, 9.0f},
        {24, 10, 0, false, inf, 9.0f},
        // Nothing moves before the offset.
        {24, 10, 2, true, -3, 0.0f},
        {24, 10, 2, true, 0, 0.0f},
        {24, 10, 2, true, 1.9, 0.0f},
        {24, 10, 2, true, 2, 0.0f},
        {24, 10, 2, true, 2.25, 6.0f},
        // No frames: nothing to wrap by, nothing to hold.
        {24, 0, 0, true, 5, 0.0f},
        {24, 0, 0, false, 5, 0.0f},
        {24, 0, 0, true, -5, 0.0f},
        // Times that name no frame.
        {24, 10, 0, true, nan, 0.0f},
        {24, 10, 0, false, nan, 0.0f},
        {24, 10, 0, true, inf, 0.0f},
        {24, 10, 0, true, 1e300, 0.0f},
        {std::numeric_limits<float>::quiet_NaN(), 10, 0, true, 1, 0.0f},
        // One frame loops onto itself.
        {25, 1, 0, true, 0.03, 0.75f},
        {25, 1, 0, true, 0.05, 0.25f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.fps << " fps, " << c.frames << " frames, offset " << c.offset
                     << (c.loops ? ", looping" : ", holding") << ", time " << c.time);
        VideoTexture::Playback playback;
        playback.fps = c.fps;
        playback.numImages = c.frames;
        playback.startOffset = c.offset;
        playback.loops = c.loops;
        const float id = playback.frameId(c.time);
        EXPECT_NEAR(id, c.expected, 1e-5);
        if (c.frames > 0) {
            EXPECT_LT(std::trunc(id), static_cast<float>(c.frames));
        }
    }
}

// fps x time is rounded to single precision once: converting the time to
// float first would give 7.2000003.
TEST(VideoTexturePlaybackTest, FrameIdIsRoundedOnceToFloat) {
    VideoTexture::Playback playback;
    playback.numImages = 1000;
    EXPECT_EQ(playback.frameId(0.3), 7.2f);
    EXPECT_EQ(playback.frameId(41.3), static_cast<float>(24.0 * 41.3));
}

TEST(VideoTexturePlaybackTest, DefaultsBeforeAnyScript) {
    const VideoTexture::Playback playback;
    EXPECT_EQ(playback.fps, 24.0f);
    EXPECT_EQ(playback.numImages, 0u);
    EXPECT_EQ(playback.startOffset, 0.0);
    EXPECT_TRUE(playback.loops);
}

using Rgba8 = std::array<unsigned char, 4>;

// Frame k of a video is k's own colour, with pixels numbered in green so a
// frame copied with the wrong stride or offset shows.
Rgba8 framePixel(int frame, int x, int y) {
    return {static_cast<unsigned char>(40 * frame + 10), static_cast<unsigned char>(16 * y + x),
            static_cast<unsigned char>(200 - 30 * frame), 255};
}

bool writeFrame(const std::string& path, int frame, int width, int height) {
    std::vector<Rgba8> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(framePixel(frame, x, y));
    return stbi_write_png(path.c_str(), width, height, 4, pixels.data(), 4 * width) != 0;
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A layer of the staging block: the pixels of frame k, or -1 for magenta.
std::vector<unsigned char> expectedLayer(int frame, int width, int height) {
    std::vector<unsigned char> bytes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgba8 p = frame < 0 ? Rgba8{255, 0, 255, 255} : framePixel(frame, x, y);
            bytes.insert(bytes.end(), p.begin(), p.end());
        }
    return bytes;
}

std::vector<unsigned char> layerOf(const VideoTexture::Frames& frames, unsigned int layer) {
    const std::size_t bytes = std::size_t(frames.width) * frames.height * 4;
    if (frames.pixels.size() < (layer + 1) * bytes)
        return {};
    return std::vector<unsigned char>(frames.pixels.begin() + layer * bytes,
                                      frames.pixels.begin() + (layer + 1) * bytes);
}

// Each test runs in a fresh folder of its own, its working directory: the
// archive reads loose files relative to it and tests run in parallel.
class VideoTextureScriptTest : public ::testing::Test {
protected:
    Tarn::Test::ScratchFolder m_scratch;
};

TEST_F(VideoTextureScriptTest, FramesFillTheirLayersInScriptOrder) {
    fs::create_directories("intro");
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(writeFrame("intro/f" + std::to_string(k) + ".png", k, 64, 32));
    // Layers follow the frame lines, not the file names.
    writeBytes("intro/video.tarn", "# the intro\n"
                                   "size 64 32 3\n"
                                   "frame intro/f2.png\n"
                                   "frame intro/f0.png\n"
                                   "frame intro/f1.png\n");
    testing::internal::CaptureStdout();
    const VideoTexture::Frames frames = VideoTexture::readScript("intro/video.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VideoTexture] Done loading 3 frames in new 24 FPS video.\n");
    EXPECT_EQ(frames.width, 64);
    EXPECT_EQ(frames.height, 32);
    EXPECT_EQ(frames.playback.numImages, 3u);
    ASSERT_EQ(frames.pixels.size(), 64u * 32u * 4u * 3u);
    const int order[3] = {2, 0, 1};
    for (unsigned int layer = 0; layer < 3; ++layer)
        EXPECT_EQ(layerOf(frames, layer), expectedLayer(order[layer], 64, 32)) << "layer " << layer;
}

TEST_F(VideoTextureScriptTest, SettingsLines) {
    const struct {
        const char* script;
        float fps;
        bool loops;
        double offset;
        const char* doneLine;
    } cases[] = {
        {"", 24.0f, true, 0.0, "[VideoTexture] Done loading 0 frames in new 24 FPS video.\n"},
        {"fps 29.97\n", 29.97f, true, 0.0,
         "[VideoTexture] Done loading 0 frames in new 29.97 FPS video.\n"},
        {"loops True\n", 24.0f, false, 0.0,
         "[VideoTexture] Done loading 0 frames in new 24 FPS video.\n"},
        {"loops false\nfps 12.5\nloops true\n", 12.5f, true, 0.0,
         "[VideoTexture] Done loading 0 frames in new 12.5 FPS video.\n"},
        {"loops yes\r\noffset 2.5\r\n", 24.0f, false, 2.5,
         "[VideoTexture] Done loading 0 frames in new 24 FPS video.\n"},
        // A number that does not parse is reported and its line skipped.
        {"fps fast\noffset soon\n", 24.0f, true, 0.0,
         "[VideoTexture] video.tarn:1: fps \"fast\" is not a number; line skipped\n"
         "[VideoTexture] video.tarn:2: offset \"soon\" is not a number; line skipped\n"
         "[VideoTexture] Done loading 0 frames in new 24 FPS video.\n"},
        {"size 4 4 0\nfps 60\n", 60.0f, true, 0.0,
         "[VideoTexture] Done loading 0 frames in new 60 FPS video.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        writeBytes("video.tarn", c.script);
        testing::internal::CaptureStdout();
        const VideoTexture::Frames frames = VideoTexture::readScript("video.tarn");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.doneLine);
        EXPECT_EQ(frames.playback.fps, c.fps);
        EXPECT_EQ(frames.playback.loops, c.loops);
        EXPECT_EQ(frames.playback.startOffset, c.offset);
        EXPECT_EQ(frames.playback.numImages, 0u);
    }
}

// Each bad line is reported with the script and its line number and
// skipped; the frames around it keep their layers and times.
TEST_F(VideoTextureScriptTest, BadLinesAreSkippedWithTheirLine) {
    ASSERT_TRUE(writeFrame("a.png", 0, 2, 2));
    ASSERT_TRUE(writeFrame("b.png", 1, 2, 2));
    ASSERT_TRUE(writeFrame("wide.png", 2, 3, 2));
    ASSERT_TRUE(writeFrame("tiny.png", 3, 1, 1));
    writeBytes("junk.png", "not a picture");
    const std::string done1 = "[VideoTexture] Done loading 1 frames in new 24 FPS video.\n";
    const std::string done2 = "[VideoTexture] Done loading 2 frames in new 24 FPS video.\n";
    const std::string done0 = "[VideoTexture] Done loading 0 frames in new 24 FPS video.\n";
    const struct {
        const char* name;
        const char* script;
        std::string output;
        std::vector<int> layers;  // frame per layer, -1 for magenta
        VideoTexture::Limits limits = {};
    } cases[] = {
        {"frame before the size line",
         "frame a.png\nsize 2 2 1\nframe b.png\n",
         "[VideoTexture] v.tarn:1: frame a.png has no size line before it; skipped\n" + done1,
         {1}},
        {"more frames than the count",
         "size 2 2 1\nframe a.png\nframe b.png\n",
         "[VideoTexture] v.tarn:3: frame b.png exceeds the count of 1 on the size line; "
         "skipped\n" +
             done1,
         {0}},
        {"wider frame",
         "size 2 2 2\nframe wide.png\nframe b.png\n",
         "[VideoTexture] v.tarn:2: frame wide.png is 3x2, not the 2x2 of the size line; "
         "skipped\n" +
             done2,
         {-1, 1}},
        {"smaller frame",
         "size 2 2 2\nframe a.png\n\n# gap\nframe tiny.png\n",
         "[VideoTexture] v.tarn:5: frame tiny.png is 1x1, not the 2x2 of the size line; "
         "skipped\n" +
             done2,
         {0, -1}},
        {"missing frame",
         "size 2 2 2\nframe gone.png\nframe b.png\n",
         "[VFS] File gone.png not found in archive nor in real FS.\n" + done2,
         {-1, 1}},
        {"undecodable frame",
         "size 2 2 2\nframe junk.png\nframe a.png\n",
         "[VideoTexture] Cannot decode junk.png: unknown image type\n" + done2,
         {-1, 0}},
        {"fewer frames than the count", "size 2 2 2\nframe b.png\n", done2, {1, -1}},
        {"second size line",
         "size 2 2 1\nsize 4 4 2\nframe a.png\n",
         "[VideoTexture] v.tarn:2: size is already given on line 1; ignored\n" + done1,
         {0}},
        {"short size line",
         "size 2 2\nframe a.png\n",
         "[VideoTexture] v.tarn:1: size needs a width, a height and a frame count\n"
         "[VideoTexture] v.tarn:2: frame a.png follows the refused size line 1; skipped\n" +
             done0,
         {}},
        // Sizes and counts are whole numbers as written: no sign, no
        // fraction, no trailing text, no wrap-around.
        {"size of no pixels",
         "size 0 2 1\nsize 2 x 1\nsize 2 2 -1\nsize 2 2x 1\nsize 2 2 1.5\nsize 2 2 1\n"
         "frame b.png\n",
         "[VideoTexture] v.tarn:1: size 0 2 1 is not a valid video size; ignored\n"
         "[VideoTexture] v.tarn:2: size 2 x 1 is not a valid video size; ignored\n"
         "[VideoTexture] v.tarn:3: size 2 2 -1 is not a valid video size; ignored\n"
         "[VideoTexture] v.tarn:4: size 2 2x 1 is not a valid video size; ignored\n"
         "[VideoTexture] v.tarn:5: size 2 2 1.5 is not a valid video size; ignored\n" +
             done1,
         {1}},
        {"size past 32 bits",
         "size 4294967298 2 1\nsize 2 2 18446744073709551617\nframe a.png\n",
         "[VideoTexture] v.tarn:1: size 4294967298 2 1 is over the limits of 1024 pixels a "
         "side, 256 frames and 1073741824 bytes; ignored\n"
         "[VideoTexture] v.tarn:2: size 2 2 18446744073709551617 is not a valid video size; "
         "ignored\n"
         "[VideoTexture] v.tarn:3: frame a.png follows the refused size line 2; skipped\n" +
             done0,
         {}},
        {"size over the limits",
         "size 5 1 1\nsize 1 1 9\nsize 4 4 5\nframe a.png\nsize 2 2 1\nframe b.png\n",
         "[VideoTexture] v.tarn:1: size 5 1 1 is over the limits of 4 pixels a side, 8 frames "
         "and 256 bytes; ignored\n"
         "[VideoTexture] v.tarn:2: size 1 1 9 is over the limits of 4 pixels a side, 8 frames "
         "and 256 bytes; ignored\n"
         "[VideoTexture] v.tarn:3: size 4 4 5 is over the limits of 4 pixels a side, 8 frames "
         "and 256 bytes; ignored\n"
         "[VideoTexture] v.tarn:4: frame a.png follows the refused size line 3; skipped\n" +
             done1,
         {1},
         {4, 8, 256}},
        {"a keyword that no video script has",
         "size 2 2 1\nframes a.png\nframe a.png\n",
         "[VideoTexture] v.tarn:2: unknown keyword \"frames\"; did you mean \"frame\"?; "
         "line ignored\n" +
             done1,
         {0}},
        {"keywords without their argument",
         "fps\nloops\noffset\nframe\nsize 2 2 1\nframe a.png\n",
         "[VideoTexture] v.tarn:1: fps needs an argument\n"
         "[VideoTexture] v.tarn:2: loops needs an argument\n"
         "[VideoTexture] v.tarn:3: offset needs an argument\n"
         "[VideoTexture] v.tarn:4: frame needs an argument\n" +
             done1,
         {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes("v.tarn", c.script);
        testing::internal::CaptureStdout();
        const VideoTexture::Frames frames = VideoTexture::readScript("v.tarn", c.limits);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
        ASSERT_EQ(frames.playback.numImages, c.layers.size());
        ASSERT_EQ(frames.pixels.size(), c.layers.size() * 2 * 2 * 4);
        for (std::size_t layer = 0; layer < c.layers.size(); ++layer)
            EXPECT_EQ(layerOf(frames, static_cast<unsigned int>(layer)),
                      expectedLayer(c.layers[layer], 2, 2))
                << "layer " << layer;
    }
}

TEST_F(VideoTextureScriptTest, MissingScriptGivesNoFrames) {
    testing::internal::CaptureStdout();
    const VideoTexture::Frames frames = VideoTexture::readScript("assets/none.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VFS] File assets/none.tarn not found in archive nor in real FS.\n");
    EXPECT_EQ(frames.playback.numImages, 0u);
    EXPECT_TRUE(frames.pixels.empty());
    EXPECT_EQ(frames.playback.frameId(3.0), 0.0f);
}

TEST_F(VideoTextureScriptTest, ScriptAndFramesComeFromThePackedArchive) {
    fs::create_directories("clip");
    ASSERT_TRUE(writeFrame("clip/0.png", 0, 4, 2));
    ASSERT_TRUE(writeFrame("clip/1.png", 1, 4, 2));
    writeBytes("clip/video.tarn", "size 4 2 2\nfps 8\nframe clip/0.png\nframe clip/1.png\n");
    {
        Tarn::VFS writer("content.tarn", false);
        for (const char* path : {"clip/0.png", "clip/1.png", "clip/video.tarn"})
            writer.add(path);
        ASSERT_TRUE(writer.write());
    }
    fs::remove_all("clip");
    Tarn::VFS archive("content.tarn", true);
    ASSERT_EQ(Tarn::VFS::tarnVFS, &archive);
    testing::internal::CaptureStdout();
    const VideoTexture::Frames frames = VideoTexture::readScript("clip/video.tarn");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VideoTexture] Done loading 2 frames in new 8 FPS video.\n");
    ASSERT_EQ(frames.playback.numImages, 2u);
    EXPECT_EQ(layerOf(frames, 0), expectedLayer(0, 4, 2));
    EXPECT_EQ(layerOf(frames, 1), expectedLayer(1, 4, 2));
}

}  // namespace
